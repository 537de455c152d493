// Clicks and keys from a real X server. Qt keeps them queued while a handler
// yields and hands them out once it has returned; the offscreen platform
// delivers a test's input at once, so only a real display shows what becomes
// of input made during the script check. Run under xvfb-run with xdotool.
#include "support/BenchWindow.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QShortcut>
#include <QTextCursor>
#include <QTimer>

using namespace zorv;
using namespace zorv::testing;

namespace {

bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Long enough that the check goes on for a while after the input is made.
QString longScript()
{
    QString script = QStringLiteral("0,5\r");
    for (int line = 0; line < 400000; ++line)
        script += QStringLiteral("1000,6\r");
    return script;
}

// The user's input, as xdotool makes it on the display.
class User {
public:
    explicit User(QWidget& window) : m_window(window), m_id(QString::number(window.winId())) {}

    bool focusWindow() { return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_id}); }

    // `clicks` clicks of the left button, 80 ms apart (two make a double
    // click), in the middle of the control.
    bool click(const QWidget* control, int clicks = 1)
    {
        const QPoint at = control->mapTo(&m_window, control->rect().center());
        return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), m_id, QString::number(at.x()),
                        QString::number(at.y()), QStringLiteral("click"), QStringLiteral("--repeat"),
                        QString::number(clicks), QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
    }

    bool key(const QString& name) { return xdotool({QStringLiteral("key"), name}); }
    bool type(const QString& text) { return xdotool({QStringLiteral("type"), text}); }

private:
    QWidget& m_window;
    QString m_id;
};

// The program's dialogs as one real modal dialog on the display, which the
// user closes a moment after it opened with its shortcut, Ctrl+W; one that
// does not take the key closes itself after a while. While it is open the
// main window is blocked, as it is behind the real open and save dialogs.
class ModalDialogs : public dialogs::Handler {
public:
    ModalDialogs(BenchWindow& bench, User& user) : m_bench(bench), m_user(user)
    {
        dialogs::setHandlerForTesting(this);
    }
    ~ModalDialogs() override { dialogs::setHandlerForTesting(&m_bench.dialogs()); }

    QString openFile(const QStringList&) override { return show(QStringLiteral("open")); }
    QString saveFile() override { return show(QStringLiteral("save")); }
    void message(const QString& text) override { show(QStringLiteral("message: ") + text); }

    QStringList opened;
    QStringList closedBy; // "shortcut" or "itself", one for each opening
    // Milliseconds from `since` to the last opening.
    QElapsedTimer since;
    qint64 lastOpenedAfter = -1;

private:
    QString show(const QString& kind)
    {
        opened.append(kind);
        lastOpenedAfter = since.isValid() ? since.elapsed() : -1;
        QDialog dialog;
        dialog.setModal(true);
        dialog.resize(120, 60);
        auto* close = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), &dialog);
        QObject::connect(close, &QShortcut::activated, &dialog, [&] {
            closedBy.append(QStringLiteral("shortcut"));
            dialog.reject();
        });
        QTimer::singleShot(200, &dialog, [this] { m_user.key(QStringLiteral("ctrl+w")); });
        QTimer::singleShot(3000, &dialog, [&] {
            closedBy.append(QStringLiteral("itself"));
            dialog.reject();
        });
        dialog.exec();
        return {};
    }

    BenchWindow& m_bench;
    User& m_user;
};

// The bench's window on the display, active, with the user at it and the
// dialogs as real ones.
struct OnDisplay {
    explicit OnDisplay(BenchWindow& bench) : w(bench.window()), user(w), shown(bench, user) {}

    bool ready()
    {
        return QTest::qWaitForWindowExposed(&w) && user.focusWindow()
               && QTest::qWaitFor([this] { return w.isActiveWindow(); }, 5000);
    }

    PwrSupWindow& w;
    User user;
    ModalDialogs shown;
};

} // namespace

class DisplayInputTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != u"xcb")
            QSKIP("needs a real X display");
    }

    // While Start reads "Checking..." it is disabled: a click on it or the
    // Escape key then never stops the run that the check goes on to start,
    // and the click takes no focus, so a Space typed next goes to the script.
    // A click on Open opens its dialog once the check is over, and the input
    // queued behind that click is taken by the dialog, as Qt would have it:
    // neither the second click of a double click nor a click on the box acts
    // once the dialog has closed, and the dialog takes its own keys. Keys
    // typed into the script meanwhile land there, in order.
    void inputDuringTheCheck_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QStringList>("dialogs");
        QTest::addColumn<QString>("after"); // a key pressed once the check is over
        QTest::addColumn<QString>("typed"); // what lands at the end of the script
        QTest::addColumn<QString>("focus"); // the control with the focus at the end
        const QStringList none;
        const QStringList open{QStringLiteral("open")};
        const QString script = QStringLiteral("myEditField");
        const QString openButton = QStringLiteral("openTextBtn");
        QTest::addRow("click on the button") << "click" << none << "" << "" << script;
        QTest::addRow("Escape") << "escape" << none << "" << "" << script;
        QTest::addRow("keys typed into the script") << "type" << none << "" << "x,y" << script;
        QTest::addRow("click on the button, then Space") << "click" << none << "space" << " " << script;
        QTest::addRow("double click on Open") << "double open" << open << "" << "" << openButton;
        QTest::addRow("click on Open, then on the box") << "open box" << open << "" << "" << openButton;
    }

    void inputDuringTheCheck()
    {
        QFETCH(QString, input);
        QFETCH(QStringList, dialogs);
        QFETCH(QString, after);
        QFETCH(QString, typed);
        QFETCH(QString, focus);
        BenchWindow bench;
        QVERIFY(bench.isValid());
        BenchDescription description;
        description.delayMs = 10;
        bench.setUp(description, longScript());
        OnDisplay display(bench);
        QVERIFY(display.ready());
        PwrSupWindow& w = display.w;
        User& user = display.user;
        const ModalDialogs& shown = display.shown;
        w.myEditField->setFocus();
        w.myEditField->moveCursor(QTextCursor::End);
        QVERIFY(w.ZeroVCheckBox->isEnabled());
        QVERIFY(!w.ZeroVCheckBox->isChecked());

        bool made = false;
        QTimer::singleShot(0, this, [&] {
            QVERIFY(w.StartButton->caption() == u"Checking...");
            if (input == u"click")
                made = user.click(w.StartButton);
            else if (input == u"escape")
                made = user.key(QStringLiteral("Escape"));
            else if (input == u"type")
                made = user.type(QStringLiteral("x,y"));
            else if (input == u"double open")
                made = user.click(w.openTextBtn, 2);
            else
                made = user.click(w.openTextBtn) && user.click(w.ZeroVCheckBox);
        });
        w.StartButton->click();
        QVERIFY(made);
        QCOMPARE(w.StartButton->caption(), QStringLiteral("Stop"));

        const auto arrivals = bench.pty().readCommands(5, 5000);
        QCOMPARE(texts(arrivals), kBenchSetUp + commands({"VOLT 5.000"}));
        if (!after.isEmpty())
            QVERIFY(user.key(after));
        // Whatever was queued has acted by now, the dialog included.
        QTest::qWait(dialogs.isEmpty() ? 300 : 1000);
        QCOMPARE(shown.opened, dialogs);
        QCOMPARE(shown.closedBy, QStringList(dialogs.size(), QStringLiteral("shortcut")));
        QCOMPARE(w.StartButton->caption(), QStringLiteral("Stop"));
        QVERIFY(!w.ZeroVCheckBox->isChecked());
        QCOMPARE(w.myEditField->line(400002), typed);
        // The window's own: with no window manager on the display, none
        // gives the window the focus back once a dialog has closed.
        QVERIFY(w.focusWidget());
        QCOMPARE(w.focusWidget()->objectName(), focus);
        w.StartButton->click();
        QCOMPARE(w.StartButton->caption(), QStringLiteral("Start"));
    }

    // A click made while a long description loads acts as soon as the load
    // is over, without waiting for more input.
    void clickDuringModelLoad()
    {
        BenchWindow bench;
        QVERIFY(bench.isValid());
        BenchDescription description;
        description.outList = QStringLiteral("1,2");
        // A long hook-up text at the end: the load reads it after the last
        // change in sight, and no output is chosen, so it ends with none.
        QString hookup = QStringLiteral("*HOOKUP*\n");
        for (int line = 0; line < 100000; ++line)
            hookup += QString(100, u'h') + u'\n';
        QVERIFY(writeFile(bench.folder() + QStringLiteral("/ZORV dep files/Bench.dep"),
                          (description.text() + hookup + QStringLiteral("*END*\n")).toUtf8()));
        bench.chooseModel(QStringLiteral("Bench"));
        bench.enterPortList();
        OnDisplay display(bench);
        QVERIFY(display.ready());
        PwrSupWindow& w = display.w;
        User& user = display.user;
        ModalDialogs& shown = display.shown;

        bool made = false;
        QTimer::singleShot(0, this, [&] { made = user.click(w.saveTextBtn); });
        QElapsedTimer loading;
        loading.start();
        bench.chooseModel(QStringLiteral("Bench"));
        const qint64 loadMs = loading.elapsed();
        QVERIFY(made);
        shown.since.start();
        QTRY_COMPARE_WITH_TIMEOUT(shown.opened, QStringList{QStringLiteral("save")}, 5000);
        QVERIFY2(shown.lastOpenedAfter < 1000, qPrintable(QStringLiteral("load %1 ms, dialog %2 ms after it")
                                                               .arg(loadMs)
                                                               .arg(shown.lastOpenedAfter)));
    }
};

QTEST_MAIN(DisplayInputTest)
#include "display_input.moc"
