// A received attachment whose one entry is 2 GiB of zeros (2 MB on the wire): how long the mail
// receiver takes to refuse it and how many bytes it writes meanwhile, beside a sound 16 MiB entry.
#include "BenchSummary.h"
#include "ZipBomb.h"

#include "MailFiles.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path g_dir;

// Bytes this process has handed to write() so far.
double WrittenMb()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    unsigned long long value = 0;
    while (io >> key >> value)
        if (key == "wchar:")
            return double(value) / 1048576.0;
    return -1;
}

std::string Archive(const char* name, uint32_t mib, uint32_t declared = 0)
{
    const fs::path path = g_dir / name;
    if (!fs::exists(path)) {
        std::ofstream out(path, std::ios::binary);
        out << ZeroBombArchive("data.xml", mib, declared);
    }
    return path.string();
}

enum class Outcome { Extracted, Kept, Refused };

// The attachment saved into an empty import folder and unpacked as the mail receiver does: its
// entry extracted, the attachment kept for the hand-over (no archive), or refused. `writtenMb`:
// what the unpacking handed to write().
Outcome Extract(const std::string& zip, double* writtenMb = nullptr)
{
    const fs::path out = g_dir / "out";
    fs::remove_all(out);
    fs::create_directory(out);
    const fs::path saved = out / "attachment.zip";
    fs::copy_file(zip, saved);
    const double before = WrittenMb();
    std::string refusal;
    const std::string path = UnpackAttachment(saved.string(), out.string(), refusal);
    if (writtenMb)
        *writtenMb = WrittenMb() - before;
    return path.empty() ? Outcome::Refused : path == saved.string() ? Outcome::Kept : Outcome::Extracted;
}

struct CRefusal {
    double writtenMb = -1, leftMb = -1;
};
CRefusal g_bomb, g_lying;

// The entry not extracted, as `expected`: what was written meanwhile and what stayed of it.
void Refuse(benchmark::State& state, const std::string& zip, Outcome expected, CRefusal& refusal)
{
    for (auto _ : state) {
        if (Extract(zip, &refusal.writtenMb) != expected)
            state.SkipWithError("the archive was not refused as expected");
        refusal.leftMb = 0;
        for (const auto& entry : fs::recursive_directory_iterator(g_dir / "out"))
            if (entry.is_regular_file())
                refusal.leftMb += double(entry.file_size()) / 1048576.0;
    }
}

void BM_RefuseBomb(benchmark::State& state)
{
    Refuse(state, Archive("bomb.zip", 2048), Outcome::Refused, g_bomb);
}

// Headers that claim 16 MiB: the reader writes as far as they say, finds the rest, and refuses the
// archive whole.
void BM_RefuseLyingBomb(benchmark::State& state)
{
    Refuse(state, Archive("lying.zip", 2048, 16u << 20), Outcome::Refused, g_lying);
}

void BM_ExtractSound(benchmark::State& state)
{
    const std::string zip = Archive("sound.zip", 16);
    for (auto _ : state)
        if (Extract(zip) != Outcome::Extracted)
            state.SkipWithError("the sound archive was refused");
}

} // namespace

BENCHMARK(BM_RefuseBomb)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RefuseLyingBomb)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExtractSound)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    g_dir = fs::temp_directory_path() / ("bench_zip_bomb-" + std::to_string(::getpid()));
    fs::create_directories(g_dir);
    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\nSummary (a 2 GiB entry of zeros in a %.1f MB attachment)\n",
                double(fs::file_size(g_dir / "bomb.zip")) / 1048576.0);
    const struct {
        const char* what;
        const char* run;
        const CRefusal& refusal;
    } rows[] = {{"true sizes in the headers", "BM_RefuseBomb/iterations:3", g_bomb},
                {"headers claiming 16 MiB", "BM_RefuseLyingBomb/iterations:3", g_lying}};
    for (const auto& r : rows) {
        const std::string what = r.what;
        PrintGoal((what + ": refused").c_str(), reporter.Seconds(r.run), "s", 1.0);
        PrintGoal((what + ": written before the refusal").c_str(), r.refusal.writtenMb, "MB", 100.0);
        PrintGoal((what + ": left on disk after it").c_str(), r.refusal.leftMb, "MB", 0.0);
    }
    PrintFigure("a sound 16 MiB entry extracted", reporter.Seconds("BM_ExtractSound/iterations:3"), "s");
    PrintFigure("peak memory (ru_maxrss)", PeakMemoryMb(), "MB");
    fs::remove_all(g_dir);
    return 0;
}
