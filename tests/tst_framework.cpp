#include "framework/Controls.h"
#include "framework/Serial.h"
#include "framework/Strings.h"
#include "framework/TextStream.h"
#include "framework/Timer.h"
#include "framework/Yield.h"
#include "support/Pty.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QElapsedTimer>
#include <QFont>
#include <QFontInfo>
#include <QGlyphRun>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRawFont>
#include <QTextBlock>
#include <QTextLayout>
#include <QSignalSpy>
#include <QDialog>
#include <QShortcut>
#include <QTest>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>
#include <QTimer>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace zorv;
using zorv::testing::Pty;

namespace {

// The kernel's termios2, which carries a line speed that has no B constant;
// glibc's headers do not offer it next to <termios.h>.
struct KernelTermios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};

// A serial port on a pseudo-terminal of its own.
struct PortOnPty {
    PortOnPty() { serial.setPortName(pty.slavePath()); }
    PortOnPty(const PortOnPty&) = delete;
    PortOnPty& operator=(const PortOnPty&) = delete;

    Pty pty;
    Serial serial;
};

// The output speed of the line in bit/s as the pseudo-terminal has it.
int lineSpeed(const Pty& pty)
{
    KernelTermios2 t{};
    if (::ioctl(pty.masterFd(), _IOR('T', 0x2A, KernelTermios2), &t) != 0)
        return -1;
    return static_cast<int>(t.c_ospeed);
}

// Counts the pointer's events that reach a widget.
class PointerEvents : public QObject {
public:
    explicit PointerEvents(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::Enter:
            ++count;
            break;
        default:
            break;
        }
        return false;
    }
};

// A window of controls and a handler that disables one of them, yields for a
// while and enables it again, as Start does around the script check. Input
// given during the handler is made while it yields. Clicks go through the
// window, as the platform's do, stamped with QTest's clock, which is the
// window system's clock here: a control is enabled at the time of the last
// click given.
struct HandlerBench {
    QWidget window;
    PushButton* target = new PushButton;
    PopupMenu* list = new PopupMenu;
    PushButton* other = new PushButton;
    TextArea* area = new TextArea;
    bool inHandler = false;
    int targetActions = 0;
    int listEnters = 0;
    int listChanges = 0;
    int otherActions = 0;
    int eventsInHandler = 0;

    HandlerBench()
    {
        setInputClockForTesting([] { return static_cast<quint64>(QTest::lastMouseTimestamp); });
        // Far ahead of Qt's own clock, which stamps the moves QCursor::setPos
        // makes: those count as made before whatever the test gives.
        QTest::lastMouseTimestamp = std::max(QTest::lastMouseTimestamp, 100000000);
        // Away from where the last bench's list was, so that none starts under it.
        QCursor::setPos(5000, 5000);
        auto* layout = new QVBoxLayout(&window);
        list->addRow(QStringLiteral("a"));
        list->addRow(QStringLiteral("b"));
        for (QWidget* control : {static_cast<QWidget*>(target), static_cast<QWidget*>(list),
                                 static_cast<QWidget*>(other), static_cast<QWidget*>(area)})
            layout->addWidget(control);
        target->bind(Event::Action, [this] { count(targetActions); });
        list->bind(Event::MouseEnter, [this] { count(listEnters); });
        list->bind(Event::Change, [this] { count(listChanges); });
        other->bind(Event::Action, [this] { count(otherActions); });
        area->bind(Event::TextChange, [this] { eventsInHandler += inHandler ? 1 : 0; });
        window.resize(300, 300);
        window.show();
        window.activateWindow();
    }
    ~HandlerBench() { setInputClockForTesting({}); }
    HandlerBench(const HandlerBench&) = delete;
    HandlerBench& operator=(const HandlerBench&) = delete;

    void count(int& events)
    {
        ++events;
        if (inHandler)
            ++eventsInHandler;
    }

    QPoint middleOf(const QWidget* control) const { return control->mapTo(&window, control->rect().center()); }

    // The user's input of one kind: a click on `button`, the Escape key in
    // the text area, typing there, or the pointer moved into the list, which
    // the system queues.
    void give(const QString& input, PushButton* button)
    {
        if (input == u"click")
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, middleOf(button));
        else if (input == u"escape")
            QTest::keyClick(area, Qt::Key_Escape);
        else if (input == u"keys")
            QTest::keyClicks(area, QStringLiteral("1,5"));
        else
            QCursor::setPos(list->mapToGlobal(list->rect().center()));
    }

    // Yields for a while with `disabled`, if any, disabled, and enables it
    // again at the end.
    void handler(QWidget* disabled, const std::function<void()>& input)
    {
        inHandler = true;
        if (disabled)
            disabled->setEnabled(false);
        QTimer::singleShot(0, input);
        QElapsedTimer held;
        held.start();
        while (held.elapsed() < 100)
            yieldToEventLoop();
        if (disabled)
            disabled->setEnabled(true);
        inHandler = false;
    }
};

// The text area beside Qt's own, both showing the same text and drawing no
// cursor: edits made to both must leave them drawn alike.
struct BesideQtsOwn {
    QWidget window;
    TextArea* area = new TextArea;
    QPlainTextEdit* reference = new QPlainTextEdit;

    explicit BesideQtsOwn(const QString& text)
    {
        auto* layout = new QHBoxLayout(&window);
        reference->setWordWrapMode(area->wordWrapMode());
        for (QPlainTextEdit* each : both()) {
            each->setFocusPolicy(Qt::NoFocus);
            each->setPlainText(text);
            layout->addWidget(each);
        }
        window.resize(500, 300);
        window.show();
    }

    std::array<QPlainTextEdit*, 2> both() { return {area, reference}; }
    static QImage drawn(QPlainTextEdit* edit) { return edit->viewport()->grab().toImage(); }
};

// A sign that the application's font lacks and another installed font has
// (fonts-droid-fallback has these); empty when there is none. Signs belong to
// no script: laid out with that font alone, they would show as boxes.
QString missingFromOwnFont()
{
    QFont ownOnly = QApplication::font();
    ownOnly.setStyleStrategy(QFont::NoFontMerging);
    const auto glyphOf = [](const QString& text, const QFont& font) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns(1, 1);
        return runs.size() == 1 && runs[0].glyphIndexes().size() == 1
                   ? std::make_pair(runs[0].rawFont().familyName(), runs[0].glyphIndexes()[0])
                   : std::make_pair(QString(), quint32(0));
    };
    const QString own = QFontInfo(QApplication::font()).family();
    for (const char16_t sign : {u'\uFF0B', u'\u3002', u'\u300C'}) {
        const QString text = QStringLiteral("a") + QChar(sign);
        const auto merged = glyphOf(text, QApplication::font());
        if (merged.second != 0 && merged.first != own && glyphOf(text, ownOnly).second == 0)
            return QString(QChar(sign));
    }
    return {};
}

// Each character of the lines laid out, from the first, but control characters, with the font
// and glyph it is drawn with.
QStringList glyphsOf(QPlainTextEdit* edit)
{
    edit->viewport()->grab(); // lays out what is in view
    QStringList glyphs;
    for (QTextBlock block = edit->document()->firstBlock(); block.isValid() && block.layout()->lineCount() > 0;
         block = block.next()) {
        const QString text = block.text();
        for (int i = 0; i < text.size(); ++i) {
            if (text[i].category() == QChar::Other_Control)
                continue;
            for (const QGlyphRun& run : block.layout()->glyphRuns(i, 1)) {
                for (const quint32 glyph : run.glyphIndexes())
                    glyphs << QStringLiteral("%1 %2 %3").arg(i).arg(run.rawFont().familyName()).arg(glyph);
            }
        }
    }
    return glyphs;
}

} // namespace

// What textAreaDrawnAfterEdit does to a line.
enum LineEdit { AppendEnds, ReturnAtEnd, ReturnInside, EndAtStart, PasteAfterEnd, TypeAfterAppend };
// What textAreaDrawnWithControls does to a line of control characters.
enum ControlsEdit { AsSet, RunTakenOut, TypedBefore, CutShort, RunTakenOutUndone };

class FrameworkTest : public QObject {
    Q_OBJECT
private slots:
    // ---- Timer --------------------------------------------------------

    void timerSingleShotFiresOnce()
    {
        Timer timer;
        QSignalSpy spy(&timer, &Timer::action);
        timer.setPeriod(50);
        timer.setMode(1);
        QCOMPARE(timer.mode(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        QCOMPARE(timer.mode(), 0);
        QTest::qWait(300);
        QCOMPARE(spy.count(), 1);
    }

    void timerPeriodWhileArmed_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        // First period, then after 150 ms the second; the firing counts from
        // the change.
        QTest::addRow("longer") << 300 << 400;
        QTest::addRow("shorter") << 2000 << 100;
        QTest::addRow("same again") << 300 << 300;
    }
    void timerPeriodWhileArmed()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        Timer timer;
        QElapsedTimer sinceChange;
        qint64 firedAfter = -1;
        connect(&timer, &Timer::action, this, [&] { firedAfter = sinceChange.elapsed(); });
        timer.setPeriod(first);
        timer.setMode(1);
        QTest::qWait(150);
        QCOMPARE(firedAfter, -1);
        sinceChange.start();
        timer.setPeriod(second);
        QTRY_VERIFY_WITH_TIMEOUT(firedAfter >= 0, 10000);
        // Never early; late only by a loose margin, far less than the old
        // period would have made it.
        QVERIFY2(firedAfter >= second - 5, qPrintable(QString::number(firedAfter)));
        QVERIFY2(firedAfter < second + 1000, qPrintable(QString::number(firedAfter)));
    }

    void timerPeriodZeroFiresSoon_data()
    {
        QTest::addColumn<int>("period");
        QTest::addRow("zero") << 0;
        QTest::addRow("negative") << -20;
    }
    void timerPeriodZeroFiresSoon()
    {
        QFETCH(int, period);
        Timer timer;
        QSignalSpy spy(&timer, &Timer::action);
        timer.setPeriod(period);
        timer.setMode(1);
        // From the event loop, never inside setMode.
        QCOMPARE(spy.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 1000);
    }

    void timerModeZeroCancels_data()
    {
        QTest::addColumn<int>("period");
        QTest::addRow("pending") << 100;
        QTest::addRow("already due") << 0;
    }
    void timerModeZeroCancels()
    {
        QFETCH(int, period);
        Timer timer;
        QSignalSpy spy(&timer, &Timer::action);
        timer.setPeriod(period);
        timer.setMode(1);
        if (period == 0)
            QThread::msleep(20); // due, but its event not yet handled
        timer.setMode(0);
        QTest::qWait(400);
        QCOMPARE(spy.count(), 0);
        // A period set while off does not arm it.
        timer.setPeriod(10);
        QTest::qWait(200);
        QCOMPARE(spy.count(), 0);
    }

    // The sequencer arms the next step from the handler of the last one.
    void timerRearmedFromItsHandler()
    {
        Timer timer;
        int fired = 0;
        connect(&timer, &Timer::action, this, [&] {
            if (++fired < 3)
                timer.setMode(1);
        });
        timer.setPeriod(20);
        timer.setMode(1);
        QTRY_COMPARE_WITH_TIMEOUT(fired, 3, 5000);
        QTest::qWait(200);
        QCOMPARE(fired, 3);
    }

    void timerChainKeepsToItsPeriods_data()
    {
        QTest::addColumn<int>("busyMs");
        QTest::addColumn<int>("lastDueMs");
        // Work a handler does before it re-arms the timer does not push the
        // later ticks back: ten ticks of 50 ms, each spending 40 ms first,
        // take 500 ms, not 860.
        QTest::addRow("work within the period") << 40 << 500;
        // Work past the period: the next wait counts from the re-arm, so the
        // ticks keep 50 ms apart after the work rather than coming at once.
        QTest::addRow("work past the period") << 70 << 50 + 9 * 120;
    }
    void timerChainKeepsToItsPeriods()
    {
        QFETCH(int, busyMs);
        QFETCH(int, lastDueMs);
        Timer timer;
        int fired = 0;
        QElapsedTimer sinceStart;
        qint64 lastAt = -1;
        connect(&timer, &Timer::action, this, [&] {
            if (++fired == 10) {
                lastAt = sinceStart.elapsed();
                return;
            }
            QElapsedTimer busy;
            busy.start();
            while (busy.elapsed() < busyMs) {
            }
            timer.setMode(1);
        });
        timer.setPeriod(50);
        sinceStart.start();
        timer.setMode(1);
        QTRY_VERIFY_WITH_TIMEOUT(lastAt >= 0, 10000);
        QVERIFY2(lastAt >= lastDueMs, qPrintable(QString::number(lastAt)));
        QVERIFY2(lastAt < lastDueMs + 250, qPrintable(QString::number(lastAt)));
    }

    // ---- Serial line over a pseudo-terminal ----------------------------

    void serialSettingsArrive_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("stop");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("speed");
        QTest::addColumn<bool>("twoStopBits");
        QTest::addRow("9600 8N1") << 8 << 3 << 0 << 0 << 9600 << false;
        QTest::addRow("300 5N2") << 0 << 0 << 2 << 0 << 300 << true;
        QTest::addRow("1200 7E1") << 2 << 2 << 0 << 2 << 1200 << false;
        QTest::addRow("1800 6O1") << 3 << 1 << 0 << 1 << 1800 << false;
        QTest::addRow("1.5 stop bits become 2") << 8 << 3 << 1 << 0 << 9600 << true;
        QTest::addRow("600") << 1 << 3 << 0 << 0 << 600 << false;
        QTest::addRow("2400") << 4 << 3 << 0 << 0 << 2400 << false;
        QTest::addRow("3600") << 5 << 3 << 0 << 0 << 3600 << false;
        QTest::addRow("4800") << 6 << 3 << 0 << 0 << 4800 << false;
        QTest::addRow("7200") << 7 << 3 << 0 << 0 << 7200 << false;
        QTest::addRow("14400") << 9 << 3 << 0 << 0 << 14400 << false;
        QTest::addRow("19200") << 10 << 3 << 0 << 0 << 19200 << false;
        QTest::addRow("28800") << 11 << 3 << 0 << 0 << 28800 << false;
        QTest::addRow("38400") << 12 << 3 << 0 << 0 << 38400 << false;
        QTest::addRow("57600") << 13 << 3 << 0 << 0 << 57600 << false;
        QTest::addRow("115200") << 14 << 3 << 0 << 0 << 115200 << false;
        QTest::addRow("230400") << 15 << 3 << 0 << 0 << 230400 << false;
    }
    void serialSettingsArrive()
    {
        QFETCH(int, baud);
        QFETCH(int, bits);
        QFETCH(int, stop);
        QFETCH(int, parity);
        QFETCH(int, speed);
        QFETCH(bool, twoStopBits);
        Pty pty;
        QVERIFY(pty.isValid());
        Serial serial;
        serial.setPortName(pty.slavePath());
        serial.setBaud(baud);
        serial.setBits(bits);
        serial.setStop(stop);
        serial.setParity(parity);
        QVERIFY(serial.open());
        const termios t = pty.settings();
        // A pseudo-terminal keeps the speed and the stop bits; it holds 8 data
        // bits and no parity whatever it is told, so those rows show only that
        // they do not upset the rest.
        QCOMPARE(lineSpeed(pty), speed);
        QCOMPARE(bool(t.c_cflag & CSTOPB), twoStopBits);
        // Raw: no flow control, no translation of line ends.
        QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR), tcflag_t(0));
        QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
        QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(0));
    }

    // An unknown code leaves that setting as it was; Reset brings the new
    // settings to the open port.
    void serialUnknownCodesAndReset()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        Serial serial;
        serial.setPortName(pty.slavePath());
        serial.setBaud(8);
        serial.setBits(2);
        serial.setStop(2);
        serial.setParity(1);
        for (int unknown : {-1, 16, 99})
            serial.setBaud(unknown);
        for (int unknown : {-1, 4, 99}) {
            serial.setBits(unknown);
            serial.setStop(unknown == 4 ? 3 : unknown);
            serial.setParity(unknown == 4 ? 3 : unknown);
        }
        QCOMPARE(serial.baud(), 8);
        QCOMPARE(serial.bits(), 2);
        QCOMPARE(serial.stop(), 2);
        QCOMPARE(serial.parity(), 1);
        QVERIFY(serial.open());
        QCOMPARE(lineSpeed(pty), 9600);
        QVERIFY(pty.settings().c_cflag & CSTOPB);

        // Changed codes wait for Reset.
        serial.setBaud(14);
        serial.setBits(3);
        serial.setStop(0);
        serial.setParity(0);
        QCOMPARE(lineSpeed(pty), 9600);
        serial.reset();
        QCOMPARE(lineSpeed(pty), 115200);
        QVERIFY(!(pty.settings().c_cflag & CSTOPB));
    }

    void serialBytesArriveUnchanged()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        Serial serial;
        serial.setPortName(pty.slavePath());
        QVERIFY(serial.open());
        // Every ASCII control a terminal might act on (XON/XOFF, ^C, LF, CR,
        // DEL) and text beyond ASCII.
        QString text;
        for (int c = 1; c < 128; ++c)
            text.append(QChar(c));
        text += QStringLiteral("VOLT 12.500 µV Ω\r");
        const QByteArray expected = encodeText(text);
        serial.write(text);
        serial.xmitWait();
        QCOMPARE(pty.readUntil(expected.size(), 3000), expected);
    }

    // The other side never reads: XmitWait gives up within its bound, and
    // nothing is lost once the other side reads again.
    void serialXmitWaitBoundedWhenNotRead()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        Serial serial;
        serial.setPortName(pty.slavePath());
        serial.setBaud(15);
        QVERIFY(serial.open());
        const QString text(64 * 1024, u'x');
        QElapsedTimer clock;
        clock.start();
        serial.write(text);
        QVERIFY2(clock.elapsed() < 1000, "Write waits for the line");
        serial.xmitWait();
        // 64 KB at 230400 bit/s is under 3 s, and the bound doubles that.
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(pty.readUntil(text.size(), 10000).size(), text.size());
    }

    void serialXmitWaitHandsAllOver_data()
    {
        QTest::addColumn<int>("pauseMs"); // after each piece the other side reads
        QTest::addRow("read as it comes") << 0;
        // Each pause well within the few character times XmitWait allows a
        // line that takes nothing; all of it takes seconds, longer than a
        // wait may hold the window.
        QTest::addRow("read a little now and then") << 20;
    }

    // The other side reads: XmitWait hands over what the line takes while it
    // waits, without the event loop, and returns within a second however
    // long all of it takes; the event loop hands over the rest.
    void serialXmitWaitHandsAllOver()
    {
        QFETCH(int, pauseMs);
        Pty pty;
        QVERIFY(pty.isValid());
        Serial serial;
        serial.setPortName(pty.slavePath());
        serial.setBaud(0);
        QVERIFY(serial.open());
        const qsizetype size = 128 * 1024;
        std::atomic<qsizetype> received{0};
        std::atomic<bool> stop{false};
        std::thread reader([&] {
            char buffer[4096];
            const std::size_t piece = pauseMs > 0 ? 1024 : sizeof buffer;
            while (!stop && received < size) {
                pollfd fd{pty.masterFd(), POLLIN, 0};
                if (::poll(&fd, 1, 50) > 0) {
                    const ssize_t n = ::read(pty.masterFd(), buffer, piece);
                    if (n > 0)
                        received += n;
                    if (n > 0 && pauseMs > 0)
                        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                }
            }
        });
        serial.write(QString(size, u'y'));
        QElapsedTimer clock;
        clock.start();
        serial.xmitWait();
        const qint64 waited = clock.elapsed();
        if (pauseMs == 0) {
            for (int i = 0; i < 300 && received < size; ++i)
                QThread::msleep(10); // no events: only what XmitWait handed over
        } else {
            QVERIFY(received < size);
            QTRY_VERIFY_WITH_TIMEOUT(received == size, 10000);
        }
        stop = true;
        reader.join();
        QCOMPARE(qsizetype(received), size);
        QVERIFY2(waited < 1000, qPrintable(QString::number(waited)));
    }

    void serialDropQueued_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<bool>("read"); // whether the other side reads before the drop
        // The other side reads nothing until the drop: the line carries the
        // whole queue in about 1.5 s, but the pseudo-terminal's buffer takes
        // only part of it, the last command in part.
        QTest::addRow("buffer full at 230400 bit/s") << 15 << false;
        // Read as it comes, but the line carries about 87 of these commands a
        // second.
        QTest::addRow("read as it comes at 9600 bit/s") << 8 << true;
    }

    // Thousands of commands written at once, then dropped: what had not
    // begun to go out goes no further, the command going out is finished
    // whole, and the one written next follows it directly.
    void serialDropQueued()
    {
        QFETCH(int, baud);
        QFETCH(bool, read);
        PortOnPty port;
        QVERIFY(port.pty.isValid());
        Pty& pty = port.pty;
        Serial& serial = port.serial;
        serial.setBaud(baud);
        QVERIFY(serial.open());
        QByteArray all;
        for (int k = 0; k < 3000; ++k) {
            const QString command = QStringLiteral("V%1\r").arg(k, 9, 10, QLatin1Char('0'));
            serial.write(command);
            all += command.toLatin1();
        }
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        if (read) {
            got = pty.readUntil(all.size(), 300);
            // The line's rate, loosely: nothing near all of them.
            const qint64 carried = clock.elapsed() * 960 / 1000 + 100;
            QVERIFY2(got.size() < carried, qPrintable(QStringLiteral("%1 bytes in %2 ms").arg(got.size()).arg(clock.elapsed())));
        } else {
            QTest::qWait(2000);
        }
        serial.dropQueued();
        serial.write(QStringLiteral("ZERO\r"));
        got += pty.readUntilQuiet(300, 10000);
        QVERIFY(got.endsWith("\rZERO\r"));
        const QByteArray before = got.chopped(5);
        QVERIFY(all.startsWith(before));
        QVERIFY2(before.size() < 30000, qPrintable(QString::number(before.size())));
    }

    void serialCloseAfterWrite_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("lineMs"); // what the command takes on the line
        // Eleven characters of eleven bits.
        QTest::addRow("230400 bit/s") << 15 << 230400 << 0;
        QTest::addRow("2400 bit/s") << 4 << 2400 << 45;
    }

    // A close right after a write waits while the command goes out, and
    // leaves the line with the settings it went out at, not with those it had
    // before the port was opened; the port opens again.
    void serialCloseAfterWrite()
    {
        QFETCH(int, baud);
        QFETCH(int, rate);
        QFETCH(int, lineMs);
        PortOnPty port;
        QVERIFY(port.pty.isValid());
        Pty& pty = port.pty;
        Serial& serial = port.serial;
        serial.setBaud(baud);
        serial.setStop(2);
        const int before = lineSpeed(pty);
        QVERIFY(before != rate);
        QVERIFY(!(pty.settings().c_cflag & CSTOPB));
        QVERIFY(serial.open());
        QElapsedTimer clock;
        clock.start();
        serial.write(QStringLiteral("VOLT 0.000\r"));
        serial.close();
        const qint64 took = clock.elapsed();
        QVERIFY(!serial.isOpen());
        QVERIFY2(took >= lineMs && took < 1000, qPrintable(QString::number(took)));
        QCOMPARE(lineSpeed(pty), rate);
        QVERIFY(pty.settings().c_cflag & CSTOPB);
        QCOMPARE(pty.readUntil(11, 3000), QByteArray("VOLT 0.000\r"));
        QVERIFY(serial.open());
        QCOMPARE(lineSpeed(pty), rate);
    }

    void serialWriteAfterOtherSideClosed()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        Serial serial;
        serial.setPortName(pty.slavePath());
        QVERIFY(serial.open());
        pty.closeMaster();
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 20; ++i) {
            serial.write(QStringLiteral("VOLT 1.000\r"));
            serial.xmitWait();
            QCoreApplication::processEvents();
        }
        serial.write(QString(64 * 1024, u'z'));
        serial.xmitWait();
        QTest::qWait(50);
        serial.reset();
        serial.close();
        serial.close();
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    }

    void serialClosedAndMissingPorts()
    {
        Serial serial;
        serial.setPortName(QStringLiteral("/dev/zorv-no-such-port"));
        QVERIFY(!serial.open());
        QVERIFY(!serial.isOpen());
        serial.close();
        serial.write(QStringLiteral("VOLT 1\r"));
        QElapsedTimer clock;
        clock.start();
        serial.xmitWait();
        serial.reset();
        QVERIFY(clock.elapsed() < 1000);
    }

    // ---- Pop-up menu --------------------------------------------------

    void popupRowsNeverSelect()
    {
        PopupMenu popup;
        int changes = 0;
        popup.bind(Event::Change, [&] { ++changes; });
        QCOMPARE(popup.listIndex(), -1);
        QCOMPARE(popup.text(), QString());
        popup.addRow(QStringLiteral("COM1"));
        popup.addRow(QStringLiteral("COM2"));
        QCOMPARE(popup.listCount(), 2);
        QCOMPARE(popup.listIndex(), -1);
        QCOMPARE(popup.text(), QString());
        popup.setListIndex(1);
        QCOMPARE(changes, 1);
        popup.addRow(QStringLiteral("COM3"));
        QCOMPARE(popup.listIndex(), 1);
        QCOMPARE(popup.text(), QStringLiteral("COM2"));
        popup.deleteAllRows();
        QCOMPARE(popup.listIndex(), -1);
        QCOMPARE(popup.text(), QString());
        popup.addRow(QStringLiteral("COM4"));
        QCOMPARE(popup.listIndex(), -1);
        QCOMPARE(changes, 1);
    }

    void popupSetListIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("expectedIndex");
        QTest::addColumn<QString>("expectedText");
        QTest::addColumn<int>("changes");
        QTest::addRow("first") << 0 << 0 << "a" << 1;
        QTest::addRow("last") << 2 << 2 << "c" << 1;
        QTest::addRow("past the end") << 3 << -1 << "" << 0;
        QTest::addRow("minus one") << -1 << -1 << "" << 0;
        QTest::addRow("far below") << -7 << -1 << "" << 0;
    }
    void popupSetListIndex()
    {
        QFETCH(int, index);
        QFETCH(int, expectedIndex);
        QFETCH(QString, expectedText);
        QFETCH(int, changes);
        PopupMenu popup;
        for (const char* row : {"a", "b", "c"})
            popup.addRow(QString::fromLatin1(row));
        int seen = 0;
        int indexSeen = -2;
        popup.bind(Event::Change, [&] {
            ++seen;
            indexSeen = popup.listIndex();
        });
        popup.setListIndex(index);
        QCOMPARE(popup.listIndex(), expectedIndex);
        QCOMPARE(popup.text(), expectedText);
        QCOMPARE(seen, changes);
        if (changes > 0)
            QCOMPARE(indexSeen, expectedIndex); // the handler sees the new row
    }

    void popupUserPickRaisesChange()
    {
        QWidget window;
        auto* popup = new PopupMenu(&window);
        for (const char* row : {"a", "b", "c"})
            popup->addRow(QString::fromLatin1(row));
        popup->setListIndex(0);
        int changes = 0;
        popup->bind(Event::Change, [&] { ++changes; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        popup->setFocus();
        QTest::keyClick(popup, Qt::Key_Down);
        QCOMPARE(popup->listIndex(), 1);
        QCOMPARE(changes, 1);
    }

    // Disabling stops the user's events; a row set from code raises Change
    // all the same, and the handler sees that row.
    void popupDisabledTakesNoUserEvents()
    {
        PopupMenu popup;
        popup.addRow(QStringLiteral("a"));
        popup.addRow(QStringLiteral("b"));
        int enters = 0;
        int changes = 0;
        QString textSeen;
        popup.bind(Event::MouseEnter, [&] { ++enters; });
        popup.bind(Event::Change, [&] {
            ++changes;
            textSeen = popup.text();
        });
        const QPointF inside(2, 2);
        QEnterEvent enter(inside, inside, popup.mapToGlobal(inside));
        QCoreApplication::sendEvent(&popup, &enter);
        QCOMPARE(enters, 1);

        popup.setEnabled(false);
        QEnterEvent again(inside, inside, popup.mapToGlobal(inside));
        QCoreApplication::sendEvent(&popup, &again);
        QCOMPARE(enters, 1);
        popup.setListIndex(1);
        QCOMPARE(popup.listIndex(), 1);
        QCOMPARE(changes, 1);
        QCOMPARE(textSeen, QStringLiteral("b"));
    }

    // ---- Text area ----------------------------------------------------

    void textAreaLineEnds_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("expected");
        QTest::addRow("LF") << "0,0\n1,5\n2,0" << "0,0\r1,5\r2,0";
        QTest::addRow("CR LF") << "0,0\r\n1,5\r\n2,0" << "0,0\r1,5\r2,0";
        QTest::addRow("CR") << "0,0\r1,5\r2,0" << "0,0\r1,5\r2,0";
        QTest::addRow("mixed") << "a\r\nb\nc\rd" << "a\rb\rc\rd";
        QTest::addRow("empty lines kept") << "a\n\n\nb" << "a\r\r\rb";
        QTest::addRow("CR LF pairs") << "a\r\n\r\nb" << "a\r\rb";
        QTest::addRow("LF CR is two ends") << "a\n\rb" << "a\r\rb";
        QTest::addRow("trailing end") << "a\r\n" << "a\r";
        QTest::addRow("empty") << "" << "";
    }
    void textAreaLineEnds()
    {
        QFETCH(QString, set);
        QFETCH(QString, expected);
        TextArea area;
        int changes = 0;
        area.bind(Event::TextChange, [&] { ++changes; });
        area.setText(QStringLiteral("old"));
        QVERIFY(changes >= 1);
        changes = 0;
        area.setText(set);
        QCOMPARE(area.text(), expected);
        if (set != QStringLiteral("old"))
            QVERIFY(changes >= 1);
    }

    void textAreaPaste_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");
        QTest::addRow("LF") << "1\n2" << "a1\r2b";
        QTest::addRow("CR LF") << "1\r\n2\r\n" << "a1\r2\rb";
        QTest::addRow("CR") << "1\r2" << "a1\r2b";
    }
    void textAreaPaste()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        TextArea area;
        area.setText(QStringLiteral("ab"));
        QTextCursor cursor = area.textCursor();
        cursor.setPosition(1);
        area.setTextCursor(cursor);
        int changes = 0;
        area.bind(Event::TextChange, [&] { ++changes; });
        auto* mime = new QMimeData;
        mime->setText(pasted);
        QApplication::clipboard()->setMimeData(mime);
        area.paste();
        QCOMPARE(area.text(), expected);
        QVERIFY(changes >= 1);
    }

    void textAreaTyped()
    {
        TextArea area;
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        area.setFocus();
        QTest::keyClicks(&area, QStringLiteral("0,0"));
        QTest::keyClick(&area, Qt::Key_Return);
        QTest::keyClicks(&area, QStringLiteral("1,5"));
        QTest::keyClick(&area, Qt::Key_Return, Qt::ShiftModifier); // a soft line break
        QTest::keyClicks(&area, QStringLiteral("2,0"));
        QCOMPARE(area.text(), QStringLiteral("0,0\r1,5\r2,0"));
        QCOMPARE(area.line(3), QStringLiteral("2,0"));
    }

    void textAreaLineMatchesNthField_data()
    {
        const QChar soft = QChar::LineSeparator; // what Shift+Return puts in the document
        QTest::addColumn<QString>("set");
        QTest::addRow("three lines") << "0,0\n1,5\n2,0";
        QTest::addRow("empty") << "";
        QTest::addRow("one end") << "\n";
        QTest::addRow("trailing end") << "a\n";
        QTest::addRow("leading ends") << "\n\nx";
        QTest::addRow("one line") << "10,12.5";
        QTest::addRow("soft break") << QStringLiteral("0,0%11,5\n2,0").arg(soft);
        QTest::addRow("soft breaks in several lines")
            << QStringLiteral("a%1b%1c\nd\ne%1\n%1f\ng").arg(soft);
        QTest::addRow("soft break alone") << QString(soft);
    }
    void textAreaLineMatchesNthField()
    {
        QFETCH(QString, set);
        TextArea area;
        area.setText(set);
        const QString cr(QChar(u'\r'));
        const QString text = area.text();
        QCOMPARE(text, QString(set).replace(u'\n', u'\r').replace(QChar::LineSeparator, u'\r'));
        QCOMPARE(area.isEmpty(), text.isEmpty());
        for (int k = -1; k <= CountFields(text, cr) + 2; ++k)
            QCOMPARE(area.line(k), NthField(text, cr, k));
        // After an edit the lines follow the new text.
        area.setText(set + QStringLiteral("\nlast"));
        const QString edited = area.text();
        const int count = CountFields(edited, cr);
        QCOMPARE(area.line(count), QStringLiteral("last"));
        for (int k = 0; k <= count + 1; ++k)
            QCOMPARE(area.line(k), NthField(edited, cr, k));
    }

    // Small edits, as typing makes them: a soft break typed, then taken out
    // again, moves the lines after it each time; a TextChange handler already
    // reads the new lines.
    void textAreaLinesFollowTyping()
    {
        TextArea area;
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        area.setFocus();
        area.setText(QStringLiteral("0,1\n1,2\n2,3"));
        QString seenInHandler;
        area.bind(Event::TextChange, [&] { seenInHandler = area.line(3); });
        QTextCursor cursor = area.textCursor();
        cursor.setPosition(2); // within the first line, "0,|1"
        area.setTextCursor(cursor);
        QTest::keyClick(&area, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(area.text(), QStringLiteral("0,\r1\r1,2\r2,3"));
        QCOMPARE(seenInHandler, QStringLiteral("1,2"));
        QCOMPARE(area.line(4), QStringLiteral("2,3"));
        QTest::keyClick(&area, Qt::Key_Backspace);
        QCOMPARE(seenInHandler, QStringLiteral("2,3"));
        QCOMPARE(area.line(1), QStringLiteral("0,1"));
        QCOMPARE(area.line(4), QString());
        area.selectAll();
        QTest::keyClick(&area, Qt::Key_Delete);
        QVERIFY(area.isEmpty());
        QCOMPARE(area.line(1), QString());
        QTest::keyClick(&area, Qt::Key_Return);
        QVERIFY(!area.isEmpty());
        QCOMPARE(area.text(), QStringLiteral("\r"));
    }

    // Edits at and near the end of a line, drawn as Qt's own area draws them
    // after the same edits: the area keeps the layout of a line that a line
    // end added after it leaves as it was, and must lay out again any other.
    void textAreaDrawnAfterEdit_data()
    {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<int>("edit");
        const QString wrapped = QStringLiteral("0,1;").repeated(100);
        const QString twoLines = wrapped + u'\n' + wrapped;
        QTest::addRow("two line ends appended") << wrapped << int(AppendEnds);
        QTest::addRow("Return at a line's end") << twoLines << int(ReturnAtEnd);
        QTest::addRow("Return inside a line") << twoLines << int(ReturnInside);
        QTest::addRow("line end at a line's start") << twoLines << int(EndAtStart);
        QTest::addRow("lines pasted at a line's end") << twoLines << int(PasteAfterEnd);
        QTest::addRow("typed after the append") << wrapped << int(TypeAfterAppend);
    }
    void textAreaDrawnAfterEdit()
    {
        QFETCH(QString, initial);
        QFETCH(int, edit);
        BesideQtsOwn shown(initial);
        TextArea* area = shown.area;
        QPlainTextEdit* reference = shown.reference;
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        QCOMPARE(area->size(), reference->size());
        QCOMPARE(BesideQtsOwn::drawn(area), BesideQtsOwn::drawn(reference));

        const int lineEnd = area->document()->firstBlock().length() - 1;
        for (QPlainTextEdit* each : shown.both()) {
            QTextCursor cursor(each->document());
            switch (edit) {
            case AppendEnds:
            case TypeAfterAppend:
                cursor.movePosition(QTextCursor::End);
                cursor.insertText(QStringLiteral("\n\n"));
                if (edit == TypeAfterAppend) {
                    cursor.setPosition(lineEnd);
                    each->setTextCursor(cursor);
                    QTest::keyClicks(each, QStringLiteral("9,9"));
                }
                break;
            case ReturnAtEnd:
            case ReturnInside:
                cursor.setPosition(edit == ReturnAtEnd ? lineEnd : lineEnd / 2);
                each->setTextCursor(cursor);
                QTest::keyClick(each, Qt::Key_Return);
                break;
            case EndAtStart:
                cursor.insertText(QStringLiteral("\n"));
                break;
            case PasteAfterEnd:
                cursor.setPosition(lineEnd);
                cursor.insertText(QStringLiteral("\n5,5\n6,6"));
                break;
            }
        }
        QCOMPARE(area->document()->toPlainText(), reference->document()->toPlainText());
        QCOMPARE(area->document()->lineCount(), reference->document()->lineCount());
        QCOMPARE(BesideQtsOwn::drawn(area), BesideQtsOwn::drawn(reference));
    }

    // A long line of control characters, as a binary file holds, among
    // characters that the area's own font lacks: each of those is drawn with
    // the glyph and font that Qt's own area draws it with, also after edits
    // that move one onto where a control character was. (How Qt draws a
    // control character depends on which fonts it has loaded before, so
    // those are not compared.) The text is the one set, control characters
    // and all.
    void textAreaDrawnWithControls_data()
    {
        QTest::addColumn<int>("edit");
        QTest::addRow("as set") << int(AsSet);
        QTest::addRow("a run taken out") << int(RunTakenOut);
        QTest::addRow("typed before the runs") << int(TypedBefore);
        QTest::addRow("cut short, keeping control characters") << int(CutShort);
        QTest::addRow("a run taken out, then undone") << int(RunTakenOutUndone);
    }
    void textAreaDrawnWithControls()
    {
        QFETCH(int, edit);
        const QString other = missingFromOwnFont();
        QVERIFY2(!other.isEmpty(), "no font installed has a sign the text area's own font lacks");
        const QString controls = QString(QChar(u'\0')).repeated(2) + QChar(0x1f);
        const QString unit = QStringLiteral("0,1;") + other.repeated(3) + controls + other + u'\u4E2D' + u'\u0628';
        const QString line = unit.repeated(30) + QStringLiteral("\x01\x7f");
        const int run = 4 + 3 * int(other.size());

        BesideQtsOwn shown(line);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        const QStringList asSet = glyphsOf(shown.area);
        QVERIFY(asSet.size() > line.size() / 2);
        QCOMPARE(asSet, glyphsOf(shown.reference));
        for (QPlainTextEdit* each : shown.both()) {
            QTextCursor cursor(each->document());
            switch (edit) {
            case RunTakenOut:
            case RunTakenOutUndone:
                cursor.setPosition(run);
                cursor.setPosition(run + int(controls.size()), QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
                if (edit == RunTakenOutUndone)
                    each->document()->undo();
                break;
            case TypedBefore:
                cursor.insertText(QStringLiteral("9,"));
                break;
            case CutShort:
                cursor.setPosition(int(line.size()) - int(unit.size()) * 2 - 1, QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
                break;
            }
        }
        QCOMPARE(shown.area->document()->toRawText(), shown.reference->document()->toRawText());
        QCOMPARE(glyphsOf(shown.area), glyphsOf(shown.reference));
        if (edit == AsSet || edit == RunTakenOutUndone)
            QCOMPARE(shown.area->text(), line);
    }

    // The open's second step: one edit, one TextChange, nothing to undo.
    void textAreaAppend()
    {
        TextArea area;
        area.setText(QStringLiteral("0,5\n1,6"));
        QStringList seen;
        area.bind(Event::TextChange, [&] { seen << area.text(); });
        area.appendText(QStringLiteral("\r\r"));
        QCOMPARE(seen, QStringList{QStringLiteral("0,5\r1,6\r\r")});
        QCOMPARE(area.line(3), QString());
        QCOMPARE(area.line(2), QStringLiteral("1,6"));
        QVERIFY(!area.document()->isUndoAvailable());
    }

    // ---- Check box ----------------------------------------------------

    void checkBoxActionFromClickOnly()
    {
        QWidget window;
        auto* box = new CheckBox(&window);
        box->setText(QStringLiteral("Zero volts when stopped"));
        box->adjustSize();
        int actions = 0;
        box->bind(Event::Action, [&] { ++actions; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        box->setChecked(true);
        box->setChecked(false);
        QCOMPARE(actions, 0);

        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        QCOMPARE(actions, 1);
        QVERIFY(box->value()); // the handler reads the new state

        box->setEnabled(false);
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        QCOMPARE(actions, 1);
        QVERIFY(box->value());
    }

    // ---- Push button --------------------------------------------------

    void pushButtonCancel_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addRow("focus on the window") << "window";
        QTest::addRow("focus in a text area") << "text";
        QTest::addRow("focus on a pop-up") << "popup";
    }
    void pushButtonCancel()
    {
        QFETCH(QString, focus);
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* area = new TextArea;
        auto* popup = new PopupMenu;
        popup->addRow(QStringLiteral("a"));
        auto* button = new PushButton;
        button->setCaption(QStringLiteral("Stop"));
        layout->addWidget(area);
        layout->addWidget(popup);
        layout->addWidget(button);
        int actions = 0;
        button->bind(Event::Action, [&] { ++actions; });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget* target = focus == QStringLiteral("text") ? static_cast<QWidget*>(area)
                          : focus == QStringLiteral("popup") ? static_cast<QWidget*>(popup)
                                                             : &window;
        target->setFocus();

        QTest::keyClick(target, Qt::Key_Escape);
        QTest::qWait(300);
        QCOMPARE(actions, 0); // not a cancel button yet

        button->setCancel(true);
        QVERIFY(button->cancel());
        QTest::keyClick(target, Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(actions, 1, 2000);

        button->setCancel(false);
        QTest::keyClick(target, Qt::Key_Escape);
        QTest::qWait(300);
        QCOMPARE(actions, 1);

        button->setCancel(true);
        button->setEnabled(false);
        QTest::keyClick(target, Qt::Key_Escape);
        QTest::qWait(300);
        QCOMPARE(actions, 1);
        QCOMPARE(area->text(), QString()); // Escape typed nothing
    }

    // Input made while a control was disabled never reaches it, also once the
    // control is enabled again: not the press of a button, not the Escape of
    // a cancel button, not the pointer's entry into a list that the system
    // queued meanwhile, which leaves the list without hover too.
    void disabledControlNeverActsLater_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addRow("click on the button") << "click";
        QTest::addRow("Escape for the cancel button") << "escape";
        QTest::addRow("pointer into the list, queued") << "enter";
    }
    void disabledControlNeverActsLater()
    {
        QFETCH(QString, input);
        HandlerBench bench;
        QVERIFY(QTest::qWaitForWindowActive(&bench.window));
        bench.target->setCancel(true);
        const QPoint outside = bench.window.mapToGlobal(QPoint(-20, -20));
        QCursor::setPos(outside);
        QTest::qWait(50);
        bench.listEnters = 0;

        QWidget* disabled = input == u"enter" ? static_cast<QWidget*>(bench.list) : bench.target;
        bench.handler(disabled, [&] { bench.give(input, bench.target); });
        QTest::qWait(300);
        QCOMPARE(bench.targetActions, 0);
        QCOMPARE(bench.listEnters, 0);
        if (input == u"enter")
            QVERIFY(!bench.list->underMouse());

        // Enabled, they take the user's input again.
        QCursor::setPos(outside);
        QTest::qWait(50);
        bench.give(QStringLiteral("click"), bench.target);
        bench.give(QStringLiteral("enter"), nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(bench.listEnters, 1, 2000);
        QCOMPARE(bench.targetActions, 1);
    }

    // What the window system hands out once a control is enabled, but was
    // made while it was disabled, changes nothing there: a click presses,
    // focuses and raises nothing, the wheel turns no list, and none of it,
    // the click's release included, reaches the control. The same input made
    // after the enable acts.
    void inputMadeBeforeEnableChangesNothing_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addRow("click on the button") << "click";
        QTest::addRow("wheel on the list") << "wheel";
    }
    void inputMadeBeforeEnableChangesNothing()
    {
        QFETCH(QString, input);
        HandlerBench bench;
        QVERIFY(QTest::qWaitForWindowActive(&bench.window));
        bench.area->setFocus();
        const bool click = input == u"click";
        QWidget* control = click ? static_cast<QWidget*>(bench.target) : bench.list;
        QWindow* window = bench.window.windowHandle();
        const PointerEvents reaching(control);
        bool pressedDown = false;
        // Handed to the window now, stamped with the time it was made.
        const auto give = [&](int made) {
            if (click) {
                QTest::lastMouseTimestamp = made - 1; // QTest adds one
                QTest::mousePress(window, Qt::LeftButton, {}, bench.middleOf(bench.target));
                pressedDown = bench.target->isDown();
                QTest::mouseRelease(window, Qt::LeftButton, {}, bench.middleOf(bench.target));
                return;
            }
            const QPointF at = bench.middleOf(bench.list);
            QWheelEvent wheel(at, bench.window.mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            wheel.setTimestamp(static_cast<quint64>(made));
            // As QTest sends its own: sendEvent would take it for the program's.
            QSpontaneKeyEvent::setSpontaneous(&wheel);
            QCoreApplication::instance()->notify(window, &wheel);
        };

        bench.list->setListIndex(0);
        bench.listChanges = 0;
        const int made = QTest::lastMouseTimestamp + 1000;
        control->setEnabled(false);
        QTest::lastMouseTimestamp = made + 100;
        control->setEnabled(true);
        give(made);
        QCOMPARE(reaching.count, 0);
        QVERIFY(!pressedDown);
        QCOMPARE(bench.targetActions, 0);
        QCOMPARE(bench.list->listIndex(), 0);
        QCOMPARE(bench.listChanges, 0);
        QCOMPARE(QApplication::focusWidget(), bench.area);

        give(made + 200);
        QCOMPARE(pressedDown, click);
        QCOMPARE(bench.targetActions, click ? 1 : 0);
        QCOMPARE(bench.list->listIndex(), click ? 0 : 1);
        QCOMPARE(bench.listChanges, click ? 0 : 1);
        QCOMPARE(QApplication::focusWidget(), control);
    }

    // Input that the window system queued while a handler yielded acts once
    // the handler has returned, at once and not inside it, also when the
    // handler ends with nothing that would wake the event loop.
    void queuedInputActsOnceHandlerReturns()
    {
        HandlerBench bench;
        QVERIFY(QTest::qWaitForWindowActive(&bench.window));
        QCursor::setPos(bench.window.mapToGlobal(QPoint(-20, -20)));
        QTest::qWait(50);
        bench.listEnters = 0;

        bench.handler(nullptr, [&] { bench.give(QStringLiteral("enter"), nullptr); });
        QCOMPARE(bench.listEnters, 0);
        QTRY_COMPARE_WITH_TIMEOUT(bench.listEnters, 1, 2000);
        QCOMPARE(bench.eventsInHandler, 0);
    }

    // Enabling a control runs no event loop: a timer that falls due in a
    // handler ticks once the handler has returned, not inside the enable,
    // also when a whole window of controls is enabled.
    void timerDueWhileEnablingTicksAfterHandler_data()
    {
        QTest::addColumn<bool>("wholeWindow");
        QTest::addRow("a button") << false;
        QTest::addRow("the window around it") << true;
    }
    void timerDueWhileEnablingTicksAfterHandler()
    {
        QFETCH(bool, wholeWindow);
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* button = new PushButton;
        layout->addWidget(button);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget* enabled = wholeWindow ? &window : static_cast<QWidget*>(button);
        Timer timer;
        int ticks = 0;
        connect(&timer, &Timer::action, this, [&] { ++ticks; });

        enabled->setEnabled(false);
        timer.setPeriod(0);
        timer.setMode(1);
        // Due, and the event loop would see it at once.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        enabled->setEnabled(true);
        QVERIFY(button->isEnabled());
        const int ticksInHandler = ticks;

        QCOMPARE(ticksInHandler, 0);
        QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 2000);
    }

    // A dialog that a timer opens while a handler yields takes the user's
    // input meant for it: a click on its button, or its shortcut key.
    void dialogOpenedDuringYieldTakesItsInput_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addRow("click on its button") << "click";
        QTest::addRow("its shortcut key") << "key";
    }
    void dialogOpenedDuringYieldTakesItsInput()
    {
        QFETCH(QString, input);
        HandlerBench bench;
        QVERIFY(QTest::qWaitForWindowActive(&bench.window));
        Timer opens;
        int result = -1;
        connect(&opens, &Timer::action, this, [&] {
            QDialog dialog;
            auto* layout = new QVBoxLayout(&dialog);
            auto* ok = new QPushButton(QStringLiteral("OK"));
            layout->addWidget(ok);
            connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
            auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), &dialog);
            connect(shortcut, &QShortcut::activated, &dialog, &QDialog::accept);
            dialog.resize(120, 80);
            QTimer::singleShot(0, &dialog, [&] {
                QVERIFY(QTest::qWaitForWindowActive(&dialog));
                if (input == u"click")
                    QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {}, ok->mapTo(&dialog, ok->rect().center()));
                else
                    QTest::keyClick(&dialog, Qt::Key_W, Qt::ControlModifier);
            });
            // Not answered: the handler goes on all the same.
            QTimer::singleShot(2000, &dialog, &QDialog::reject);
            result = dialog.exec();
        });

        bench.inHandler = true;
        opens.setPeriod(0);
        opens.setMode(1);
        QElapsedTimer held;
        held.start();
        while (result < 0 && held.elapsed() < 5000)
            yieldToEventLoop();
        bench.inHandler = false;
        QCOMPARE(result, int(QDialog::Accepted));
    }

    // A button made a cancel button before it is put into its window.
    void pushButtonCancelBeforePlaced()
    {
        auto* button = new PushButton;
        button->setCancel(true);
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(button);
        int actions = 0;
        button->bind(Event::Action, [&] { ++actions; });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(actions, 1, 2000);
    }
};

QTEST_MAIN(FrameworkTest)
#include "tst_framework.moc"
