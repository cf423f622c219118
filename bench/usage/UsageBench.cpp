// Usage totals over a generated log set: cold throughput (files in page cache, empty
// cache), nothing changed, one line appended, the cache's size and peak memory, on
// the standard set and on one where nearly every line carries usage.
#include "bench/usage/GenerateLogs.h"
#include "core/usage/LocalLogUsageProvider.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace twinlantern;
using Provider = LocalLogUsageProvider;

namespace {

struct Sample {
    double wall = 0; // seconds
    double cpu = 0;  // user + system seconds, all threads
};

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6;
    };
    return s(u.ru_utime) + s(u.ru_stime);
}

long statusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stol(line.substr(std::strlen(key) + 1));
        }
    }
    return -1;
}

template <typename F> Sample measure(F&& f) {
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const auto t1 = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(t1 - t0).count(), cpuSeconds() - cpu0};
}

Sample median(std::vector<Sample> samples) {
    std::sort(samples.begin(), samples.end(), [](auto& a, auto& b) { return a.wall < b.wall; });
    return samples[samples.size() / 2];
}

// Reads every file once so that all of them are in the page cache.
void warmPageCache(const std::vector<Provider::LogFile>& files) {
    std::vector<char> buffer(1 << 20);
    for (const auto& f : files) {
        int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
        while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

struct Set {
    const char* name;
    ToolKind tool;
    std::string logFolder; // the folder the provider lists
};

void appendLine(const std::string& path, const std::string& line) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        (void)!::write(fd, line.data(), line.size());
        ::close(fd);
    }
}

std::string claudeUsageLine() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S.000Z", &tm);
    return std::string(R"({"sessionId":"appended","message":{"id":"msg_appended)") +
           std::to_string(t) +
           R"(","usage":{"input_tokens":5,"output_tokens":7}},"requestId":"r","timestamp":")" +
           stamp + "\"}\n";
}

// Peak resident memory counts from here on; what earlier sets freed is given back first.
void resetPeak() {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string exact(const std::vector<ActivitySummary>& totals) {
    std::string text;
    for (const ActivitySummary& t : totals) {
        const std::int64_t counts[] = {t.sessions, t.inputTokens, t.outputTokens, t.cacheTokens};
        for (std::size_t i = 0; i < std::size(counts); ++i) {
            text.append(i == 0 ? " " : "/").append(std::to_string(counts[i]));
        }
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "generate") == 0) {
        bench::generateLogs(argv[2]);
        bench::generateDenseLogs(argv[2], "dense100", 200, std::size_t{100} << 20);
        bench::generateDenseLogs(argv[2], "dense", 500, std::size_t{1} << 30);
        return 0;
    }
    if (argc != 3 || std::strcmp(argv[1], "measure") != 0) {
        std::fprintf(stderr, "usage: usage_bench generate|measure <folder>\n");
        return 2;
    }
    const std::string folder = argv[2];
    const Profile profile(ProfileID("bench"), "Bench", ProfileColor::blue, std::nullopt,
                          {ToolKind::claudeCode, ToolKind::codex}, Profile::Storage::system);
    const std::vector<double> windows{fiveHours, sevenDays};
    const long baseline = statusKiB("VmRSS:");
    std::vector<std::string> outside;
    auto bar = [&](bool within, const std::string& what) {
        if (!within) {
            outside.push_back(what);
        }
    };

    const Set sets[] = {
        {"claude 1 GiB", ToolKind::claudeCode, folder + "/claude/projects"},
        {"codex", ToolKind::codex, folder + "/codex/sessions"},
        {"claude 2,000 files", ToolKind::claudeCode, folder + "/many/projects"},
        {"claude 100 MiB, usage on nearly every line", ToolKind::claudeCode,
         folder + "/dense100/projects"},
        {"claude 1 GiB, usage on nearly every line", ToolKind::claudeCode,
         folder + "/dense/projects"},
    };
    long standardPeak = 0;
    for (const Set& set : sets) {
        const bool dense = set.logFolder.ends_with("dense/projects");
        const std::string root = set.logFolder.substr(0, set.logFolder.rfind('/'));
        Environment env{{"CLAUDE_CONFIG_DIR", root}, {"CODEX_HOME", root}};
        const Instant now = std::chrono::system_clock::now();
        const Instant cutoff = now - std::chrono::seconds(static_cast<long>(sevenDays));
        const auto recent = Provider::recentLogFiles(set.logFolder, cutoff);
        const auto all = Provider::recentLogFiles(set.logFolder, Instant::min());
        std::int64_t bytes = 0, allBytes = 0;
        for (const auto& f : recent) {
            bytes += f.size;
        }
        for (const auto& f : all) {
            allBytes += f.size;
        }
        warmPageCache(recent);

        std::vector<ActivitySummary> totals;
        std::vector<Sample> cold;
        for (int i = 0; i < 5; ++i) {
            Provider provider(Paths(folder, folder + "/Applications"), env,
                              std::make_shared<Provider::EventCache>());
            cold.push_back(
                measure([&] { totals = provider.activities(profile, set.tool, windows, now); }));
        }
        // One reader thread must come to the same totals.
        const std::vector<ActivitySummary> single =
            Provider(Paths(folder, folder + "/Applications"), env,
                     std::make_shared<Provider::EventCache>(Provider::Reading{1}))
                .activities(profile, set.tool, windows, now);
        // The peak on the dense set is that of the cache the app would keep: its first
        // call and those after it.
        if (dense) {
            resetPeak();
        }
        auto cache = std::make_shared<Provider::EventCache>();
        Provider provider(Paths(folder, folder + "/Applications"), env, cache);
        provider.activities(profile, set.tool, windows, now);
        std::vector<Sample> unchanged;
        for (int i = 0; i < 51; ++i) {
            unchanged.push_back(
                measure([&] { provider.activities(profile, set.tool, windows, now); }));
        }
        const Provider::EventCache::Footprint footprint = cache->footprint();
        const double perRecord =
            footprint.records > 0 ? static_cast<double>(footprint.bytes) / footprint.records : 0;
        const Sample c = median(cold), u = median(unchanged);
        std::printf("%s: %zu files (%zu listed, %.0f MiB of %.0f MiB recent)\n", set.name,
                    all.size(), recent.size(), bytes / 1048576.0, allBytes / 1048576.0);
        std::printf("  totals 7 days: %s; 5 hours: %s\n", totals[1].summary().c_str(),
                    totals[0].summary().c_str());
        std::printf(
            "  exact (sessions/input/output/cache, 5 hours and 7 days):%s; one reader: %s\n",
            exact(totals).c_str(), totals == single ? "the same" : exact(single).c_str());
        std::printf("  cold, empty cache:   %7.1f ms wall  %7.1f ms cpu  %5.2f GiB/s\n",
                    c.wall * 1e3, c.cpu * 1e3, bytes / c.wall / (1 << 30));
        std::printf("  nothing changed:     %7.2f ms wall  %7.2f ms cpu\n", u.wall * 1e3,
                    u.cpu * 1e3);
        std::printf("  cache: %zu records, %.1f MiB, %.1f bytes per record\n", footprint.records,
                    footprint.bytes / 1048576.0, perRecord);
        bar(totals == single, std::string(set.name) + ": one reader differs");

        if (set.tool == ToolKind::claudeCode) {
            // One line appended to the smallest and to the largest recent file.
            auto [small, large] = std::minmax_element(
                recent.begin(), recent.end(), [](auto& a, auto& b) { return a.size < b.size; });
            for (const auto* file : {&*small, &*large}) {
                std::vector<Sample> appended;
                for (int i = 0; i < 3; ++i) {
                    appendLine(file->path, claudeUsageLine());
                    appended.push_back(
                        measure([&] { provider.activities(profile, set.tool, windows, now); }));
                }
                std::printf("  line appended (%4.0f MiB file): %7.1f ms wall  %7.1f ms cpu\n",
                            file->size / 1048576.0, median(appended).wall * 1e3,
                            median(appended).cpu * 1e3);
            }
        }
        if (set.logFolder.ends_with("claude/projects")) {
            bar(c.wall <= 0.3 && c.cpu <= 0.4, "claude 1 GiB cold: 0.3 s wall, 0.4 s cpu");
        }
        // Nothing changed: 2 ms up to about 100,000 records.
        if (set.tool == ToolKind::claudeCode && footprint.records <= 100000) {
            bar(u.wall <= 0.002, std::string(set.name) + " nothing changed: 2 ms");
        }
        if (dense) {
            bar(perRecord <= 64, "dense: 64 bytes per cached record");
            const long peak = statusKiB("VmHWM:");
            std::printf("  memory: peak resident %.1f MiB\n", peak / 1024.0);
            bar(peak < 100 * 1024, "dense: 100 MiB resident");
        } else {
            standardPeak = statusKiB("VmHWM:");
        }
    }
    std::printf("memory on the standard sets: peak resident %.1f MiB, %.1f MiB above the %.1f MiB "
                "at start (no file is mapped)\n",
                standardPeak / 1024.0, (standardPeak - baseline) / 1024.0, baseline / 1024.0);
    bar(standardPeak - baseline < 64 * 1024, "standard sets: 64 MiB above start");
    if (outside.empty()) {
        std::printf("within the bars\n");
    } else {
        for (const std::string& what : outside) {
            std::printf("OUTSIDE the bar: %s\n", what.c_str());
        }
    }
    return 0;
}
