#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

namespace zorv {

// Moments in the clock that stamps the window system's input events
// (QInputEvent::timestamp()). Each mark() is answered, in the order of the
// marks, with the time the window system gave it. Input that Qt delivers
// before a mark's answer was made before the mark.
class InputClock {
public:
    using Answer = std::function<void(quint64 time)>;

    virtual ~InputClock() = default;
    virtual void mark() = 0;

    // The X server's clock, asked through Qt's own connection; nullptr where
    // the program runs on no X server.
    static std::unique_ptr<InputClock> xServer(Answer answer);
};

} // namespace zorv
