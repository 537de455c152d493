// Whole runs over a pseudo-terminal: what reaches the supply's end of the
// line, in which order and when, with the window offscreen.

#include "framework/Serial.h"
#include "framework/Timer.h"
#include "mainwindow/PwrSupWindow.h"
#include "support/BenchTest.h"

#include <QTest>
#include <chrono>
#include <memory>
#include <termios.h>

using namespace zorv;
using namespace zorv::testing;
using Clock = std::chrono::steady_clock;

namespace {

// Bounds on an arrival against its schedule. A timer never fires early. A
// late one is late by the machine's load (a busy or sanitized build may hold
// the event loop for a hundred milliseconds), so the late bound is loose: it
// only has to tell a hold played at its length from one played twice over or
// in the wrong units. The benchmark measures the real precision.
constexpr int kEarlyMs = 3;
constexpr int kLateMs = 250;

// The pause between set-up commands in these runs, and when the set-up
// commands and a first line at time 0 go out after Start with it.
constexpr int kDelay = 50;

int msSince(Clock::time_point from, Clock::time_point to)
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

} // namespace

class RunTest : public BenchTest {
    Q_OBJECT

private:
    void prepare(const QString& script, int unitsRow = 0, BenchDescription description = {})
    {
        description.delayMs = kDelay;
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
        for (std::size_t i = 0; i < arrivals.size(); ++i) {
            const int at = msSince(from, arrivals[i].at);
            const int due = expectedMs[static_cast<qsizetype>(i)];
            if (at < due - kEarlyMs || at > due + kLateMs)
                QFAIL(qPrintable(QStringLiteral("%1 arrived at %2 ms, due at %3 ms")
                                     .arg(QString::fromUtf8(arrivals[i].bytes).trimmed())
                                     .arg(at)
                                     .arg(due)));
        }
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

private slots:
    void wireSequence_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("unitsRow");
        QTest::addColumn<QString>("voltUnit");
        QTest::addColumn<bool>("zeroBox");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QList<int>>("expectedMs");

        // Set-up at 10, 60, 110 and 160 ms: the script's time 0 is at 210.
        QTest::addRow("two lines from time 0")
            << "0,5\r0.3,7.5" << 0 << "1" << false << kBenchSetUp + commands({"VOLT 5.000", "VOLT 7.500"})
            << QList<int>{10, 60, 110, 160, 210, 510};
        QTest::addRow("first time not 0: output init twice")
            << "0.3,5" << 0 << "1" << false << kBenchSetUp + commands({"OUTP ON", "VOLT 5.000"})
            << QList<int>{10, 60, 110, 160, 210, 510};
        QTest::addRow("minutes and millivolts")
            << "0,2500\r0.005,3000" << 3 << "1" << false << kBenchSetUp + commands({"VOLT 2.500", "VOLT 3.000"})
            << QList<int>{10, 60, 110, 160, 210, 510};
        QTest::addRow("one line at time 0") << "0,5" << 0 << "1" << false << kBenchSetUp + commands({"VOLT 5.000"})
                                            << QList<int>{10, 60, 110, 160, 210};
        QTest::addRow("empty first line plays as 0 volts")
            << "\r0.1,4\r0.3,6" << 0 << "1" << false
            << kBenchSetUp + commands({"VOLT 0.000", "VOLT 4.000", "VOLT 6.000"})
            << QList<int>{10, 60, 110, 160, 210, 310, 510};
        QTest::addRow("ends at the first empty line after line 1")
            << "0,1\r0.1,2\r\r0.2,9" << 0 << "1" << false << kBenchSetUp + commands({"VOLT 1.000", "VOLT 2.000"})
            << QList<int>{10, 60, 110, 160, 210, 310};
        QTest::addRow("header words, extra field, no comma")
            << "time,volts\r0.1,2,ignored\r0.2" << 0 << "1" << false
            << kBenchSetUp + commands({"VOLT 0.000", "VOLT 2.000", "VOLT 0.000"})
            << QList<int>{10, 60, 110, 160, 210, 310, 410};
        QTest::addRow("divisor, then zero volts two seconds after the last line")
            << "0,5\r0.1,1.5" << 0 << "0.5" << true
            << kBenchSetUp + commands({"VOLT 10.000", "VOLT 3.000", "VOLT 0.000"})
            << QList<int>{10, 60, 110, 160, 210, 310, 2310};
    }

    void wireSequence()
    {
        QFETCH(QString, script);
        QFETCH(int, unitsRow);
        QFETCH(QString, voltUnit);
        QFETCH(bool, zeroBox);
        QFETCH(QStringList, expected);
        QFETCH(QList<int>, expectedMs);

        BenchDescription description;
        description.voltUnit = voltUnit;
        prepare(script, unitsRow, description);
        m_bench->setZeroBox(zeroBox);

        const Clock::time_point started = pressStart();
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        QVERIFY(window().StartButton->cancel());
        QVERIFY(!window().PPSpopup->isEnabled());
        QVERIFY(!window().SerialPortPopup->isEnabled());

        const auto arrivals = pty().readCommands(static_cast<int>(expected.size()), expectedMs.last() + 2000);
        compareSchedule(arrivals, started, expected, expectedMs);
        verifyIdle();
        QCOMPARE(window().CmdTxt->text(), expected.last());
        QCOMPARE(pty().readCommands(1, 300).size(), std::size_t{0});
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

    void stopDuringHold_data()
    {
        QTest::addColumn<bool>("zeroBox");
        QTest::addColumn<QStringList>("sentAtStop");
        QTest::addRow("zero volts when stopped") << true << commands({"VOLT 0.000"});
        QTest::addRow("box not checked") << false << QStringList();
    }

    void stopDuringHold()
    {
        QFETCH(bool, zeroBox);
        QFETCH(QStringList, sentAtStop);

        prepare(QStringLiteral("0,5\r0.4,7"));
        m_bench->setZeroBox(zeroBox);
        pressStart();
        QCOMPARE(texts(pty().readCommands(5, 2000)), kBenchSetUp + commands({"VOLT 5.000"}));

        const Clock::time_point stopped = Clock::now();
        window().StartButton->click();
        verifyIdle();
        QCOMPARE(window().CmdTxt->text(), sentAtStop.isEmpty() ? QString() : sentAtStop.first());
        const auto atStop = pty().readCommands(1, 100);
        QCOMPARE(texts(atStop), sentAtStop);
        if (!atStop.empty())
            QVERIFY(msSince(stopped, atStop.front().at) <= kLateMs);
        // Line 2 was due 400 ms after line 1, and no zero-volt tick is pending.
        QCOMPARE(texts(pty().readCommands(1, 700)), QStringList());
        QCOMPARE(window().ZeroVTimer->mode(), 0);
        verifyIdle();
    }

    // Unchecked after the last line: the tick two seconds later writes the
    // command as it stands then, an empty one, and ends the run all the same.
    void zeroBoxUncheckedDuringTheTwoSeconds()
    {
        prepare(QStringLiteral("0,5"));
        m_bench->setZeroBox(true);
        pressStart();
        const auto arrivals = pty().readCommands(5, 2000);
        QCOMPARE(texts(arrivals), kBenchSetUp + commands({"VOLT 5.000"}));
        m_bench->setZeroBox(false);
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));

        QTRY_COMPARE_WITH_TIMEOUT(window().StartButton->caption(), QStringLiteral("Start"), 3000);
        const int after = msSince(arrivals.back().at, Clock::now());
        QVERIFY2(after >= 2000 - kEarlyMs, qPrintable(QString::number(after)));
        verifyIdle();
        QCOMPARE(window().CmdTxt->text(), QString());
        QCOMPARE(texts(pty().readCommands(1, 200)), QStringList());
    }

    // Checked while the run goes on: its end reads the box anew.
    void zeroBoxCheckedDuringTheRun()
    {
        prepare(QStringLiteral("0,5\r0.2,6"));
        m_bench->setZeroBox(false);
        pressStart();
        QCOMPARE(texts(pty().readCommands(5, 2000)), kBenchSetUp + commands({"VOLT 5.000"}));
        m_bench->setZeroBox(true);
        const auto last = pty().readCommands(1, 1000);
        QCOMPARE(texts(last), commands({"VOLT 6.000"}));
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        const auto zero = pty().readCommands(1, 3000);
        QCOMPARE(texts(zero), commands({"VOLT 0.000"}));
        QVERIFY(msSince(last.front().at, zero.front().at) >= 2000 - kEarlyMs);
        verifyIdle();
    }

    // A change of units counts from the next command prepared: line 2 was
    // prepared with its hold when line 1 went out, so it keeps the old units;
    // line 3 and the hold after it take the new ones.
    void unitsChangedDuringRun()
    {
        prepare(QStringLiteral("0,1000\r0.004,2000\r0.008,3000\r0.012,4000"), 3); // minutes, millivolts
        const Clock::time_point started = pressStart();
        const auto first = pty().readCommands(5, 2000);
        compareSchedule(first, started, kBenchSetUp + commands({"VOLT 1.000"}), {10, 60, 110, 160, 210});
        window().UnitsPopup->setListIndex(0); // seconds, volts
        QCOMPARE(window().TimeMult, 1.0);

        const auto rest = pty().readCommands(3, 2000);
        compareSchedule(rest, started, commands({"VOLT 2.000", "VOLT 3000.000", "VOLT 4000.000"}), {450, 690, 694});
        verifyIdle();
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
