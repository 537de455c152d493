// NthField and CountFields with any text, delimiter and field number. Input:
// one byte the field number (signed), one byte the delimiter's length, then
// the text whose first characters are the delimiter and the rest the string.
// The fields are those QString::split finds with empty parts kept, and joined
// with the delimiter they give the string back.
#include "FuzzSupport.h"
#include "framework/Strings.h"

#include <QStringList>

using namespace zorv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int n = static_cast<std::int8_t>(data[0]);
    const qsizetype delimLength = data[1] % 8;
    const QString rest = fuzz::text(data + 2, size - 2);
    const QString delim = rest.left(delimLength);
    const QString s = rest.mid(delimLength);

    const int count = CountFields(s, delim);
    const QString nth = NthField(s, delim, n);
    if (n < 1)
        fuzz::check(nth.isEmpty(), "a field before the first");

    if (s.isEmpty()) {
        fuzz::check(count == 0, "fields in an empty string");
        fuzz::check(nth.isEmpty(), "a field of an empty string");
        return 0;
    }
    if (delim.isEmpty()) {
        fuzz::check(count == 1, "an empty delimiter split the string");
        fuzz::check(nth == (n == 1 ? s : QString()), "an empty delimiter: field 1 is not the string");
        return 0;
    }

    const QStringList parts = s.split(delim, Qt::KeepEmptyParts);
    fuzz::check(count == parts.size(), "CountFields differs from the split");
    QStringList fields;
    for (int k = 1; k <= count; ++k) {
        fields.append(NthField(s, delim, k));
        fuzz::check(fields.back() == parts[k - 1], "NthField differs from the split");
    }
    fuzz::check(fields.join(delim) == s, "the fields joined are not the string");
    fuzz::check(NthField(s, delim, count + 1).isEmpty(), "a field past the last");
    fuzz::check(nth == (n >= 1 && n <= count ? parts[n - 1] : QString()), "field n differs from the split");
    return 0;
}
