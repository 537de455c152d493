#include "framework/Timer.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>

#ifdef Q_OS_LINUX
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace zorv {
namespace {

// The clock of every deadline: CLOCK_MONOTONIC on Linux, which the timerfd
// counts in too.
std::int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

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

// How long before its deadline a timer's timerfd goes off. Waking a sleeping
// thread (on a virtual machine, an idle virtual CPU) takes the kernel tens to
// hundreds of microseconds, and that would be added to every hold; so the
// timer wakes early and waits out the rest awake. The lead follows the
// lateness of recent wake-ups: up at once after a late one, down slowly, so a
// quiet machine spends only some tens of microseconds awake per tick, and
// never more than half the period.
class WakeLead {
public:
    std::int64_t forPeriod(std::int64_t periodNs) const { return std::min(m_lead, periodNs / 2); }

    void observe(std::int64_t latenessNs)
    {
        const std::int64_t wanted = std::clamp(latenessNs + kMarginNs, kMinNs, kMaxNs);
        if (wanted > m_lead)
            m_lead = wanted;
        else
            m_lead -= (m_lead - wanted) / 16;
    }

private:
    static constexpr std::int64_t kMinNs = 20000;
    static constexpr std::int64_t kMaxNs = 1000000;
    static constexpr std::int64_t kMarginNs = 20000;
    std::int64_t m_lead = 200000;
};

WakeLead& wakeLead()
{
    static WakeLead lead;
    return lead;
}

void cpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
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
        connect(m_notifier, &QSocketNotifier::activated, this, &Timer::wake);
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
    const std::int64_t now = monotonicNs();
    const std::int64_t periodNs = m_period > 0 ? static_cast<std::int64_t>(m_period) * 1000000LL : 0;
    m_deadline = (m_dueTick > 0 ? m_dueTick : now) + periodNs;
    // A tick so late that its successor would be due already (the event loop
    // was held) counts the next wait from now: counting from the due time
    // would send every step that fell due meanwhile back to back.
    if (m_dueTick > 0 && m_deadline <= now)
        m_deadline = now + periodNs;
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        itimerspec spec{};
        m_alarm = m_deadline - wakeLead().forPeriod(periodNs);
        if (m_alarm <= now) {
            // Due already (a period of 0 or less) or within the wake lead:
            // fire at once, and learn nothing from how late that is.
            m_alarm = 0;
            spec.it_value.tv_nsec = 1; // an all-zero value would disarm it
            timerfd_settime(m_fd, 0, &spec, nullptr);
            return;
        }
        spec.it_value.tv_sec = static_cast<time_t>(m_alarm / 1000000000LL);
        spec.it_value.tv_nsec = static_cast<long>(m_alarm % 1000000000LL);
        timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &spec, nullptr);
        return;
    }
#endif
    const std::int64_t remainingNs = m_deadline - now;
    m_fallback->start(remainingNs > 0 ? static_cast<int>((remainingNs + 999999) / 1000000) : 0);
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

#ifdef Q_OS_LINUX
void Timer::wake()
{
    std::uint64_t expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations)
        return; // disarmed or re-armed since the event loop saw it
    std::int64_t now = monotonicNs();
    if (m_alarm > 0)
        wakeLead().observe(now - m_alarm);
    while (now < m_deadline) {
        cpuRelax();
        now = monotonicNs();
    }
    fire();
}
#endif

void Timer::fire()
{
    if (m_mode != 1)
        return;
    m_mode = 0; // a single shot is spent once it fires
    m_dueTick = m_deadline;
    const QPointer<Timer> self(this);
    emit action();
    if (self)
        m_dueTick = 0;
}

} // namespace zorv
