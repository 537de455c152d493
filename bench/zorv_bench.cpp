// Plays real runs through the main window against pseudo-terminals and
// prints how precisely the commands arrive, what a run costs as scripts,
// folders and descriptions grow, and how a plain reference player on the same
// machine compares.
//
//   zorv_bench [--cpu-hold SECONDS]   (the CPU hold lasts 60 s unless given)
//   zorv_bench --large-scripts         (only the large-script and stall rows)

#include "framework/Files.h"
#include "mainwindow/PwrSupWindow.h"
#include "script/Script.h"
#include "support/BenchWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using zorv::PwrSupWindow;
using zorv::testing::BenchDescription;
using zorv::testing::BenchWindow;
using zorv::testing::Pty;
using zorv::testing::readAvailable;
using zorv::testing::takeCommands;
using zorv::testing::writeFile;

std::int64_t clockNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

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

// One command as it arrived at the far end of the line, with the process's
// CPU time at that moment.
struct Arrival {
    std::int64_t at;
    std::int64_t cpu;
    QByteArray bytes;
};

// Reads the master side of a pseudo-terminal on a thread of its own, so the
// arrival times do not depend on the program's event loop, and splits what
// arrives into commands at carriage returns.
class Recorder {
public:
    explicit Recorder(int fd) : m_fd(fd)
    {
        if (::pipe2(m_wake, O_CLOEXEC) != 0)
            m_wake[0] = m_wake[1] = -1;
    }
    ~Recorder()
    {
        stop();
        for (int fd : m_wake)
            if (fd >= 0)
                ::close(fd);
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // onComplete runs on the recorder's thread once `expected` commands are in.
    void start(int expected, std::function<void()> onComplete = {})
    {
        stop();
        m_arrivals.clear();
        m_pending.clear();
        m_count = 0;
        m_expected = expected;
        m_onComplete = std::move(onComplete);
        m_thread = std::thread([this] { loop(); });
    }

    std::vector<Arrival> stop()
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

    int count() const { return m_count.load(); }

    bool waitFor(int commands, int timeoutMs) const
    {
        const std::int64_t deadline = nowNs() + static_cast<std::int64_t>(timeoutMs) * 1000000;
        while (m_count.load() < commands && nowNs() < deadline)
            ::usleep(1000);
        return m_count.load() >= commands;
    }

private:
    void loop()
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
            m_pending.append(readAvailable(m_fd));
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
        }
    }

    int m_fd;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
    QByteArray m_pending;
    std::atomic<int> m_count{0};
    int m_expected = 0;
    std::function<void()> m_onComplete;
};

// `lines` lines `hold` milliseconds apart, from time 0, in seconds.
QString evenScript(int lines, int holdMs)
{
    QStringList script;
    for (int k = 0; k < lines; ++k)
        script << QString::number(k * holdMs / 1000.0, 'g', 12) + u',' + QString::number(1 + k % 10);
    return script.join(u'\r');
}

struct Stats {
    double median = 0, p99 = 0, max = 0, min = 0;
};

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

// What a run's wire sequence is, worked out from the script the same way the
// sequencer arms its timer: the period before each command, the script time
// of each line.
struct Plan {
    int delay = 0;
    std::vector<int> periods; // before command i, from the previous one (Start for i = 0)
    std::vector<double> lineTimes;
    int setupCommands = 0;
    int commands() const { return static_cast<int>(periods.size()); }
};

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

struct Timing {
    Stats error;      // ms
    double drift = 0; // ms
    int commands = 0;
    bool ok = false;
};

// Interval errors between consecutive script lines, and the drift of the
// last line against the script's own time (time 0 lies one set-up pause
// after the first output-init command).
Timing timingOf(const Plan& plan, const std::vector<Arrival>& a)
{
    Timing t;
    t.commands = static_cast<int>(a.size());
    if (static_cast<int>(a.size()) != plan.commands())
        return t;
    std::vector<double> errors;
    const int first = plan.setupCommands;
    for (int i = first + 1; i < plan.commands(); ++i) {
        const auto u = static_cast<std::size_t>(i);
        errors.push_back(nsToMs(static_cast<double>(a[u].at - a[u - 1].at)) - plan.periods[u]);
    }
    t.error = statsOf(errors);
    const double zero = static_cast<double>(a[3].at) + plan.delay * 1e6;
    t.drift = nsToMs(static_cast<double>(a.back().at) - zero) - plan.lineTimes.back() * 1000.0;
    t.ok = true;
    return t;
}

class Bench {
public:
    Bench()
    {
        BenchDescription paced;
        paced.delayMs = kDelay;
        m_bench.addModel(QStringLiteral("Bench"), paced);
        BenchDescription fast;
        fast.delayMs = 0;
        m_bench.addModel(QStringLiteral("Fast"), fast);
        m_bench.dialogs().expectMessages();

        window(); // made and shown
        settle();
        window().SerialPortPopup_MouseEnter();
        chooseModel(QStringLiteral("Bench"));
    }

    static constexpr int kDelay = 10;

    bool ready() { return m_bench.isValid() && m_reference.isValid() && window().Serial1->isOpen(); }
    PwrSupWindow& window() { return m_bench.window(); }
    QString programFolder() const { return m_bench.folder() + u'/'; }
    QStringList messages() { return m_bench.dialogs().messages; }
    void nextOpenFile(const QString& path) { m_bench.dialogs().nextOpenFile(path); }
    bool addModel(const QString& name, const BenchDescription& description)
    {
        return m_bench.addModel(name, description);
    }

    static void settle()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 50)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    // Picks a model by name as the user would; the time loading took, in ms.
    double chooseModel(const QString& name)
    {
        window().PPSpopup_MouseEnter();
        const int index = window().PPSpopup->findText(name);
        QElapsedTimer clock;
        clock.start();
        window().PPSpopup->setListIndex(index);
        return msSince(clock);
    }

    struct Played {
        std::vector<Arrival> arrivals;
        double setTextMs = 0;
        double startMs = 0;
        bool ended = false;

        // Every expected command came, and the run ended.
        bool complete(int expected) const { return static_cast<int>(arrivals.size()) == expected && ended; }
    };

    // Puts the script in the text area, presses Start and plays the run to
    // its end.
    Played play(const QString& script, int expected, int timeoutMs, const std::function<void()>& afterStart = {})
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

    // The same bytes with the same periods, from a plain loop that sleeps to
    // absolute deadlines: what this machine allows at best.
    std::vector<Arrival> playReference(const std::vector<Arrival>& commands, const Plan& plan)
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

private:
    BenchWindow m_bench;
    Pty m_reference;
};

std::string ratio(double ours, double reference)
{
    if (std::fabs(reference) < 1e-4)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "x%.1f", ours / reference);
    return text;
}

std::string cell(double ours, double reference)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3f / %.3f (%s)", ours, reference, ratio(ours, reference).c_str());
    return text;
}

struct Case {
    const char* name;
    int lines;
    int holdMs;
};

int runTimingTable(Bench& bench, int cpuHoldSeconds)
{
    int failures = 0;
    const Case cases[] = {
        {"hold 1 ms", 500, 1},
        {"hold 10 ms", 200, 10},
        {"hold 100 ms", 30, 100},
        {"hold 2 s", 4, 2000},
        {"1,000 lines at 10 ms", 1000, 10},
    };
    std::printf("## Timing of runs\n\n");
    std::printf("Interval error = arrival - previous arrival - armed period, between consecutive script\n"
                "lines; drift = last line's arrival - (script time 0 + t(N) x U). All in ms,\n"
                "each cell \"ZORV / reference (ratio)\".\n\n");
    std::printf("| run | lines | error median | error p99 | error max | error min | drift of last line |\n");
    std::printf("|---|---:|---|---|---|---|---|\n");
    bool goalsMet = true;
    double worstDrift = 0;
    for (const Case& c : cases) {
        const QString script = evenScript(c.lines, c.holdMs);
        const Plan plan = planFor(script, Bench::kDelay);
        const int timeoutMs = 10000 + c.lines * (c.holdMs + 5) * 2;
        const Bench::Played played = bench.play(script, plan.commands(), timeoutMs);
        const Timing ours = timingOf(plan, played.arrivals);
        if (!ours.ok || !played.ended) {
            std::printf("| %s | %d | run failed: %d of %d commands, ended: %s | | | | |\n", c.name, c.lines,
                        ours.commands, plan.commands(), played.ended ? "yes" : "no");
            ++failures;
            continue;
        }
        const Timing ref = timingOf(plan, bench.playReference(played.arrivals, plan));
        std::printf("| %s | %d | %s | %s | %s | %s | %s |\n", c.name, c.lines,
                    cell(ours.error.median, ref.error.median).c_str(), cell(ours.error.p99, ref.error.p99).c_str(),
                    cell(ours.error.max, ref.error.max).c_str(), cell(ours.error.min, ref.error.min).c_str(),
                    cell(ours.drift, ref.drift).c_str());
        std::fflush(stdout);
        goalsMet = goalsMet && ours.error.median <= 0.1 && ours.error.max <= 1.0;
        if (c.lines == 1000)
            worstDrift = ours.drift;
    }
    std::printf("\nGoals: interval error median <= 0.1 ms and max <= 1 ms at every hold: %s; "
                "drift of the 1,000-line run <= 50 ms: %s (%.3f ms).\n\n",
                goalsMet ? "met" : "NOT met", std::fabs(worstDrift) <= 50 ? "met" : "NOT met", worstDrift);

    // CPU during a long hold: the line's hold is all waiting.
    const QString script = QStringLiteral("0,1\r%1,2").arg(cpuHoldSeconds);
    const Plan plan = planFor(script, Bench::kDelay);
    const Bench::Played played = bench.play(script, plan.commands(), cpuHoldSeconds * 1000 + 10000);
    if (static_cast<int>(played.arrivals.size()) == plan.commands()) {
        const auto& a = played.arrivals;
        const double oursCpu = nsToMs(static_cast<double>(a.back().cpu - a[a.size() - 2].cpu));
        const double oursWall = nsToMs(static_cast<double>(a.back().at - a[a.size() - 2].at));
        const std::vector<Arrival> r = bench.playReference(a, plan);
        const double refCpu = r.size() == a.size() ? nsToMs(static_cast<double>(r.back().cpu - r[r.size() - 2].cpu)) : -1;
        std::printf("CPU time during a %d s hold (whole process, all threads, the recording thread included): "
                    "ZORV %.3f ms (%.4f %% of one core), reference %.3f ms.\n\n",
                    cpuHoldSeconds, oursCpu, 100.0 * oursCpu / oursWall, refCpu);
    } else {
        std::printf("CPU hold run failed: %zu of %d commands.\n\n", played.arrivals.size(), plan.commands());
        ++failures;
    }
    return failures;
}

int runGrowthTable(Bench& bench)
{
    int failures = 0;
    bench.chooseModel(QStringLiteral("Fast"));
    std::printf("## Growth\n\n");
    std::printf("Scripts whose lines all have time 0 (every period 0), model with no set-up pause. Start check =\n"
                "the Start press (range check of every line, port set-up, arming); run = first to last voltage\n"
                "command as they arrive.\n\n");
    std::printf("| script lines | put in text area (ms) | Start check (ms) | per line (us) | run (ms) | per tick (us) |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|\n");
    for (int lines = 1000; lines <= 100000; lines *= 10) {
        QStringList rows;
        for (int k = 0; k < lines; ++k)
            rows << QStringLiteral("0,%1").arg(1 + k % 10);
        const QString script = rows.join(u'\r');
        const Plan plan = planFor(script, 0);
        const Bench::Played played = bench.play(script, plan.commands(), 120000);
        const auto& a = played.arrivals;
        if (!played.complete(plan.commands())) {
            std::printf("| %d | run failed: %zu of %d commands | | | | |\n", lines, a.size(), plan.commands());
            ++failures;
            continue;
        }
        const double runMs = nsToMs(static_cast<double>(a.back().at - a[static_cast<std::size_t>(plan.setupCommands)].at));
        std::printf("| %d | %.1f | %.2f | %.3f | %.1f | %.2f |\n", lines, played.setTextMs, played.startMs,
                    played.startMs * 1000.0 / lines, runMs, runMs * 1000.0 / (lines - 1));
        std::fflush(stdout);
    }

    std::printf("\nModel list: the list rebuilt from a folder of n description files (and n/10 other files).\n\n");
    std::printf("| files | rebuild (ms) | per file (us) |\n|---:|---:|---:|\n");
    for (int files = 10; files <= 10000; files *= 10) {
        const QString folder = bench.programFolder() + QStringLiteral("list%1/").arg(files);
        QDir().mkpath(folder + QStringLiteral("ZORV dep files"));
        for (int i = 0; i < files; ++i)
            writeFile(folder + QStringLiteral("ZORV dep files/Model %1.dep").arg(i, 5, 10, QLatin1Char('0')), "x\n");
        for (int i = 0; i < files / 10; ++i)
            writeFile(folder + QStringLiteral("ZORV dep files/notes %1.txt").arg(i), "x\n");
        zorv::files::setProgramFolderForTesting(folder);
        QElapsedTimer clock;
        clock.start();
        bench.window().PPSpopup_Open();
        const double ms = msSince(clock);
        if (bench.window().PPSpopup->listCount() != files)
            ++failures;
        std::printf("| %d | %.2f | %.2f |\n", files, ms, ms * 1000.0 / files);
        std::fflush(stdout);
    }
    zorv::files::setProgramFolderForTesting(bench.programFolder());

    std::printf("\nLoading a description whose description section holds n bytes of free text (lines of 100).\n\n");
    std::printf("| free text | load (ms) |\n|---:|---:|\n");
    for (int bytes = 1000; bytes <= 1000000; bytes *= 10) {
        const QString name = QStringLiteral("Text %1").arg(bytes);
        QString text;
        text.reserve(bytes);
        for (int i = 0; i < bytes; ++i)
            text.append(QChar(u'a' + i % 26));
        BenchDescription description;
        description.delayMs = 0;
        description.freeText = text;
        bench.addModel(name, description);
        const double ms = bench.chooseModel(name);
        if (bench.window().PSDescription.size() != bytes)
            ++failures;
        std::printf("| %d bytes | %.2f |\n", bytes, ms);
        std::fflush(stdout);
    }
    return failures;
}

// `lines` lines 10 ms apart, about ten bytes each.
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

// Puts the text cursor at the end of line `line` (from 1) and gives the text
// area the focus, as a click there would.
void placeCursor(zorv::TextArea* area, int line)
{
    area->setFocus(Qt::OtherFocusReason);
    QTextCursor cursor(area->document()->findBlockByNumber(line - 1));
    cursor.movePosition(QTextCursor::EndOfBlock);
    area->setTextCursor(cursor);
}

// One keystroke: a digit typed, or the last one taken back.
void typeOne(zorv::TextArea* area, int k)
{
    if (k % 2 == 0)
        QTest::keyClick(area, Qt::Key_1);
    else
        QTest::keyClick(area, Qt::Key_Backspace);
}

int runLargeScriptTable(Bench& bench)
{
    int failures = 0;
    PwrSupWindow& w = bench.window();
    zorv::TextArea* area = w.myEditField;
    bench.chooseModel(QStringLiteral("Bench"));

    std::printf("## Large scripts\n\n");
    std::printf("Keystrokes in the middle of a script of n lines (about 10 bytes each): 40 keystrokes, a digit\n"
                "typed and taken back in turn. Handler = myEditField_TextChange as the keystroke raises it;\n"
                "keystroke = the key event handled, the handler included; with repaint = until the event loop\n"
                "is idle again. ms.\n\n");
    std::printf("| lines | handler median | handler max | keystroke median | keystroke max | with repaint max |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|\n");
    bool handlerGoal = true;
    bool frameGoal = true;
    for (int lines = 10000; lines <= 1000000; lines *= 10) {
        area->setText(longScript(lines));
        Bench::settle();
        placeCursor(area, lines / 2);
        Bench::settle();
        std::vector<double> handler, key, whole;
        // The handler timed as each keystroke raises it.
        area->bind(zorv::Event::TextChange, [&] {
            QElapsedTimer clock;
            clock.start();
            w.myEditField_TextChange();
            handler.push_back(msSince(clock));
        });
        for (int k = 0; k < 40; ++k) {
            QElapsedTimer clock;
            clock.start();
            typeOne(area, k);
            key.push_back(msSince(clock));
            QCoreApplication::processEvents();
            whole.push_back(msSince(clock));
        }
        area->bind(zorv::Event::TextChange, [&w] { w.myEditField_TextChange(); });
        if (handler.size() != key.size() || area->line(lines / 2) != longScript(lines / 2).section(u'\r', -1))
            ++failures; // the keystrokes did not land where they should
        const Stats h = statsOf(handler), k = statsOf(key), all = statsOf(whole);
        std::printf("| %d | %.3f | %.3f | %.3f | %.3f | %.3f |\n", lines, h.median, h.max, k.median, k.max, all.max);
        std::fflush(stdout);
        if (lines == 100000)
            handlerGoal = h.max < 2.0;
        if (lines == 1000000)
            frameGoal = all.max <= 16.0;
    }
    std::printf("\nGoals: handler under 2 ms per keystroke at 100,000 lines: %s; no keystroke holds the event loop\n"
                "longer than 16 ms at 1,000,000 lines: %s.\n\n",
                handlerGoal ? "met" : "NOT met", frameGoal ? "met" : "NOT met");
    if (!frameGoal)
        std::printf("The longest keystrokes are Backspaces that make the widest line of the text shorter: Qt's\n"
                    "plain-text layout then looks at every line for the new widest one (the first time it also\n"
                    "makes a layout object for each line). That is Qt's own work, outside the handler.\n\n");

    std::printf("Opening a script file through \"Open Text File...\" (file read, text set, two line ends\n"
                "appended, TextChange twice), until the event loop is idle again.\n\n");
    std::printf("| file | lines | open (ms) |\n|---:|---:|---:|\n");
    double open10 = 0;
    for (int lines : {100000, 1000000}) {
        const QString path = bench.programFolder() + QStringLiteral("open%1.txt").arg(lines);
        const QByteArray bytes = longScript(lines).toUtf8();
        writeFile(path, bytes);
        area->setText(QString());
        Bench::settle();
        bench.nextOpenFile(path);
        QElapsedTimer clock;
        clock.start();
        w.openTextBtn->click();
        QCoreApplication::processEvents();
        const double ms = msSince(clock);
        if (area->document()->blockCount() != lines + 2)
            ++failures;
        std::printf("| %.1f MB | %d | %.0f |\n", static_cast<double>(bytes.size()) / 1e6, lines, ms);
        std::fflush(stdout);
        if (lines == 1000000)
            open10 = ms;
    }
    std::printf("\nGoal: a 10 MB script opens in a third of 11.2 s (3,733 ms) or less: %s (%.0f ms).\n\n",
                open10 <= 11200.0 / 3 ? "met" : "NOT met", open10);

    std::printf("Runs of lines 10 ms apart, intervals between voltage commands as they arrive (ms): one of 100\n"
                "lines with the event loop held for 300 ms mid-run (a handler that busy-waits); one of 300 lines\n"
                "in a script of 100,000 lines, with a keystroke at the script's end every 20 ms, and the same\n"
                "without typing. Shortfall = the least of interval - (armed wait - the previous tick's lateness),\n"
                "lateness counted against each tick's deadline as the timer sets it; never below 0 when no\n"
                "command follows the one before sooner than the rule allows.\n\n");
    std::printf("| run | shortest interval after the stall | within 1 ms of the one before | longest interval | "
                "shortfall | interval error p99 | interval error max |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
    area->setText(QString());
    Bench::settle();

    struct Shape {
        double shortestAfterLongest = 1e9, longest = 0, shortfall = 1e9;
        long close = 0;
        Stats error;
    };
    // Deadlines as the timer sets them: from the previous deadline, or from
    // the tick itself when that deadline had passed already.
    auto shapeOf = [](const Plan& plan, const std::vector<Arrival>& a) {
        Shape shape;
        std::vector<double> intervals, errors;
        const auto first = static_cast<std::size_t>(plan.setupCommands);
        double deadline = static_cast<double>(a[first].at);
        double lateness = 0;
        std::size_t longestAt = 0;
        for (std::size_t i = first + 1; i < a.size(); ++i) {
            const double period = plan.periods[i] * 1e6;
            const double previous = static_cast<double>(a[i - 1].at);
            deadline = deadline + period > previous ? deadline + period : previous + period;
            const double interval = nsToMs(static_cast<double>(a[i].at) - previous);
            shape.shortfall = std::min(shape.shortfall, interval - (plan.periods[i] - nsToMs(lateness)));
            lateness = static_cast<double>(a[i].at) - deadline;
            intervals.push_back(interval);
            errors.push_back(interval - plan.periods[i]);
            if (interval < 1.0)
                ++shape.close;
            if (interval > shape.longest) {
                shape.longest = interval;
                longestAt = intervals.size() - 1;
            }
        }
        for (std::size_t i = longestAt + 1; i < intervals.size(); ++i)
            shape.shortestAfterLongest = std::min(shape.shortestAfterLongest, intervals[i]);
        shape.error = statsOf(errors);
        return shape;
    };

    // Three times: a recording thread that the machine holds back stamps two
    // commands together, which one run alone cannot tell from a burst.
    int stallRunsMet = 0;
    for (int run = 1; run <= 3; ++run) {
        const QString script = evenScript(100, 10);
        const Plan plan = planFor(script, Bench::kDelay);
        const Bench::Played played = bench.play(script, plan.commands(), 20000, [] {
            QTimer::singleShot(500, Qt::PreciseTimer, [] {
                QElapsedTimer busy;
                busy.start();
                while (busy.elapsed() < 300) {
                }
            });
        });
        if (!played.complete(plan.commands())) {
            std::printf("| stall | run failed: %zu of %d commands | | | | | |\n", played.arrivals.size(),
                        plan.commands());
            ++failures;
            continue;
        }
        const Shape shape = shapeOf(plan, played.arrivals);
        std::printf("| 300 ms stall, run %d | %.3f | %ld | %.1f | %.3f | %.3f | %.3f |\n", run,
                    shape.shortestAfterLongest, shape.close, shape.longest, shape.shortfall, shape.error.p99,
                    shape.error.max);
        std::fflush(stdout);
        if (shape.close == 0 && shape.shortfall >= -0.5)
            ++stallRunsMet;
    }
    bool typingGoal = false;
    {
        const QString script = evenScript(300, 10) + QStringLiteral("\r\r") + longScript(100000);
        const Plan plan = planFor(script, Bench::kDelay);
        double quietMax = 0;
        for (const bool typing : {false, true}) {
            QTimer typist;
            int typed = 0;
            QObject::connect(&typist, &QTimer::timeout, [&] { typeOne(area, typed++); });
            const Bench::Played run = bench.play(script, plan.commands(), 30000, [&] {
                placeCursor(area, area->document()->blockCount());
                if (typing)
                    typist.start(20);
            });
            typist.stop();
            if (typed % 2 == 1)
                typeOne(area, typed++);
            if (!run.complete(plan.commands())) {
                std::printf("| typing | run failed: %zu of %d commands | | | | | |\n", run.arrivals.size(),
                            plan.commands());
                ++failures;
                continue;
            }
            const Shape shape = shapeOf(plan, run.arrivals);
            if (typing) {
                std::printf("| 100,000 lines, %d keystrokes | - | %ld | %.1f | %.3f | %.3f | %.3f |\n", typed,
                            shape.close, shape.longest, shape.shortfall, shape.error.p99, shape.error.max);
                typingGoal = shape.error.max <= std::max(3.0, quietMax + 3.0);
            } else {
                std::printf("| 100,000 lines, no typing | - | %ld | %.1f | %.3f | %.3f | %.3f |\n", shape.close,
                            shape.longest, shape.shortfall, shape.error.p99, shape.error.max);
                quietMax = shape.error.max;
            }
            std::fflush(stdout);
        }
    }
    std::printf("\nGoals: after the stall no train of commands (none within 1 ms of the one before, no\n"
                "shortfall below -0.5 ms): met in %d of 3 runs; typing delays no tick by more than 3 ms beyond\n"
                "the same run without typing: %s.\n\n",
                stallRunsMet, typingGoal ? "met" : "NOT met");
    area->setText(QString());
    Bench::settle();
    return failures;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int cpuHoldSeconds = 60;
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--cpu-hold"));
    if (at > 0 && at + 1 < args.size())
        cpuHoldSeconds = std::max(1, args[at + 1].toInt());

    Bench bench;
    if (!bench.ready()) {
        std::fprintf(stderr, "zorv_bench: no pseudo-terminal or the port did not open\n");
        return 1;
    }
    std::printf("# ZORV benchmark\n\n");
    int failures = 0;
    if (!args.contains(QStringLiteral("--large-scripts"))) {
        failures += runTimingTable(bench, cpuHoldSeconds);
        failures += runGrowthTable(bench);
    }
    failures += runLargeScriptTable(bench);
    for (const QString& message : bench.messages())
        std::printf("message shown: %s\n", qPrintable(message));
    if (failures > 0)
        std::printf("\n%d measurement(s) failed.\n", failures);
    return failures > 0 ? 1 : 0;
}
