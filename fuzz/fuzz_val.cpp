// Val over any text. A number read is never NaN; Str writes it so that Val
// reads the same double back; a unit after the text changes nothing.
#include "FuzzSupport.h"
#include "framework/Strings.h"

#include <cmath>

using namespace zorv;

namespace {

// Equal, -0 and 0 told apart; Str writes -0 as "0", so read-back compares
// values only.
bool identical(double a, double b)
{
    return a == b && std::signbit(a) == std::signbit(b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = fuzz::text(data, size);
    const double value = Val(text);

    fuzz::check(!std::isnan(value), "Val gave NaN");
    if (std::isfinite(value))
        fuzz::check(Val(Str(value)) == value, "Str's text does not read back as the same double");
    fuzz::check(identical(Val(text + QStringLiteral("V")), value), "a unit after the number changed it");
    fuzz::check(identical(Val(QStringLiteral(" \t") + text), value), "leading blanks changed the number");
    return 0;
}
