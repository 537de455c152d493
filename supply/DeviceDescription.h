#pragma once

#include "framework/TextStream.h"

#include <QString>
#include <functional>

namespace zorv {

// The fields of a supply's description file, kept as text exactly as read;
// each user converts a value where it uses it.
struct DeviceDescription {
    QString PSMfgName;
    QString PSMfgModNum;
    QString PSDescription;
    QString PSHookup;
    QString PSSerialPortType;
    QString PSBaudRate;
    QString PSParity;
    QString PSDataBits;
    QString PSStopBits;
    QString PSProtocol;
    QString PSIntrComDelay;
    QString LastLine; // the reader's scratch line
    QString PSComPSSelPre;
    QString PSComPSSelFormat;
    QString PSComPSSelPost;
    QString PSComPSInitPre;
    QString PSComPSInitFormat;
    QString PSComPSInitPost;
    QString PSComOutSelPre;
    QString PSComOutSelFormat;
    QString PSComOutSelPost;
    QString PSComOutInitPre;
    QString PSComOutInitFormat;
    QString PSComOutInitPost;
    QString PSComVoltSetPre;
    QString PSComVoltSetFormat;
    QString PSComVoltSetPost;
    QString PSComCurReadPre;
    QString PSComCurReadFormat;
    QString PSComCurReadDelim;
    QString PSComVoltSetUnit;
    QString PSComOutList;
    QString VoltsMaxList;
};

// The output choice shows at most this many outputs of a description's list,
// the first ones; no supply has nearly as many, and each row costs the list
// far more than its text costs the file.
constexpr int kMaxOutputRows = 1000;

// The sections of a description, in the order a line is tested against them.
enum class Section {
    Name,
    Description,
    Hookup,
    Parameters,
    PSSelect,
    PSInit,
    OutputSelect,
    OutputInit,
    VoltSet,
    CurrentRead,
};

// Reads a description into d. Nothing is reset first: a section the text
// lacks leaves its fields as they were, and a repeated section replaces the
// earlier one. yield runs once per line read. sectionRead runs after each
// appearance of a section, once its lines are stored, so that what a section
// sets up beyond its fields is done for every appearance in turn.
void readDeviceDescription(TextInputStream& in, DeviceDescription& d, const std::function<void()>& yield = {},
                           const std::function<void(Section)>& sectionRead = {});

} // namespace zorv
