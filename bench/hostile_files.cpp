#include "bench/BenchSupport.h"
#include "framework/Files.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <vector>

namespace zorv::bench {

using testing::writeFile;

namespace {

// `size` bytes of one kind of file: script lines, or what a file picked by
// mistake holds. The same bytes each run.
QByteArray fileOfKind(const char* kind, qsizetype size)
{
    const QByteArrayView name(kind);
    QByteArray bytes;
    if (name == "script lines") {
        bytes = longScript(static_cast<int>(size / 8)).toUtf8();
    } else if (name == "NUL bytes") {
        bytes = QByteArray(size, '\0');
    } else if (name == "one long line") {
        bytes.reserve(size + 8);
        while (bytes.size() < size)
            bytes.append("0.01,5;");
    } else {
        std::uint32_t state = 12345;
        bytes.resize(size);
        for (char& byte : bytes) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<char>(state >> 24);
        }
    }
    bytes.truncate(size);
    return bytes;
}

} // namespace

int runOpeningTable(Bench& bench)
{
    int failures = 0;
    PwrSupWindow& w = bench.window();
    const char* const kinds[] = {"script lines", "NUL bytes", "one long line", "random bytes"};
    constexpr int kRounds = 3;
    std::printf("## Opening files of every kind\n\n");
    std::printf("A file of each kind opened through \"%s\" as above, until the event loop is idle\n"
                "again: the median of %d rounds, each opening every kind once, so that the machine's load\n"
                "weighs on all kinds alike; ratio = against script lines of the same size.\n\n",
                w.openTextBtn->caption().toUtf8().constData(), kRounds);
    std::printf("| size | file | open (ms) | ratio |\n|---:|---|---:|---:|\n");
    double worst = 0;
    for (const qsizetype size : {qsizetype(4) << 20, files::kMaxTextFileSize}) {
        std::vector<std::vector<double>> times(std::size(kinds));
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t k = 0; k < std::size(kinds); ++k) {
                const QString path = bench.programFolder() + QStringLiteral("opened.bin");
                writeFile(path, fileOfKind(kinds[k], size));
                times[k].push_back(timedOpen(bench, path));
                if (w.myEditField->isEmpty() || !bench.messages().isEmpty())
                    ++failures;
            }
        }
        const double ordinary = statsOf(times[0]).median;
        for (std::size_t k = 0; k < std::size(kinds); ++k) {
            const double ms = statsOf(times[k]).median;
            worst = std::max(worst, ms / ordinary);
            std::printf("| %.0f MiB | %s | %.0f | x%.1f |\n", static_cast<double>(size) / (1 << 20), kinds[k], ms,
                        ms / ordinary);
        }
        std::fflush(stdout);
    }
    w.myEditField->setText(QString());
    Bench::settle();
    std::printf("\nGoal: no kind of file costs more than twice script lines of its size: %s (worst x%.1f).\n\n",
                worst <= 2.0 ? "met" : "NOT met", worst);
    return failures;
}

} // namespace zorv::bench
