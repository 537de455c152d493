// Reading a script as a run plays it. Input lines: the description's voltage
// pattern, its divisor, then the script lines. Every line gives one command
// with exactly one carriage return, at its end, so a command never splits
// into two on the supply's line; a hold back in time is the hold forward
// negated.
#include "FuzzSupport.h"
#include "script/Script.h"
#include "framework/Strings.h"

#include <QStringList>
#include <cstdint>
#include <limits>

using namespace zorv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TextInputStream in(fuzz::text(data, size));
    const QString pattern = in.readLine();
    const double divisor = Val(in.readLine());
    QStringList lines;
    while (!in.atEnd())
        lines.append(in.readLine());

    const QString pre = QStringLiteral("VOLT ");
    const QString post = QStringLiteral(";");
    const QString term = QStringLiteral("\r");
    for (int row = 0; row < 4; ++row) {
        const script::Units units = *script::unitsForRow(row);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString& line = lines[i];
            const double volts = (script::lineVolts(line) * units.voltMult) / divisor;
            const QString command = script::command(pre, pattern, post, volts, term);
            fuzz::check(command.startsWith(pre) && command.endsWith(post + term), "command lost its frame");
            fuzz::check(command.count(u'\r') == 1, "a carriage return inside a command");
            fuzz::check(command.size() <= pre.size() + post.size() + term.size() + 2 * pattern.size() + 800,
                        "command outgrew its pattern");
            script::rangeMessage(volts, divisor);

            if (i + 1 < lines.size()) {
                const double from = script::lineTime(line);
                const double to = script::lineTime(lines[i + 1]);
                const std::int32_t forward = script::holdMs(from, to, units.timeMult);
                const std::int32_t back = script::holdMs(to, from, units.timeMult);
                constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
                if (forward != lowest && back != lowest)
                    fuzz::check(forward == -back, "a hold back is not the hold forward negated");
                fuzz::check(script::holdMs(from, from, units.timeMult) == 0, "a hold from a time to itself");
            }
        }
    }
    return 0;
}
