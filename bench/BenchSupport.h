#pragma once

#include "mainwindow/PwrSupWindow.h"
#include "support/BenchWindow.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zorv::bench {

using testing::BenchDescription;

std::int64_t nowNs();
double nsToMs(double ns);
double msSince(const QElapsedTimer& clock);

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
    explicit Recorder(int fd);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // onComplete runs on the recorder's thread once `expected` commands are in.
    void start(int expected, std::function<void()> onComplete = {});
    // A far end slower than the line: from the next start on, at most
    // `chunk` bytes at a time, `pauseMs` apart (0: all there is, at once).
    void setPace(int chunk, int pauseMs)
    {
        m_chunk = chunk;
        m_pauseMs = pauseMs;
    }
    std::vector<Arrival> stop();
    int count() const { return m_count.load(); }
    bool waitFor(int commands, int timeoutMs) const;

private:
    void loop();

    int m_fd;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
    QByteArray m_pending;
    std::atomic<int> m_count{0};
    int m_expected = 0;
    std::function<void()> m_onComplete;
    int m_chunk = 0;
    int m_pauseMs = 0;
};

// `lines` lines `hold` milliseconds apart, from time 0, in seconds.
QString evenScript(int lines, int holdMs);

// `lines` lines 10 ms apart, about ten bytes each.
QString longScript(int lines);

struct Stats {
    double median = 0, p99 = 0, max = 0, min = 0;
};

Stats statsOf(std::vector<double> values);

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

Plan planFor(const QString& script, int delay);

// The main window on a pseudo-terminal, with a paced model "Bench" chosen
// and a model "Fast" without a set-up pause, both at 230400 bit/s, where a
// voltage command takes under half a millisecond on the line; and a second
// pseudo-terminal for the reference player.
class Bench {
public:
    Bench();

    static constexpr int kDelay = 10;

    bool ready() { return m_bench.isValid() && m_reference.isValid() && window().Serial1->isOpen(); }
    PwrSupWindow& window() { return m_bench.window(); }
    QString programFolder() const { return m_bench.folder() + u'/'; }
    // The far end of the program's line.
    testing::Pty& pty() { return m_bench.pty(); }
    QStringList messages() { return m_bench.dialogs().messages; }
    void nextOpenFile(const QString& path) { m_bench.dialogs().nextOpenFile(path); }
    bool addModel(const QString& name, const BenchDescription& description)
    {
        return m_bench.addModel(name, description);
    }

    static void settle();

    // Picks a model by name as the user would; the time loading took, in ms.
    double chooseModel(const QString& name);

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
    Played play(const QString& script, int expected, int timeoutMs, const std::function<void()>& afterStart = {});

    // The same bytes with the same periods, from a plain loop that sleeps to
    // absolute deadlines: what this machine allows at best.
    std::vector<Arrival> playReference(const std::vector<Arrival>& commands, const Plan& plan);

private:
    testing::BenchWindow m_bench;
    testing::Pty m_reference;
};

// Opens the file at path through the window's open button as the user would,
// from an empty text area; the time until the event loop is idle again, in ms.
double timedOpen(Bench& bench, const QString& path);

// The sections, each printing its tables; the number of measurements that
// failed.
int runTimingTable(Bench& bench, int cpuHoldSeconds);
int runGrowthTable(Bench& bench);
int runLargeScriptTable(Bench& bench);
int runStalledSupplyTable(Bench& bench);
int runSlowLineTable(Bench& bench);
int runOpeningTable(Bench& bench);
int runLongOutputsTable(Bench& bench);

} // namespace zorv::bench
