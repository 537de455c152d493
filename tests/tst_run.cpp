// Whole runs over a pseudo-terminal: what reaches the supply's end of the
// line, in which order, and the wait each step arms, with the window
// offscreen.

#include "framework/PortList.h"
#include "framework/Serial.h"
#include "framework/Timer.h"
#include "mainwindow/PwrSupWindow.h"
#include "support/BenchTest.h"

#include <QAction>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
#include <termios.h>

using namespace zorv;
using namespace zorv::testing;
using Clock = std::chrono::steady_clock;

namespace {

// Bounds on an arrival against its schedule. A timer never fires early. A
// late one is late by the machine's load (a busy or sanitized build may hold
// the event loop for a hundred milliseconds), so the late bound is loose;
// the schedule itself is checked exactly through the waits each step arms,
// and the benchmark measures the real precision.
constexpr int kEarlyMs = 3;
constexpr int kLateMs = 250;

// The pause between set-up commands in most of these runs.
constexpr int kDelay = 50;

// A timer that is not armed.
constexpr int kOff = std::numeric_limits<int>::min();

int msSince(Clock::time_point from, Clock::time_point to)
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

// One step of a run as the supply and the user see it: a press of the start
// button or a timer's tick, the bytes it put on the line, what CmdTxt shows
// after it, and the wait each timer is armed with after it.
struct Step {
    QString by;
    QByteArray wrote;
    QString shows;
    int comWait = kOff;
    int zeroWait = kOff;

    QString toString() const
    {
        auto wait = [](int ms) { return ms == kOff ? QStringLiteral("off") : QString::number(ms); };
        auto visible = [](QString text) { return text.replace(u'\r', QStringLiteral("\\r")); };
        return QStringLiteral("%1 wrote \"%2\", CmdTxt \"%3\", PSComTimer %4, ZeroVTimer %5")
            .arg(by, visible(QString::fromUtf8(wrote)), visible(shows), wait(comWait), wait(zeroWait));
    }
};

QStringList described(const QList<Step>& steps)
{
    QStringList rows;
    for (const Step& step : steps)
        rows.append(step.toString());
    return rows;
}

QByteArray withTerm(const char* command)
{
    return *command ? QByteArray(command) + '\r' : QByteArray();
}

// Start: nothing written, the first tick armed (10 ms unless a test says
// otherwise). CmdTxt keeps what it showed.
Step started(const QString& shows = {})
{
    return {QStringLiteral("Start"), {}, shows, 10, kOff};
}
// A tick that writes a command, shows it, and arms the next tick.
Step tick(const char* command, int wait)
{
    return {QStringLiteral("PSComTimer"), withTerm(command), QString::fromUtf8(withTerm(command)), wait, kOff};
}
// The tick of the last line: no further tick, and the zero-volt tick armed
// when there is a zero-volt command.
Step lastTick(const char* command, int zeroWait = kOff)
{
    return {QStringLiteral("PSComTimer"), withTerm(command), QString::fromUtf8(withTerm(command)), kOff, zeroWait};
}
Step zeroTick(const char* command)
{
    return {QStringLiteral("ZeroVTimer"), withTerm(command), QString::fromUtf8(withTerm(command)), kOff, kOff};
}
Step stopped(const char* command, int zeroWait = kOff)
{
    return {QStringLiteral("Stop"), withTerm(command), QString::fromUtf8(withTerm(command)), kOff, zeroWait};
}

// Start and the four set-up commands of the bench supply, `delay` apart.
QList<Step> setUpSteps(int delay)
{
    return {started(), tick("SEL 1", delay), tick("*RST", delay), tick("INST 1", delay), tick("OUTP ON", delay)};
}

// Records each step of a run the moment it has happened. Its slots are
// connected after the window's own handlers, so they run right after each
// tick, before anything else can: what they read is what that tick left,
// however late the machine ran it. The bytes of a step are taken off the
// line there and then; a step expected to write something is waited for
// until its command is whole, one expected to write nothing takes only what
// has come.
class RunRecorder : public QObject {
public:
    RunRecorder(PwrSupWindow& window, Pty& pty, QList<Step> expected)
        : m_window(window), m_pty(pty), m_expected(std::move(expected))
    {
        connect(window.PSComTimer, &Timer::action, this, [this] { record(QStringLiteral("PSComTimer")); });
        connect(window.ZeroVTimer, &Timer::action, this, [this] { record(QStringLiteral("ZeroVTimer")); });
    }

    // Presses the start button, which reads "Start" or "Stop".
    void press()
    {
        const QString caption = m_window.StartButton->caption();
        // A press counts from before the click: what it arms, it arms
        // during the click.
        const Clock::time_point pressed = Clock::now();
        if (m_steps.isEmpty())
            m_begin = pressed;
        m_window.StartButton->click();
        record(caption, pressed);
    }

    // Runs `action` right after step `index` (from 0) has been recorded.
    void after(int index, std::function<void()> action) { m_actions[index] = std::move(action); }

    const QList<Step>& steps() const { return m_steps; }
    // Bytes that came after the last step took its own.
    QByteArray leftOver()
    {
        m_pending += readAvailable(m_pty.masterFd());
        return m_pending;
    }

    // Loose wall-clock bounds: no tick before its schedule (from the press
    // of Start and the waits armed), none far behind the step that armed it.
    void checkTimes() const
    {
        struct Armed {
            int dueMs;
            int fromStep;
            int waitMs;
        };
        std::map<QString, Armed> armed;
        int dueMs = 0;
        for (qsizetype i = 0; i < m_steps.size(); ++i) {
            const Step& step = m_steps[i];
            const int at = msSince(m_begin, m_times[i]);
            const auto found = armed.find(step.by);
            if (found != armed.end()) {
                const Armed& a = found->second;
                const int sinceArming = msSince(m_times[a.fromStep], m_times[i]);
                if (at < a.dueMs - kEarlyMs || sinceArming > std::max(a.waitMs, 0) + kLateMs)
                    QFAIL(qPrintable(QStringLiteral("step %1 (%2) came at %3 ms, %4 ms after step %5; due at %6 ms")
                                         .arg(i)
                                         .arg(step.toString())
                                         .arg(at)
                                         .arg(sinceArming)
                                         .arg(a.fromStep)
                                         .arg(a.dueMs)));
                dueMs = a.dueMs;
            } else {
                dueMs = at; // a press: it comes when the test makes it
            }
            // Start and each tick arm the next tick; a tick arms the zero-volt
            // tick; a Stop leaves an armed zero-volt tick as it was.
            armed.erase(step.by);
            const QString com = QStringLiteral("PSComTimer");
            const QString zero = QStringLiteral("ZeroVTimer");
            if (step.comWait == kOff)
                armed.erase(com);
            else if (step.by == com || step.by == u"Start")
                armed[com] = {dueMs + std::max(step.comWait, 0), int(i), step.comWait};
            if (step.zeroWait == kOff)
                armed.erase(zero);
            else if (!armed.count(zero))
                armed[zero] = {dueMs + step.zeroWait, int(i), step.zeroWait};
        }
    }

private:
    void record(const QString& by, std::optional<Clock::time_point> at = std::nullopt)
    {
        const bool expectBytes = !m_expected.value(m_steps.size()).wrote.isEmpty();
        Step step;
        step.by = by;
        step.wrote = takeWritten(expectBytes);
        step.shows = m_window.CmdTxt->text();
        step.comWait = m_window.PSComTimer->mode() == 1 ? m_window.PSComTimer->period() : kOff;
        step.zeroWait = m_window.ZeroVTimer->mode() == 1 ? m_window.ZeroVTimer->period() : kOff;
        m_steps.append(step);
        m_times.push_back(at.value_or(Clock::now()));
        const auto action = m_actions.find(int(m_steps.size()) - 1);
        if (action != m_actions.end())
            action->second();
    }

    QByteArray takeWritten(bool expectBytes)
    {
        const int fd = m_pty.masterFd();
        const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(5);
        m_pending += readAvailable(fd);
        while (expectBytes && !m_pending.contains('\r') && Clock::now() < giveUp) {
            pollfd wait{fd, POLLIN, 0};
            ::poll(&wait, 1, 50);
            m_pending += readAvailable(fd);
        }
        const qsizetype end = expectBytes ? m_pending.indexOf('\r') : -1;
        const QByteArray taken = end >= 0 ? m_pending.left(end + 1) : m_pending;
        m_pending.remove(0, taken.size());
        return taken;
    }

    PwrSupWindow& m_window;
    Pty& m_pty;
    QList<Step> m_expected;
    QList<Step> m_steps;
    std::vector<Clock::time_point> m_times;
    Clock::time_point m_begin;
    QByteArray m_pending;
    std::map<int, std::function<void()>> m_actions;
};

} // namespace

Q_DECLARE_METATYPE(Step)

class RunTest : public BenchTest {
    Q_OBJECT

private:
    void prepare(const QString& script, int unitsRow = 0, BenchDescription description = {}, int delay = kDelay)
    {
        description.delayMs = delay;
        m_bench->setUp(description, script);
        window().UnitsPopup->setListIndex(unitsRow);
        QVERIFY(window().StartButton->isEnabled());
    }

    Clock::time_point pressStart()
    {
        const Clock::time_point pressed = Clock::now();
        window().StartButton->click();
        return pressed;
    }

    // Arrivals must be the expected commands at the expected times (ms from
    // `from`).
    void compareSchedule(const std::vector<Pty::Arrival>& arrivals, Clock::time_point from,
                         const QStringList& expected, const QList<int>& expectedMs)
    {
        QCOMPARE(texts(arrivals), expected);
        const QString late = outsideSchedule(arrivals, from, expectedMs, kEarlyMs, kLateMs);
        QVERIFY2(late.isEmpty(), qPrintable(late));
    }

    // Presses Start and records the run until the expected steps have come
    // and a little beyond, then compares every step exactly: nothing of it
    // depends on how late the machine ran the ticks.
    void playAndCompare(RunRecorder& recorder, const QList<Step>& expected)
    {
        int lengthMs = 0;
        for (const Step& step : expected)
            lengthMs += std::max(step.comWait, 0) + std::max(step.zeroWait, 0);
        recorder.press();
        // A step that never comes shows in the comparison below.
        const bool allCame =
            QTest::qWaitFor([&] { return recorder.steps().size() >= expected.size(); }, lengthMs + 5000);
        QTest::qWait(200); // room for a step too many
        const QStringList got = described(recorder.steps());
        const QStringList want = described(expected);
        for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
            QCOMPARE(got[i], want[i]);
        QCOMPARE(got.size(), want.size());
        QVERIFY(allCame);
        QCOMPARE(recorder.leftOver(), QByteArray());
        recorder.checkTimes();
    }

    void verifyIdle()
    {
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Start"));
        QVERIFY(window().StartButton->isEnabled());
        QVERIFY(!window().StartButton->cancel());
        QVERIFY(window().SerialPortPopup->isEnabled());
        QVERIFY(window().PPSpopup->isEnabled());
        QCOMPARE(window().PSComTimer->mode(), 0);
    }

    // A whole run as playAndCompare plays it, and the window ready for the
    // next one after it.
    void playToTheEnd(RunRecorder& recorder, const QList<Step>& expected)
    {
        playAndCompare(recorder, expected);
        if (QTest::currentTestFailed())
            return;
        verifyIdle();
    }

private slots:
    // Every step of a run: the command it writes, what CmdTxt shows then, and
    // the wait it arms.
    void schedule_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("unitsRow");
        QTest::addColumn<QString>("voltUnit");
        QTest::addColumn<int>("delay");
        QTest::addColumn<bool>("zeroBox");
        QTest::addColumn<QList<Step>>("steps");

        const QList<Step> setUp = setUpSteps(kDelay);
        QTest::addRow("two lines from time 0")
            << "0,5\r0.3,7.5" << 0 << "1" << kDelay << false
            << setUp + QList<Step>{tick("VOLT 5.000", 300), lastTick("VOLT 7.500")};
        QTest::addRow("first time not 0: output init again, then the hold before line 1")
            << "0.3,5" << 0 << "1" << kDelay << false
            << setUp + QList<Step>{tick("OUTP ON", 300), lastTick("VOLT 5.000")};
        QTest::addRow("minutes and millivolts")
            << "0,2500\r0.005,3000" << 3 << "1" << kDelay << false
            << setUp + QList<Step>{tick("VOLT 2.500", 300), lastTick("VOLT 3.000")};
        QTest::addRow("seconds and millivolts")
            << "0,1500\r0.05,250" << 1 << "1" << kDelay << false
            << setUp + QList<Step>{tick("VOLT 1.500", 50), lastTick("VOLT 0.250")};
        QTest::addRow("holds in whole milliseconds")
            << "0,1\r0.0004,2\r0.0126,3" << 0 << "1" << kDelay << false
            << setUp + QList<Step>{tick("VOLT 1.000", 0), tick("VOLT 2.000", 12), lastTick("VOLT 3.000")};
        QTest::addRow("one line at time 0") << "0,5" << 0 << "1" << kDelay << false
                                            << setUp + QList<Step>{lastTick("VOLT 5.000")};
        QTest::addRow("empty first line plays as 0 volts")
            << "\r0.1,4\r0.3,6" << 0 << "1" << kDelay << false
            << setUp + QList<Step>{tick("VOLT 0.000", 100), tick("VOLT 4.000", 200), lastTick("VOLT 6.000")};
        QTest::addRow("ends at the first empty line after line 1")
            << "0,1\r0.1,2\r\r0.2,9" << 0 << "1" << kDelay << false
            << setUp + QList<Step>{tick("VOLT 1.000", 100), lastTick("VOLT 2.000")};
        QTest::addRow("header words, extra field, no comma")
            << "time,volts\r0.1,2,ignored\r0.2" << 0 << "1" << kDelay << false
            << setUp + QList<Step>{tick("VOLT 0.000", 100), tick("VOLT 2.000", 100), lastTick("VOLT 0.000")};
        QTest::addRow("equal and decreasing times: waits of 0 and less")
            << "0,1\r0,2\r-0.2,3\r0.1,4" << 0 << "1" << kDelay << false
            << setUp
                   + QList<Step>{tick("VOLT 1.000", 0), tick("VOLT 2.000", -200), tick("VOLT 3.000", 300),
                                 lastTick("VOLT 4.000")};
        QTest::addRow("set-up pause of 0, first time below 0")
            << "-0.1,5\r0,6" << 0 << "1" << 0 << false
            << setUpSteps(0) + QList<Step>{tick("OUTP ON", -100), tick("VOLT 5.000", 100), lastTick("VOLT 6.000")};
        QTest::addRow("divisor, then zero volts two seconds after the last line")
            << "0,5\r0.1,1.5" << 0 << "0.5" << kDelay << true
            << setUp + QList<Step>{tick("VOLT 10.000", 100), lastTick("VOLT 3.000", 2000), zeroTick("VOLT 0.000")};
    }

    void schedule()
    {
        QFETCH(QString, script);
        QFETCH(int, unitsRow);
        QFETCH(QString, voltUnit);
        QFETCH(int, delay);
        QFETCH(bool, zeroBox);
        QFETCH(QList<Step>, steps);

        BenchDescription description;
        description.voltUnit = voltUnit;
        prepare(script, unitsRow, description, delay);
        m_bench->setZeroBox(zeroBox);

        RunRecorder recorder(window(), pty(), steps);
        recorder.after(0, [this] {
            QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
            QVERIFY(window().StartButton->cancel());
            QVERIFY(!window().PPSpopup->isEnabled());
            QVERIFY(!window().SerialPortPopup->isEnabled());
        });
        playToTheEnd(recorder, steps);
    }

    // Stop within the two seconds after the last line: 0 V at once, and the
    // zero-volt tick still due writes it again when they are over.
    void stopWithinTheTwoSeconds()
    {
        prepare(QStringLiteral("0,5"));
        m_bench->setZeroBox(true);
        const QList<Step> steps = setUpSteps(kDelay)
                                  + QList<Step>{lastTick("VOLT 5.000", 2000), stopped("VOLT 0.000", 2000),
                                                zeroTick("VOLT 0.000")};
        RunRecorder recorder(window(), pty(), steps);
        recorder.after(5, [&recorder] { recorder.press(); });
        recorder.after(6, [this] { verifyIdle(); });
        playToTheEnd(recorder, steps);
    }

    // An edit during a run is played from the next tick on: the command that
    // tick writes was prepared before the edit, the one it prepares comes
    // from the new text.
    void editDuringRun()
    {
        prepare(QStringLiteral("0,5\r0.2,6\r0.4,7"));
        const QList<Step> steps = setUpSteps(kDelay)
                                  + QList<Step>{tick("VOLT 5.000", 200), tick("VOLT 6.000", 200),
                                                tick("VOLT 8.000", 100), lastTick("VOLT 9.000")};
        RunRecorder recorder(window(), pty(), steps);
        recorder.after(5, [this] { window().myEditField->setText(QStringLiteral("0,5\r0.2,6\r0.5,8\r0.6,9")); });
        playToTheEnd(recorder, steps);
    }

    // While the script is checked the button reads "Checking..." and cannot
    // be pressed, even when the script is edited meanwhile; once the run is
    // armed it reads "Stop".
    void captionDuringTheCheck_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addRow("script left alone") << false;
        QTest::addRow("script edited during the check") << true;
    }

    void captionDuringTheCheck()
    {
        QFETCH(bool, edit);
        prepare(QStringLiteral("0,5\r1,6\r2,7"));
        QString caption;
        bool enabled = true;
        // The check yields to the event loop after its first line, at the
        // latest once a few milliseconds have passed since the last yield.
        QTest::qWait(10);
        QTimer::singleShot(0, this, [&] {
            if (edit)
                window().myEditField->appendText(QStringLiteral("\r3,8"));
            caption = window().StartButton->caption();
            enabled = window().StartButton->isEnabled();
        });
        window().StartButton->click();
        QCOMPARE(caption, QStringLiteral("Checking..."));
        QVERIFY(!enabled);
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        QVERIFY(window().StartButton->isEnabled());
        window().StartButton->click();
        verifyIdle();
    }

    // The last line's tick hands over to the zero-volt timer: the run lasts,
    // and the controls stay as a run has them, until its tick.
    void zeroVoltsEndTheRun()
    {
        prepare(QStringLiteral("0,5"));
        m_bench->setZeroBox(true);
        pressStart();
        const auto arrivals = pty().readCommands(5, 2000);
        QCOMPARE(texts(arrivals), kBenchSetUp + commands({"VOLT 5.000"}));
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        QVERIFY(window().StartButton->cancel());
        QVERIFY(!window().PPSpopup->isEnabled());
        QCOMPARE(window().ZeroVTimer->mode(), 1);

        const auto zero = pty().readCommands(1, 3000);
        QCOMPARE(texts(zero), commands({"VOLT 0.000"}));
        const int after = msSince(arrivals.back().at, zero.front().at);
        QVERIFY2(after >= 2000 - kEarlyMs && after <= 2000 + kLateMs, qPrintable(QString::number(after)));
        verifyIdle();
        QCOMPARE(window().ZeroVTimer->mode(), 0);
        QCOMPARE(window().CmdTxt->text(), QStringLiteral("VOLT 0.000\r"));
    }

    // Stop before the first tick or during the hold of a line: the zero-volt
    // command, if any, at once, and nothing after it.
    void stopBeforeTheEnd_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("zeroBox");
        QTest::addColumn<int>("pressAfter");
        QTest::addColumn<QList<Step>>("steps");
        const QList<Step> run = setUpSteps(kDelay) + QList<Step>{tick("VOLT 5.000", 400)};
        const int lastSetUp = run.size() - 1;
        QTest::addRow("before the first tick, zero volts when stopped")
            << QStringLiteral("0,5") << true << 0 << QList<Step>{started(), stopped("VOLT 0.000")};
        QTest::addRow("before the first tick, box not checked")
            << QStringLiteral("0,5") << false << 0 << QList<Step>{started(), stopped("")};
        QTest::addRow("during a hold, zero volts when stopped")
            << QStringLiteral("0,5\r0.4,7") << true << lastSetUp << run + QList<Step>{stopped("VOLT 0.000")};
        QTest::addRow("during a hold, box not checked")
            << QStringLiteral("0,5\r0.4,7") << false << lastSetUp << run + QList<Step>{stopped("")};
    }

    void stopBeforeTheEnd()
    {
        QFETCH(QString, script);
        QFETCH(bool, zeroBox);
        QFETCH(int, pressAfter);
        QFETCH(QList<Step>, steps);

        prepare(script);
        m_bench->setZeroBox(zeroBox);
        RunRecorder recorder(window(), pty(), steps);
        recorder.after(pressAfter, [&recorder] { recorder.press(); });
        playAndCompare(recorder, steps);
        if (QTest::currentTestFailed())
            return;
        // Line 2 of the longer script was due 400 ms after line 1, and no
        // zero-volt tick is pending.
        QTest::qWait(600);
        QCOMPARE(recorder.steps().size(), steps.size());
        QCOMPARE(recorder.leftOver(), QByteArray());
        verifyIdle();
    }

    // Unchecked after the last line: the tick two seconds later writes the
    // command as it stands then, an empty one, and ends the run all the same.
    void zeroBoxUncheckedDuringTheTwoSeconds()
    {
        prepare(QStringLiteral("0,5"));
        m_bench->setZeroBox(true);
        const QList<Step> steps =
            setUpSteps(kDelay) + QList<Step>{lastTick("VOLT 5.000", 2000), zeroTick("")};
        RunRecorder recorder(window(), pty(), steps);
        recorder.after(5, [this] {
            m_bench->setZeroBox(false);
            QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        });
        playToTheEnd(recorder, steps);
    }

    // Checked while the run goes on: its end reads the box anew.
    void zeroBoxCheckedDuringTheRun()
    {
        prepare(QStringLiteral("0,5\r0.2,6"));
        m_bench->setZeroBox(false);
        const QList<Step> steps =
            setUpSteps(kDelay)
            + QList<Step>{tick("VOLT 5.000", 200), lastTick("VOLT 6.000", 2000), zeroTick("VOLT 0.000")};
        RunRecorder recorder(window(), pty(), steps);
        recorder.after(5, [this] { m_bench->setZeroBox(true); });
        recorder.after(6, [this] { QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop")); });
        playToTheEnd(recorder, steps);
    }

    // A change of units counts from the next command prepared: line 2 was
    // prepared with its hold when line 1 went out, so it keeps the old units;
    // line 3 and the hold after it take the new ones.
    void unitsChangedDuringRun()
    {
        prepare(QStringLiteral("0,1000\r0.004,2000\r0.008,3000\r0.012,4000"), 3); // minutes, millivolts
        const QList<Step> steps = setUpSteps(kDelay)
                                  + QList<Step>{tick("VOLT 1.000", 240), tick("VOLT 2.000", 240),
                                                tick("VOLT 3000.000", 4), lastTick("VOLT 4000.000")};
        RunRecorder recorder(window(), pty(), steps);
        recorder.after(5, [this] {
            window().UnitsPopup->setListIndex(0); // seconds, volts
            QCOMPARE(window().TimeMult, 1.0);
        });
        playToTheEnd(recorder, steps);
    }

    // The output number is read when its command is prepared, after Start.
    void outputChangedAfterStart()
    {
        BenchDescription description;
        description.outList = QStringLiteral("1,2");
        description.voltsMaxList = QStringLiteral("10,20");
        prepare(QStringLiteral("0,5"), 0, description);
        pressStart();
        window().OutNumberPopup->setListIndex(1);
        QCOMPARE(texts(pty().readCommands(5, 2000)), commands({"SEL 1", "*RST", "INST 2", "OUTP ON", "VOLT 5.000"}));
    }

    // A run stopped while its zero-volt tick is pending, and started again at
    // once: the old tick must not fire into the new run.
    void startWhileZeroTickPending()
    {
        prepare(QStringLiteral("0,5"));
        m_bench->setZeroBox(true);
        pressStart();
        QCOMPARE(texts(pty().readCommands(5, 2000)), kBenchSetUp + commands({"VOLT 5.000"}));
        QCOMPARE(window().ZeroVTimer->mode(), 1);
        window().StartButton->click(); // Stop
        QCOMPARE(texts(pty().readCommands(1, 200)), commands({"VOLT 0.000"}));

        // The old tick was due about 2000 ms from now, between these lines.
        window().myEditField->setText(QStringLiteral("0,5\r2.2,6"));
        const Clock::time_point started = pressStart();
        QCOMPARE(window().ZeroVTimer->mode(), 0);
        const auto arrivals = pty().readCommands(6, 4000);
        compareSchedule(arrivals, started, kBenchSetUp + commands({"VOLT 5.000", "VOLT 6.000"}),
                        {10, 60, 110, 160, 210, 2410});
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        QVERIFY(!window().PPSpopup->isEnabled());

        window().StartButton->click(); // Stop, rather than wait for the new run's own tick
        QCOMPARE(texts(pty().readCommands(1, 200)), commands({"VOLT 0.000"}));
    }

    // The port shown is closed when Start is pressed. Start opens it, as
    // choosing it does; when that fails it says so at every press, and
    // nothing of a run begins: no byte on the line, nothing shown as sent.
    void startOnClosedPort_data()
    {
        QTest::addColumn<QString>("closed");  // how the port shown came to be closed
        QTest::addColumn<QString>("message"); // at each press; none: the run goes out
        const QString openFail = QStringLiteral("Error opening serial port for Power Supply.   Serial.Open fail.");
        QTest::addRow("its open failed") << "failed" << openFail;
        QTest::addRow("its row above the last usable one")
            << "row 123" << "Error opening serial port for Power Supply. Invalid serial Port:123";
        QTest::addRow("the list emptied under it") << "emptied" << openFail;
        QTest::addRow("its open failed, and it is back") << "back" << QString();
    }

    void startOnClosedPort()
    {
        QFETCH(QString, closed);
        QFETCH(QString, message);

        m_bench->addModel(QStringLiteral("Bench"), BenchDescription{});
        m_bench->chooseModel(QStringLiteral("Bench"));
        m_bench->chooseOutput(0);
        const QString port = inFolder(QStringLiteral("port"));
        if (closed == u"row 123") {
            QStringList names;
            for (int i = 0; i < 123; ++i)
                names.append(QStringLiteral("/nonexistent/%1").arg(i));
            ports::setPortsForTesting(names << pty().slavePath());
        } else if (closed == u"emptied") {
            ports::setPortsForTesting(QStringList{pty().slavePath()});
        } else {
            QVERIFY(QFile::link(inFolder(QStringLiteral("nowhere")), port));
            ports::setPortsForTesting(QStringList{port});
        }
        dialogs().expectMessages();
        m_bench->enterPortList();
        if (closed == u"row 123")
            window().SerialPortPopup->setListIndex(123);
        window().myEditField->setText(QStringLiteral("0,5"));
        QVERIFY(window().StartButton->isEnabled());
        if (closed == u"emptied") {
            ports::setPortsForTesting(QStringList{});
            m_bench->enterPortList();
        } else if (closed == u"back") {
            QVERIFY(QFile::remove(port));
            QVERIFY(QFile::link(pty().slavePath(), port));
        }
        QVERIFY(!window().Serial1->isOpen());
        QVERIFY(window().StartButton->isEnabled());
        const QString portShown = window().SerialPortPopup->text();
        const int portRows = window().SerialPortPopup->listCount();
        dialogs().messages.clear();

        window().StartButton->click();
        if (message.isEmpty()) {
            QCOMPARE(dialogs().messages, QStringList());
            QCOMPARE(texts(pty().readCommands(5, 3000)), kBenchSetUp + commands({"VOLT 5.000"}));
            return;
        }
        QCOMPARE(dialogs().messages, QStringList{message});
        QCOMPARE(pty().readUntil(1, 300), QByteArray());
        QCOMPARE(window().CmdTxt->text(), QString());
        verifyIdle();
        QCOMPARE(window().myEditField->text(), QStringLiteral("0,5"));
        QCOMPARE(window().SerialPortPopup->text(), portShown);
        QCOMPARE(window().SerialPortPopup->listCount(), portRows);
        QCOMPARE(window().PPSpopup->text(), QStringLiteral("Bench"));
        QVERIFY(!window().Serial1->isOpen());

        // Each press is the user's own and says so again; the pointer's
        // entries go on trying the port without a message.
        window().StartButton->click();
        QCOMPARE(dialogs().messages, (QStringList{message, message}));
        m_bench->enterPortList();
        QCOMPARE(dialogs().messages.size(), 2);
        QCOMPARE(pty().readUntil(1, 100), QByteArray());
    }

    // The event loop held for 300 ms in a run of 10 ms steps: the command
    // that fell due goes out late, and those after it keep their 10 ms apart,
    // counted from the late one, instead of following it all at once.
    void stallThenOwnPace()
    {
        constexpr int kLines = 60;
        constexpr int kStepMs = 10;
        QStringList lines;
        QStringList expected = kBenchSetUp;
        for (int k = 0; k < kLines; ++k) {
            lines << QStringLiteral("%1,%2").arg(k * kStepMs / 1000.0).arg(k % 10);
            expected << QStringLiteral("VOLT %1.000\r").arg(k % 10);
        }
        prepare(lines.join(u'\r'));
        pressStart();
        auto arrivals = pty().readCommands(kBenchSetUp.size() + 10, 3000);
        QCOMPARE(static_cast<int>(arrivals.size()), kBenchSetUp.size() + 10);

        // Nothing of the run is unread now; no tick can run until this ends.
        const Clock::time_point stalled = Clock::now();
        while (Clock::now() - stalled < std::chrono::milliseconds(300)) {
        }
        const Clock::time_point resumed = Clock::now();
        const int before = static_cast<int>(arrivals.size());
        const auto rest = pty().readCommands(static_cast<int>(expected.size()) - before, 5000);
        arrivals.insert(arrivals.end(), rest.begin(), rest.end());
        QCOMPARE(texts(arrivals), expected);

        // The first command after the stall comes at once; the m-th after it
        // is due m steps after that one was written, which was after `resumed`.
        // Load only delays arrivals, so this bound holds on a busy machine.
        for (int m = 1; m < static_cast<int>(rest.size()); ++m) {
            const int at = msSince(resumed, rest[static_cast<std::size_t>(m)].at);
            if (at < m * kStepMs - kEarlyMs)
                QFAIL(qPrintable(QStringLiteral("command %1 after the stall arrived %2 ms after it ended, due "
                                                "%3 ms at the earliest")
                                     .arg(m)
                                     .arg(at)
                                     .arg(m * kStepMs)));
        }
        QTRY_COMPARE_WITH_TIMEOUT(window().StartButton->caption(), QStringLiteral("Start"), 2000);
    }

    // Quit while a run goes on, or while its zero-volt tick is pending, with
    // "Zero volts when stopped" checked: the supply is set to 0 V before the
    // program ends, whichever way it ends. Without the box, or without a run,
    // nothing more is written. The line keeps the settings the program set,
    // the run's (9600 bit/s, 2 stop bits) or, with no run, those it opened
    // the port with, and not those the line had before.
    void quitDuringRun_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("zeroBox");
        QTest::addColumn<bool>("run");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("atQuit");

        const QString hold = QStringLiteral("0,5\r30,7");
        const QStringList zero = commands({"VOLT 0.000"});
        QTest::addRow("during a hold, the Quit item") << hold << true << true << "item" << zero;
        QTest::addRow("during a hold, its shortcut") << hold << true << true << "shortcut" << zero;
        QTest::addRow("during a hold, the window closed") << hold << true << true << "close" << zero;
        QTest::addRow("zero-volt tick pending") << QStringLiteral("0,5") << true << true << "item" << zero;
        QTest::addRow("during a hold, box not checked") << hold << false << true << "item" << QStringList();
        QTest::addRow("no run, box checked") << hold << true << false << "item" << QStringList();
    }

    void quitDuringRun()
    {
        QFETCH(QString, script);
        QFETCH(bool, zeroBox);
        QFETCH(bool, run);
        QFETCH(QString, how);
        QFETCH(QStringList, atQuit);

        BenchDescription description;
        description.baud = QStringLiteral("8");
        description.stopBits = QStringLiteral("2");
        prepare(script, 0, description);
        m_bench->setZeroBox(zeroBox);
        window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window()));
        if (run) {
            pressStart();
            QCOMPARE(texts(pty().readCommands(5, 3000)), kBenchSetUp + commands({"VOLT 5.000"}));
            QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        }
        QAction* quit = menuItem(window(), QStringLiteral("FileQuit"));
        QVERIFY(quit);
        QTimer::singleShot(0, &window(), [this, how, quit] {
            if (how == u"item")
                quit->trigger();
            else if (how == u"shortcut")
                QTest::keyClick(&window(), Qt::Key_Q, Qt::ControlModifier);
            else
                window().close();
        });
        QVERIFY(execWithin(10000).has_value());

        // What the program wrote before it ended is on the line already: no
        // event loop runs from here on to send the rest.
        const QByteArray expected = atQuit.join(QString()).toUtf8();
        QByteArray got;
        for (int i = 0; i < 50 && got.size() < expected.size(); ++i)
            got += pty().read(20);
        QCOMPARE(got, expected);
        QCOMPARE(pty().read(300), QByteArray());

        m_bench->endSession();
        const termios line = pty().settings();
        QCOMPARE(cfgetospeed(&line), run ? speed_t(B9600) : speed_t(B57600));
        QCOMPARE((line.c_cflag & CSTOPB) != 0, run);
    }

    void lineParameters_data()
    {
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("parity");
        QTest::addColumn<QString>("dataBits");
        QTest::addColumn<QString>("stopBits");
        QTest::addColumn<QList<int>>("codes"); // baud, bits, stop, parity of the serial control
        QTest::addColumn<int>("speed");
        QTest::addColumn<bool>("twoStops");
        QTest::addRow("9600 7E2") << "8" << "2" << "7" << "2" << QList<int>{8, 2, 2, 2} << int(B9600) << true;
        QTest::addRow("115200 5O1.5") << "14" << "1" << "5" << "1.5" << QList<int>{14, 0, 1, 1} << int(B115200)
                                      << true;
        QTest::addRow("2400 6N1") << "4" << "0" << "6" << "1" << QList<int>{4, 1, 0, 0} << int(B2400) << false;
    }

    // Start sets the line from the description before the first command.
    // A pseudo-terminal keeps 8 data bits and no parity whatever it is told,
    // so those two are seen in the codes only.
    void lineParameters()
    {
        QFETCH(QString, baud);
        QFETCH(QString, parity);
        QFETCH(QString, dataBits);
        QFETCH(QString, stopBits);
        QFETCH(QList<int>, codes);
        QFETCH(int, speed);
        QFETCH(bool, twoStops);

        BenchDescription description;
        description.baud = baud;
        description.parity = parity;
        description.dataBits = dataBits;
        description.stopBits = stopBits;
        prepare(QStringLiteral("0,5"), 0, description);
        const termios before = pty().settings();
        QVERIFY(int(cfgetospeed(&before)) != speed);
        pressStart();
        const Serial* serial = window().Serial1;
        QCOMPARE((QList<int>{serial->baud(), serial->bits(), serial->stop(), serial->parity()}), codes);
        const termios line = pty().settings();
        QCOMPARE(int(cfgetospeed(&line)), speed);
        QCOMPARE((line.c_cflag & CSTOPB) != 0, twoStops);
        QCOMPARE(texts(pty().readCommands(5, 2000)), kBenchSetUp + commands({"VOLT 5.000"}));
    }
};

QTEST_MAIN(RunTest)
#include "tst_run.moc"
