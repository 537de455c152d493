#include "bench/BenchSupport.h"

#include "framework/Files.h"

#include <QDir>

#include <cstdio>

namespace zorv::bench {

using testing::writeFile;

int runGrowthTable(Bench& bench)
{
    int failures = 0;
    bench.chooseModel(QStringLiteral("Fast"));
    std::printf("## Growth\n\n");
    std::printf("Scripts whose lines all have time 0 (every period 0), model with no set-up pause, at 230400 bit/s.\n"
                "Start check = the Start press (range check of every line, port set-up, arming); run = first to\n"
                "last voltage command as they arrive, which the line's rate sets; CPU per tick = the process's CPU\n"
                "time over the run (all threads) per voltage command.\n\n");
    std::printf("| script lines | put in text area (ms) | Start check (ms) | per line (us) | run (ms) | CPU per tick (us) |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|\n");
    for (int lines = 1000; lines <= 100000; lines *= 10) {
        QStringList rows;
        for (int k = 0; k < lines; ++k)
            rows << QStringLiteral("0,%1").arg(1 + k % 10);
        const QString script = rows.join(u'\r');
        const Plan plan = planFor(script, 0);
        const Bench::Played played = bench.play(script, plan.commands(), 120000);
        const auto& a = played.arrivals;
        if (!played.complete(plan.commands())) {
            std::printf("| %d | run failed: %zu of %d commands | | | | |\n", lines, a.size(), plan.commands());
            ++failures;
            continue;
        }
        const Arrival& first = a[static_cast<std::size_t>(plan.setupCommands)];
        const double runMs = nsToMs(static_cast<double>(a.back().at - first.at));
        const double cpuMs = nsToMs(static_cast<double>(a.back().cpu - first.cpu));
        std::printf("| %d | %.1f | %.2f | %.3f | %.1f | %.2f |\n", lines, played.setTextMs, played.startMs,
                    played.startMs * 1000.0 / lines, runMs, cpuMs * 1000.0 / (lines - 1));
        std::fflush(stdout);
    }

    std::printf("\nModel list: the list rebuilt from a folder of n description files (and n/10 other files).\n\n");
    std::printf("| files | rebuild (ms) | per file (us) |\n|---:|---:|---:|\n");
    for (int files = 10; files <= 10000; files *= 10) {
        const QString folder = bench.programFolder() + QStringLiteral("list%1/").arg(files);
        QDir().mkpath(folder + QStringLiteral("ZORV dep files"));
        for (int i = 0; i < files; ++i)
            writeFile(folder + QStringLiteral("ZORV dep files/Model %1.dep").arg(i, 5, 10, QLatin1Char('0')), "x\n");
        for (int i = 0; i < files / 10; ++i)
            writeFile(folder + QStringLiteral("ZORV dep files/notes %1.txt").arg(i), "x\n");
        zorv::files::setProgramFolderForTesting(folder);
        QElapsedTimer clock;
        clock.start();
        bench.window().PPSpopup_Open();
        const double ms = msSince(clock);
        if (bench.window().PPSpopup->listCount() != files)
            ++failures;
        std::printf("| %d | %.2f | %.2f |\n", files, ms, ms * 1000.0 / files);
        std::fflush(stdout);
    }
    zorv::files::setProgramFolderForTesting(bench.programFolder());

    std::printf("\nLoading a description whose description section holds n bytes of free text (lines of 100).\n\n");
    std::printf("| free text | load (ms) |\n|---:|---:|\n");
    for (int bytes = 1000; bytes <= 1000000; bytes *= 10) {
        const QString name = QStringLiteral("Text %1").arg(bytes);
        QString text;
        text.reserve(bytes);
        for (int i = 0; i < bytes; ++i)
            text.append(QChar(u'a' + i % 26));
        BenchDescription description;
        description.delayMs = 0;
        description.freeText = text;
        bench.addModel(name, description);
        const double ms = bench.chooseModel(name);
        if (bench.window().PSDescription.size() != bytes)
            ++failures;
        std::printf("| %d bytes | %.2f |\n", bytes, ms);
        std::fflush(stdout);
    }
    std::printf("\n");
    return failures;
}

} // namespace zorv::bench
