#pragma once

#include "framework/TextStream.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace zorv::fuzz {

// A broken invariant is a finding like any crash: say which, and abort so
// that libFuzzer keeps the input.
inline void check(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Bytes as a file's text reaches the program.
inline QString text(const std::uint8_t* data, std::size_t size)
{
    return decodeText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
}

} // namespace zorv::fuzz
