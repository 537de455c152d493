// Format with any double (NaN, infinities, subnormals and the largest values
// included: the first 8 bytes are its bits) and any pattern (the rest).
// However odd the pattern, the text stays within a small multiple of its
// length plus the digits a double can have.
#include "FuzzSupport.h"
#include "framework/Strings.h"

#include <cstring>

using namespace zorv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    double x = 0.0;
    const std::size_t head = size < sizeof x ? size : sizeof x;
    std::memcpy(&x, data, head);
    const QString pattern = fuzz::text(data + head, size - head);

    const QString text = Format(x, pattern);
    if (pattern.isEmpty())
        fuzz::check(text.isEmpty(), "an empty pattern gave text");
    fuzz::check(text.size() <= 2 * pattern.size() + 800, "the text outgrew the pattern");
    return 0;
}
