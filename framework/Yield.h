#pragma once

#include <QtGlobal>
#include <functional>

class QAction;

namespace zorv {

// Lets the event loop run pending timers and repaints from inside a loop of a
// handler. User input waits in Qt's queue, so no user action starts a handler
// inside another: it is delivered once the handler has returned. Cheap enough
// to call once per pass: it does its work at most every few milliseconds.
void yieldToEventLoop();

// A press on a disabled control never acts, also not later: input that Qt
// delivers after a control was enabled, but that was made before, is dropped
// before Qt acts on it, so it presses, focuses and highlights nothing. Input
// for enabled controls acts as Qt delivers it. Every control calls this when
// it is made; once is enough for the widgets, a menu item calls it with
// itself.
void guardUserInput();
void guardUserInput(QAction* item);

// For tests on a platform without a window system clock (offscreen): the
// moment a control is enabled is `now()`, in the clock of the timestamps of
// the input the test gives. An empty function gives the platform's own back.
void setInputClockForTesting(std::function<quint64()> now);

} // namespace zorv
