#pragma once

#include "mainwindow/PwrSupWindow.h"
#include "support/Pty.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace zorv::testing {

// The lines of a description file for a SCPI-like bench supply. Its commands
// are "SEL <device>", "*RST", "INST <output>", "OUTP ON" and "VOLT <v>" with
// three decimals, each ended by a carriage return.
struct BenchDescription {
    int delayMs = 20;
    QString outList;            // empty: a supply with one output
    QString voltsMaxList = QStringLiteral("30");
    QString voltUnit = QStringLiteral("1");
    QString baud = QStringLiteral("13"); // 57600 bit/s
    QString parity = QStringLiteral("0");
    QString dataBits = QStringLiteral("8");
    QString stopBits = QStringLiteral("1");
    QString freeText; // the description section, in lines of 100; none when empty

    QString text() const
    {
        QStringList lines{QStringLiteral("*NAME*"), QStringLiteral("Bench Supplies"), QStringLiteral("B-1")};
        if (!freeText.isEmpty()) {
            lines << QStringLiteral("*DESCRIPTION*");
            for (qsizetype at = 0; at < freeText.size(); at += 100)
                lines << freeText.mid(at, 100);
            lines << QStringLiteral("*END*");
        }
        lines << QStringList{
            QStringLiteral("*PARAMETERS*"), QStringLiteral("RS-232"), baud, parity, dataBits, stopBits,
            QStringLiteral("SCPI"), QString::number(delayMs), QStringLiteral("-"),
            QStringLiteral("*COMMAND PS SELECT*"), QStringLiteral("SEL "), QStringLiteral("0"), QString(),
            QStringLiteral("*COMMAND PS INIT*"), QStringLiteral("*RST"), QString(), QString(),
            QStringLiteral("*COMMAND OUTPUT SELECT*"), outList, voltsMaxList, QStringLiteral("INST "),
            QStringLiteral("0"), QString(),
            QStringLiteral("*COMMAND OUTPUT INIT*"), QStringLiteral("OUTP ON"), QString(), QString(),
            QStringLiteral("*COMMAND VOLT SET*"), QStringLiteral("VOLT "), QStringLiteral("0.000"), QString(),
            voltUnit,
        };
        return lines.join(u'\n') + u'\n';
    }
};

// The set-up commands a run on the bench supply sends, device 1, output 1.
inline const QStringList kBenchSetUp = commands({"SEL 1", "*RST", "INST 1", "OUTP ON"});

// A temporary program folder with description files, a pseudo-terminal as
// the system's only serial port, dialogs answered by the test, and the main
// window made after those seams are in place.
class BenchWindow {
public:
    BenchWindow() { QDir(m_folder.path()).mkpath(QStringLiteral("ZORV dep files")); }
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    bool isValid() const { return m_folder.isValid() && m_pty.isValid(); }
    QString folder() const { return m_folder.path(); }

    bool addModel(const QString& model, const BenchDescription& description)
    {
        return writeFile(m_folder.filePath(QStringLiteral("ZORV dep files/") + model + QStringLiteral(".dep")),
                         description.text().toUtf8());
    }

    // Copies every description file of `folder` beside the program; the
    // names of those copied, in name order.
    QStringList addModelsFrom(const QString& folder)
    {
        QStringList added;
        for (const QString& name : QDir(folder).entryList({QStringLiteral("*.dep")}, QDir::Files, QDir::Name))
            if (QFile::copy(folder + u'/' + name, m_folder.filePath(QStringLiteral("ZORV dep files/") + name)))
                added.append(name);
        return added;
    }

    PwrSupWindow& window()
    {
        if (!m_window) {
            m_window = std::make_unique<PwrSupWindow>();
            m_window->show();
        }
        return *m_window;
    }

    // The program ends as it does after its event loop: the window goes, and
    // its port is closed with it. The next call of window() starts a new
    // session on the same folder and port.
    void endSession() { m_window.reset(); }

    // Picks a model by its name, as a click on its row does.
    void chooseModel(const QString& model)
    {
        PopupMenu* models = window().PPSpopup;
        models->setListIndex(models->findText(model));
    }

    void chooseOutput(int row) { window().OutNumberPopup->setListIndex(row); }

    // Checks or clears "Zero volts when stopped" as the user's click does.
    void setZeroBox(bool checked)
    {
        CheckBox* box = window().ZeroVCheckBox;
        QVERIFY(box->isEnabled());
        if (box->isChecked() != checked)
            box->click();
        QCOMPARE(box->isChecked(), checked);
    }

    // The pointer enters the port list: the list is rebuilt and port 0 opened.
    void enterPortList() { pointerEnters(window().SerialPortPopup); }

    // A supply with one output chosen on the open port, ready to run script.
    void setUp(const BenchDescription& description, const QString& script)
    {
        addModel(QStringLiteral("Bench"), description);
        chooseModel(QStringLiteral("Bench"));
        chooseOutput(0);
        enterPortList();
        window().myEditField->setText(script);
        m_pty.read(50); // nothing of a run has gone out yet; drop any noise
    }

    Pty& pty() { return m_pty; }
    ScriptedDialogs& dialogs() { return m_dialogs; }

private:
    QTemporaryDir m_folder;
    Pty m_pty;
    SystemSeams m_seams{m_folder.path(), {m_pty.slavePath()}, m_folder.path()};
    ScriptedDialogs m_dialogs;
    // Last, so that it goes first, while the seams are still in place.
    std::unique_ptr<PwrSupWindow> m_window;
};

} // namespace zorv::testing
