#pragma once

namespace zorv {

// Lets the event loop run pending timers and repaints from inside a loop of a
// handler. User input waits, so no user action starts a handler inside
// another: it is delivered once the handler has returned. Cheap enough to
// call once per pass: it does its work at most every few milliseconds.
void yieldToEventLoop();

// A press on a disabled control never acts, also not later: input made while
// a control was disabled is dropped when the control is enabled again, and
// input held back by a yield is delivered afterwards only to the controls it
// found enabled. Every control calls this when it is made; once is enough.
void guardUserInput();

} // namespace zorv
