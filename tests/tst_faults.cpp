// Faults from outside that the program must live through and keep working
// after: the serial line vanishing under a run, description files and
// scripts that are not what they claim to be, and things on the disk that
// are no files to read at all.

#include "app/App.h"
#include "app/FileTypes.h"
#include "framework/Files.h"
#include "framework/PortList.h"
#include "framework/Serial.h"
#include "framework/TextStream.h"
#include "framework/Timer.h"
#include "mainwindow/PwrSupWindow.h"
#include "support/BenchTest.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

using namespace zorv;
using namespace zorv::testing;

enum class Reader { Description, Preference, Script };
// What ends or stops a run in front of a supply that reads nothing.
enum class Stalled { LastTick, ZeroTick, Stop, Escape, Quit, QuitWhileLastTickWaits };
// How the user ends a run.
enum class Press { Stop, Escape, Quit };
// How the supply stops taking data: the line refuses it (flow control), or
// the supply's end simply reads nothing while the line still carries it.
enum class Halt { FlowControl, NotReading };
// What lies on the disk where a reader looks.
enum class OnDisk { Fifo, LinkToDevZero, Folder, Oversized, Regular, LinkToRegular };
Q_DECLARE_METATYPE(Reader)
Q_DECLARE_METATYPE(OnDisk)
Q_DECLARE_METATYPE(Stalled)
Q_DECLARE_METATYPE(Press)
Q_DECLARE_METATYPE(Halt)

namespace {

// Bytes of every value, NUL and invalid UTF-8 among them, the same each run.
QByteArray noise(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    return bytes;
}

template <std::size_t N>
QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, N - 1); // NUL bytes included
}

QString withNul(const QString& before, const QString& after)
{
    return before + QChar(u'\0') + after;
}

// Puts at path the kind of thing given; a file among them begins with content.
void makeOnDisk(OnDisk kind, const QString& path, const QByteArray& content)
{
    const QByteArray name = QFile::encodeName(path);
    switch (kind) {
    case OnDisk::Fifo:
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        break;
    case OnDisk::LinkToDevZero:
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        break;
    case OnDisk::Folder:
        QVERIFY(QDir().mkdir(path));
        break;
    case OnDisk::Oversized: // sparse: it costs the disk nothing
        QVERIFY(writeFile(path, content));
        QCOMPARE(::truncate(name.constData(), files::kMaxTextFileSize + 1), 0);
        break;
    case OnDisk::Regular:
        QVERIFY(writeFile(path, content));
        break;
    case OnDisk::LinkToRegular:
        QVERIFY(writeFile(path + QStringLiteral("-target"), content));
        QVERIFY(QFile::link(path + QStringLiteral("-target"), path));
        break;
    }
}

// The longest the event loop went without running a timer of its own: how
// long the window stood frozen.
class LoopHold : public QObject {
public:
    LoopHold()
    {
        m_probe.setTimerType(Qt::PreciseTimer);
        connect(&m_probe, &QTimer::timeout, this, [this] { m_longest = std::max(m_longest, m_since.restart()); });
        m_since.start();
        m_probe.start(5);
    }

    qint64 longestMs() const { return std::max(m_longest, m_since.elapsed()); }

private:
    QTimer m_probe;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

// The supply's end of the line, read on a thread of its own so that it goes
// on while the program holds its event loop or has ended: up to `chunk` bytes
// at a time, `pauseMs` apart, until nothing has come for `quietMs`. Given the
// line, it lets the line take data only for `openMs` at those times, reading
// its `chunk` then, as an adapter that sends in bursts does, and stops it in
// between.
class FarEnd {
public:
    FarEnd(int fd, int chunk, int pauseMs, int quietMs, Pty* line = nullptr, int openMs = 0)
        : m_thread([this, fd, chunk, pauseMs, quietMs, line, openMs] {
              using Clock = std::chrono::steady_clock;
              std::vector<char> buffer(static_cast<std::size_t>(chunk));
              auto last = Clock::now();
              while (Clock::now() - last < std::chrono::milliseconds(quietMs)) {
                  if (line)
                      line->setLineStopped(false);
                  const auto shut = Clock::now() + std::chrono::milliseconds(openMs);
                  bool read = false;
                  std::size_t room = buffer.size();
                  do {
                      const ssize_t n = room > 0 ? ::read(fd, buffer.data(), room) : 0;
                      if (n > 0) {
                          const std::lock_guard<std::mutex> lock(m_mutex);
                          m_bytes.append(buffer.data(), n);
                          last = Clock::now();
                          read = true;
                          room -= static_cast<std::size_t>(n);
                      }
                      if (line)
                          std::this_thread::sleep_for(std::chrono::milliseconds(1));
                  } while (Clock::now() < shut);
                  if (line)
                      line->setLineStopped(true);
                  if (read || line)
                      ++m_reads;
                  std::this_thread::sleep_for(std::chrono::milliseconds(read || line ? pauseMs : 1));
              }
              if (line)
                  line->setLineStopped(false);
              m_done = true;
          })
    {
    }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;
    ~FarEnd() { m_thread.join(); }

    bool done() const { return m_done; }
    // How many times it has read, or opened the line.
    int reads() const { return m_reads; }
    QByteArray bytes()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes;
    }

private:
    std::mutex m_mutex;
    QByteArray m_bytes;
    std::atomic<bool> m_done{false};
    std::atomic<int> m_reads{0};
    std::thread m_thread; // last: it starts once the rest is there
};

// Whether `got` is what the run sends up to some command, whole, and then
// `tail`.
bool wholePrefixThen(const QByteArray& run, const QByteArray& got, const QByteArray& tail)
{
    if (!got.endsWith(tail))
        return false;
    const QByteArray prefix = got.chopped(tail.size());
    return run.startsWith(prefix) && (prefix.isEmpty() || prefix.endsWith('\r'));
}

} // namespace

class FaultsTest : public BenchTest {
    Q_OBJECT

private:
    std::unique_ptr<Pty> m_fresh;

    // The bench supply, 50 ms between its set-up commands, ready to run script.
    void setUp(const QString& script)
    {
        BenchDescription description;
        description.delayMs = 50;
        m_bench->setUp(description, script);
    }

    // Thousands of commands at time 0 for a supply at 9600 bit/s (or the
    // rate code given) with no set-up pause, ready to start; with a hold, a
    // last line 100 s later.
    static constexpr int kPileUpLines = 3000;
    void setUpPileUp(bool hold, bool zeroBox, int lines = kPileUpLines, const QString& baud = QStringLiteral("8"))
    {
        BenchDescription description;
        description.delayMs = 0;
        description.baud = baud;
        QStringList script(lines, QStringLiteral("0,1"));
        if (hold)
            script << QStringLiteral("100,2");
        m_bench->setUp(description, script.join(u'\r'));
        m_bench->setZeroBox(zeroBox);
    }

    // All that run sends up to the hold, and the zero volts after it.
    static QByteArray pileUpBytes(bool zeroBox, int lines = kPileUpLines)
    {
        QStringList expected = kBenchSetUp;
        for (int i = 0; i < lines; ++i)
            expected << QStringLiteral("VOLT 1.000\r");
        if (zeroBox)
            expected << QStringLiteral("VOLT 0.000\r");
        return expected.join(QString()).toUtf8();
    }

    // Starts the run set up and returns once it holds before its last line.
    void startToTheHold()
    {
        window().StartButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(window().PSComTimer->period(), 100000, 30000);
    }

    void verifyIdle()
    {
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Start"));
        QVERIFY(!window().StartButton->cancel());
        QVERIFY(window().SerialPortPopup->isEnabled());
        QVERIFY(window().PPSpopup->isEnabled());
        QCOMPARE(window().PSComTimer->mode(), 0);
        QCOMPARE(window().ZeroVTimer->mode(), 0);
    }

    // The user plugs in another port and picks it: a whole run arrives there.
    void runOnFreshPort()
    {
        m_fresh = std::make_unique<Pty>();
        QVERIFY(m_fresh->isValid());
        ports::setPortsForTesting(QStringList{m_fresh->slavePath()});
        m_bench->enterPortList();
        QCOMPARE(window().SerialPortPopup->text(), m_fresh->slavePath());
        QVERIFY(window().Serial1->isOpen());

        window().myEditField->setText(QStringLiteral("0,4"));
        QVERIFY(window().StartButton->isEnabled());
        window().StartButton->click();
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        QCOMPARE(texts(m_fresh->readCommands(5, 5000)), kBenchSetUp + commands({"VOLT 4.000"}));
        if (window().ZeroVCheckBox->isChecked())
            QCOMPARE(texts(m_fresh->readCommands(1, 5000)), commands({"VOLT 0.000"}));
        QTRY_COMPARE_WITH_TIMEOUT(window().StartButton->caption(), QStringLiteral("Start"), 5000);
        verifyIdle();
    }

private slots:
    void initTestCase()
    {
        FileTypes::_Initialize();
    }

    void cleanup()
    {
        BenchTest::cleanup();
        m_fresh.reset();
    }

    // ---- The serial line vanishes ---------------------------------------

    void portVanishesDuringRun_data()
    {
        QTest::addColumn<bool>("zeroBox");
        QTest::addColumn<int>("arrivedBefore"); // commands through before the line goes
        QTest::addColumn<QString>("lastCommand");
        // The script's lines go out 0.3 s apart after the four set-up commands.
        QTest::addRow("during the holds") << false << 5 << "VOLT 3.000\r";
        QTest::addRow("during the holds, zero volts when stopped") << true << 5 << "VOLT 0.000\r";
        QTest::addRow("while the zero-volt tick is pending") << true << 7 << "VOLT 0.000\r";
    }

    // The ticks go on writing into nothing; the run ends the way it always
    // does, and the next port works.
    void portVanishesDuringRun()
    {
        QFETCH(bool, zeroBox);
        QFETCH(int, arrivedBefore);
        QFETCH(QString, lastCommand);

        setUp(QStringLiteral("0,1\r0.3,2\r0.6,3"));
        m_bench->setZeroBox(zeroBox);
        window().StartButton->click();
        QCOMPARE(pty().readCommands(arrivedBefore, 5000).size(), std::size_t(arrivedBefore));
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        pty().closeMaster();

        // At most 0.6 s of script and the two seconds of the zero-volt tick.
        QTRY_COMPARE_WITH_TIMEOUT(window().StartButton->caption(), QStringLiteral("Start"), 10000);
        verifyIdle();
        QCOMPARE(window().CmdTxt->text(), lastCommand);
        runOnFreshPort();
    }

    void stopAfterPortVanished_data()
    {
        QTest::addColumn<bool>("zeroBox");
        QTest::addColumn<int>("waitMs"); // after the line went, before Stop
        QTest::addRow("at once") << false << 0;
        QTest::addRow("at once, zero volts when stopped") << true << 0;
        QTest::addRow("after a tick wrote into it") << false << 500;
        QTest::addRow("after a tick wrote into it, zero volts when stopped") << true << 500;
    }

    // Stop writes its zero-volt command into nothing and waits for it no
    // longer than a command takes; nothing of the run fires afterwards.
    void stopAfterPortVanished()
    {
        QFETCH(bool, zeroBox);
        QFETCH(int, waitMs);

        setUp(QStringLiteral("0,1\r0.2,2\r30,3"));
        m_bench->setZeroBox(zeroBox);
        window().StartButton->click();
        QCOMPARE(texts(pty().readCommands(5, 5000)), kBenchSetUp + commands({"VOLT 1.000"}));
        pty().closeMaster();
        if (waitMs > 0)
            QTest::qWait(waitMs);

        QElapsedTimer clock;
        clock.start();
        window().StartButton->click();
        // The budget of XmitWait for a queued command is a fraction of this.
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        verifyIdle();
        QCOMPARE(window().CmdTxt->text(), zeroBox ? QStringLiteral("VOLT 0.000\r") : QString());
        QTest::qWait(300);
        verifyIdle();
        runOnFreshPort();
    }

    // ---- The supply stops reading ----------------------------------------

    void stalledSupply_data()
    {
        QTest::addColumn<Stalled>("what");
        QTest::addColumn<QString>("baud");
        // A run that ends is awaited whole: some six seconds of it at 57600
        // bit/s. A press meets tens of seconds of it at 9600 bit/s.
        QTest::addRow("the last tick") << Stalled::LastTick << "13";
        QTest::addRow("the zero-volt tick") << Stalled::ZeroTick << "13";
        QTest::addRow("Stop") << Stalled::Stop << "8";
        QTest::addRow("Escape") << Stalled::Escape << "8";
        QTest::addRow("Quit during a hold, zero volts when stopped") << Stalled::Quit << "8";
        QTest::addRow("Quit chosen while the last tick waits") << Stalled::QuitWhileLastTickWaits << "13";
    }

    // Thousands of commands pile up in front of a supply that reads none of
    // them, seconds of them on the line, many times what a handler may hold
    // the window. Whatever ends or stops the run gives up on the line after a
    // moment and lets the window answer again. Once the supply reads, an
    // ended run's commands all reach it, in order; Stop, Escape and Quit have
    // dropped what had not begun to go out, so that the zero follows what the
    // line had taken.
    void stalledSupply()
    {
        QFETCH(Stalled, what);
        QFETCH(QString, baud);
        // Far below the seconds that sending what is queued would take.
        constexpr qint64 kBoundMs = 3000;
        const bool hold = what == Stalled::Stop || what == Stalled::Escape || what == Stalled::Quit;
        const bool zeroBox = what != Stalled::LastTick && what != Stalled::QuitWhileLastTickWaits;
        setUpPileUp(hold, zeroBox, kPileUpLines, baud);
        QAction* quit = menuItem(window(), QStringLiteral("FileQuit"));
        QVERIFY(quit);

        QElapsedTimer clock;
        qint64 tookMs = 0;
        switch (what) {
        case Stalled::LastTick:
        case Stalled::ZeroTick: {
            const LoopHold loop;
            window().StartButton->click();
            QTRY_COMPARE_WITH_TIMEOUT(window().StartButton->caption(), QStringLiteral("Start"), 200000);
            tookMs = loop.longestMs();
            break;
        }
        case Stalled::Stop:
        case Stalled::Escape:
            startToTheHold();
            clock.start();
            if (what == Stalled::Stop)
                window().StartButton->click();
            else
                QTest::keyClick(window().myEditField, Qt::Key_Escape);
            tookMs = clock.elapsed();
            QCOMPARE(window().StartButton->caption(), QStringLiteral("Start"));
            break;
        case Stalled::Quit:
            startToTheHold();
            QTimer::singleShot(0, quit, &QAction::trigger);
            clock.start();
            QVERIFY(execWithin(200000).has_value());
            tookMs = clock.elapsed();
            break;
        case Stalled::QuitWhileLastTickWaits: {
            // The user's choice comes from outside the event loop, while the
            // tick after the one that prepared the last line holds it.
            std::atomic<bool> lastDue{false};
            std::atomic<bool> posted{false};
            std::atomic<std::chrono::steady_clock::time_point> postedAt{};
            connect(window().PSComTimer, &Timer::action, this, [&] {
                if (window().ComTimMode == 0)
                    lastDue = true;
            });
            std::thread user([&] {
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(200);
                while (!lastDue && std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                postedAt = std::chrono::steady_clock::now();
                posted = true;
                QMetaObject::invokeMethod(quit, &QAction::trigger, Qt::QueuedConnection);
            });
            QTimer::singleShot(0, this, [this] { window().StartButton->click(); });
            const std::optional<int> status = execWithin(300000);
            const auto ended = std::chrono::steady_clock::now();
            user.join();
            disconnect(window().PSComTimer, &Timer::action, this, nullptr);
            QVERIFY(status.has_value());
            QVERIFY(posted);
            tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(ended - postedAt.load()).count();
            QCOMPARE(window().StartButton->caption(), QStringLiteral("Start"));
            break;
        }
        }
        QVERIFY2(tookMs < kBoundMs, qPrintable(QStringLiteral("held %1 ms").arg(tookMs)));

        const QByteArray commands = pileUpBytes(false);
        QByteArray got;
        switch (what) {
        case Stalled::LastTick:
        case Stalled::ZeroTick:
        case Stalled::QuitWhileLastTickWaits: {
            const QByteArray all = pileUpBytes(zeroBox);
            got = pty().readUntil(all.size(), 20000);
            QCOMPARE(got.size(), all.size());
            QVERIFY(got == all);
            break;
        }
        case Stalled::Stop:
        case Stalled::Escape:
        case Stalled::Quit:
            if (what == Stalled::Quit) {
                m_bench->endSession();
                got = readAvailable(pty().masterFd());
            } else {
                got = pty().readUntilQuiet(500, 20000);
            }
            QVERIFY2(wholePrefixThen(commands, got, "VOLT 0.000\r"), got.right(40).constData());
            QVERIFY2(got.size() < commands.size(), qPrintable(QString::number(got.size())));
            break;
        }
        QCOMPARE(pty().read(300), QByteArray());
    }

    void pressAtStoppedLine_data()
    {
        QTest::addColumn<Press>("press");
        QTest::addColumn<bool>("zeroBox");
        QTest::addColumn<Halt>("halt");
        const std::pair<const char*, Press> presses[] = {{"Stop", Press::Stop}, {"Escape", Press::Escape},
                                                         {"Quit", Press::Quit}};
        const std::pair<const char*, Halt> halts[] = {{"line stopped", Halt::FlowControl},
                                                      {"supply not reading", Halt::NotReading}};
        for (const auto& [haltName, halt] : halts)
            for (const auto& [name, press] : presses) {
                QTest::addRow("%s, %s, zero volts when stopped", haltName, name) << press << true << halt;
                QTest::addRow("%s, %s, box not checked", haltName, name) << press << false << halt;
            }
    }

    // A run whose commands come far faster than the line carries them; the
    // supply stops taking data during it, the user ends the run a while
    // later, and the supply takes data again, slowly. What the run queued
    // meanwhile goes no further: the zero, when the box is checked, follows
    // at once what the line had carried, and the press returns at once
    // however slowly the line drains. A stopped line has carried nothing;
    // a supply that merely did not read finds in the system's buffer what
    // the line carried at its rate while it did not read, and no more.
    void pressAtStoppedLine()
    {
        QFETCH(Press, press);
        QFETCH(bool, zeroBox);
        QFETCH(Halt, halt);
        // Quit ends the program once its event loop is left; the supply takes
        // data again then, before the window's own handler runs.
        std::function<void()> atQuit;
        connect(qApp, &QCoreApplication::aboutToQuit, this, [&] {
            if (atQuit)
                atQuit();
        });
        const auto disconnectQuit = qScopeGuard([this] { disconnect(qApp, nullptr, this, nullptr); });
        constexpr int kLines = 20000;
        setUpPileUp(true, zeroBox, kLines);
        QAction* quit = menuItem(window(), QStringLiteral("FileQuit"));
        QVERIFY(quit);

        // The supply stops once the run has sent it its first commands.
        bool stopped = false;
        QByteArray before;
        QElapsedTimer stall;
        connect(window().PSComTimer, &Timer::action, this, [&] {
            if (!stopped && window().CommandIndex >= 50) {
                if (halt == Halt::FlowControl)
                    pty().setLineStopped(true);
                else
                    before = readAvailable(pty().masterFd());
                stall.start();
                stopped = true;
            }
        });
        startToTheHold();
        disconnect(window().PSComTimer, &Timer::action, this, nullptr);
        QVERIFY(stopped);
        // What a stopped line had taken before it stopped.
        if (halt == Halt::FlowControl)
            before = readAvailable(pty().masterFd());
        const QByteArray run = pileUpBytes(false, kLines);
        QVERIFY(wholePrefixThen(run, before, {}));
        QVERIFY(before.size() < 1000);
        // The run goes on a while.
        QTest::qWait(2000);

        // The supply takes data again as the user presses, 4 KB every 150 ms.
        std::optional<FarEnd> supply;
        qint64 stallMs = 0;
        QElapsedTimer clock;
        auto resume = [&] {
            stallMs = stall.elapsed();
            pty().setLineStopped(false);
            supply.emplace(pty().masterFd(), 4096, 150, 1000);
        };
        qint64 tookMs = 0;
        switch (press) {
        case Press::Stop:
            clock.start();
            resume();
            window().StartButton->click();
            tookMs = clock.elapsed();
            break;
        case Press::Escape:
            clock.start();
            resume();
            QTest::keyClick(window().myEditField, Qt::Key_Escape);
            tookMs = clock.elapsed();
            break;
        case Press::Quit:
            atQuit = resume;
            QTimer::singleShot(0, quit, [&] {
                clock.start();
                quit->trigger();
            });
            QVERIFY(execWithin(60000).has_value());
            tookMs = clock.elapsed();
            m_bench->endSession();
            break;
        }
        // The whole queue would take seconds at this pace.
        QVERIFY2(tookMs < 3000, qPrintable(QStringLiteral("held %1 ms").arg(tookMs)));
        if (press != Press::Quit)
            verifyIdle();
        QTRY_VERIFY_WITH_TIMEOUT(supply->done(), 60000);
        const QByteArray got = supply->bytes();
        const QByteArray zero = zeroBox ? QByteArray("VOLT 0.000\r") : QByteArray();
        if (halt == Halt::FlowControl) {
            QCOMPARE(got, zero);
        } else {
            // Whole commands where the run had got to, then the zero.
            QVERIFY2(wholePrefixThen(run.mid(before.size()), got, zero), got.right(40).constData());
            // What the line's 960 bytes a second carry in the stall, with the
            // 20 ms handed ahead at either end of it and a loose margin.
            const qint64 carried = got.size() - zero.size();
            const qint64 bound = (stallMs + 200) * 960 / 1000;
            QVERIFY2(carried > 0 && carried <= bound,
                     qPrintable(QStringLiteral("%1 bytes in a stall of %2 ms").arg(carried).arg(stallMs)));
        }
    }

    void quitBehindBacklog_data()
    {
        QTest::addColumn<int>("burstMs"); // 0: the supply reads nothing
        QTest::addColumn<bool>("gated");  // the line stopped between bursts, or from the hold on
        QTest::addRow("supply reading 4 KB every 400 ms") << 400 << false;
        // The line takes nothing between: a zero the supply reads in the
        // next burst must wait for it.
        QTest::addRow("line taking data 50 ms in every 900 ms") << 900 << true;
        // The system's buffer still has room: the zero waits there.
        QTest::addRow("supply reading nothing") << 0 << false;
        QTest::addRow("line taking nothing") << 0 << true;
    }

    // Quit with thousands of commands queued in front of a supply that reads
    // more slowly than the run writes: they are dropped, and the zero volts
    // reach a supply that still takes data, however far apart its bursts,
    // before the program ends. At a line that takes nothing the program
    // still ends within a few seconds.
    void quitBehindBacklog()
    {
        QFETCH(int, burstMs);
        QFETCH(bool, gated);
        constexpr int kLines = 20000;
        setUpPileUp(true, true, kLines);
        QAction* quit = menuItem(window(), QStringLiteral("FileQuit"));
        QVERIFY(quit);
        std::optional<FarEnd> supply;
        if (burstMs > 0)
            supply.emplace(pty().masterFd(), 4096, burstMs, 2000, gated ? &pty() : nullptr, gated ? 50 : 0);
        startToTheHold();
        if (!supply && gated)
            pty().setLineStopped(true);
        QTest::qWait(1000);
        // Shortly before a burst: the line has long been full again, and has
        // taken nothing for most of the pause.
        if (supply) {
            const int reads = supply->reads();
            QElapsedTimer waiting;
            waiting.start();
            while (supply->reads() == reads && waiting.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QTest::qWait(burstMs - 100);
        }

        QElapsedTimer clock;
        QTimer::singleShot(0, quit, [&] {
            clock.start();
            quit->trigger();
        });
        QVERIFY(execWithin(30000).has_value());
        const qint64 tookMs = clock.elapsed();
        m_bench->endSession();
        QVERIFY2(tookMs < 5000, qPrintable(QStringLiteral("held %1 ms").arg(tookMs)));

        const QByteArray commands = pileUpBytes(false, kLines);
        QByteArray got;
        if (supply) {
            QTRY_VERIFY_WITH_TIMEOUT(supply->done(), 30000);
            got = supply->bytes();
        } else {
            pty().setLineStopped(false);
            got = readAvailable(pty().masterFd());
        }
        QVERIFY2(wholePrefixThen(commands, got, gated && !supply ? QByteArray() : QByteArray("VOLT 0.000\r")),
                 got.right(40).constData());
    }

    // A session quits while the supply takes nothing, with part of a command
    // on the line; the supply reads again only once the next session runs.
    // That run's first command arrives whole: a line end alone ends the cut
    // one before it.
    void sessionAfterQuitAtFullLine()
    {
        // The line carries the whole run in some 1.5 s at 230400 bit/s; the
        // system's buffer, which nothing reads, takes only part of it.
        setUpPileUp(true, true, kPileUpLines, QStringLiteral("15"));
        QAction* quit = menuItem(window(), QStringLiteral("FileQuit"));
        QVERIFY(quit);
        startToTheHold();
        QTest::qWait(2500);
        QTimer::singleShot(0, quit, &QAction::trigger);
        QVERIFY(execWithin(30000).has_value());
        m_bench->endSession();

        // A new session on the same port, the line still full.
        m_bench->chooseModel(QStringLiteral("Bench"));
        m_bench->chooseOutput(0);
        m_bench->enterPortList();
        window().myEditField->setText(QStringLiteral("0,4"));
        window().StartButton->click();
        const QByteArray got = pty().readUntilQuiet(1000, 30000);

        QByteArray pending = got;
        QList<QByteArray> arrived = takeCommands(pending);
        QCOMPARE(pending, QByteArray());
        const QStringList run = kBenchSetUp + QStringList{QStringLiteral("VOLT 4.000\r")};
        QVERIFY(arrived.size() > run.size());
        QStringList last;
        for (qsizetype i = arrived.size() - run.size(); i < arrived.size(); ++i)
            last << QString::fromUtf8(arrived[i]);
        QCOMPARE(last, run);
        // Before it, the first session's commands, the last of them cut.
        const QByteArray earlier = got.chopped(run.join(QString()).size());
        QVERIFY(pileUpBytes(false).startsWith(earlier.chopped(1)));
    }

    // ---- Description files that are not what they claim ----------------

    void badDescription_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: X.dep is a folder
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("field"); // a field and what X leaves in it
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("outputRows");

        const QString bench = QStringLiteral("Bench Supplies");
        const QString mb(1 << 20, u'x');
        // Half a million outputs "A", and an empty one after the last comma.
        const QString outputs = QString(1 << 20, u'x').replace(QStringLiteral("xx"), QStringLiteral("A,"));
        QTest::addRow("a folder named X.dep")
            << QByteArray() << QStringList{"file: ZORV dep files:X.dep could not be read"} << "PSMfgName" << bench << 1;
        QTest::addRow("bytes of every value") << noise(64 * 1024, 1) << QStringList() << "PSMfgName" << bench << 1;
        QTest::addRow("a section amid bytes of every value")
            << noise(4096, 2) + bytes("\n*NAME*\nAc\xffme\0\nB\x80-1\n") + noise(4096, 3) << QStringList()
            << "PSMfgName" << withNul(QStringLiteral("Ac\uFFFDme"), QString()) << 1;
        QTest::addRow("a 1 MB line of free text")
            << "*DESCRIPTION*\n" + mb.toLatin1() + "\n*END*\n*NAME*\nM\nN\n" << QStringList() << "PSDescription"
            << mb << 1;
        QTest::addRow("a 1 MB name") << "*NAME*\n" + mb.toLatin1() + "\nN\n" << QStringList() << "PSMfgName" << mb
                                     << 1;
        QTest::addRow("a 1 MB number pattern")
            << "*COMMAND VOLT SET*\nV\n" + QByteArray(1 << 20, '0') + "\n\n1\n" << QStringList() << "ZeroCommand"
            << QStringLiteral("V") + QString(1 << 20, u'0') + u'\r' << 1;
        QTest::addRow("a 1 MB output list")
            << "*COMMAND OUTPUT SELECT*\n" + outputs.toLatin1() + "\n5\nINST \n0\n\n" << QStringList()
            << "PSComOutList" << outputs << kMaxOutputRows;
    }

    // Choosing X harms nothing: the good model still loads and runs after it.
    void badDescription()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, messages);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(int, outputRows);

        setUp(QStringLiteral("0,5\r10,6"));
        m_bench->setZeroBox(true);
        const QString x = inFolder(QStringLiteral("ZORV dep files/X.dep"));
        if (content.isNull())
            QVERIFY(QDir().mkdir(x));
        else
            QVERIFY(writeFile(x, content));

        dialogs().expectMessages();
        pointerEnters(window().PPSpopup);
        m_bench->chooseModel(QStringLiteral("X"));
        // A model that failed to load is not named: the one in force is.
        QCOMPARE(window().PPSpopup->text(), messages.isEmpty() ? QStringLiteral("X") : QStringLiteral("Bench"));
        QCOMPARE(dialogs().messages, messages);
        const std::map<QString, QString*> fields{
            {QStringLiteral("PSMfgName"), &window().PSMfgName},
            {QStringLiteral("PSDescription"), &window().PSDescription},
            {QStringLiteral("PSComOutList"), &window().PSComOutList},
            {QStringLiteral("ZeroCommand"), &window().ZeroCommand},
        };
        QVERIFY(fields.count(field));
        QCOMPARE(*fields.at(field), value);
        QCOMPARE(window().OutNumberPopup->listCount(), outputRows);

        dialogs().messages.clear();
        m_bench->chooseModel(QStringLiteral("Bench"));
        m_bench->chooseOutput(0);
        QCOMPARE(dialogs().messages, QStringList());
        QCOMPARE(window().PSMfgName, QStringLiteral("Bench Supplies"));
        QCOMPARE(window().PSComOutList, QString());
        QCOMPARE(window().ZeroCommand, QStringLiteral("VOLT 0.000\r"));
        QCOMPARE(window().VoltsMax, 30.0);
        QVERIFY(window().StartButton->isEnabled());
        window().StartButton->click();
        QCOMPARE(texts(pty().readCommands(5, 5000)), kBenchSetUp + commands({"VOLT 5.000"}));
        window().StartButton->click();
        QCOMPARE(texts(pty().readCommands(1, 2000)), commands({"VOLT 0.000"}));
        verifyIdle();
    }

    // A description just under the size limit whose output list is one line
    // of commas: it loads, loads again at each entry of the pointer and opens
    // its list in time and memory that follow its size, and the first
    // outputs of the list can be chosen and run.
    void longOutputList()
    {
        setUp(QStringLiteral("0,5"));
        qint64 commas = 0;
        QVERIFY(writeFile(inFolder(QStringLiteral("ZORV dep files/X.dep")),
                          longOutputsDescription(files::kMaxTextFileSize, &commas)));
        pointerEnters(window().PPSpopup);
        QVERIFY(resetPeakMemory());
        const qint64 before = peakMemory();
        QVERIFY(before > 0);

        QElapsedTimer clock;
        clock.start();
        m_bench->chooseModel(QStringLiteral("X"));
        pointerEnters(window().PPSpopup);
        PopupMenu* outputs = window().OutNumberPopup;
        outputs->showPopup();
        QCoreApplication::processEvents();
        outputs->hidePopup();
        const qint64 elapsed = clock.elapsed();
        const qint64 grown = peakMemory() - before;

        QCOMPARE(window().PSComOutList.size(), commas);
        QCOMPARE(outputs->listCount(), kMaxOutputRows);
        QCOMPARE(outputs->itemText(kMaxOutputRows - 1), QString());
        QCOMPARE(outputs->listIndex(), -1);
        QVERIFY(outputs->isEnabled());
        // A row for every comma took 45 s and 4 GB: Qt's list spends some 250
        // bytes on a row. Now the text and its one long line are held, each
        // twice the file's size, the old line gone before the new one comes.
        QVERIFY2(elapsed < 10000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
#ifdef __SANITIZE_ADDRESS__
        const qint64 quarantine = 256 << 20; // what AddressSanitizer holds back of what was freed
#else
        const qint64 quarantine = 0;
#endif
        QVERIFY2(grown < 6 * files::kMaxTextFileSize + quarantine,
                 qPrintable(QStringLiteral("%1 MiB").arg(grown >> 20)));

        m_bench->chooseOutput(0);
        QCOMPARE(window().VoltsMax, 30.0);
        QVERIFY(window().StartButton->isEnabled());
        window().StartButton->click();
        QCOMPARE(texts(pty().readCommands(5, 5000)), commands({"SEL 1", "*RST", "INST 0", "OUTP ON", "VOLT 5.000"}));
        QTRY_COMPARE_WITH_TIMEOUT(window().StartButton->caption(), QStringLiteral("Start"), 5000);
        verifyIdle();
    }

    // ---- Things on the disk that are no files to read ------------------

    void notRegularFiles_data()
    {
        QTest::addColumn<Reader>("reader");
        QTest::addColumn<OnDisk>("onDisk");

        const std::pair<const char*, Reader> readers[] = {
            {"description", Reader::Description}, {"preferences", Reader::Preference}, {"script", Reader::Script}};
        const std::pair<const char*, OnDisk> kinds[] = {
            {"a FIFO", OnDisk::Fifo},
            {"a link to /dev/zero", OnDisk::LinkToDevZero},
            {"a folder", OnDisk::Folder},
            {"a sparse file a byte over the limit", OnDisk::Oversized},
            {"a regular file", OnDisk::Regular},
            {"a link to a regular file", OnDisk::LinkToRegular},
        };
        for (const auto& [readerName, reader] : readers)
            for (const auto& [kindName, kind] : kinds)
                QTest::addRow("%s: %s", readerName, kindName) << reader << kind;
    }

    // Only a regular file is read; anything else takes the reader's failure
    // path at once: no hang in the open, no read without end.
    void notRegularFiles()
    {
        QFETCH(Reader, reader);
        QFETCH(OnDisk, onDisk);

        const bool read = onDisk == OnDisk::Regular || onDisk == OnDisk::LinkToRegular;
        const QByteArray content("*NAME*\nMaker X\nX1\n");
        setUp(QStringLiteral("0,5"));
        dialogs().expectMessages();
        const Watchdog watchdog(QString::fromUtf8(QTest::currentDataTag()));
        const QString path = inFolder(reader == Reader::Description  ? QStringLiteral("ZORV dep files/X.dep")
                                      : reader == Reader::Preference ? QStringLiteral("ZORV.prf")
                                                                     : QStringLiteral("wave.txt"));
        makeOnDisk(onDisk, path, content);
        if (QTest::currentTestFailed())
            return;

        switch (reader) {
        case Reader::Description:
            pointerEnters(window().PPSpopup);
            m_bench->chooseModel(QStringLiteral("X"));
            QCOMPARE(window().PPSpopup->text(), read ? QStringLiteral("X") : QStringLiteral("Bench"));
            QCOMPARE(dialogs().messages,
                     read ? QStringList() : QStringList{"file: ZORV dep files:X.dep could not be read"});
            QCOMPARE(window().PSMfgName, read ? QStringLiteral("Maker X") : QStringLiteral("Bench Supplies"));
            break;
        case Reader::Preference: {
            App app;
            app.Event_Open();
            QCOMPARE(app.ZORVPref, read ? QString::fromUtf8(content) : QStringLiteral("none"));
            break;
        }
        case Reader::Script:
            dialogs().nextOpenFile(path);
            window().openTextBtn->click();
            QCOMPARE(dialogs().messages,
                     read ? QStringList() : QStringList{"The selected file is not a text file."});
            QCOMPARE(window().myEditField->text(),
                     read ? QStringLiteral("*NAME*\rMaker X\rX1\r\r\r") : QStringLiteral("0,5"));
            break;
        }
    }

    void sizeLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("read");
        QTest::addRow("at the limit") << files::kMaxTextFileSize << true;
        QTest::addRow("a byte over it") << files::kMaxTextFileSize + 1 << false;
    }

    // The limit is on the file's size, whatever it holds: a file of that
    // many NUL bytes is read whole, one byte more is refused.
    void sizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(bool, read);

        const QString path = inFolder(QStringLiteral("sparse"));
        QVERIFY(writeFile(path, "0,1\n"));
        QCOMPARE(::truncate(QFile::encodeName(path).constData(), size), 0);
        const std::optional<QString> text = files::readTextFile(path);
        QCOMPARE(text.has_value(), read);
        if (read) {
            QCOMPARE(text->size(), size);
            QVERIFY(text->startsWith(QStringLiteral("0,1\n\0")));
            QCOMPARE(text->back(), QChar(u'\0'));
        }
    }

    void readInPieces_data()
    {
        QTest::addColumn<QByteArray>("content");
        // Longer than the pieces a file is read in, so that sequences of
        // several bytes are cut where one piece ends.
        const QByteArray euro("\xE2\x82\xAC");
        const QByteArray emoji("\xF0\x9F\x98\x80");
        QTest::addRow("three-byte characters") << euro.repeated(100 * 1024);
        QTest::addRow("four-byte characters after one byte") << "x" + emoji.repeated(100 * 1024);
        QTest::addRow("a byte order mark at the start, and more of them later")
            << QByteArray("\xEF\xBB\xBF") + QByteArray("ab\xEF\xBB\xBF").repeated(50 * 1024);
        QTest::addRow("a sequence cut off by the end") << "0,1" + euro.repeated(30 * 1024) + "\xF0\x9F";
    }

    // However the pieces fall, the text is the one the whole file decodes to.
    void readInPieces()
    {
        QFETCH(QByteArray, content);
        const QString path = inFolder(QStringLiteral("pieces.txt"));
        QVERIFY(writeFile(path, content));
        const std::optional<QString> text = files::readTextFile(path);
        QVERIFY(text.has_value());
        QCOMPARE(*text, decodeText(content));
    }

    // ---- Scripts that are not what they claim ---------------------------

    // Bytes that are no UTF-8 show as replacement characters, a NUL as it
    // is, and each line plays by the numbers it begins with.
    void scriptNotUtf8()
    {
        setUp(QString());
        const QString path = inFolder(QStringLiteral("latin1.txt"));
        QVERIFY(writeFile(path, bytes("0,1\xe9\r0.1,\xff" "2\r0.2,3\0 V\r0.3\xe9,4")));
        dialogs().nextOpenFile(path);
        window().openTextBtn->click();

        const QString text = QStringLiteral("0,1\uFFFD\r0.1,\uFFFD2\r") + withNul(QStringLiteral("0.2,3"), " V")
                             + QStringLiteral("\r0.3\uFFFD,4\r\r");
        QCOMPARE(window().myEditField->text(), text);
        QCOMPARE(window().myEditField->toPlainText(), QString(text).replace(u'\r', u'\n'));
        QVERIFY(window().StartButton->isEnabled());
        window().StartButton->click();
        QCOMPARE(window().ErrorText->text(), QString());
        QCOMPARE(texts(pty().readCommands(8, 5000)),
                 kBenchSetUp + commands({"VOLT 1.000", "VOLT 0.000", "VOLT 3.000", "VOLT 4.000"}));
        QTRY_COMPARE_WITH_TIMEOUT(window().StartButton->caption(), QStringLiteral("Start"), 5000);
        QCOMPARE(window().myEditField->text(), text);
    }

    void hugeScript_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("firstCommand");

        // Some 900 000 short lines, the last one out of range.
        QByteArray lines;
        lines.reserve(10 << 20);
        for (int i = 0; lines.size() < (10 << 20); ++i)
            lines += QByteArray::number(i) + ',' + QByteArray::number(i % 30) + ".5\n";
        QTest::addRow("many lines") << lines + "99999,99" << "VOLT 0.500\r";
        // One line with no blank in it, the hardest text to lay out; the
        // fields after the second are ignored.
        QTest::addRow("one line") << "0,99" + QByteArray(",7").repeated(5 << 20) << "VOLT 99.000\r";
    }

    // Ten megabytes of script: opened whole, checked to its end, played,
    // and saved back byte for byte.
    void hugeScript()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, firstCommand);

        setUp(QString());
        const QString path = inFolder(QStringLiteral("huge.txt"));
        QVERIFY(writeFile(path, content));

        dialogs().nextOpenFile(path);
        window().openTextBtn->click();
        const QString text = QString::fromLatin1(content).replace(u'\n', u'\r') + QStringLiteral("\r\r");
        QCOMPARE(window().myEditField->text(), text);
        QTest::qWait(10); // a repaint lays the text out

        window().StartButton->click();
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        QCOMPARE(window().ErrorText->text(),
                 QStringLiteral("Script has out of range voltage. Power supply max.:30, asking99"));
        QCOMPARE(texts(pty().readCommands(5, 5000)), kBenchSetUp + QStringList{firstCommand});
        // A script of one line has ended with its command; stop the other.
        if (window().StartButton->caption() == u"Stop")
            window().StartButton->click();
        verifyIdle();

        const QString saved = inFolder(QStringLiteral("saved.txt"));
        dialogs().nextSaveFile(saved);
        window().saveTextBtn->click();
        QCOMPARE(window().myEditField->text(), text);
        QCOMPARE(fileBytes(saved), text.toLatin1());
        QCOMPARE(fileBytes(path), content);
    }
};

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
