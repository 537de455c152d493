#pragma once

#include <QString>

namespace zorv {

// The folder of supply descriptions beside the program, ending in '/'.
QString modelFolder();

} // namespace zorv
