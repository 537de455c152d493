#include "framework/Files.h"
#include "framework/PortList.h"
#include "framework/Strings.h"
#include "mainwindow/PwrSupWindow.h"
#include "support/BenchWindow.h"
#include "support/Pty.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>
#include <poll.h>
#include <vector>

using namespace zorv;
using zorv::testing::BenchDescription;
using zorv::testing::Pty;
using zorv::testing::ScriptedDialogs;
using zorv::testing::SystemSeams;
using zorv::testing::pointerEnters;
using zorv::testing::writeFile;

namespace {

const QString kOpenFail = QStringLiteral("Error opening serial port for Power Supply.   Serial.Open fail.");

QString depText(const QStringList& lines)
{
    return lines.join(u'\n') + u'\n';
}

// A model with two outputs, all of whose sections are given.
QString fullModel(const QString& name)
{
    return depText({"*NAME*", name, name + "-1",
                    "*DESCRIPTION*", "About ", name, "*END*",
                    "*HOOKUP*", "Cable", "*END*",
                    "*PARAMETERS*", "RS232", "9", "0", "8", "1", "none", "25", "unused",
                    "*COMMAND PS SELECT*", "ADDR ", "0", "",
                    "*COMMAND PS INIT*", "REM", "", "",
                    "*COMMAND OUTPUT SELECT*", "A,B", "30,6", "INST ", "0", "",
                    "*COMMAND OUTPUT INIT*", "OUTP ON", "", "",
                    "*COMMAND VOLT SET*", name + ":VOLT ", "0.000", ";", "1",
                    "*COMMAND CURRENT READ*", "MEAS?", "0.0", ","});
}

QStringList rows(const QComboBox* popup)
{
    QStringList list;
    for (int i = 0; i < popup->count(); ++i)
        list.append(popup->itemText(i));
    return list;
}

// True once no one has the slave side of the pair open any more.
bool slaveClosed(const Pty& pty)
{
    pollfd fd{pty.masterFd(), POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLHUP) != 0;
}

// The line speed is set by the program's open of the port; a test changes it
// at the master side to see whether the port was opened again.
void setSpeed(const Pty& pty, speed_t speed)
{
    termios t = pty.settings();
    ::cfsetospeed(&t, speed);
    ::cfsetispeed(&t, speed);
    ::tcsetattr(pty.masterFd(), TCSANOW, &t);
}

speed_t speed(const Pty& pty)
{
    const termios t = pty.settings();
    return ::cfgetospeed(&t);
}

} // namespace

class SupplyTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // Loading a model into the window.
    void loadOutputs_data();
    void loadOutputs();
    void zeroCommand();
    void notFound();
    void unreadable_data();
    void unreadable();
    void nothingResetBetweenModels();

    // The model list.
    void modelList_data();
    void modelList();
    void missingFolder();
    void reselectionAfterFileAdded();
    void editedFileReloaded();
    void lastRowPastTheEnd();
    void failingModelReportedOnce();
    void failedLoadShowsModelInForce_data();
    void failedLoadShowsModelInForce();

    // The output choice.
    void outputLimit_data();
    void outputLimit();
    void outputStartRule_data();
    void outputStartRule();
    void outputChosenAgainAfterReload_data();
    void outputChosenAgainAfterReload();

    // The port choice.
    void portOpenedAndClosed();
    void reselectionByName();
    void boundOfUsableRows();
    void openFailKeepsStart_data();
    void openFailKeepsStart();
    void portStartRule_data();
    void portStartRule();
    void emptyPortList();
    void disabledListsDuringRun();
    void failingPortReportedOnce();
    void portListOneSnapshot();
    void portListChangedBeforeOpen_data();
    void portListChangedBeforeOpen();

private:
    QString depFolder() const { return m_dir->path() + QStringLiteral("/ZORV dep files/"); }
    void writeModel(const QString& fileName, const QString& text);
    PwrSupWindow& window();
    Pty& pty();
    // Chooses the row holding the model, as the user would.
    void choose(const QString& model);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::optional<SystemSeams> m_seams;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::vector<std::unique_ptr<Pty>> m_ptys;
    std::unique_ptr<PwrSupWindow> m_window;
};

void SupplyTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_seams.emplace(m_dir->path(), QStringList{});
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("ZORV dep files")));
    m_dialogs = std::make_unique<ScriptedDialogs>();
}

void SupplyTest::cleanup()
{
    m_window.reset();
    m_ptys.clear();
    const QStringList unexpected = m_dialogs->unexpected;
    m_dialogs.reset();
    m_seams.reset();
    m_dir.reset();
    QCOMPARE(unexpected, QStringList());
}

void SupplyTest::writeModel(const QString& fileName, const QString& text)
{
    QVERIFY(writeFile(depFolder() + fileName, text.toUtf8()));
}

PwrSupWindow& SupplyTest::window()
{
    // Made only once the folder seam is set: the model list is filled as the
    // window creates its controls.
    if (!m_window)
        m_window = std::make_unique<PwrSupWindow>();
    return *m_window;
}

Pty& SupplyTest::pty()
{
    m_ptys.push_back(std::make_unique<Pty>());
    return *m_ptys.back();
}

void SupplyTest::choose(const QString& model)
{
    const int row = window().PPSpopup->findText(model);
    QVERIFY2(row >= 0, qPrintable(model));
    window().PPSpopup->setListIndex(row);
}

void SupplyTest::loadOutputs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("outputRows");
    QTest::addColumn<int>("outputIndex");
    QTest::addColumn<bool>("outputEnabled");
    QTest::addColumn<double>("voltsMax");
    QTest::addColumn<bool>("deviceEnabled");

    // Before each load VoltsMax is 99 and DevNumberPopup enabled.
    QTest::addRow("three outputs: rows, none chosen, limit kept")
        << depText({"*COMMAND OUTPUT SELECT*", "A,B,C", "30,6,5", "INST ", "0", ""})
        << QStringList{"A", "B", "C"} << -1 << true << 99.0 << true;
    QTest::addRow("outputs taken untrimmed, an empty field an empty row")
        << depText({"*COMMAND OUTPUT SELECT*", "A,, B", "1,2,3", "", "", ";"}) << QStringList{"A", "", " B"} << -1
        << true << 99.0 << true;
    // Outputs "0" to "1000": the list shows the first ones, as many as it may.
    QStringList many;
    for (int i = 0; i <= kMaxOutputRows; ++i)
        many.append(QString::number(i));
    const QStringList shown = many.first(kMaxOutputRows);
    QTest::addRow("as many outputs as the list shows: all of them")
        << depText({"*COMMAND OUTPUT SELECT*", shown.join(u','), "30", "INST ", "0", ""}) << shown << -1 << true
        << 99.0 << true;
    QTest::addRow("one output more: the first ones")
        << depText({"*COMMAND OUTPUT SELECT*", many.join(u','), "30", "INST ", "0", ""}) << shown << -1 << true
        << 99.0 << true;
    QTest::addRow("no output list, a select template: one row, enabled")
        << depText({"*COMMAND OUTPUT SELECT*", "", "12.5,3", "", "0", ""}) << QStringList{"1"} << -1 << true << 12.5
        << true;
    QTest::addRow("no output list, no select template: one row, disabled")
        << depText({"*COMMAND OUTPUT SELECT*", "", "", "", "", ""}) << QStringList{"1"} << -1 << false << 0.0
        << true;
    QTest::addRow("no output section: rows and limit as they were")
        << depText({"*NAME*", "a", "b"}) << QStringList{"1"} << 0 << false << 99.0 << true;
    QTest::addRow("output section twice: the empty list's limit stays")
        << depText({"*COMMAND OUTPUT SELECT*", "", "12", "x", "", "", "*COMMAND OUTPUT SELECT*", "A,B", "30,6", "",
                    "", ""})
        << QStringList{"A", "B"} << -1 << false << 12.0 << true;
    QTest::addRow("supply-select lines all empty: device choice disabled")
        << depText({"*COMMAND PS SELECT*", "", "", ""}) << QStringList{"1"} << 0 << false << 99.0 << false;
    QTest::addRow("supply-select Post alone: device choice enabled")
        << depText({"*COMMAND PS SELECT*", "", "", "!"}) << QStringList{"1"} << 0 << false << 99.0 << true;
    QTest::addRow("supply-select section twice: the last decides")
        << depText({"*COMMAND PS SELECT*", "A", "", "", "*COMMAND PS SELECT*", "", "", ""}) << QStringList{"1"} << 0
        << false << 99.0 << false;
    QTest::addRow("markers swallowed: the sections they open are not read")
        << depText({"*NAME*", "n", "*COMMAND PS SELECT*", "", "", "", "*PARAMETERS*", "1", "2", "3", "4", "5", "6",
                    "7", "*COMMAND OUTPUT SELECT*", "", "", "", "", ""})
        << QStringList{"1"} << 0 << false << 99.0 << true;
}

void SupplyTest::loadOutputs()
{
    QFETCH(QString, text);
    QFETCH(QStringList, outputRows);
    QFETCH(int, outputIndex);
    QFETCH(bool, outputEnabled);
    QFETCH(double, voltsMax);
    QFETCH(bool, deviceEnabled);

    writeModel(QStringLiteral("M.dep"), text);
    PwrSupWindow& w = window();
    w.VoltsMax = 99.0;
    w.DevNumberPopup->setEnabled(true);
    w.LineTerm = QStringLiteral("stale");
    choose(QStringLiteral("M"));

    QCOMPARE(rows(w.OutNumberPopup), outputRows);
    QCOMPARE(w.OutNumberPopup->listIndex(), outputIndex);
    QCOMPARE(w.OutNumberPopup->isEnabled(), outputEnabled);
    QCOMPARE(w.VoltsMax, voltsMax);
    QCOMPARE(w.DevNumberPopup->isEnabled(), deviceEnabled);
    QCOMPARE(w.LineTerm, QStringLiteral("\r"));
    QVERIFY(w.ZeroVCheckBox->isEnabled());
    QCOMPARE(w.PPSLast, 0);
    // The loader leaves the rows of the device choice alone.
    QCOMPARE(rows(w.DevNumberPopup), QStringList{"1"});
}

void SupplyTest::zeroCommand()
{
    // A divisor of 0 would make the number NaN if it took part.
    writeModel(QStringLiteral("M.dep"), depText({"*COMMAND VOLT SET*", "VOLT ", "0.000", " V", "0"}));
    PwrSupWindow& w = window();
    QVERIFY(!w.ZeroVCheckBox->isEnabled());
    QVERIFY(!w.ZeroVCheckBox->isChecked());

    choose(QStringLiteral("M"));
    QVERIFY(w.ZeroVCheckBox->isEnabled());
    QCOMPARE(w.ZeroCommand, QString());

    // The box is read at the load: checked now, the next load builds it.
    w.ZeroVCheckBox->setChecked(true);
    w.PPSpopup->setListIndex(0);
    QCOMPARE(w.ZeroCommand, QStringLiteral("VOLT ") + Format(0.0, QStringLiteral("0.000")) + QStringLiteral(" V\r"));

    w.ZeroVCheckBox->setChecked(false);
    w.PPSpopup->setListIndex(0);
    QCOMPARE(w.ZeroCommand, QString());
}

void SupplyTest::notFound()
{
    writeModel(QStringLiteral("A.dep"), fullModel(QStringLiteral("A")));
    writeModel(QStringLiteral("B.dep"), fullModel(QStringLiteral("B")));
    PwrSupWindow& w = window();
    m_dialogs->expectMessages();

    // Before any load that found its file: nothing is set up.
    QVERIFY(QFile::remove(depFolder() + QStringLiteral("A.dep")));
    choose(QStringLiteral("A"));
    QCOMPARE(m_dialogs->messages, QStringList{"file: ZORV dep files:A.dep not found"});
    QCOMPARE(w.PPSLast, -1);
    QVERIFY(!w.ZeroVCheckBox->isEnabled());
    QCOMPARE(w.PSMfgName, QString());

    choose(QStringLiteral("B"));
    w.ZeroVCheckBox->setChecked(true);
    w.PPSpopup->setListIndex(1);
    w.OutNumberPopup->setListIndex(1);
    const QString zero = w.ZeroCommand;
    QCOMPARE(zero.left(7), QStringLiteral("B:VOLT "));
    QCOMPARE(w.PPSLast, 1);

    // B is gone while the list still shows it.
    QVERIFY(QFile::remove(depFolder() + QStringLiteral("B.dep")));
    m_dialogs->messages.clear();
    w.LineTerm = QStringLiteral("stale");
    w.PPSpopup->setListIndex(1);
    QCOMPARE(m_dialogs->messages, QStringList{"file: ZORV dep files:B.dep not found"});
    QCOMPARE(w.LineTerm, QStringLiteral("\r"));
    QCOMPARE(w.PPSpopup->text(), QStringLiteral("B"));
    QCOMPARE(w.PPSLast, 1);
    QCOMPARE(w.PSMfgName, QStringLiteral("B"));
    QCOMPARE(w.ZeroCommand, zero);
    QCOMPARE(rows(w.OutNumberPopup), (QStringList{"A", "B"}));
    QCOMPARE(w.OutNumberPopup->listIndex(), 1);

    // A comes back: the pointer's entry re-selects the row loaded last,
    // which names nothing now.
    writeModel(QStringLiteral("A.dep"), fullModel(QStringLiteral("A")));
    m_dialogs->messages.clear();
    pointerEnters(w.PPSpopup);
    QCOMPARE(rows(w.PPSpopup), QStringList{"A"});
    QCOMPARE(w.PPSpopup->listIndex(), -1);
    QCOMPARE(m_dialogs->messages, QStringList());
    QCOMPARE(w.PSMfgName, QStringLiteral("B"));
}

void SupplyTest::unreadable_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addRow("a folder named like a model") << true;
    QTest::addRow("a file without read permission") << false;
}

void SupplyTest::unreadable()
{
    QFETCH(bool, folder);

    writeModel(QStringLiteral("A.dep"), fullModel(QStringLiteral("A")));
    const QString x = depFolder() + QStringLiteral("X.dep");
    if (folder) {
        QVERIFY(QDir().mkdir(x));
    } else {
        writeModel(QStringLiteral("X.dep"), fullModel(QStringLiteral("X")));
        QVERIFY(QFile::setPermissions(x, QFileDevice::Permissions{}));
        QFile probe(x);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("this user reads files without read permission");
    }

    PwrSupWindow& w = window();
    QCOMPARE(rows(w.PPSpopup), (QStringList{"A", "X"}));
    choose(QStringLiteral("A"));
    w.ZeroVCheckBox->setChecked(true);
    choose(QStringLiteral("A"));
    w.OutNumberPopup->setListIndex(0);
    const QString zero = w.ZeroCommand;
    QCOMPARE(zero.left(7), QStringLiteral("A:VOLT "));

    m_dialogs->expectMessages();
    choose(QStringLiteral("X"));
    QCOMPARE(m_dialogs->messages, QStringList{"file: ZORV dep files:X.dep could not be read"});
    QCOMPARE(w.PPSLast, 0);
    QCOMPARE(w.PSMfgName, QStringLiteral("A"));
    QCOMPARE(w.PSComVoltSetPre, QStringLiteral("A:VOLT "));
    QCOMPARE(w.ZeroCommand, zero);
    QCOMPARE(rows(w.OutNumberPopup), (QStringList{"A", "B"}));
    QCOMPARE(w.OutNumberPopup->listIndex(), 0);

    // The next entry goes back to the model that was read.
    m_dialogs->messages.clear();
    pointerEnters(w.PPSpopup);
    QCOMPARE(w.PPSpopup->text(), QStringLiteral("A"));
    QCOMPARE(m_dialogs->messages, QStringList());
}

void SupplyTest::nothingResetBetweenModels()
{
    writeModel(QStringLiteral("A.dep"), fullModel(QStringLiteral("A")));
    writeModel(QStringLiteral("B.dep"), depText({"*NAME*", "Bee", "", "*HOOKUP*", "Other cable", "*END*"}));
    PwrSupWindow& w = window();
    choose(QStringLiteral("A"));
    w.OutNumberPopup->setListIndex(1);
    QCOMPARE(w.VoltsMax, 6.0);
    QVERIFY(w.DevNumberPopup->isEnabled());

    choose(QStringLiteral("B"));
    QCOMPARE(w.PPSLast, 1);
    QCOMPARE(w.PSMfgName, QStringLiteral("Bee"));
    QCOMPARE(w.PSMfgModNum, QString());
    QCOMPARE(w.PSHookup, QStringLiteral("Other cable"));
    // Everything B lacks is still A's.
    QCOMPARE(w.PSDescription, QStringLiteral("About A"));
    QCOMPARE(w.PSIntrComDelay, QStringLiteral("25"));
    QCOMPARE(w.PSComPSSelPre, QStringLiteral("ADDR "));
    QCOMPARE(w.PSComOutList, QStringLiteral("A,B"));
    QCOMPARE(w.PSComVoltSetPre, QStringLiteral("A:VOLT "));
    QCOMPARE(w.PSComCurReadDelim, QStringLiteral(","));
    QCOMPARE(rows(w.OutNumberPopup), (QStringList{"A", "B"}));
    QCOMPARE(w.OutNumberPopup->listIndex(), 1);
    QVERIFY(w.OutNumberPopup->isEnabled());
    QVERIFY(w.DevNumberPopup->isEnabled());
    QCOMPARE(w.VoltsMax, 6.0);
}

void SupplyTest::modelList_data()
{
    QTest::addColumn<QStringList>("items"); // a name ending in '/' is a folder
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("in the folder's name order, other files skipped")
        << QStringList{"B.dep", "notes.txt", "A.dep"} << QStringList{"A", "B"};
    QTest::addRow("the name .dep alone gives an empty row") << QStringList{".dep", "M.dep"} << QStringList{"", "M"};
    QTest::addRow("names that only contain or resemble the extension")
        << QStringList{"X.dep.bak", "dep", "Z.DEP", "Ydep", "W.dep "} << QStringList{};
    QTest::addRow("a sub-folder named like a model is listed")
        << QStringList{"Y.dep/", "Q/", "A.dep"} << QStringList{"A", "Y"};
    QTest::addRow("no items") << QStringList{} << QStringList{};
    QTest::addRow("extension counted in characters")
        << QStringList{"Über.dep", "x.dep"} << QStringList{"x", "Über"};
}

void SupplyTest::modelList()
{
    QFETCH(QStringList, items);
    QFETCH(QStringList, expected);

    for (const QString& item : items) {
        if (item.endsWith(u'/'))
            QVERIFY(QDir().mkdir(depFolder() + item.chopped(1)));
        else
            writeModel(item, depText({"*NAME*", item, ""}));
    }
    PwrSupWindow& w = window();
    QCOMPARE(rows(w.PPSpopup), expected);
    QCOMPARE(w.PPSpopup->listIndex(), -1);
    QCOMPARE(w.PPSLast, -1);

    // No model loaded yet: entering rebuilds the list and loads nothing.
    pointerEnters(w.PPSpopup);
    QCOMPARE(rows(w.PPSpopup), expected);
    QCOMPARE(w.PPSpopup->listIndex(), -1);
    QCOMPARE(w.PSMfgName, QString());
    QVERIFY(!w.ZeroVCheckBox->isEnabled());
}

void SupplyTest::missingFolder()
{
    QVERIFY(QDir(depFolder()).removeRecursively());
    PwrSupWindow& w = window();
    QCOMPARE(w.PPSpopup->listCount(), 0);
    pointerEnters(w.PPSpopup);
    QCOMPARE(w.PPSpopup->listCount(), 0);
    QCOMPARE(w.PPSpopup->listIndex(), -1);

    // The folder appears while the program runs.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("ZORV dep files")));
    writeModel(QStringLiteral("A.dep"), fullModel(QStringLiteral("A")));
    pointerEnters(w.PPSpopup);
    QCOMPARE(rows(w.PPSpopup), QStringList{"A"});
    choose(QStringLiteral("A"));

    // And goes again: the list empties, the loaded model stays.
    QVERIFY(QDir(depFolder()).removeRecursively());
    pointerEnters(w.PPSpopup);
    QCOMPARE(w.PPSpopup->listCount(), 0);
    QCOMPARE(w.PPSpopup->listIndex(), -1);
    QCOMPARE(w.PSMfgName, QStringLiteral("A"));
    QCOMPARE(w.PPSLast, 0);
}

void SupplyTest::reselectionAfterFileAdded()
{
    writeModel(QStringLiteral("B.dep"), fullModel(QStringLiteral("B")));
    writeModel(QStringLiteral("D.dep"), fullModel(QStringLiteral("D")));
    PwrSupWindow& w = window();
    choose(QStringLiteral("D"));
    QCOMPARE(w.PPSLast, 1);
    QCOMPARE(w.PSMfgName, QStringLiteral("D"));

    // The row position is remembered, not the name.
    writeModel(QStringLiteral("C.dep"), fullModel(QStringLiteral("C")));
    pointerEnters(w.PPSpopup);
    QCOMPARE(rows(w.PPSpopup), (QStringList{"B", "C", "D"}));
    QCOMPARE(w.PPSpopup->listIndex(), 1);
    QCOMPARE(w.PPSpopup->text(), QStringLiteral("C"));
    QCOMPARE(w.PSMfgName, QStringLiteral("C"));
    QCOMPARE(w.PPSLast, 1);
}

void SupplyTest::editedFileReloaded()
{
    writeModel(QStringLiteral("A.dep"), fullModel(QStringLiteral("A")));
    PwrSupWindow& w = window();
    choose(QStringLiteral("A"));
    w.OutNumberPopup->setListIndex(1);

    writeModel(QStringLiteral("A.dep"), depText({"*NAME*", "Edited", "", "*COMMAND OUTPUT SELECT*", "X,Y,Z",
                                                 "1,2,3", "S", "", ""}));
    pointerEnters(w.PPSpopup);
    QCOMPARE(w.PPSpopup->text(), QStringLiteral("A"));
    QCOMPARE(w.PSMfgName, QStringLiteral("Edited"));
    QCOMPARE(rows(w.OutNumberPopup), (QStringList{"X", "Y", "Z"}));
    QCOMPARE(w.OutNumberPopup->listIndex(), -1);

    // Every entry reads the file again, changed or not.
    w.OutNumberPopup->setListIndex(2);
    pointerEnters(w.PPSpopup);
    QCOMPARE(w.OutNumberPopup->listIndex(), -1);
}

void SupplyTest::lastRowPastTheEnd()
{
    writeModel(QStringLiteral("A.dep"), fullModel(QStringLiteral("A")));
    writeModel(QStringLiteral("B.dep"), fullModel(QStringLiteral("B")));
    PwrSupWindow& w = window();
    choose(QStringLiteral("B"));
    QCOMPARE(w.PPSLast, 1);

    writeModel(QStringLiteral("A.dep"), depText({"*NAME*", "A again", ""}));
    QVERIFY(QFile::remove(depFolder() + QStringLiteral("B.dep")));
    pointerEnters(w.PPSpopup);
    QCOMPARE(rows(w.PPSpopup), QStringList{"A"});
    QCOMPARE(w.PPSpopup->listIndex(), -1);
    QCOMPARE(w.PSMfgName, QStringLiteral("B"));
    QCOMPARE(w.PPSLast, 1);
}

void SupplyTest::outputLimit_data()
{
    QTest::addColumn<QString>("limits");
    QTest::addColumn<int>("row");
    QTest::addColumn<double>("voltsMax");

    // The outputs are A, B and C.
    QTest::addRow("first output") << "30,6" << 0 << 30.0;
    QTest::addRow("second output") << "30,6" << 1 << 6.0;
    QTest::addRow("row past the limits") << "30,6" << 2 << 0.0;
    QTest::addRow("no limits") << "" << 1 << 0.0;
    QTest::addRow("limit that is no number") << "30,high,5" << 1 << 0.0;
    QTest::addRow("limit with a unit and blanks") << "30, 12.5V,5" << 1 << 12.5;
    QTest::addRow("no row selected") << "30,6" << -1 << 0.0;
}

void SupplyTest::outputLimit()
{
    QFETCH(QString, limits);
    QFETCH(int, row);
    QFETCH(double, voltsMax);

    writeModel(QStringLiteral("M.dep"), depText({"*COMMAND OUTPUT SELECT*", "A,B,C", limits, "OUT ", "0", ""}));
    PwrSupWindow& w = window();
    choose(QStringLiteral("M"));
    w.VoltsMax = 99.0;
    if (row >= 0)
        w.OutNumberPopup->setListIndex(row);
    else
        w.OutNumberPopup_Change(); // a change the framework reports with nothing selected
    QCOMPARE(w.VoltsMax, voltsMax);
}

void SupplyTest::outputStartRule_data()
{
    QTest::addColumn<bool>("script");
    QTest::addColumn<bool>("model");
    QTest::addColumn<QString>("port"); // "pty", "bogus" or "" for never entered
    QTest::addColumn<bool>("start");

    QTest::addRow("all three shown") << true << true << "pty" << true;
    QTest::addRow("empty script") << false << true << "pty" << false;
    QTest::addRow("no model shown") << true << false << "pty" << false;
    QTest::addRow("port list never entered") << true << true << "" << false;
    QTest::addRow("port shown but failed to open") << true << true << "bogus" << true;
}

void SupplyTest::outputStartRule()
{
    QFETCH(bool, script);
    QFETCH(bool, model);
    QFETCH(QString, port);
    QFETCH(bool, start);

    writeModel(QStringLiteral("M.dep"), depText({"*COMMAND OUTPUT SELECT*", "A,B", "30,6", "OUT ", "0", ""}));
    PwrSupWindow& w = window();
    if (port == u"pty")
        ports::setPortsForTesting(QStringList{pty().slavePath()});
    else if (port == u"bogus")
        ports::setPortsForTesting(QStringList{QStringLiteral("/nonexistent/0")});
    m_dialogs->expectMessages();
    if (!port.isEmpty())
        pointerEnters(w.SerialPortPopup);
    QCOMPARE(m_dialogs->messages, port == u"bogus" ? QStringList{kOpenFail} : QStringList{});

    w.myEditField->setText(script ? QStringLiteral("0,1\r") : QString());
    choose(QStringLiteral("M"));
    if (!model)
        w.PPSpopup->setListIndex(-1); // shows no model, loads nothing
    QCOMPARE(w.PPSpopup->text().isEmpty(), !model);

    w.StartButton->setEnabled(!start);
    w.OutNumberPopup->setListIndex(1);
    QCOMPARE(w.VoltsMax, 6.0);
    QCOMPARE(w.StartButton->isEnabled(), start);
}

void SupplyTest::portOpenedAndClosed()
{
    Pty& a = pty();
    Pty& b = pty();
    QVERIFY(a.isValid() && b.isValid());
    ports::setPortsForTesting(QStringList{a.slavePath(), b.slavePath()});
    PwrSupWindow& w = window();
    QCOMPARE(w.SerialPortPopup->listCount(), 0);
    QVERIFY(!w.Serial1->isOpen());
    QCOMPARE(w.SerialPortCount, 0);

    // The first entry opens port 0 before anything is chosen.
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(rows(w.SerialPortPopup), (QStringList{a.slavePath(), b.slavePath()}));
    QCOMPARE(w.SerialPortPopup->listIndex(), 0);
    QCOMPARE(w.SerialPortCount, 2);
    QVERIFY(w.Serial1->isOpen());
    w.Serial1->write(QStringLiteral("to A\r"));
    QCOMPARE(a.readUntil(5, 5000), QByteArray("to A\r"));

    // The user's choice closes A and opens B.
    w.SerialPortPopup->setListIndex(1);
    QVERIFY(w.Serial1->isOpen());
    w.Serial1->write(QStringLiteral("to B\r"));
    QCOMPARE(b.readUntil(5, 5000), QByteArray("to B\r"));
    QVERIFY(slaveClosed(a));
    QCOMPARE(a.read(0), QByteArray());
    QVERIFY(!slaveClosed(b));
}

void SupplyTest::reselectionByName()
{
    Pty& a = pty();
    Pty& b = pty();
    Pty& c = pty();
    QVERIFY(a.isValid() && b.isValid() && c.isValid());
    ports::setPortsForTesting(QStringList{a.slavePath(), b.slavePath()});
    PwrSupWindow& w = window();
    pointerEnters(w.SerialPortPopup);
    w.SerialPortPopup->setListIndex(1);

    // B moved from row 1 to row 1 of a new list: chosen by name, and opened
    // again although it stays the same port.
    ports::setPortsForTesting(QStringList{c.slavePath(), b.slavePath()});
    setSpeed(b, B300);
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(rows(w.SerialPortPopup), (QStringList{c.slavePath(), b.slavePath()}));
    QCOMPARE(w.SerialPortPopup->listIndex(), 1);
    QCOMPARE(speed(b), speed_t{B57600});
    w.Serial1->write(QStringLiteral("B\r"));
    QCOMPARE(b.readUntil(2, 5000), QByteArray("B\r"));

    // B moves to row 0.
    ports::setPortsForTesting(QStringList{b.slavePath(), a.slavePath(), c.slavePath()});
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(w.SerialPortPopup->listIndex(), 0);

    // Equal names: the last of them.
    ports::setPortsForTesting(QStringList{b.slavePath(), a.slavePath(), b.slavePath(), c.slavePath()});
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(w.SerialPortPopup->listIndex(), 2);
    QCOMPARE(w.SerialPortPopup->text(), b.slavePath());

    // B has gone: row 0.
    ports::setPortsForTesting(QStringList{c.slavePath(), a.slavePath()});
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(w.SerialPortPopup->listIndex(), 0);
    QVERIFY(w.Serial1->isOpen());
    QVERIFY(slaveClosed(b));
    w.Serial1->write(QStringLiteral("C\r"));
    QCOMPARE(c.readUntil(2, 5000), QByteArray("C\r"));
}

void SupplyTest::boundOfUsableRows()
{
    Pty& at122 = pty();
    Pty& at123 = pty();
    QVERIFY(at122.isValid() && at123.isValid());
    QStringList names;
    for (int i = 0; i < 124; ++i)
        names.append(QStringLiteral("/nonexistent/%1").arg(i));
    names[122] = at122.slavePath();
    names[123] = at123.slavePath();
    ports::setPortsForTesting(names);
    PwrSupWindow& w = window();
    m_dialogs->expectMessages();

    pointerEnters(w.SerialPortPopup);
    QCOMPARE(w.SerialPortPopup->listCount(), 124);
    QCOMPARE(m_dialogs->messages, QStringList{kOpenFail});
    QVERIFY(!w.Serial1->isOpen());

    m_dialogs->messages.clear();
    w.SerialPortPopup->setListIndex(122);
    QCOMPARE(m_dialogs->messages, QStringList());
    QVERIFY(w.Serial1->isOpen());
    w.Serial1->write(QStringLiteral("122\r"));
    QCOMPARE(at122.readUntil(4, 5000), QByteArray("122\r"));

    // Row 123 names a port that would open: refused by its index alone.
    w.SerialPortPopup->setListIndex(123);
    QCOMPARE(m_dialogs->messages,
             QStringList{"Error opening serial port for Power Supply. Invalid serial Port:123"});
    QVERIFY(!w.Serial1->isOpen());
    QVERIFY(slaveClosed(at122));
    QVERIFY(slaveClosed(at123));
    QCOMPARE(w.SerialPortPopup->text(), at123.slavePath());
}

void SupplyTest::openFailKeepsStart_data()
{
    QTest::addColumn<bool>("start");
    QTest::addRow("Start enabled") << true;
    QTest::addRow("Start disabled") << false;
}

void SupplyTest::openFailKeepsStart()
{
    QFETCH(bool, start);

    Pty& good = pty();
    QVERIFY(good.isValid());
    writeModel(QStringLiteral("M.dep"), depText({"*COMMAND OUTPUT SELECT*", "", "5", "", "", ""}));
    ports::setPortsForTesting(QStringList{good.slavePath(), QStringLiteral("/nonexistent/1")});
    PwrSupWindow& w = window();
    w.myEditField->setText(QStringLiteral("0,1\r"));
    choose(QStringLiteral("M"));
    pointerEnters(w.SerialPortPopup);
    QVERIFY(w.Serial1->isOpen());

    m_dialogs->expectMessages();
    w.StartButton->setEnabled(start);
    w.SerialPortPopup->setListIndex(1);
    QCOMPARE(m_dialogs->messages, QStringList{kOpenFail});
    QVERIFY(!w.Serial1->isOpen());
    QVERIFY(slaveClosed(good));
    QCOMPARE(w.StartButton->isEnabled(), start);
    QCOMPARE(w.SerialPortPopup->listIndex(), 1);
}

void SupplyTest::portStartRule_data()
{
    QTest::addColumn<bool>("script");
    QTest::addColumn<QString>("model"); // "outputs", "single" or "" for none loaded
    QTest::addColumn<bool>("outputShown");
    QTest::addColumn<bool>("start");

    QTest::addRow("script, model, output shown") << true << "outputs" << true << true;
    QTest::addRow("empty script") << false << "outputs" << true << false;
    // With no model loaded the output choice shows the layout's row "1".
    QTest::addRow("no model loaded") << true << "" << true << false;
    QTest::addRow("outputs listed, none shown") << true << "outputs" << false << false;
    QTest::addRow("no output list, none shown") << true << "single" << false << true;
    QTest::addRow("no output list, empty script") << false << "single" << false << false;
}

void SupplyTest::portStartRule()
{
    QFETCH(bool, script);
    QFETCH(QString, model);
    QFETCH(bool, outputShown);
    QFETCH(bool, start);

    Pty& line = pty();
    QVERIFY(line.isValid());
    writeModel(QStringLiteral("outputs.dep"), depText({"*COMMAND OUTPUT SELECT*", "A,B", "30,6", "OUT ", "0", ""}));
    writeModel(QStringLiteral("single.dep"), depText({"*COMMAND OUTPUT SELECT*", "", "5", "OUT ", "0", ""}));
    ports::setPortsForTesting(QStringList{line.slavePath()});
    PwrSupWindow& w = window();
    w.myEditField->setText(script ? QStringLiteral("0,1\r") : QString());
    if (!model.isEmpty())
        choose(model);
    if (outputShown)
        w.OutNumberPopup->setListIndex(0);
    QCOMPARE(w.OutNumberPopup->text().isEmpty(), !outputShown);

    w.StartButton->setEnabled(!start);
    pointerEnters(w.SerialPortPopup);
    QVERIFY(w.Serial1->isOpen());
    QCOMPARE(w.StartButton->isEnabled(), start);
}

void SupplyTest::emptyPortList()
{
    PwrSupWindow& w = window();
    w.StartButton->setEnabled(true);
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(w.SerialPortPopup->listCount(), 0);
    QCOMPARE(w.SerialPortPopup->listIndex(), -1);
    QVERIFY(!w.Serial1->isOpen());
    QVERIFY(w.StartButton->isEnabled());

    // The port that was open goes with the list, silently.
    Pty& line = pty();
    QVERIFY(line.isValid());
    ports::setPortsForTesting(QStringList{line.slavePath()});
    pointerEnters(w.SerialPortPopup);
    QVERIFY(w.Serial1->isOpen());
    ports::setPortsForTesting(QStringList{});
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(w.SerialPortPopup->listCount(), 0);
    QCOMPARE(w.SerialPortPopup->listIndex(), -1);
    QCOMPARE(w.SerialPortCount, 0);
    QVERIFY(!w.Serial1->isOpen());
    QVERIFY(slaveClosed(line));
}

void SupplyTest::disabledListsDuringRun()
{
    Pty& line = pty();
    Pty& other = pty();
    QVERIFY(line.isValid() && other.isValid());
    writeModel(QStringLiteral("A.dep"), fullModel(QStringLiteral("A")));
    ports::setPortsForTesting(QStringList{line.slavePath()});
    PwrSupWindow& w = window();
    choose(QStringLiteral("A"));
    pointerEnters(w.SerialPortPopup);
    QVERIFY(w.Serial1->isOpen());

    // What Start does to the two lists.
    w.SerialPortPopup->setEnabled(false);
    w.PPSpopup->setEnabled(false);

    setSpeed(line, B300);
    ports::setPortsForTesting(QStringList{other.slavePath(), line.slavePath()});
    writeModel(QStringLiteral("A.dep"), depText({"*NAME*", "Edited", ""}));
    writeModel(QStringLiteral("0.dep"), fullModel(QStringLiteral("0")));
    pointerEnters(w.SerialPortPopup);
    pointerEnters(w.PPSpopup);

    QVERIFY(w.Serial1->isOpen());
    QCOMPARE(speed(line), speed_t{B300}); // not opened again
    QCOMPARE(rows(w.SerialPortPopup), QStringList{line.slavePath()});
    QCOMPARE(rows(w.PPSpopup), QStringList{"A"});
    QCOMPARE(w.PSMfgName, QStringLiteral("A"));
    w.Serial1->write(QStringLiteral("still\r"));
    QCOMPARE(line.readUntil(6, 5000), QByteArray("still\r"));

    // The run ends: the lists react again.
    w.SerialPortPopup->setEnabled(true);
    w.PPSpopup->setEnabled(true);
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(w.SerialPortPopup->listIndex(), 1);
    QCOMPARE(speed(line), speed_t{B57600});
    pointerEnters(w.PPSpopup);
    QCOMPARE(rows(w.PPSpopup), (QStringList{"0", "A"}));
    QCOMPARE(w.PSMfgName, QStringLiteral("0"));
}

void SupplyTest::outputChosenAgainAfterReload_data()
{
    QTest::addColumn<QString>("model");  // chosen first, with its second output
    QTest::addColumn<QString>("reload"); // "pointer", or the model the user picks next
    QTest::addColumn<bool>("start");     // Start enabled after the reload
    QTest::addRow("outputs listed, the pointer enters the models") << "Three" << "pointer" << false;
    QTest::addRow("outputs listed, another such model picked") << "Two" << "Three" << false;
    // The output choice of a supply without a list is left as it was.
    QTest::addRow("no output list, the pointer enters the models") << "Single" << "pointer" << true;
}

// Every reload empties the output choice; a run must not go out to the
// output Val("") = 0 that nobody chose. Start waits for a new choice.
void SupplyTest::outputChosenAgainAfterReload()
{
    QFETCH(QString, model);
    QFETCH(QString, reload);
    QFETCH(bool, start);

    Pty& line = pty();
    QVERIFY(line.isValid());
    BenchDescription single;
    single.delayMs = 10;
    BenchDescription two = single;
    two.outList = QStringLiteral("1,2");
    two.voltsMaxList = QStringLiteral("30,30");
    BenchDescription three = single;
    three.outList = QStringLiteral("1,2,3");
    three.voltsMaxList = QStringLiteral("30,30,6");
    writeModel(QStringLiteral("Single.dep"), single.text());
    writeModel(QStringLiteral("Three.dep"), three.text());
    writeModel(QStringLiteral("Two.dep"), two.text());
    ports::setPortsForTesting(QStringList{line.slavePath()});
    PwrSupWindow& w = window();
    choose(model);
    w.OutNumberPopup->setListIndex(1);
    pointerEnters(w.SerialPortPopup);
    w.myEditField->setText(QStringLiteral("0,5"));
    QVERIFY(w.StartButton->isEnabled());

    if (reload == u"pointer")
        pointerEnters(w.PPSpopup);
    else
        choose(reload);
    QCOMPARE(w.StartButton->isEnabled(), start);
    if (start)
        return;
    QCOMPARE(w.OutNumberPopup->text(), QString());
    w.StartButton->click();
    QCOMPARE(w.StartButton->caption(), QStringLiteral("Start"));
    QCOMPARE(line.read(200), QByteArray());

    // The user picks the third output: Start is back, and the run goes there.
    w.OutNumberPopup->setListIndex(2);
    QVERIFY(w.StartButton->isEnabled());
    w.StartButton->click();
    QCOMPARE(zorv::testing::texts(line.readCommands(5, 3000)),
             zorv::testing::commands({"SEL 1", "*RST", "INST 3", "OUTP ON", "VOLT 5.000"}));
    QCOMPARE(w.VoltsMax, 6.0);
}

// A port that cannot be opened stays shown, and every pointer entry tries it
// again: its message comes once, not at every entry.
void SupplyTest::failingPortReportedOnce()
{
    Pty& line = pty();
    QVERIFY(line.isValid());
    const QString port = m_dir->path() + QStringLiteral("/port");
    const QString nowhere = m_dir->path() + QStringLiteral("/nowhere");
    QVERIFY(QFile::link(nowhere, port));
    ports::setPortsForTesting(QStringList{port, QStringLiteral("/nonexistent/1")});
    PwrSupWindow& w = window();
    m_dialogs->expectMessages();

    for (int entry = 0; entry < 3; ++entry)
        pointerEnters(w.SerialPortPopup);
    QCOMPARE(m_dialogs->messages, QStringList{kOpenFail});

    // The user's choices report their failures, the re-selection of the
    // second one does not.
    w.SerialPortPopup->setListIndex(1);
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(w.SerialPortPopup->listIndex(), 1);
    w.SerialPortPopup->setListIndex(0);
    QCOMPARE(m_dialogs->messages, (QStringList{kOpenFail, kOpenFail, kOpenFail}));

    // The port comes back: the next entry opens it.
    QVERIFY(QFile::remove(port));
    QVERIFY(QFile::link(line.slavePath(), port));
    pointerEnters(w.SerialPortPopup);
    QVERIFY(w.Serial1->isOpen());
    w.Serial1->write(QStringLiteral("back\r"));
    QCOMPARE(line.readUntil(5, 5000), QByteArray("back\r"));
    QCOMPARE(m_dialogs->messages.size(), 3);

    // It goes again: after a success its failure is news.
    QVERIFY(QFile::remove(port));
    QVERIFY(QFile::link(nowhere, port));
    pointerEnters(w.SerialPortPopup);
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(m_dialogs->messages.size(), 4);

    // Two rows of one name: the re-selection takes the second silently, and
    // the user's pick of the first, the same port, still reports.
    ports::setPortsForTesting(QStringList{port, port});
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(w.SerialPortPopup->listIndex(), 1);
    QCOMPARE(m_dialogs->messages.size(), 4);
    w.SerialPortPopup->setListIndex(0);
    QCOMPARE(m_dialogs->messages.size(), 5);
}

// The rebuild takes the count and the names from one look at the system: a
// port unplugged during the rebuild leaves no row without a name.
void SupplyTest::portListOneSnapshot()
{
    Pty& a = pty();
    Pty& b = pty();
    QVERIFY(a.isValid() && b.isValid());
    int queries = 0;
    ports::setPortQueryForTesting([&] {
        ++queries;
        return queries == 1 ? QStringList{a.slavePath(), b.slavePath()} : QStringList{a.slavePath()};
    });
    PwrSupWindow& w = window();
    pointerEnters(w.SerialPortPopup);
    QCOMPARE(rows(w.SerialPortPopup), (QStringList{a.slavePath(), b.slavePath()}));
    QCOMPARE(w.SerialPortCount, 2);
    QCOMPARE(queries, 1); // the port opened is the row's, not asked again
    QVERIFY(w.Serial1->isOpen());
    w.Serial1->write(QStringLiteral("A\r"));
    QCOMPARE(a.readUntil(2, 5000), QByteArray("A\r"));
    ports::setPortsForTesting(QStringList{});
}

// The system's list changes after the rebuild and before the user picks a
// row: the port opened is the one the row shows, or none when it has gone.
void SupplyTest::portListChangedBeforeOpen_data()
{
    QTest::addColumn<bool>("removed"); // A unplugged, else the system lists B before A
    QTest::addRow("row's port removed") << true;
    QTest::addRow("ports reordered") << false;
}

void SupplyTest::portListChangedBeforeOpen()
{
    QFETCH(bool, removed);

    Pty& lineA = pty();
    Pty& lineB = pty();
    QVERIFY(lineA.isValid() && lineB.isValid());
    // Ports by names of their own, so that unplugging one removes its name.
    const QString a = m_dir->path() + QStringLiteral("/portA");
    const QString b = m_dir->path() + QStringLiteral("/portB");
    QVERIFY(QFile::link(lineA.slavePath(), a));
    QVERIFY(QFile::link(lineB.slavePath(), b));
    ports::setPortsForTesting(QStringList{a, b});
    PwrSupWindow& w = window();
    pointerEnters(w.SerialPortPopup);
    w.SerialPortPopup->setListIndex(1);
    QCOMPARE(w.SerialPortPopup->text(), b);

    if (removed) {
        QVERIFY(QFile::remove(a));
        ports::setPortsForTesting(QStringList{b});
    } else {
        ports::setPortsForTesting(QStringList{b, a});
    }
    m_dialogs->expectMessages();
    w.SerialPortPopup->setListIndex(0);
    QCOMPARE(w.SerialPortPopup->text(), a);
    QCOMPARE(m_dialogs->messages, removed ? QStringList{kOpenFail} : QStringList{});
    QCOMPARE(w.Serial1->isOpen(), !removed);
    if (!removed) {
        w.Serial1->write(QStringLiteral("A\r"));
        QCOMPARE(lineA.readUntil(2, 5000), QByteArray("A\r"));
    }
    QVERIFY(slaveClosed(lineB));
    QCOMPARE(lineB.read(0), QByteArray());
}

// A model whose file can no longer be read is loaded again at every pointer
// entry: its message comes once, and the file read again once it is back.
void SupplyTest::failingModelReportedOnce()
{
    writeModel(QStringLiteral("A.dep"), fullModel(QStringLiteral("A")));
    PwrSupWindow& w = window();
    choose(QStringLiteral("A"));
    m_dialogs->expectMessages();
    const QString file = depFolder() + QStringLiteral("A.dep");
    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().mkdir(file));

    for (int entry = 0; entry < 3; ++entry)
        pointerEnters(w.PPSpopup);
    const QStringList once{QStringLiteral("file: ZORV dep files:A.dep could not be read")};
    QCOMPARE(m_dialogs->messages, once);

    QVERIFY(QDir().rmdir(file));
    writeModel(QStringLiteral("A.dep"), depText({"*NAME*", "Back", ""}));
    pointerEnters(w.PPSpopup);
    QCOMPARE(w.PSMfgName, QStringLiteral("Back"));
    QCOMPARE(m_dialogs->messages, once);

    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().mkdir(file));
    pointerEnters(w.PPSpopup);
    pointerEnters(w.PPSpopup);
    QCOMPARE(m_dialogs->messages, once + once);
}

void SupplyTest::failedLoadShowsModelInForce_data()
{
    QTest::addColumn<QString>("loaded");  // the model loaded first, if any
    QTest::addColumn<QString>("failing"); // the model whose load fails
    QTest::addColumn<QString>("failure"); // "gone", "folder" or "too large"
    QTest::addColumn<bool>("atEntry");    // tried by a pointer entry, not picked
    QTest::addColumn<QString>("shown");   // the model named afterwards, if any
    QTest::addColumn<QStringList>("sent"); // by a run then; none: Start disabled

    // A sends volts, C millivolts.
    const QStringList a = zorv::testing::commands({"SEL 1", "*RST", "INST 1", "OUTP ON", "VOLT 5.000"});
    const QStringList c = zorv::testing::commands({"SEL 1", "*RST", "INST 1", "OUTP ON", "VOLT 5000.000"});
    QTest::addRow("file gone") << "A" << "B" << "gone" << false << "A" << a;
    QTest::addRow("a folder") << "A" << "B" << "folder" << false << "A" << a;
    QTest::addRow("larger than a file is read") << "A" << "B" << "too large" << false << "A" << a;
    QTest::addRow("file gone, nothing loaded before") << "" << "B" << "gone" << false << "" << QStringList();
    QTest::addRow("a folder, nothing loaded before") << "" << "B" << "folder" << false << "" << QStringList();
    // Rows move when the list is rebuilt: the model in force is found by its
    // name, not by the row it had.
    QTest::addRow("a folder takes the loaded model's row") << "C" << "B" << "folder" << true << "C" << c;
    QTest::addRow("the loaded model's file gone, a folder at its row")
        << "A" << "0" << "folder" << true << "" << QStringList();
}

// After a load that fails the list names the model whose description is in
// force, the one a run sends commands for, or none with Start disabled.
void SupplyTest::failedLoadShowsModelInForce()
{
    QFETCH(QString, loaded);
    QFETCH(QString, failing);
    QFETCH(QString, failure);
    QFETCH(bool, atEntry);
    QFETCH(QString, shown);
    QFETCH(QStringList, sent);

    Pty& line = pty();
    QVERIFY(line.isValid());
    ports::setPortsForTesting(QStringList{line.slavePath()});
    BenchDescription volts;
    volts.delayMs = 10;
    BenchDescription millivolts = volts;
    millivolts.voltUnit = QStringLiteral("0.001");
    writeModel(QStringLiteral("A.dep"), volts.text());
    writeModel(QStringLiteral("C.dep"), millivolts.text());
    const QString path = depFolder() + failing + QStringLiteral(".dep");
    const auto makeFailing = [&] {
        if (failure == u"folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (failure == u"too large") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(files::kMaxTextFileSize + 1));
        } else {
            writeModel(failing + QStringLiteral(".dep"), volts.text()); // gone before it is picked
        }
    };
    if (!atEntry)
        makeFailing();
    PwrSupWindow& w = window();
    if (!loaded.isEmpty()) {
        choose(loaded);
        w.OutNumberPopup->setListIndex(0);
    }
    pointerEnters(w.SerialPortPopup);
    w.myEditField->setText(QStringLiteral("0,5"));
    QCOMPARE(w.StartButton->isEnabled(), !loaded.isEmpty());

    m_dialogs->expectMessages();
    if (atEntry) {
        if (shown.isEmpty())
            QVERIFY(QFile::remove(depFolder() + loaded + QStringLiteral(".dep")));
        makeFailing();
        pointerEnters(w.PPSpopup);
    } else {
        if (failure == u"gone")
            QVERIFY(QFile::remove(path));
        choose(failing);
    }
    const QString message = QStringLiteral("file: ZORV dep files:") + failing
                            + (failure == u"gone" ? QStringLiteral(".dep not found")
                                                  : QStringLiteral(".dep could not be read"));
    QCOMPARE(m_dialogs->messages, QStringList{message});
    QCOMPARE(w.PPSpopup->text(), shown);
    if (shown.isEmpty())
        QCOMPARE(w.PPSpopup->listIndex(), -1);
    QCOMPARE(w.StartButton->isEnabled(), !sent.isEmpty());

    // Every rule that enables Start asks for a model shown.
    w.myEditField->setText(QStringLiteral("0,5\r"));
    QCOMPARE(w.StartButton->isEnabled(), !sent.isEmpty());
    w.StartButton->click();
    if (sent.isEmpty()) {
        QCOMPARE(w.StartButton->caption(), QStringLiteral("Start"));
        QCOMPARE(line.readUntil(1, 300), QByteArray());
    } else {
        QCOMPARE(zorv::testing::texts(line.readCommands(int(sent.size()), 3000)), sent);
        QTRY_COMPARE_WITH_TIMEOUT(w.StartButton->caption(), QStringLiteral("Start"), 3000);
    }

    // The failure came once; the next entry shows the same.
    pointerEnters(w.PPSpopup);
    QCOMPARE(m_dialogs->messages, QStringList{message});
    QCOMPARE(w.PPSpopup->text(), shown);
}

QTEST_MAIN(SupplyTest)
#include "tst_supply.moc"
