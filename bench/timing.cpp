#include "bench/BenchSupport.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace zorv::bench {

namespace {

struct Timing {
    Stats error;      // ms
    double drift = 0; // ms
    int commands = 0;
    bool ok = false;
};

// Interval errors between consecutive script lines, and the drift of the
// last line against the script's own time (time 0 lies one set-up pause
// after the first output-init command).
Timing timingOf(const Plan& plan, const std::vector<Arrival>& a)
{
    Timing t;
    t.commands = static_cast<int>(a.size());
    if (static_cast<int>(a.size()) != plan.commands())
        return t;
    std::vector<double> errors;
    const int first = plan.setupCommands;
    for (int i = first + 1; i < plan.commands(); ++i) {
        const auto u = static_cast<std::size_t>(i);
        errors.push_back(nsToMs(static_cast<double>(a[u].at - a[u - 1].at)) - plan.periods[u]);
    }
    t.error = statsOf(errors);
    const double zero = static_cast<double>(a[3].at) + plan.delay * 1e6;
    t.drift = nsToMs(static_cast<double>(a.back().at) - zero) - plan.lineTimes.back() * 1000.0;
    t.ok = true;
    return t;
}

std::string ratio(double ours, double reference)
{
    if (std::fabs(reference) < 1e-4)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "x%.1f", ours / reference);
    return text;
}

std::string cell(double ours, double reference)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3f / %.3f (%s)", ours, reference, ratio(ours, reference).c_str());
    return text;
}

struct Case {
    const char* name;
    int lines;
    int holdMs;
};

} // namespace

int runTimingTable(Bench& bench, int cpuHoldSeconds)
{
    int failures = 0;
    const Case cases[] = {
        {"hold 1 ms", 500, 1},
        {"hold 10 ms", 200, 10},
        {"hold 100 ms", 30, 100},
        {"hold 2 s", 4, 2000},
        {"1,000 lines at 10 ms", 1000, 10},
    };
    std::printf("## Timing of runs\n\n");
    std::printf("Interval error = arrival - previous arrival - armed period, between consecutive script\n"
                "lines; drift = last line's arrival - (script time 0 + t(N) x U). All in ms,\n"
                "each cell \"ZORV / reference (ratio)\".\n\n");
    std::printf("| run | lines | error median | error p99 | error max | error min | drift of last line |\n");
    std::printf("|---|---:|---|---|---|---|---|\n");
    bool goalsMet = true;
    double worstDrift = 0;
    for (const Case& c : cases) {
        const QString script = evenScript(c.lines, c.holdMs);
        const Plan plan = planFor(script, Bench::kDelay);
        const int timeoutMs = 10000 + c.lines * (c.holdMs + 5) * 2;
        const Bench::Played played = bench.play(script, plan.commands(), timeoutMs);
        const Timing ours = timingOf(plan, played.arrivals);
        if (!ours.ok || !played.ended) {
            std::printf("| %s | %d | run failed: %d of %d commands, ended: %s | | | | |\n", c.name, c.lines,
                        ours.commands, plan.commands(), played.ended ? "yes" : "no");
            ++failures;
            continue;
        }
        const Timing ref = timingOf(plan, bench.playReference(played.arrivals, plan));
        std::printf("| %s | %d | %s | %s | %s | %s | %s |\n", c.name, c.lines,
                    cell(ours.error.median, ref.error.median).c_str(), cell(ours.error.p99, ref.error.p99).c_str(),
                    cell(ours.error.max, ref.error.max).c_str(), cell(ours.error.min, ref.error.min).c_str(),
                    cell(ours.drift, ref.drift).c_str());
        std::fflush(stdout);
        goalsMet = goalsMet && ours.error.median <= 0.1 && ours.error.max <= 1.0;
        if (c.lines == 1000)
            worstDrift = ours.drift;
    }
    std::printf("\nGoals: interval error median <= 0.1 ms and max <= 1 ms at every hold: %s; "
                "drift of the 1,000-line run <= 50 ms: %s (%.3f ms).\n\n",
                goalsMet ? "met" : "NOT met", std::fabs(worstDrift) <= 50 ? "met" : "NOT met", worstDrift);

    // CPU during a long hold: the line's hold is all waiting.
    const QString script = QStringLiteral("0,1\r%1,2").arg(cpuHoldSeconds);
    const Plan plan = planFor(script, Bench::kDelay);
    const Bench::Played played = bench.play(script, plan.commands(), cpuHoldSeconds * 1000 + 10000);
    if (static_cast<int>(played.arrivals.size()) == plan.commands()) {
        const auto& a = played.arrivals;
        const double oursCpu = nsToMs(static_cast<double>(a.back().cpu - a[a.size() - 2].cpu));
        const double oursWall = nsToMs(static_cast<double>(a.back().at - a[a.size() - 2].at));
        const std::vector<Arrival> r = bench.playReference(a, plan);
        const double refCpu = r.size() == a.size() ? nsToMs(static_cast<double>(r.back().cpu - r[r.size() - 2].cpu)) : -1;
        std::printf("CPU time during a %d s hold (whole process, all threads, the recording thread included): "
                    "ZORV %.3f ms (%.4f %% of one core), reference %.3f ms.\n\n",
                    cpuHoldSeconds, oursCpu, 100.0 * oursCpu / oursWall, refCpu);
    } else {
        std::printf("CPU hold run failed: %zu of %d commands.\n\n", played.arrivals.size(), plan.commands());
        ++failures;
    }
    return failures;
}

} // namespace zorv::bench
