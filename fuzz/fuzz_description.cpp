// The description reader over any file text: it must end, and every field it
// fills is one line's text or lines joined, so no line end may be left in it.
#include "FuzzSupport.h"
#include "supply/DeviceDescription.h"

using namespace zorv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = fuzz::text(data, size);
    TextInputStream in(text);
    DeviceDescription d;
    qsizetype yields = 0;
    qsizetype sections = 0;
    readDeviceDescription(in, d, [&yields] { ++yields; }, [&sections](Section) { ++sections; });

    // Each section marker is a line of its own and each line yields once.
    fuzz::check(sections <= yields, "more sections than lines read");
    fuzz::check(yields <= text.size() + 1, "more lines read than the text has");

    const QString* fields[] = {
        &d.PSMfgName,          &d.PSMfgModNum,       &d.PSDescription,     &d.PSHookup,
        &d.PSSerialPortType,   &d.PSBaudRate,        &d.PSParity,          &d.PSDataBits,
        &d.PSStopBits,         &d.PSProtocol,        &d.PSIntrComDelay,    &d.LastLine,
        &d.PSComPSSelPre,      &d.PSComPSSelFormat,  &d.PSComPSSelPost,    &d.PSComPSInitPre,
        &d.PSComPSInitFormat,  &d.PSComPSInitPost,   &d.PSComOutSelPre,    &d.PSComOutSelFormat,
        &d.PSComOutSelPost,    &d.PSComOutInitPre,   &d.PSComOutInitFormat, &d.PSComOutInitPost,
        &d.PSComVoltSetPre,    &d.PSComVoltSetFormat, &d.PSComVoltSetPost, &d.PSComCurReadPre,
        &d.PSComCurReadFormat, &d.PSComCurReadDelim, &d.PSComVoltSetUnit,  &d.PSComOutList,
        &d.VoltsMaxList,
    };
    for (const QString* field : fields) {
        fuzz::check(!field->contains(u'\r') && !field->contains(u'\n'), "a line end inside a field");
        fuzz::check(field->size() <= text.size(), "a field longer than the text");
    }
    return 0;
}
