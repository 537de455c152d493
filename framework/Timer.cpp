#include "framework/Timer.h"

#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <cstdint>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace zorv {

#ifdef Q_OS_LINUX
namespace {

// The kernel lets poll timeouts of ordinary threads run up to 50 us late by
// default; the sequencer wants its ticks as close to their deadlines as the
// machine allows.
void lowerTimerSlackOnce()
{
    static const bool done = [] {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        return true;
    }();
    (void)done;
}

} // namespace
#endif

Timer::Timer(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_LINUX
    lowerTimerSlackOnce();
    m_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            std::uint64_t expirations = 0;
            if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations)
                fire();
        });
        return;
    }
#endif
    m_fallback = new QTimer(this);
    m_fallback->setSingleShot(true);
    m_fallback->setTimerType(Qt::PreciseTimer);
    connect(m_fallback, &QTimer::timeout, this, &Timer::fire);
}

Timer::~Timer()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        delete m_notifier;
        ::close(m_fd);
    }
#endif
}

void Timer::setMode(int mode)
{
    m_mode = mode;
    if (m_mode == 1)
        arm();
    else
        disarm();
}

void Timer::setPeriod(int milliseconds)
{
    m_period = milliseconds;
    if (m_mode == 1)
        arm();
}

void Timer::arm()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        itimerspec spec{};
        if (m_period <= 0) {
            spec.it_value.tv_nsec = 1; // an all-zero value would disarm it
        } else {
            spec.it_value.tv_sec = m_period / 1000;
            spec.it_value.tv_nsec = static_cast<long>(m_period % 1000) * 1000000L;
        }
        timerfd_settime(m_fd, 0, &spec, nullptr);
        return;
    }
#endif
    m_fallback->start(m_period > 0 ? m_period : 0);
}

void Timer::disarm()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        const itimerspec stop{};
        timerfd_settime(m_fd, 0, &stop, nullptr);
        std::uint64_t expirations = 0;
        [[maybe_unused]] const auto drained = ::read(m_fd, &expirations, sizeof expirations);
        return;
    }
#endif
    m_fallback->stop();
}

void Timer::fire()
{
    if (m_mode != 1)
        return;
    m_mode = 0; // a single shot is spent once it fires
    emit action();
}

} // namespace zorv
