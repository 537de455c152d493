#include "supply/DeviceDescription.h"

#include <QMap>
#include <algorithm>
#include <QTest>
#include <utility>
#include <vector>

using namespace zorv;

namespace {

using Fields = QMap<QString, QString>;

// Every field by name, except the reader's scratch line.
const std::vector<std::pair<QString, QString DeviceDescription::*>>& fieldTable()
{
    using D = DeviceDescription;
    static const std::vector<std::pair<QString, QString D::*>> table{
        {"PSMfgName", &D::PSMfgName},
        {"PSMfgModNum", &D::PSMfgModNum},
        {"PSDescription", &D::PSDescription},
        {"PSHookup", &D::PSHookup},
        {"PSSerialPortType", &D::PSSerialPortType},
        {"PSBaudRate", &D::PSBaudRate},
        {"PSParity", &D::PSParity},
        {"PSDataBits", &D::PSDataBits},
        {"PSStopBits", &D::PSStopBits},
        {"PSProtocol", &D::PSProtocol},
        {"PSIntrComDelay", &D::PSIntrComDelay},
        {"PSComPSSelPre", &D::PSComPSSelPre},
        {"PSComPSSelFormat", &D::PSComPSSelFormat},
        {"PSComPSSelPost", &D::PSComPSSelPost},
        {"PSComPSInitPre", &D::PSComPSInitPre},
        {"PSComPSInitFormat", &D::PSComPSInitFormat},
        {"PSComPSInitPost", &D::PSComPSInitPost},
        {"PSComOutList", &D::PSComOutList},
        {"VoltsMaxList", &D::VoltsMaxList},
        {"PSComOutSelPre", &D::PSComOutSelPre},
        {"PSComOutSelFormat", &D::PSComOutSelFormat},
        {"PSComOutSelPost", &D::PSComOutSelPost},
        {"PSComOutInitPre", &D::PSComOutInitPre},
        {"PSComOutInitFormat", &D::PSComOutInitFormat},
        {"PSComOutInitPost", &D::PSComOutInitPost},
        {"PSComVoltSetPre", &D::PSComVoltSetPre},
        {"PSComVoltSetFormat", &D::PSComVoltSetFormat},
        {"PSComVoltSetPost", &D::PSComVoltSetPost},
        {"PSComVoltSetUnit", &D::PSComVoltSetUnit},
        {"PSComCurReadPre", &D::PSComCurReadPre},
        {"PSComCurReadFormat", &D::PSComCurReadFormat},
        {"PSComCurReadDelim", &D::PSComCurReadDelim},
    };
    return table;
}

const QString kOld = QStringLiteral("old");

// A description as an earlier model left it: every field holds "old", so a
// field the text does not set must still hold it afterwards.
DeviceDescription previousModel()
{
    DeviceDescription d;
    for (const auto& [name, field] : fieldTable())
        d.*field = kOld;
    return d;
}

QString sectionName(Section section)
{
    switch (section) {
    case Section::Name: return QStringLiteral("NAME");
    case Section::Description: return QStringLiteral("DESCRIPTION");
    case Section::Hookup: return QStringLiteral("HOOKUP");
    case Section::Parameters: return QStringLiteral("PARAMETERS");
    case Section::PSSelect: return QStringLiteral("PS SELECT");
    case Section::PSInit: return QStringLiteral("PS INIT");
    case Section::OutputSelect: return QStringLiteral("OUTPUT SELECT");
    case Section::OutputInit: return QStringLiteral("OUTPUT INIT");
    case Section::VoltSet: return QStringLiteral("VOLT SET");
    case Section::CurrentRead: return QStringLiteral("CURRENT READ");
    }
    return {};
}

// Lines joined with LF, the common case; some rows use other line ends.
QString lines(const QStringList& l)
{
    return l.join(u'\n');
}

const QStringList kFullFile{
    "*NAME*", "Acme", "PS-3",
    "*DESCRIPTION*", "Two outputs ", "and a bus.", "*END*",
    "*HOOKUP*", "Null modem", "*END*",
    "*PARAMETERS*", "RS232", "13", "0", "8", "1", "none", "50", "unused",
    "*COMMAND PS SELECT*", "ADDR ", "0", "",
    "*COMMAND PS INIT*", "REMOTE", "x", "y",
    "*COMMAND OUTPUT SELECT*", "A,B", "30,6", "INST OUT", "0", ";",
    "*COMMAND OUTPUT INIT*", "OUTP ON", "", "",
    "*COMMAND VOLT SET*", "VOLT ", "0.000", "", "1",
    "*COMMAND CURRENT READ*", "MEAS:CURR?", "0.00", ",",
};

const Fields kFullFields{
    {"PSMfgName", "Acme"}, {"PSMfgModNum", "PS-3"},
    {"PSDescription", "Two outputs and a bus."}, {"PSHookup", "Null modem"},
    {"PSSerialPortType", "RS232"}, {"PSBaudRate", "13"}, {"PSParity", "0"}, {"PSDataBits", "8"},
    {"PSStopBits", "1"}, {"PSProtocol", "none"}, {"PSIntrComDelay", "50"},
    {"PSComPSSelPre", "ADDR "}, {"PSComPSSelFormat", "0"}, {"PSComPSSelPost", ""},
    {"PSComPSInitPre", "REMOTE"}, {"PSComPSInitFormat", "x"}, {"PSComPSInitPost", "y"},
    {"PSComOutList", "A,B"}, {"VoltsMaxList", "30,6"},
    {"PSComOutSelPre", "INST OUT"}, {"PSComOutSelFormat", "0"}, {"PSComOutSelPost", ";"},
    {"PSComOutInitPre", "OUTP ON"}, {"PSComOutInitFormat", ""}, {"PSComOutInitPost", ""},
    {"PSComVoltSetPre", "VOLT "}, {"PSComVoltSetFormat", "0.000"}, {"PSComVoltSetPost", ""},
    {"PSComVoltSetUnit", "1"},
    {"PSComCurReadPre", "MEAS:CURR?"}, {"PSComCurReadFormat", "0.00"}, {"PSComCurReadDelim", ","},
};

const QStringList kAllSections{"NAME",          "DESCRIPTION", "HOOKUP",   "PARAMETERS", "PS SELECT",
                               "PS INIT",       "OUTPUT SELECT", "OUTPUT INIT", "VOLT SET", "CURRENT READ"};

} // namespace

class DescriptionTest : public QObject {
    Q_OBJECT
private slots:
    void read_data();
    void read();
};

void DescriptionTest::read_data()
{
    QTest::addColumn<QString>("text");
    // The fields the text sets; every other field must keep its old value.
    QTest::addColumn<Fields>("changed");
    // The sections opened, one entry per appearance.
    QTest::addColumn<QStringList>("sections");

    QTest::addRow("every section, LF") << lines(kFullFile) << kFullFields << kAllSections;
    QTest::addRow("every section, CR LF") << kFullFile.join(QStringLiteral("\r\n")) + "\r\n" << kFullFields
                                          << kAllSections;
    QTest::addRow("every section, CR alone") << kFullFile.join(u'\r') << kFullFields << kAllSections;
    QTest::addRow("mixed line ends, blank line kept as a value")
        << "*NAME*\r\n\rModel\n*HOOKUP*\ra\r\nb\n*END*" << Fields{{"PSMfgName", ""}, {"PSMfgModNum", "Model"},
                                                           {"PSHookup", "ab"}}
        << QStringList{"NAME", "HOOKUP"};

    QTest::addRow("empty text") << "" << Fields{} << QStringList{};
    QTest::addRow("no marker at all") << lines({"just notes", "", "*END*", "NAME"}) << Fields{} << QStringList{};
    QTest::addRow("text, blanks and a stray *END* before a section")
        << lines({"comment", "", "*END*", "*NAME*", "A", "B", "surplus", "*END*"})
        << Fields{{"PSMfgName", "A"}, {"PSMfgModNum", "B"}} << QStringList{"NAME"};

    QTest::addRow("blank after a marker: not a marker")
        << lines({"*NAME* ", "A", "B"}) << Fields{} << QStringList{};
    QTest::addRow("blank before a marker: not a marker")
        << lines({" *COMMAND VOLT SET*", "V", "0", "", "1"}) << Fields{} << QStringList{};
    QTest::addRow("marker in other letter case: not a marker")
        << lines({"*name*", "A", "B"}) << Fields{} << QStringList{};

    QTest::addRow("free text lines joined with nothing between, blanks kept")
        << lines({"*DESCRIPTION*", " first ", "second", "", "third ", "*END*"})
        << Fields{{"PSDescription", " first secondthird "}} << QStringList{"DESCRIPTION"};
    QTest::addRow("marker inside free text is text")
        << lines({"*DESCRIPTION*", "*NAME*", "x", "y", "*END*"}) << Fields{{"PSDescription", "*NAME*xy"}}
        << QStringList{"DESCRIPTION"};
    QTest::addRow("*END* with a blank inside free text is text")
        << lines({"*HOOKUP*", "a", "*END* ", "b", "*END*"}) << Fields{{"PSHookup", "a*END* b"}}
        << QStringList{"HOOKUP"};
    QTest::addRow("empty free text empties the old text")
        << lines({"*HOOKUP*", "*END*"}) << Fields{{"PSHookup", ""}} << QStringList{"HOOKUP"};
    QTest::addRow("free text without *END* runs to the end")
        << lines({"*HOOKUP*", "a", "*NAME*", "b"}) << Fields{{"PSHookup", "a*NAME*b"}} << QStringList{"HOOKUP"};
    QTest::addRow("free text marker as the last line")
        << QStringLiteral("*DESCRIPTION*") << Fields{{"PSDescription", ""}} << QStringList{"DESCRIPTION"};
    QTest::addRow("sections go on after free text")
        << lines({"*DESCRIPTION*", "d", "*END*", "*NAME*", "A", "B"})
        << Fields{{"PSDescription", "d"}, {"PSMfgName", "A"}, {"PSMfgModNum", "B"}}
        << QStringList{"DESCRIPTION", "NAME"};

    QTest::addRow("repeated free text replaces, not appends")
        << lines({"*HOOKUP*", "first", "*END*", "*HOOKUP*", "second", "*END*"}) << Fields{{"PSHookup", "second"}}
        << QStringList{"HOOKUP", "HOOKUP"};
    QTest::addRow("repeated fixed section: the last wins")
        << lines({"*COMMAND VOLT SET*", "V1", "0", "p1", "1", "*NAME*", "A", "B", "*COMMAND VOLT SET*", "V2",
                  "0.0", "p2", "0.001"})
        << Fields{{"PSComVoltSetPre", "V2"}, {"PSComVoltSetFormat", "0.0"}, {"PSComVoltSetPost", "p2"},
                  {"PSComVoltSetUnit", "0.001"}, {"PSMfgName", "A"}, {"PSMfgModNum", "B"}}
        << QStringList{"VOLT SET", "NAME", "VOLT SET"};

    QTest::addRow("name section swallows the next marker")
        << lines({"*NAME*", "Acme", "*COMMAND VOLT SET*", "V", "0", "", "1"})
        << Fields{{"PSMfgName", "Acme"}, {"PSMfgModNum", "*COMMAND VOLT SET*"}} << QStringList{"NAME"};
    QTest::addRow("marker at once after a marker is a value")
        << lines({"*NAME*", "*NAME*", "*HOOKUP*", "h", "*END*"})
        << Fields{{"PSMfgName", "*NAME*"}, {"PSMfgModNum", "*HOOKUP*"}} << QStringList{"NAME"};
    QTest::addRow("seven parameter lines: the eighth swallows the next marker")
        << lines({"*PARAMETERS*", "RS232", "9", "2", "7", "2", "xon", "20", "*COMMAND VOLT SET*", "V", "0.0",
                  ";", "1"})
        << Fields{{"PSSerialPortType", "RS232"}, {"PSBaudRate", "9"}, {"PSParity", "2"}, {"PSDataBits", "7"},
                  {"PSStopBits", "2"}, {"PSProtocol", "xon"}, {"PSIntrComDelay", "20"}}
        << QStringList{"PARAMETERS"};
    QTest::addRow("eighth parameter line present: the next marker opens")
        << lines({"*PARAMETERS*", "t", "1", "2", "3", "4", "p", "5", "unused", "*NAME*", "A", "B"})
        << Fields{{"PSSerialPortType", "t"}, {"PSBaudRate", "1"}, {"PSParity", "2"}, {"PSDataBits", "3"},
                  {"PSStopBits", "4"}, {"PSProtocol", "p"}, {"PSIntrComDelay", "5"}, {"PSMfgName", "A"},
                  {"PSMfgModNum", "B"}}
        << QStringList{"PARAMETERS", "NAME"};
    QTest::addRow("eighth parameter line is not a value")
        << lines({"*PARAMETERS*", "t", "1", "2", "3", "4", "p", "5", "*NAME*", "A", "B"})
        << Fields{{"PSSerialPortType", "t"}, {"PSBaudRate", "1"}, {"PSParity", "2"}, {"PSDataBits", "3"},
                  {"PSStopBits", "4"}, {"PSProtocol", "p"}, {"PSIntrComDelay", "5"}}
        << QStringList{"PARAMETERS"};

    QTest::addRow("short file: missing value lines read as empty")
        << lines({"*COMMAND VOLT SET*", "VOLT ", "0.00"})
        << Fields{{"PSComVoltSetPre", "VOLT "}, {"PSComVoltSetFormat", "0.00"}, {"PSComVoltSetPost", ""},
                  {"PSComVoltSetUnit", ""}}
        << QStringList{"VOLT SET"};
    QTest::addRow("short file ending in a line end")
        << QStringLiteral("*COMMAND VOLT SET*\nVOLT \n0.00\n")
        << Fields{{"PSComVoltSetPre", "VOLT "}, {"PSComVoltSetFormat", "0.00"}, {"PSComVoltSetPost", ""},
                  {"PSComVoltSetUnit", ""}}
        << QStringList{"VOLT SET"};
    QTest::addRow("marker as the very last line")
        << QStringLiteral("*COMMAND OUTPUT SELECT*\n")
        << Fields{{"PSComOutList", ""}, {"VoltsMaxList", ""}, {"PSComOutSelPre", ""}, {"PSComOutSelFormat", ""},
                  {"PSComOutSelPost", ""}}
        << QStringList{"OUTPUT SELECT"};
    QTest::addRow("values taken as they stand, untrimmed")
        << lines({"*COMMAND OUTPUT SELECT*", " A, B ", "30 ,6", "", "  ", "\t"})
        << Fields{{"PSComOutList", " A, B "}, {"VoltsMaxList", "30 ,6"}, {"PSComOutSelPre", ""},
                  {"PSComOutSelFormat", "  "}, {"PSComOutSelPost", "\t"}}
        << QStringList{"OUTPUT SELECT"};
    QTest::addRow("section missing from the file keeps the old values")
        << lines({"*COMMAND PS INIT*", "INIT", "", ""})
        << Fields{{"PSComPSInitPre", "INIT"}, {"PSComPSInitFormat", ""}, {"PSComPSInitPost", ""}}
        << QStringList{"PS INIT"};
}

void DescriptionTest::read()
{
    QFETCH(QString, text);
    QFETCH(Fields, changed);
    QFETCH(QStringList, sections);

    DeviceDescription d = previousModel();
    TextInputStream in(text);
    QStringList opened;
    readDeviceDescription(in, d, {}, [&opened](Section section) { opened.append(sectionName(section)); });

    for (const auto& [name, field] : fieldTable()) {
        const QString expected = changed.value(name, kOld);
        if (d.*field != expected)
            QFAIL(qPrintable(QStringLiteral("%1 is \"%2\", expected \"%3\"").arg(name, d.*field, expected)));
    }
    for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
        const bool known = std::any_of(fieldTable().begin(), fieldTable().end(),
                                       [&it](const auto& entry) { return entry.first == it.key(); });
        QVERIFY2(known, qPrintable(it.key()));
    }
    QCOMPARE(opened, sections);
}

QTEST_MAIN(DescriptionTest)
#include "tst_description.moc"
