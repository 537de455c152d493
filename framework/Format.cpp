#include "framework/Strings.h"

#include <cmath>

namespace zorv {

// Placeholder: plain decimals by the count of digits after the point.
QString Format(double x, const QString& pattern)
{
    if (pattern.isEmpty())
        return {};
    if (std::isnan(x))
        return QStringLiteral("NAN");
    if (std::isinf(x))
        return x < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    const qsizetype point = pattern.indexOf(u'.');
    const int decimals = point < 0 ? 0 : static_cast<int>(pattern.size() - point - 1);
    return QString::number(x, 'f', decimals);
}

} // namespace zorv
