#include "script/Script.h"

#include "framework/Strings.h"

namespace zorv::script {

double lineTime(const QString& line)
{
    return Val(NthField(line, QStringLiteral(","), 1));
}

double lineVolts(const QString& line)
{
    return Val(NthField(line, QStringLiteral(","), 2));
}

std::int32_t holdMs(double from, double to, double timeMult)
{
    return ToInt32(((to - from) * 1000.0) * timeMult);
}

QString command(const QString& pre, const QString& pattern, const QString& post, double value,
                const QString& lineTerm)
{
    return pre + Format(value, pattern) + post + lineTerm;
}

std::optional<QString> rangeMessage(double volts, double voltsMax)
{
    if (voltsMax > 0) {
        if (volts > voltsMax || volts < 0)
            return QStringLiteral("Script has out of range voltage. Power supply max.:") + Str(voltsMax)
                   + QStringLiteral(", asking") + Str(volts);
    } else if (volts < voltsMax || volts > 0) {
        return QStringLiteral("Script has out of range voltage. Power supply min.:") + Str(voltsMax)
               + QStringLiteral(", asking") + Str(volts);
    }
    return std::nullopt;
}

std::optional<Units> unitsForRow(int row)
{
    switch (row) {
    case 0: return Units{1.0, 1.0};
    case 1: return Units{0.001, 1.0};
    case 2: return Units{1.0, 60.0};
    case 3: return Units{0.001, 60.0};
    default: return std::nullopt;
    }
}

} // namespace zorv::script
