// Clicks and keys from a real X server. Qt keeps them queued while a handler
// yields and hands them out once it has returned; the offscreen platform
// delivers a test's input at once, so only a real display shows what becomes
// of input made during the script check. Run under xvfb-run with xdotool.
#include "support/BenchWindow.h"

#include <QGuiApplication>
#include <QProcess>
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
    // Escape key then never stops the run that the check goes on to start.
    // Keys typed into the script meanwhile land there once the check is over.
    void inputDuringTheCheck_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addRow("click on the button") << "click";
        QTest::addRow("Escape") << "escape";
        QTest::addRow("keys typed into the script") << "type";
    }

    void inputDuringTheCheck()
    {
        QFETCH(QString, input);
        BenchWindow bench;
        QVERIFY(bench.isValid());
        BenchDescription description;
        description.delayMs = 10;
        bench.setUp(description, longScript());
        PwrSupWindow& w = bench.window();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString window = QString::number(w.winId());
        QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window}));
        QTRY_VERIFY_WITH_TIMEOUT(w.isActiveWindow(), 5000);
        w.myEditField->setFocus();
        w.myEditField->moveCursor(QTextCursor::End);

        const QPoint start = w.StartButton->mapTo(&w, w.StartButton->rect().center());
        bool made = false;
        QTimer::singleShot(0, this, [&] {
            QVERIFY(w.StartButton->caption() == u"Checking...");
            if (input == u"click")
                made = xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                                QString::number(start.x()), QString::number(start.y()), QStringLiteral("click"),
                                QStringLiteral("1")});
            else if (input == u"escape")
                made = xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
            else
                made = xdotool({QStringLiteral("type"), QStringLiteral("x")});
        });
        w.StartButton->click();
        QVERIFY(made);
        QCOMPARE(w.StartButton->caption(), QStringLiteral("Stop"));

        const auto arrivals = bench.pty().readCommands(5, 5000);
        QCOMPARE(texts(arrivals), kBenchSetUp + commands({"VOLT 5.000"}));
        QCOMPARE(w.StartButton->caption(), QStringLiteral("Stop"));
        if (input == u"type")
            QTRY_COMPARE_WITH_TIMEOUT(w.myEditField->line(400002), QStringLiteral("x"), 2000);
        w.StartButton->click();
        QCOMPARE(w.StartButton->caption(), QStringLiteral("Start"));
    }
};

QTEST_MAIN(DisplayInputTest)
#include "display_input.moc"
