#include "bench/BenchSupport.h"

#include "script/Script.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zorv::bench {

using testing::readAvailable;
using testing::takeCommands;

namespace {

std::int64_t clockNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

} // namespace

std::int64_t nowNs()
{
    return clockNs(CLOCK_MONOTONIC);
}

double nsToMs(double ns)
{
    return ns / 1e6;
}

double msSince(const QElapsedTimer& clock)
{
    return nsToMs(static_cast<double>(clock.nsecsElapsed()));
}

Recorder::Recorder(int fd) : m_fd(fd)
{
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        m_wake[0] = m_wake[1] = -1;
}

Recorder::~Recorder()
{
    stop();
    for (int fd : m_wake)
        if (fd >= 0)
            ::close(fd);
}

void Recorder::start(int expected, std::function<void()> onComplete)
{
    stop();
    m_arrivals.clear();
    m_pending.clear();
    m_count = 0;
    m_expected = expected;
    m_onComplete = std::move(onComplete);
    m_thread = std::thread([this] { loop(); });
}

std::vector<Arrival> Recorder::stop()
{
    if (m_thread.joinable()) {
        const char byte = 'x';
        [[maybe_unused]] const auto written = ::write(m_wake[1], &byte, 1);
        m_thread.join();
        char drain = 0;
        [[maybe_unused]] const auto read = ::read(m_wake[0], &drain, 1);
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrivals;
}

bool Recorder::waitFor(int commands, int timeoutMs) const
{
    const std::int64_t deadline = nowNs() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    while (m_count.load() < commands && nowNs() < deadline)
        ::usleep(1000);
    return m_count.load() >= commands;
}

void Recorder::loop()
{
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0) {
            // No slave is open just now; wait for one without spinning.
            ::usleep(1000);
            continue;
        }
        const std::int64_t at = nowNs();
        const std::int64_t cpu = clockNs(CLOCK_PROCESS_CPUTIME_ID);
        if (m_chunk > 0) {
            QByteArray piece(m_chunk, '\0');
            const ssize_t n = ::read(m_fd, piece.data(), static_cast<std::size_t>(m_chunk));
            if (n > 0)
                m_pending.append(piece.constData(), n);
        } else {
            m_pending.append(readAvailable(m_fd));
        }
        bool complete = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            for (QByteArray& command : takeCommands(m_pending)) {
                m_arrivals.push_back({at, cpu, std::move(command)});
                if (++m_count == m_expected)
                    complete = true;
            }
        }
        if (complete && m_onComplete)
            m_onComplete();
        if (m_pauseMs > 0) {
            pollfd wake{m_wake[0], POLLIN, 0};
            if (::poll(&wake, 1, m_pauseMs) > 0)
                return;
        }
    }
}

QString evenScript(int lines, int holdMs)
{
    QStringList script;
    for (int k = 0; k < lines; ++k)
        script << QString::number(k * holdMs / 1000.0, 'g', 12) + u',' + QString::number(1 + k % 10);
    return script.join(u'\r');
}

QString longScript(int lines)
{
    QString script;
    script.reserve(static_cast<qsizetype>(lines) * 12);
    for (int k = 0; k < lines; ++k) {
        if (k > 0)
            script.append(u'\r');
        script.append(QString::number(k / 100.0, 'f', 2) + u',' + QString::number(1 + k % 10));
    }
    return script;
}

Stats statsOf(std::vector<double> values)
{
    Stats s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.p99 = values[static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n))) - 1];
    s.max = values.back();
    s.min = values.front();
    return s;
}

Plan planFor(const QString& script, int delay)
{
    Plan plan;
    plan.delay = delay;
    const QStringList lines = script.split(u'\r');
    for (const QString& line : lines) {
        if (line.isEmpty() && !plan.lineTimes.empty())
            break;
        plan.lineTimes.push_back(zorv::script::lineTime(line));
    }
    plan.periods = {10, delay, delay, delay};
    if (plan.lineTimes.front() != 0.0)
        plan.periods.push_back(delay);
    plan.setupCommands = static_cast<int>(plan.periods.size());
    plan.periods.push_back(plan.lineTimes.front() != 0.0 ? zorv::script::holdMs(0.0, plan.lineTimes.front(), 1.0)
                                                         : delay);
    for (std::size_t k = 1; k < plan.lineTimes.size(); ++k)
        plan.periods.push_back(zorv::script::holdMs(plan.lineTimes[k - 1], plan.lineTimes[k], 1.0));
    return plan;
}

Bench::Bench()
{
    // The line carries a command well within the shortest step played, so
    // that the times measured are the program's, not the line's.
    BenchDescription paced;
    paced.delayMs = kDelay;
    paced.baud = QStringLiteral("15");
    m_bench.addModel(QStringLiteral("Bench"), paced);
    BenchDescription fast = paced;
    fast.delayMs = 0;
    m_bench.addModel(QStringLiteral("Fast"), fast);
    m_bench.dialogs().expectMessages();

    window(); // made and shown
    settle();
    window().SerialPortPopup_MouseEnter();
    chooseModel(QStringLiteral("Bench"));
}

void Bench::settle()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 50)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

double Bench::chooseModel(const QString& name)
{
    window().PPSpopup_MouseEnter();
    const int index = window().PPSpopup->findText(name);
    QElapsedTimer clock;
    clock.start();
    window().PPSpopup->setListIndex(index);
    return msSince(clock);
}

Bench::Played Bench::play(const QString& script, int expected, int timeoutMs, const std::function<void()>& afterStart)
{
    Played played;
    QElapsedTimer clock;
    clock.start();
    window().myEditField->setText(script);
    (void)window().myEditField->line(1);
    played.setTextMs = msSince(clock);
    settle();
    if (!window().StartButton->isEnabled())
        return played;

    QEventLoop loop;
    Recorder recorder(m_bench.pty().masterFd());
    recorder.start(expected, [&loop] {
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(timeoutMs, &loop, [&loop] { loop.quit(); });
    clock.restart();
    window().StartButton->click();
    played.startMs = msSince(clock);
    if (afterStart)
        afterStart();
    if (recorder.count() < expected)
        loop.exec();
    QElapsedTimer grace;
    grace.start();
    while (window().StartButton->caption() != u"Start" && grace.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    recorder.waitFor(expected, 200);
    played.arrivals = recorder.stop();
    played.ended = window().StartButton->caption() == u"Start";
    return played;
}

std::vector<Arrival> Bench::playReference(const std::vector<Arrival>& commands, const Plan& plan)
{
    const int fd = ::open(m_reference.slavePath().toLocal8Bit().constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    Recorder recorder(m_reference.masterFd());
    recorder.start(static_cast<int>(commands.size()));
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const long period = static_cast<long>(std::max(0, plan.periods[i]));
        deadline.tv_sec += period / 1000;
        deadline.tv_nsec += (period % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_nsec -= 1000000000L;
            ++deadline.tv_sec;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
        [[maybe_unused]] const auto written = ::write(fd, commands[i].bytes.constData(),
                                                      static_cast<std::size_t>(commands[i].bytes.size()));
    }
    recorder.waitFor(static_cast<int>(commands.size()), 2000);
    std::vector<Arrival> arrivals = recorder.stop();
    ::close(fd);
    return arrivals;
}

double timedOpen(Bench& bench, const QString& path)
{
    PwrSupWindow& w = bench.window();
    w.myEditField->setText(QString());
    Bench::settle();
    bench.nextOpenFile(path);
    QElapsedTimer clock;
    clock.start();
    w.openTextBtn->click();
    QCoreApplication::processEvents();
    return msSince(clock);
}

} // namespace zorv::bench
