#include "framework/PortList.h"

#include <QSerialPortInfo>

namespace zorv::ports {
namespace {

std::function<QStringList()>& override()
{
    static std::function<QStringList()> query;
    return query;
}

} // namespace

QStringList names()
{
    if (override())
        return override()();
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& port : ports)
        names.append(port.portName());
    return names;
}

void setPortsForTesting(std::optional<QStringList> names)
{
    if (names)
        override() = [list = *std::move(names)] { return list; };
    else
        override() = nullptr;
}

void setPortQueryForTesting(std::function<QStringList()> query)
{
    override() = std::move(query);
}

} // namespace zorv::ports
