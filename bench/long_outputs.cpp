#include "bench/BenchSupport.h"
#include "framework/Files.h"
#include "supply/DeviceDescription.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace zorv::bench {

using testing::peakMemory;
using testing::pointerEnters;
using testing::resetPeakMemory;
using testing::writeFile;

int runLongOutputsTable(Bench& bench)
{
    int failures = 0;
    PwrSupWindow& w = bench.window();
    const qint64 size = files::kMaxTextFileSize;
    qint64 commas = 0;
    writeFile(bench.programFolder() + QStringLiteral("ZORV dep files/Outputs.dep"),
              testing::longOutputsDescription(size, &commas));

    constexpr int kRounds = 3;
    std::vector<double> load, reload, opened;
    qint64 grown = 0;
    for (int round = 0; round < kRounds; ++round) {
        bench.chooseModel(QStringLiteral("Bench"));
        Bench::settle();
        resetPeakMemory();
        const qint64 before = peakMemory();
        load.push_back(bench.chooseModel(QStringLiteral("Outputs")));
        QElapsedTimer clock;
        clock.start();
        pointerEnters(w.PPSpopup);
        reload.push_back(msSince(clock));
        clock.restart();
        w.OutNumberPopup->showPopup();
        QCoreApplication::processEvents();
        opened.push_back(msSince(clock));
        w.OutNumberPopup->hidePopup();
        grown = std::max(grown, peakMemory() - before);
        if (w.OutNumberPopup->listCount() != kMaxOutputRows || before < 0)
            ++failures;
    }

    std::printf("## A description with a long output list\n\n");
    std::printf("A description of %.0f MiB, the size limit, whose output list is one line of commas\n"
                "(%lld outputs), of which the list shows the first %d: the model chosen, chosen again as the\n"
                "pointer enters \"Power Supply Model:\", and \"Output number:\" opened; the median of %d\n"
                "rounds in ms, and the most memory the process took on above what it held before.\n\n",
                static_cast<double>(size) / (1 << 20), static_cast<long long>(commas) + 1,
                kMaxOutputRows, kRounds);
    std::printf("| load (ms) | load again (ms) | open the list (ms) | memory (MiB) | memory / file size |\n"
                "|---:|---:|---:|---:|---:|\n");
    std::printf("| %.0f | %.0f | %.1f | %.0f | x%.1f |\n\n", statsOf(load).median, statsOf(reload).median,
                statsOf(opened).median, static_cast<double>(grown) / (1 << 20),
                static_cast<double>(grown) / static_cast<double>(size));
    const double perMiB = statsOf(load).median / (static_cast<double>(size) / (1 << 20));
    std::printf("Goal: a load takes under 100 ms per MiB and less memory than six times the file's size:\n"
                "%s (%.1f ms per MiB, x%.1f).\n\n",
                perMiB < 100 && grown < 6 * size ? "met" : "NOT met", perMiB,
                static_cast<double>(grown) / static_cast<double>(size));
    bench.chooseModel(QStringLiteral("Bench"));
    std::fflush(stdout);
    return failures;
}

} // namespace zorv::bench
