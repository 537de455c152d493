#pragma once

#include <QObject>
#include <cstdint>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace zorv {

// A timer with a mode (0 off, 1 single shot) and a period in milliseconds.
// Setting mode 1 arms it for the period from now; setting the period while it
// is armed re-arms it for the new period from now; a period of 0 or less fires
// as soon as the event loop can. It never fires before its deadline. Inside
// its own Action, "now" is the moment the tick was due: a handler that re-arms
// it after some work does not push every later tick back by that work, so a
// chain of ticks keeps to the sum of its periods. Only when the tick came so
// late (or its handler worked so long) that the new deadline has passed
// already does the period count from the real now, so that a stalled chain
// goes on at its own pace instead of catching up in a burst. On Linux
// it rests on a timerfd watched by the event loop, set a little before the
// deadline so that the last stretch is waited out awake and the tick comes
// within microseconds of it; elsewhere on a precise QTimer.
class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(QObject* parent = nullptr);
    ~Timer() override;

    int mode() const { return m_mode; }
    int period() const { return m_period; }
    void setMode(int mode);
    void setPeriod(int milliseconds);

signals:
    void action();

private:
    void arm();
    void disarm();
    void fire();
#ifdef Q_OS_LINUX
    void wake();
#endif

    int m_mode = 0;
    int m_period = 1000;
    int m_fd = -1;
    // When the tick is due, and when the timerfd goes off a little earlier
    // (0 when there is nothing to learn from its lateness); CLOCK_MONOTONIC ns.
    std::int64_t m_deadline = 0;
    std::int64_t m_alarm = 0;
    // While Action runs: the moment the tick was due; 0 otherwise.
    std::int64_t m_dueTick = 0;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_fallback = nullptr;
};

} // namespace zorv
