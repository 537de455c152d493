#pragma once

namespace zorv {

// Lets the event loop run pending timers and repaints from inside a loop of a
// handler. User input waits, so no user action starts a handler inside
// another. Cheap enough to call once per pass: it does its work at most every
// few milliseconds.
void yieldToEventLoop();

} // namespace zorv
