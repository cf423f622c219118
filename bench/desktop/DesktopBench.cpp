// Listing one bundle's running instances, as the app does every few seconds, on a
// machine with 500 other processes of the same user (the bar: 5 ms median).
#include "TwinLanternMac/apps/DesktopLauncher.h"
#include "core/base/FileUtil.h"
#include "platform/Workspace.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace twinlantern;

constexpr int otherProcesses = 500;
const std::string bundleID = "bench.desktop.instances";
// The same app with its program a link to the real one elsewhere, as Linux apps are put
// in bundles.
const std::string linkedID = "bench.desktop.linked";

std::string home;
std::vector<pid_t> children;

void copyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
}

void makeBundle(const std::string& bundle, const std::string& id, const std::string& program = {}) {
    for (const std::string& dir : {bundle, bundle + "/Contents", bundle + "/Contents/MacOS"}) {
        ::mkdir(dir.c_str(), 0755);
    }
    const std::string inside = bundle + "/Contents/MacOS/Fake";
    copyFile(TL_FAKE_APP, program.empty() ? inside : program);
    ::chmod((program.empty() ? inside : program).c_str(), 0755);
    if (!program.empty()) {
        if (::symlink(program.c_str(), inside.c_str()) != 0) {
            std::perror("symlink");
            std::exit(1);
        }
    }
    std::ofstream(bundle + "/Contents/Info.plist")
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>"
        << id << "</string><key>CFBundleExecutable</key><string>Fake</string></dict></plist>";
}

void startOthers() {
    char program[] = "/bin/sleep";
    char seconds[] = "600";
    char* argv[] = {program, seconds, nullptr};
    char* envp[] = {nullptr};
    for (int i = 0; i < otherProcesses; ++i) {
        pid_t pid = 0;
        if (::posix_spawn(&pid, program, nullptr, nullptr, argv, envp) == 0) {
            children.push_back(pid);
        }
    }
}

void stopOthers() {
    for (pid_t pid : children) {
        ::kill(pid, SIGKILL);
    }
    for (pid_t pid : children) {
        ::waitpid(pid, nullptr, 0);
    }
}

void BM_RunningInstances(benchmark::State& state, const std::string& id) {
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(Paths(home, home + "/Applications"), {});
    std::vector<double> samples;
    std::size_t found = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto instances = DesktopLauncher::runningInstances(*workspace, id);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        found = instances.size();
        samples.push_back(took.count());
        state.SetIterationTime(took.count() / 1000);
    }
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = samples.empty() ? 0 : samples[samples.size() / 2];
    state.counters["instances"] = static_cast<double>(found);
}
BENCHMARK_CAPTURE(BM_RunningInstances, inBundle, bundleID)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunningInstances, linkedProgram, linkedID)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/tl-bench-desktop.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        return 1;
    }
    home = pattern;
    ::mkdir((home + "/Applications").c_str(), 0755);
    makeBundle(home + "/Applications/Fake.app", bundleID);
    makeBundle(home + "/Applications/Linked.app", linkedID, home + "/fake-program");
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(Paths(home, home + "/Applications"), {});
    // Three instances of each: two profiles' and the default one.
    std::vector<pid_t> instances;
    for (const char* bundle : {"/Applications/Fake.app", "/Applications/Linked.app"}) {
        for (const char* folder : {"/tmp/p1", "/tmp/p2"}) {
            instances.push_back(
                workspace->open(home + bundle, {std::string("--user-data-dir=") + folder}, {}));
        }
        instances.push_back(workspace->open(home + bundle, {}, {}));
    }
    startOthers();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // every exec done

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    for (pid_t pid : instances) {
        ::kill(pid, SIGKILL);
    }
    stopOthers();
    removeTreeWithoutFollowing(home);
    return 0;
}
