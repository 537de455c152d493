#include "framework/Strings.h"

#include <QByteArray>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace zorv {
namespace {

// Whether a number that does not fit a double is too large (rather than too
// small): its leading digit's power of ten, exponent included, is positive.
// Many digits with no exponent ("1000...0") are too large as well.
bool beyondLargest(const QByteArray& number)
{
    const qsizetype e = number.indexOf('e');
    const QByteArray mantissa = e < 0 ? number : number.left(e);
    const qsizetype point = mantissa.indexOf('.');
    const qsizetype intEnd = point < 0 ? mantissa.size() : point;
    qsizetype first = 0;
    while (first < mantissa.size() && (mantissa[first] < '1' || mantissa[first] > '9'))
        ++first;
    if (first >= mantissa.size())
        return false;
    long long power = first < intEnd ? intEnd - first - 1 : -(first - intEnd);
    if (e >= 0) {
        // Digits past 18 cannot change the answer; they would overflow.
        const QByteArray exponent = number.mid(e + 1);
        const bool negative = exponent.startsWith('-');
        long long value = 0;
        for (char c : exponent)
            if (c >= '0' && c <= '9')
                value = value < 100000000000000000LL ? value * 10 + (c - '0') : value;
        power += negative ? -value : value;
    }
    return power > 0;
}

} // namespace

QString NthField(const QString& s, const QString& delim, int n)
{
    if (n < 1)
        return {};
    if (delim.isEmpty())
        return n == 1 ? s : QString();
    qsizetype start = 0;
    for (int field = 1; field < n; ++field) {
        const qsizetype at = s.indexOf(delim, start);
        if (at < 0)
            return {};
        start = at + delim.size();
    }
    const qsizetype end = s.indexOf(delim, start);
    return end < 0 ? s.mid(start) : s.mid(start, end - start);
}

int CountFields(const QString& s, const QString& delim)
{
    if (s.isEmpty())
        return 0;
    if (delim.isEmpty())
        return 1;
    // Counted as NthField splits, without overlaps: "a::::b" at "::" has three
    // fields, where QString::count would see three delimiters.
    int delimiters = 0;
    for (qsizetype at = s.indexOf(delim); at >= 0; at = s.indexOf(delim, at + delim.size()))
        ++delimiters;
    return delimiters + 1;
}

QString Left(const QString& s, int n)
{
    return n <= 0 ? QString() : s.left(n);
}

QString Right(const QString& s, int n)
{
    return n <= 0 ? QString() : s.right(n);
}

int Len(const QString& s)
{
    return static_cast<int>(s.size());
}

QString Chr(int code)
{
    const char32_t point = static_cast<char32_t>(code);
    return QString::fromUcs4(&point, 1);
}

double Val(const QString& s)
{
    qsizetype i = 0;
    const qsizetype size = s.size();
    while (i < size && (s[i] == u' ' || s[i] == u'\t'))
        ++i;

    // Copy the longest prefix that has the shape of a number, then let the
    // C library convert it; only ASCII is accepted, so the locale plays no part.
    QByteArray number;
    auto digitAt = [&](qsizetype at) { return at < size && s[at] >= u'0' && s[at] <= u'9'; };
    if (i < size && (s[i] == u'+' || s[i] == u'-'))
        number.append(static_cast<char>(s[i++].unicode()));
    bool anyDigit = false;
    while (digitAt(i)) {
        number.append(static_cast<char>(s[i++].unicode()));
        anyDigit = true;
    }
    if (i < size && s[i] == u'.') {
        number.append('.');
        ++i;
        while (digitAt(i)) {
            number.append(static_cast<char>(s[i++].unicode()));
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    if (i < size && (s[i] == u'e' || s[i] == u'E')) {
        qsizetype j = i + 1;
        QByteArray exponent("e");
        if (j < size && (s[j] == u'+' || s[j] == u'-'))
            exponent.append(static_cast<char>(s[j++].unicode()));
        if (digitAt(j)) {
            while (digitAt(j))
                exponent.append(static_cast<char>(s[j++].unicode()));
            number.append(exponent);
        }
    }
    if (number.front() == '+')
        number.remove(0, 1);
    double result = 0.0;
    const auto [end, error] = std::from_chars(number.constData(), number.constData() + number.size(), result);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        const bool negative = number.front() == '-';
        if (beyondLargest(number))
            return negative ? -HUGE_VAL : HUGE_VAL;
        return negative ? -0.0 : 0.0;
    }
    return result;
}

QString Str(double x)
{
    if (std::isnan(x))
        return QStringLiteral("NAN");
    if (std::isinf(x))
        return x < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (x == 0.0)
        return QStringLiteral("0");
    const double magnitude = std::fabs(x);
    char buffer[64];
    const auto format = magnitude >= 1e-5 && magnitude < 1e16 ? std::chars_format::fixed : std::chars_format::scientific;
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, x, format);
    if (error != std::errc())
        return QString::number(x, 'g', 17);
    return QString::fromLatin1(buffer, end - buffer);
}

QString Str(int x)
{
    return QString::number(x);
}

std::int32_t ToInt32(double x)
{
    if (std::isnan(x))
        return 0;
    const double rounded = std::round(x); // halves away from zero
    if (rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

} // namespace zorv
