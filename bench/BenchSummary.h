// The closing summary of a benchmark: each run's time per iteration, goals printed as met or MISSED,
// and the peak memory of the process.
#pragma once

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

class CSummaryReporter : public benchmark::ConsoleReporter {
public:
    // Seconds per iteration; -1 for a run that did not happen.
    double Seconds(const std::string& name) const
    {
        const auto it = m_seconds.find(name);
        return it == m_seconds.end() ? -1.0 : it->second;
    }
    // Milliseconds per iteration; -1 for a run that did not happen.
    double Ms(const std::string& name) const
    {
        const double s = Seconds(name);
        return s < 0 ? s : 1000.0 * s;
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.iterations > 0 && !run.error_occurred)
                m_seconds[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::map<std::string, double> m_seconds;
};

inline void PrintGoal(const char* what, double value, const char* unit, double goal)
{
    std::printf("%-58s %10.3f %-3s goal %.3f %s   %s\n", what, value, unit, goal, unit,
                value >= 0 && value <= goal ? "met" : "MISSED");
}

inline void PrintFigure(const char* what, double value, const char* unit)
{
    std::printf("%-58s %10.3f %s\n", what, value, unit);
}

inline void PrintRatio(const char* what, double ratio, double goal = 0)
{
    if (goal > 0)
        std::printf("%-58s %10.3f     goal %.3f     %s\n", what, ratio, goal, ratio <= goal ? "met" : "MISSED");
    else
        std::printf("%-58s %10.3f\n", what, ratio);
}

inline void PrintSkipped(const char* what, const char* reason)
{
    std::printf("%-58s skipped: %s\n", what, reason);
}

// A memory figure of this process's status ("VmHWM:", "VmRSS:"), in MB; -1 when unknown.
inline double StatusMb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atof(line.c_str() + field.size()) / 1024.0;
    return -1;
}

// The high-water mark of the resident memory.
inline double PeakResidentMb()
{
    return StatusMb("VmHWM:");
}

inline double PeakMemoryMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}
