#include "framework/Strings.h"

#include <QByteArray>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace zorv {

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
    return static_cast<int>(s.count(delim)) + 1;
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
    if (error == std::errc::result_out_of_range)
        return number.contains('e') && !number.contains("e-") ? (number.front() == '-' ? -HUGE_VAL : HUGE_VAL)
                                                              : (number.front() == '-' ? -0.0 : 0.0);
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
