#pragma once

#include "framework/FileType.h"

namespace zorv::FileTypes {

// The program's one file type: plain text, by its usual extensions.
extern const FileType pTextPlain;

void _Initialize();

} // namespace zorv::FileTypes
