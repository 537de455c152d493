// The example descriptions and script that come with the program, played as
// a newcomer plays them: both descriptions beside the program, one chosen,
// the port opened, the script opened with the button, Start. What reaches the
// supply's end of the line must be the commands the README lists for them.

#include "mainwindow/PwrSupWindow.h"
#include "support/BenchTest.h"

#include <QTest>
#include <chrono>
#include <termios.h>

using namespace zorv;
using namespace zorv::testing;
using Clock = std::chrono::steady_clock;

namespace {

const QString kExamples = QStringLiteral(ZORV_EXAMPLES_DIR);
const QString kScript = kExamples + QStringLiteral("/ramp-and-hold.txt");

// The script's times, in seconds: each line's voltage goes out this long
// after the script's time 0.
const QList<int> kLineMs{0, 1000, 2000, 3000, 6000};

// A command never leaves early; on a loaded machine (other tests run beside
// this one) it may leave late, by much less than a script step.
constexpr int kEarlyMs = 3;
constexpr int kLateMs = 800;

} // namespace

class ExamplesTest : public BenchTest {
    Q_OBJECT

private slots:
    void examplePlaysTheDocumentedCommands_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("outputRow"); // -1: a supply with one output
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<QStringList>("expected");

        // The output-select command of a supply with one output has empty
        // template lines: its carriage return goes out alone.
        QTest::addRow("single output, 9600 bit/s")
            << "Example single-output SCPI" << -1 << int(B9600) << 100
            << commands({"SYST:REM", "*CLS", "", "OUTP ON", "VOLT 0.000", "VOLT 2.000", "VOLT 4.000", "VOLT 6.000",
                         "VOLT 0.000"});
        // Output 3 is limited to 6 V, the script's highest voltage.
        QTest::addRow("three outputs, output 3, 115200 bit/s")
            << "Example three-output SCPI" << 2 << int(B115200) << 50
            << commands({"SYST:REM", "*RST", "INST:NSEL 3", "OUTP ON", "VOLT 0.00", "VOLT 2.00", "VOLT 4.00",
                         "VOLT 6.00", "VOLT 0.00"});
    }

    void examplePlaysTheDocumentedCommands()
    {
        QFETCH(QString, model);
        QFETCH(int, outputRow);
        QFETCH(int, speed);
        QFETCH(int, delayMs);
        QFETCH(QStringList, expected);

        QCOMPARE(m_bench->addModelsFrom(kExamples), QStringList({QStringLiteral("Example single-output SCPI.dep"),
                                                               QStringLiteral("Example three-output SCPI.dep")}));

        PopupMenu* models = window().PPSpopup;
        QStringList rows;
        for (int row = 0; row < models->listCount(); ++row)
            rows.append(models->itemText(row));
        QCOMPARE(rows, QStringList({QStringLiteral("Example single-output SCPI"),
                                    QStringLiteral("Example three-output SCPI")}));
        m_bench->chooseModel(model);
        QCOMPARE(models->text(), model);
        QCOMPARE(dialogs().messages, QStringList());
        QCOMPARE(window().ZeroVCheckBox->isEnabled(), true);
        if (outputRow >= 0)
            m_bench->chooseOutput(outputRow);
        m_bench->enterPortList();

        dialogs().nextOpenFile(kScript);
        window().openTextBtn->click();
        QCOMPARE(dialogs().messages, QStringList());
        pty().read(50); // opening the port may leave noise; no command has gone yet

        QVERIFY(window().StartButton->isEnabled());
        const Clock::time_point pressed = Clock::now();
        window().StartButton->click();
        QCOMPARE(window().StartButton->caption(), QStringLiteral("Stop"));
        QCOMPARE(window().ErrorText->text(), QString()); // every voltage within the limit
        const termios line = pty().settings();
        QCOMPARE(int(cfgetospeed(&line)), speed);

        const auto arrivals = pty().readCommands(static_cast<int>(expected.size()), 10 + 4 * delayMs + 6000 + 3000);
        QCOMPARE(texts(arrivals), expected);

        // Set-up at 10 ms and then one pause apart; the script's time 0 one
        // pause after the output's init command.
        QList<int> dueMs{10, 10 + delayMs, 10 + 2 * delayMs, 10 + 3 * delayMs};
        for (int lineMs : kLineMs)
            dueMs.append(10 + 4 * delayMs + lineMs);
        const QString late = outsideSchedule(arrivals, pressed, dueMs, kEarlyMs, kLateMs);
        QVERIFY2(late.isEmpty(), qPrintable(late));

        QTRY_COMPARE(window().StartButton->caption(), QStringLiteral("Start"));
        QCOMPARE(window().CmdTxt->text(), expected.last());
        QCOMPARE(pty().readCommands(1, 300).size(), std::size_t{0});
    }
};

QTEST_MAIN(ExamplesTest)
#include "tst_examples.moc"
