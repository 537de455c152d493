#include "bench/BenchSupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <utility>

namespace zorv::bench {

using testing::readAvailable;

namespace {

// Takes off the line whatever the program has queued, the event loop running
// meanwhile, until nothing has come for a moment.
void drainLine(testing::Pty& pty)
{
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!readAvailable(pty.masterFd()).isEmpty())
            quiet.restart();
    }
}

} // namespace

int runStalledSupplyTable(Bench& bench)
{
    int failures = 0;
    PwrSupWindow& w = bench.window();
    constexpr int kLines = 3000;
    std::printf("## A supply that stops reading\n\n");
    std::printf("The far end of the line reads nothing: %d voltage commands at time 0 (no set-up pause), about\n"
                "33 KB, pile up in front of it, which the line carries in 34 s at 9600 bit/s and in 6 s at 57600,\n"
                "into the pseudo-terminal's buffer. How long each handler holds the event loop, in ms; the last\n"
                "tick and the zero-volt tick are the longest tick of their timer in the run, Quit is chosen\n"
                "during a hold, with the box checked.\n\n",
                kLines);

    // The handlers of both timers, timed as their ticks raise them.
    double tickMs = 0;
    auto timed = [&tickMs](const std::function<void()>& handler) {
        QElapsedTimer clock;
        clock.start();
        handler();
        tickMs = std::max(tickMs, msSince(clock));
    };
    QObject::disconnect(w.PSComTimer, &Timer::action, nullptr, nullptr);
    QObject::disconnect(w.ZeroVTimer, &Timer::action, nullptr, nullptr);
    QObject::connect(w.PSComTimer, &Timer::action, [&] { timed([&w] { w.PSComTimer_Action(); }); });
    QObject::connect(w.ZeroVTimer, &Timer::action, [&] { timed([&w] { w.ZeroVTimer_Action(); }); });

    QAction* quit = testing::menuItem(w, QStringLiteral("FileQuit"));
    const std::array<const char*, 5> handlers{"last tick", "zero-volt tick", "Stop", "Escape", "Quit"};
    const std::array<std::pair<const char*, const char*>, 2> rates{{{"9600", "8"}, {"57600", "13"}}};
    std::array<std::array<double, 2>, 5> ms{};
    double longest = 0;
    double quitLongest = 0;
    for (std::size_t r = 0; r < rates.size(); ++r) {
        BenchDescription description;
        description.delayMs = 0;
        description.baud = QString::fromLatin1(rates[r].second);
        const QString model = QStringLiteral("Stalled %1").arg(QString::fromLatin1(rates[r].first));
        bench.addModel(model, description);
        bench.chooseModel(model);
        for (std::size_t h = 0; h < handlers.size(); ++h) {
            const bool ticks = h <= 1;
            QStringList lines(kLines, QStringLiteral("0,1"));
            if (!ticks)
                lines << QStringLiteral("100,2");
            w.myEditField->setText(lines.join(u'\r'));
            if (w.ZeroVCheckBox->isChecked() != (h != 0))
                w.ZeroVCheckBox->click();
            Bench::settle();
            tickMs = 0;
            w.StartButton->click();
            QElapsedTimer clock;
            clock.start();
            // The run's end, or the hold before its last line.
            while (clock.elapsed() < 120000
                   && (ticks ? w.StartButton->caption() != u"Start" : w.CommandIndex != kLines + 1))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            clock.restart();
            switch (h) {
            case 0:
            case 1:
                ms[h][r] = tickMs;
                break;
            case 2:
                w.StartButton->click();
                ms[h][r] = msSince(clock);
                break;
            case 3:
                // A Quit at the rate before has closed the window once.
                w.activateWindow();
                if (!QTest::qWaitForWindowActive(&w))
                    ++failures;
                clock.restart();
                QTest::keyClick(w.myEditField, Qt::Key_Escape);
                ms[h][r] = msSince(clock);
                break;
            case 4:
                QTimer::singleShot(0, quit, &QAction::trigger);
                clock.restart();
                if (!testing::execWithin(120000))
                    ++failures;
                ms[h][r] = msSince(clock);
                // Quit closed the window and left it as the run had it.
                w.show();
                w.StartButton->click();
                break;
            }
            if (w.StartButton->caption() != u"Start")
                ++failures;
            double& worst = h == 4 ? quitLongest : longest;
            worst = std::max(worst, ms[h][r]);
            // What an ended run left queued would take the line's time, tens
            // of seconds; the next Start drops it all the same.
            w.Serial1->dropQueued();
            drainLine(bench.pty());
        }
    }
    QObject::disconnect(w.PSComTimer, &Timer::action, nullptr, nullptr);
    QObject::disconnect(w.ZeroVTimer, &Timer::action, nullptr, nullptr);
    QObject::connect(w.PSComTimer, &Timer::action, &w, &PwrSupWindow::PSComTimer_Action);
    QObject::connect(w.ZeroVTimer, &Timer::action, &w, &PwrSupWindow::ZeroVTimer_Action);
    if (w.ZeroVCheckBox->isChecked())
        w.ZeroVCheckBox->click();
    w.myEditField->setText(QString());
    Bench::settle();

    std::printf("| handler | %s bit/s | %s bit/s |\n|---|---:|---:|\n", rates[0].first, rates[1].first);
    for (std::size_t h = 0; h < handlers.size(); ++h)
        std::printf("| %s | %.0f | %.0f |\n", handlers[h], ms[h][0], ms[h][1]);
    std::printf("\nGoals, with the supply reading nothing: the ticks, Stop and Escape under 1 s: %s (%.0f ms); Quit\n"
                "under 3 s: %s (%.0f ms).\n\n",
                longest < 1000.0 ? "met" : "NOT met", longest, quitLongest < 3000.0 ? "met" : "NOT met", quitLongest);
    std::fflush(stdout);
    return failures;
}

int runSlowLineTable(Bench& bench)
{
    int failures = 0;
    PwrSupWindow& w = bench.window();
    constexpr int kLines = 8000;
    constexpr int kStopAfterMs = 6000;
    std::printf("## A line slower than the script\n\n");
    std::printf("A script of %d lines 1 ms apart (about 11 KB/s of commands) at 9600 bit/s (about 960 B/s),\n"
                "\"Zero volts when stopped\" checked, Stop pressed %d s into the run. Longest handler = the longest\n"
                "the event loop was held from Start until the zero arrived; between = commands that reached the\n"
                "far end after the press and before the zero; zero = its arrival after the press. The\n"
                "pseudo-terminal is handed commands at the line's rate, about 87 a second: what the far end does\n"
                "not read meanwhile waits in the system's buffer and still reaches it before the zero.\n\n",
                kLines, kStopAfterMs / 1000);
    BenchDescription description;
    description.delayMs = 0;
    description.baud = QStringLiteral("8");
    bench.addModel(QStringLiteral("Slow line 9600"), description);
    bench.chooseModel(QStringLiteral("Slow line 9600"));
    if (!w.ZeroVCheckBox->isChecked())
        w.ZeroVCheckBox->click();

    struct Row {
        const char* name;
        int chunk;
        int pauseMs;
        int stallFromMs; // the far end reads nothing from then until the press; 0: it reads throughout
    };
    const std::array<Row, 3> rows{{{"far end reading at once", 0, 0, 0},
                                   {"far end reading 1 KB every 150 ms", 1024, 150, 0},
                                   {"far end reading nothing from 2 s until the press", 0, 0, 2000}}};
    std::printf("| far end | longest handler (ms) | Stop (ms) | between | zero (ms) |\n|---|---:|---:|---:|---:|\n");
    for (const Row& row : rows) {
        w.myEditField->setText(evenScript(kLines, 1));
        Bench::settle();

        QElapsedTimer since;
        double longest = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] { longest = std::max(longest, msSince(since)); since.restart(); });
        Recorder recorder(bench.pty().masterFd());
        recorder.setPace(row.chunk, row.pauseMs);
        recorder.start(INT_MAX);
        since.start();
        probe.start(5);
        w.StartButton->click();
        QElapsedTimer clock;
        clock.start();
        bool reading = true;
        while (clock.elapsed() < kStopAfterMs) {
            if (reading && row.stallFromMs > 0 && clock.elapsed() >= row.stallFromMs) {
                recorder.stop();
                reading = false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        const std::int64_t pressed = nowNs();
        // The far end reads again as the user presses: what the line carried
        // meanwhile is all it gets before the zero.
        if (!reading)
            recorder.start(INT_MAX);
        clock.restart();
        w.StartButton->click();
        const double stopMs = msSince(clock);
        // Until nothing has come for a second.
        int seen = -1;
        clock.restart();
        while (clock.elapsed() < 1000 || recorder.count() != seen) {
            if (recorder.count() != seen) {
                seen = recorder.count();
                clock.restart();
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        probe.stop();
        const std::vector<Arrival> arrivals = recorder.stop();

        int between = 0;
        double zeroMs = -1;
        for (const Arrival& arrival : arrivals) {
            if (arrival.at < pressed)
                continue;
            if (arrival.bytes == "VOLT 0.000\r") {
                zeroMs = nsToMs(static_cast<double>(arrival.at - pressed));
                break;
            }
            ++between;
        }
        if (zeroMs < 0 || w.StartButton->caption() != u"Start")
            ++failures;
        std::printf("| %s | %.0f | %.0f | %d | %.0f |\n", row.name, longest, stopMs, between, zeroMs);
        std::fflush(stdout);
        testing::readAvailable(bench.pty().masterFd());
    }
    w.ZeroVCheckBox->click();
    w.myEditField->setText(QString());
    Bench::settle();
    std::printf("\n");
    return failures;
}

} // namespace zorv::bench
