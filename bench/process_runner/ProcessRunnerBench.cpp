// What one short child run costs: spawn, drain both pipes, reap.
#include "core/tools/ProcessRunner.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

using twinlantern::Environment;
using twinlantern::ProcessRunner::runSync;

const Environment environment{{"PATH", "/usr/bin:/bin"}};

void BM_RunTrue(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(runSync("/bin/true", {}, environment, 15));
    }
}
BENCHMARK(BM_RunTrue)->Unit(benchmark::kMillisecond);

// The floor: the same child started and reaped with nothing collected.
void BM_SpawnFloor(benchmark::State& state) {
    char program[] = "/bin/true";
    char* argv[] = {program, nullptr};
    char path[] = "PATH=/usr/bin:/bin";
    char* envp[] = {path, nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, program, nullptr, nullptr, argv, envp) == 0) {
            waitpid(pid, nullptr, 0);
        }
    }
}
BENCHMARK(BM_SpawnFloor)->Unit(benchmark::kMillisecond);

// Both streams at once, 1 MiB each.
void BM_RunTwoMebibytes(benchmark::State& state) {
    const std::vector<std::string> script = {
        "-c", "head -c 1048576 /dev/zero >&2 & head -c 1048576 /dev/zero; wait"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(runSync("/bin/sh", script, environment, 15));
    }
}
BENCHMARK(BM_RunTwoMebibytes)->Unit(benchmark::kMillisecond);

// A flood: 100 MB on each stream, of which 4 MiB each are kept. Peak resident memory
// of the whole program is reported; it stays near the two kept copies.
void BM_RunFloodBothStreams(benchmark::State& state) {
    const std::vector<std::string> script = {
        "-c", "head -c 100000000 /dev/zero >&2 & head -c 100000000 /dev/zero; wait"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(runSync("/bin/sh", script, environment, 60));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}
BENCHMARK(BM_RunFloodBothStreams)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
