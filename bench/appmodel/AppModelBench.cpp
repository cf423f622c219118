// The 5-second tick's work on main: which of 20 profiles' instances run, with 20
// instances of each desktop app (the bar: 5 ms median). And importing a large export
// on main, from the file's bytes to the reloaded model (the bar: 0.5 s).
#include "TwinLanternApp/model/AppModel.h"
#include "TwinLanternApp/model/SystemClock.h"

#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "core/base/FileUtil.h"
#include "core/profiles/ProfileStore.h"
#include "platform/PollMainLoop.h"
#include "platform/Workspace.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace twinlantern;

constexpr int profileCount = 20;

// refreshRunning is synchronous; this only has to exist.
class BenchScheduler final : public app::Scheduler {
public:
    void post(Callback callback) override { loop_.post(std::move(callback)); }
    Handle postAfter(Duration delay, Callback callback) override {
        return loop_.postAfter(delay, std::move(callback));
    }
    Handle watchReadable(int fd, Callback callback) override {
        return loop_.watchReadable(fd, std::move(callback));
    }
    bool onLoopThread() const override { return loop_.onLoopThread(); }
    const app::Clock& clock() const override { return clock_; }

protected:
    void runOnWorker(std::function<void()> work) override { std::thread(std::move(work)).detach(); }

private:
    platform::PollMainLoop loop_;
    app::SystemClock clock_;
};

std::string home;
std::unique_ptr<app::AppModel> model;

void makeBundle(const std::string& bundle, const std::string& bundleID) {
    for (const std::string& dir : {bundle, bundle + "/Contents", bundle + "/Contents/MacOS"}) {
        ::mkdir(dir.c_str(), 0755);
    }
    {
        std::ifstream in(TL_FAKE_APP, std::ios::binary);
        std::ofstream out(bundle + "/Contents/MacOS/Fake", std::ios::binary);
        out << in.rdbuf();
    }
    ::chmod((bundle + "/Contents/MacOS/Fake").c_str(), 0755);
    std::ofstream(bundle + "/Contents/Info.plist")
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>"
        << bundleID << "</string><key>CFBundleExecutable</key><string>Fake</string></dict></plist>";
}

void BM_RefreshRunning(benchmark::State& state) {
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        model->refreshRunning();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        samples.push_back(took.count());
        state.SetIterationTime(took.count() / 1000);
    }
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = samples.empty() ? 0 : samples[samples.size() / 2];
    std::size_t running = 0;
    for (const auto& [kind, ids] : model->runningApps()) {
        running += ids.size();
    }
    state.counters["running"] = static_cast<double>(running);
}
BENCHMARK(BM_RefreshRunning)->UseManualTime()->Unit(benchmark::kMillisecond);

// An export with `profiles` new profiles (each using Claude Code) and `rules` rules
// spread over them, imported over a profiles file holding two profiles.
void BM_Import(benchmark::State& state) {
    const auto profiles = static_cast<std::size_t>(state.range(0));
    const auto rules = static_cast<std::size_t>(state.range(1));
    ProfileDocument file;
    for (std::size_t i = 0; i < profiles; ++i) {
        const std::string n = std::to_string(i);
        file.profiles.emplace_back(ProfileID("imported-" + n), "Imported " + n, ProfileColor::green,
                                   std::nullopt, std::vector<ToolKind>{ToolKind::claudeCode},
                                   Profile::Storage::managed);
    }
    for (std::size_t i = 0; i < rules; ++i) {
        file.rules.emplace_back("~/src/project-" + std::to_string(i) + "/**",
                                file.profiles[i % profiles].id);
    }
    const std::string bytes = nlohmann::json(file).dump(2);

    char pattern[] = "/tmp/tl-bench-import.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string importHome = pattern;
    const Paths paths(importHome, importHome + "/Applications");
    ProfileDocument existing;
    for (const char* id : {"work", "home"}) {
        existing.profiles.emplace_back(ProfileID(id), id, ProfileColor::blue, std::nullopt,
                                       std::vector<ToolKind>{ToolKind::claudeCode},
                                       Profile::Storage::managed);
    }
    BenchScheduler scheduler;
    app::AppModel importer(paths, std::nullopt, false,
                           app::AppServices{&scheduler, {{"PATH", "/usr/bin:/bin"}}, ""});
    std::size_t savedBytes = 0;
    bool saved = false;
    std::vector<double> samples;
    for (auto _ : state) {
        state.PauseTiming();
        ProfileStore(paths).update([&](ProfileDocument& d) { d = existing; });
        importer.reload();
        importer.setAlert(std::nullopt);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const std::string message = importer.importData(bytes);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        samples.push_back(took.count());
        state.SetIterationTime(took.count() / 1000);
        saved = !message.empty();
        savedBytes = readWholeFile(paths.profilesFile(), SIZE_MAX).bytes.value_or("").size();
    }
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = samples.empty() ? 0 : samples[samples.size() / 2];
    state.counters["max_ms"] = samples.empty() ? 0 : samples.back();
    state.counters["saved"] = saved ? 1 : 0; // 0: past the store's limit, refused
    state.counters["file_MB"] = static_cast<double>(savedBytes) / 1e6;
    removeTreeWithoutFollowing(importHome);
}
BENCHMARK(BM_Import)
    ->Args({1000, 40000})
    ->Args({25000, 0})
    ->Args({25000, 40000})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/tl-bench-appmodel.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        return 1;
    }
    home = pattern;
    const Paths paths(home, home + "/Applications");
    ::mkdir(paths.applicationsDirectory.c_str(), 0755);
    const std::vector<std::pair<ToolKind, std::string>> apps = {
        {ToolKind::claudeDesktop, DesktopInstall::bundleID},
        {ToolKind::chatGPTApp, ChatGPTAppAdapter::appBundleID}};
    makeBundle(paths.applicationsDirectory + "/Claude.app", apps[0].second);
    makeBundle(paths.applicationsDirectory + "/ChatGPT.app", apps[1].second);

    ProfileDocument document;
    for (int i = 0; i < profileCount; ++i) {
        const std::string id = "bench-" + std::to_string(i);
        document.profiles.emplace_back(
            ProfileID(id), "Bench " + std::to_string(i), ProfileColor::blue, std::nullopt,
            std::vector<ToolKind>{ToolKind::claudeDesktop, ToolKind::chatGPTApp},
            Profile::Storage::managed);
    }
    makeDirectories(paths.supportDirectory(), 0700);
    std::ofstream(paths.profilesFile()) << nlohmann::json(document).dump();

    const std::unique_ptr<platform::Workspace> workspace = platform::makeWorkspace(paths, {});
    std::vector<pid_t> instances;
    for (const auto& [kind, bundleID] : apps) {
        const std::string bundle =
            paths.applicationsDirectory +
            (kind == ToolKind::claudeDesktop ? "/Claude.app" : "/ChatGPT.app");
        for (const auto& profile : document.profiles) {
            const std::string folder = paths.dataDirectory(kind, profile.id).value();
            makeDirectories(folder, 0700);
            instances.push_back(workspace->open(bundle, {"--user-data-dir=" + folder}, {}));
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // every exec done

    BenchScheduler scheduler;
    model = std::make_unique<app::AppModel>(
        paths, std::nullopt, false, app::AppServices{&scheduler, {{"PATH", "/usr/bin:/bin"}}, ""});

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    model.reset();
    for (pid_t pid : instances) {
        ::kill(pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    removeTreeWithoutFollowing(home);
    return 0;
}
