// Plays real runs through the main window against pseudo-terminals and
// prints how precisely the commands arrive, what a run costs as scripts,
// folders and descriptions grow, and how a plain reference player on the same
// machine compares.
//
//   zorv_bench [--cpu-hold SECONDS]   (the CPU hold lasts 60 s unless given)
//   zorv_bench --large-scripts         (only the large-script, stall, stalled-supply, slow-line and opening rows)
//   zorv_bench --opening               (only the opening rows)
//   zorv_bench --long-outputs          (only the long output list)

#include "bench/BenchSupport.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>

using zorv::bench::Bench;

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int cpuHoldSeconds = 60;
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--cpu-hold"));
    if (at > 0 && at + 1 < args.size())
        cpuHoldSeconds = std::max(1, args[at + 1].toInt());

    Bench bench;
    if (!bench.ready()) {
        std::fprintf(stderr, "zorv_bench: no pseudo-terminal or the port did not open\n");
        return 1;
    }
    std::printf("# ZORV benchmark\n\n");
    int failures = 0;
    if (args.contains(QStringLiteral("--long-outputs")))
        return zorv::bench::runLongOutputsTable(bench) > 0 ? 1 : 0;
    const bool openingOnly = args.contains(QStringLiteral("--opening"));
    if (!args.contains(QStringLiteral("--large-scripts")) && !openingOnly) {
        failures += zorv::bench::runTimingTable(bench, cpuHoldSeconds);
        failures += zorv::bench::runGrowthTable(bench);
    }
    if (!openingOnly) {
        failures += zorv::bench::runLargeScriptTable(bench);
        failures += zorv::bench::runStalledSupplyTable(bench);
        failures += zorv::bench::runSlowLineTable(bench);
        failures += zorv::bench::runLongOutputsTable(bench);
    }
    failures += zorv::bench::runOpeningTable(bench);
    for (const QString& message : bench.messages())
        std::printf("message shown: %s\n", qPrintable(message));
    if (failures > 0)
        std::printf("\n%d measurement(s) failed.\n", failures);
    return failures > 0 ? 1 : 0;
}
