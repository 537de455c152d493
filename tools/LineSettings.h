#pragma once

#include <optional>

namespace zorv::tools {

// A serial line's settings as the program set them on its end of a
// pseudo-terminal.
struct LineSettings {
    unsigned baud = 0;
    int dataBits = 8;
    char parity = 'N';
    int stopBits = 1;
};

// The settings of the terminal behind fd (either side of a pseudo-terminal
// gives the slave's), the bit rate as a number even where it is none of the
// standard ones (7200, 14400, ...); nothing when fd is no terminal.
std::optional<LineSettings> lineSettings(int fd);

// Whether the terminal behind fd keeps the data bits and parity it is set
// to. Linux's pseudo-terminals do not on recent kernels: they read back
// 8 data bits and no parity, whatever the program asked for.
bool keepsDataBitsAndParity(int fd);

} // namespace zorv::tools
