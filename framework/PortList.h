#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace zorv::ports {

// The system's serial ports, in the system's order. Tests replace the list
// (with pseudo-terminal paths, say) through the seam below.
int count();
QString name(int index);

void setPortsForTesting(std::optional<QStringList> names);

} // namespace zorv::ports
