#include "tools/LineSettings.h"

// The kernel's own termios2 carries the bit rate as a number; the C library's
// termios gives only the B* constant, which rates like 7200 do not have.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace zorv::tools {

std::optional<LineSettings> lineSettings(int fd)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return std::nullopt;
    LineSettings line;
    line.baud = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
    }
    if (t.c_cflag & PARENB)
        line.parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    line.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return line;
}

bool keepsDataBitsAndParity(int fd)
{
    termios2 before{};
    if (::ioctl(fd, TCGETS2, &before) != 0)
        return false;
    termios2 probe = before;
    probe.c_cflag = (probe.c_cflag & ~CSIZE) | CS7 | PARENB;
    termios2 after{};
    const bool kept = ::ioctl(fd, TCSETS2, &probe) == 0 && ::ioctl(fd, TCGETS2, &after) == 0
        && (after.c_cflag & CSIZE) == CS7 && (after.c_cflag & PARENB);
    ::ioctl(fd, TCSETS2, &before);
    return kept;
}

} // namespace zorv::tools
