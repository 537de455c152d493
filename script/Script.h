#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Reading a time/volts script and building the commands it plays. A script
// line is "time,volts[,anything]"; lines end at carriage returns.
namespace zorv::script {

double lineTime(const QString& line);
double lineVolts(const QString& line);

// Milliseconds from a line at time `from` to one at time `to`, in script
// time units of timeMult seconds.
std::int32_t holdMs(double from, double to, double timeMult);

// Pre, the value by the pattern, Post and the terminator.
QString command(const QString& pre, const QString& pattern, const QString& post, double value,
                const QString& lineTerm);

// The advisory range check of one script voltage against the supply's limit
// (a maximum when above 0, else a minimum); empty when the voltage is in range.
std::optional<QString> rangeMessage(double volts, double voltsMax);

struct Units {
    double voltMult;
    double timeMult;
};
// The units of a row of the units menu; nothing for any other row.
std::optional<Units> unitsForRow(int row);

} // namespace zorv::script
