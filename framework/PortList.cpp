#include "framework/PortList.h"

#include <QSerialPortInfo>

namespace zorv::ports {
namespace {

std::optional<QStringList>& override()
{
    static std::optional<QStringList> names;
    return names;
}

QStringList systemPorts()
{
    if (override())
        return *override();
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& port : ports)
        names.append(port.portName());
    return names;
}

} // namespace

int count()
{
    return static_cast<int>(systemPorts().size());
}

QString name(int index)
{
    const QStringList names = systemPorts();
    return index >= 0 && index < names.size() ? names[index] : QString();
}

void setPortsForTesting(std::optional<QStringList> names)
{
    override() = std::move(names);
}

} // namespace zorv::ports
