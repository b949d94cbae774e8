// The closing summary of the offscreen benchmarks: each run's wall time per iteration, and the
// goals printed as met or MISSED.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ms;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.iterations > 0 && !run.error_occurred)
                ms[run.benchmark_name()] = 1000.0 * run.real_accumulated_time / double(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    // -1 for a run that did not take place.
    double Ms(const char* name) const
    {
        const auto it = ms.find(std::string(name));
        return it == ms.end() ? -1.0 : it->second;
    }
};

inline void PrintGoal(const char* what, double value, const char* unit, double goal)
{
    std::printf("%-56s %10.2f %s  goal %6.1f %s  %s\n", what, value, unit, goal, unit,
                value >= 0 && value <= goal ? "met" : "MISSED");
}

inline void PrintRatio(const char* what, double ratio, double goal = 0)
{
    if (goal > 0)
        std::printf("%-56s %10.2f     goal %6.1f     %s\n", what, ratio, goal, ratio <= goal ? "met" : "MISSED");
    else
        std::printf("%-56s %10.2f\n", what, ratio);
}
