#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace zorv::ports {

// The system's serial ports now, in the system's order. Each call asks the
// system afresh, which costs milliseconds, and the list may have changed
// since the last call: a caller takes the count and the names from one call.
QStringList names();

// Tests replace the list (with pseudo-terminal paths, say), or the whole
// system query, through these seams; std::nullopt or an empty function
// restores the system's list.
void setPortsForTesting(std::optional<QStringList> names);
void setPortQueryForTesting(std::function<QStringList()> query);

} // namespace zorv::ports
