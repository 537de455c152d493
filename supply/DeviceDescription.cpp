#include "supply/DeviceDescription.h"

#include <QStringList>
#include <initializer_list>
#include <optional>

namespace zorv {
namespace {

const QString kEnd = QStringLiteral("*END*");

void readFixed(TextInputStream& in, std::initializer_list<QString*> fields)
{
    // The old value goes before the new one is read, so that a line of
    // megabytes is never held twice.
    for (QString* field : fields) {
        field->clear();
        *field = in.readLine();
    }
}

void readFreeText(TextInputStream& in, QString& text, QString& lastLine, const std::function<void()>& yield)
{
    text.clear();
    lastLine.clear();
    while (lastLine != kEnd && !in.atEnd()) {
        lastLine = in.readLine();
        if (lastLine != kEnd)
            text.append(lastLine);
        if (yield)
            yield();
    }
}

} // namespace

void readDeviceDescription(TextInputStream& in, DeviceDescription& d, const std::function<void()>& yield,
                           const std::function<void(Section)>& sectionRead)
{
    while (!in.atEnd()) {
        const QString line = in.readLine();
        std::optional<Section> section;
        if (line == u"*NAME*") {
            readFixed(in, {&d.PSMfgName, &d.PSMfgModNum});
            section = Section::Name;
        } else if (line == u"*DESCRIPTION*") {
            readFreeText(in, d.PSDescription, d.LastLine, yield);
            section = Section::Description;
        } else if (line == u"*HOOKUP*") {
            readFreeText(in, d.PSHookup, d.LastLine, yield);
            section = Section::Hookup;
        } else if (line == u"*PARAMETERS*") {
            readFixed(in, {&d.PSSerialPortType, &d.PSBaudRate, &d.PSParity, &d.PSDataBits, &d.PSStopBits,
                           &d.PSProtocol, &d.PSIntrComDelay, &d.LastLine});
            section = Section::Parameters;
        } else if (line == u"*COMMAND PS SELECT*") {
            readFixed(in, {&d.PSComPSSelPre, &d.PSComPSSelFormat, &d.PSComPSSelPost});
            section = Section::PSSelect;
        } else if (line == u"*COMMAND PS INIT*") {
            readFixed(in, {&d.PSComPSInitPre, &d.PSComPSInitFormat, &d.PSComPSInitPost});
            section = Section::PSInit;
        } else if (line == u"*COMMAND OUTPUT SELECT*") {
            readFixed(in, {&d.PSComOutList, &d.VoltsMaxList, &d.PSComOutSelPre, &d.PSComOutSelFormat,
                           &d.PSComOutSelPost});
            section = Section::OutputSelect;
        } else if (line == u"*COMMAND OUTPUT INIT*") {
            readFixed(in, {&d.PSComOutInitPre, &d.PSComOutInitFormat, &d.PSComOutInitPost});
            section = Section::OutputInit;
        } else if (line == u"*COMMAND VOLT SET*") {
            readFixed(in, {&d.PSComVoltSetPre, &d.PSComVoltSetFormat, &d.PSComVoltSetPost, &d.PSComVoltSetUnit});
            section = Section::VoltSet;
        } else if (line == u"*COMMAND CURRENT READ*") {
            readFixed(in, {&d.PSComCurReadPre, &d.PSComCurReadFormat, &d.PSComCurReadDelim});
            section = Section::CurrentRead;
        }
        if (section && sectionRead)
            sectionRead(*section);
        if (yield)
            yield();
    }
}

} // namespace zorv
