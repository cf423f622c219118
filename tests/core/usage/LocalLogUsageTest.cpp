#include "core/usage/LocalLogUsageProvider.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <set>
#include <thread>

using namespace twinlantern;
using namespace twinlantern::testing;
using namespace std::chrono_literals;
using Provider = LocalLogUsageProvider;

namespace {

Instant secondsAgo(Instant now, std::int64_t s) {
    return now - std::chrono::seconds(s);
}

std::string iso(Instant t) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    ::gmtime_r(&seconds, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &tm);
    return std::string(buffer) + ".000Z";
}

// A fixed now, whole seconds, close to the real clock so fresh files are recent.
Instant fixedNow() {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()) + 1h;
}

struct Claude {
    Instant date;
    std::optional<std::string> session = "s1";
    std::optional<std::string> message = std::nullopt;
    std::optional<std::string> request = std::nullopt;
    nlohmann::json input = 10;
    nlohmann::json output = 20;
    std::int64_t cacheCreation = 0;
    std::int64_t cacheRead = 0;
};

std::string claudeLine(const Claude& c) {
    nlohmann::json usage{{"input_tokens", c.input},
                         {"output_tokens", c.output},
                         {"cache_creation_input_tokens", c.cacheCreation},
                         {"cache_read_input_tokens", c.cacheRead}};
    nlohmann::json message{
        {"role", "assistant"}, {"content", {{{"type", "text"}, {"text", "hi"}}}}, {"usage", usage}};
    if (c.message) {
        message["id"] = *c.message;
    }
    nlohmann::json line{{"type", "assistant"}, {"timestamp", iso(c.date)}, {"message", message}};
    if (c.session) {
        line["sessionId"] = *c.session;
    }
    if (c.request) {
        line["requestId"] = *c.request;
    }
    return line.dump() + "\n";
}

std::string codexLine(Instant date, std::int64_t input, std::int64_t cached, std::int64_t output,
                      std::optional<std::int64_t> total = std::nullopt) {
    nlohmann::json info{
        {"last_token_usage",
         {{"input_tokens", input}, {"cached_input_tokens", cached}, {"output_tokens", output}}}};
    if (total) {
        info["total_token_usage"] = {{"total_tokens", *total}};
    }
    nlohmann::json line{{"timestamp", iso(date)},
                        {"type", "event_msg"},
                        {"payload", {{"type", "token_count"}, {"info", info}}}};
    return line.dump() + "\n";
}

void setMtime(const std::string& path, Instant t) {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    timespec times[2] = {{ns / 1000000000, ns % 1000000000}, {ns / 1000000000, ns % 1000000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

Profile profileWith(Profile::Storage storage,
                    std::vector<ToolKind> tools = {ToolKind::claudeCode, ToolKind::codex}) {
    return Profile(ProfileID("work-ab12"), "Work", ProfileColor::blue, std::nullopt,
                   std::move(tools), storage);
}

struct Fixture {
    TempHome home;
    Environment environment;
    std::shared_ptr<Provider::EventCache> cache = std::make_shared<Provider::EventCache>();
    Instant now = fixedNow();

    Provider provider() const { return Provider(home.paths, environment, cache); }
    std::string claudeRoot() const { return home.home() + "/.claude/projects"; }
    std::string codexRoot() const { return home.home() + "/.codex/sessions"; }

    std::vector<ActivitySummary> totals(ToolKind tool,
                                        std::vector<double> windows = {fiveHours, sevenDays},
                                        Profile::Storage storage = Profile::Storage::system) const {
        return provider().activities(profileWith(storage), tool, windows, now);
    }
};

ActivitySummary summary(ToolKind tool, double window, std::int64_t sessions, std::int64_t input,
                        std::int64_t output, std::int64_t cache) {
    return {tool, window, sessions, input, output, cache};
}

} // namespace

TEST(LocalLogUsage, LogRootsPerToolAndStorage) {
    Fixture f;
    const std::string support = f.home.home() + "/Library/Application Support/TwinLantern";
    Provider plain(f.home.paths, {}, f.cache);
    Provider configured(f.home.paths,
                        {{"CLAUDE_CONFIG_DIR", "/elsewhere/claude"}, {"CODEX_HOME", ""}}, f.cache);
    const Profile system = profileWith(Profile::Storage::system);
    const Profile managed = profileWith(Profile::Storage::managed);
    EXPECT_EQ(plain.logRoot(system, ToolKind::claudeCode), f.home.home() + "/.claude");
    EXPECT_EQ(plain.logRoot(system, ToolKind::codex), f.home.home() + "/.codex");
    EXPECT_EQ(configured.logRoot(system, ToolKind::claudeCode), "/elsewhere/claude");
    EXPECT_EQ(configured.logRoot(system, ToolKind::codex), ""); // taken unchanged, even empty
    EXPECT_EQ(configured.logRoot(managed, ToolKind::claudeCode),
              support + "/claude-code/work-ab12");
    EXPECT_EQ(configured.logRoot(managed, ToolKind::codex), support + "/codex/work-ab12");
    EXPECT_EQ(plain.logRoot(managed, ToolKind::chatGPTApp), std::nullopt);
    EXPECT_EQ(plain.logRoot(system, ToolKind::claudeDesktop), std::nullopt);
    Profile escaping = managed;
    escaping.id = ProfileID("../../x");
    EXPECT_EQ(plain.logRoot(escaping, ToolKind::codex), std::nullopt);
    EXPECT_EQ(plain.displayName(), "Local activity");
    EXPECT_FALSE(plain.reportsPlanLimits());
}

TEST(LocalLogUsage, BothStoragesAndBothToolsReadTheirOwnFolders) {
    Fixture f;
    const std::string managedClaude =
        f.home.paths.dataDirectory(ToolKind::claudeCode, ProfileID("work-ab12")).value();
    const std::string managedCodex =
        f.home.paths.dataDirectory(ToolKind::codex, ProfileID("work-ab12")).value();
    writeFile(f.claudeRoot() + "/p/a.jsonl",
              claudeLine({.date = secondsAgo(f.now, 60), .input = 1}));
    writeFile(f.codexRoot() + "/2026/12/10/rollout-1.jsonl",
              codexLine(secondsAgo(f.now, 60), 100, 30, 5));
    writeFile(managedClaude + "/projects/p/b.jsonl",
              claudeLine({.date = secondsAgo(f.now, 60), .input = 2}));
    writeFile(managedCodex + "/sessions/r.jsonl", codexLine(secondsAgo(f.now, 60), 200, 0, 7));

    const auto system = Profile::Storage::system, managed = Profile::Storage::managed;
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {fiveHours}, system),
              std::vector{summary(ToolKind::claudeCode, fiveHours, 1, 1, 20, 0)});
    EXPECT_EQ(f.totals(ToolKind::codex, {fiveHours}, system),
              std::vector{summary(ToolKind::codex, fiveHours, 1, 70, 5, 30)});
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {fiveHours}, managed),
              std::vector{summary(ToolKind::claudeCode, fiveHours, 1, 2, 20, 0)});
    EXPECT_EQ(f.totals(ToolKind::codex, {fiveHours}, managed),
              std::vector{summary(ToolKind::codex, fiveHours, 1, 200, 7, 0)});

    // CLAUDE_CONFIG_DIR moves a system profile's logs; a managed profile ignores it.
    const std::string other = f.home.home() + "/other-claude";
    writeFile(other + "/projects/p/c.jsonl",
              claudeLine({.date = secondsAgo(f.now, 60), .input = 3}));
    f.environment["CLAUDE_CONFIG_DIR"] = other;
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {fiveHours}, system)[0].inputTokens, 3);
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {fiveHours}, managed)[0].inputTokens, 2);

    // Desktop apps have no local usage; no windows, no summaries.
    EXPECT_EQ(f.totals(ToolKind::chatGPTApp, {fiveHours, sevenDays}),
              (std::vector{summary(ToolKind::chatGPTApp, fiveHours, 0, 0, 0, 0),
                           summary(ToolKind::chatGPTApp, sevenDays, 0, 0, 0, 0)}));
    EXPECT_TRUE(f.totals(ToolKind::claudeCode, {}).empty());
}

TEST(LocalLogUsage, ClaudeDuplicatesAndStreamingPlaceholders) {
    Fixture f;
    const Instant t = secondsAgo(f.now, 600);
    // The same response in two files counts once; early lines of a response carry a
    // placeholder output count and the final line the real one.
    writeFile(f.claudeRoot() + "/p/a.jsonl",
              claudeLine({.date = t, .message = "m1", .request = "r1", .output = 1}) +
                  claudeLine({.date = t, .message = "m1", .request = "r1", .output = 350}) +
                  claudeLine({.date = t, .message = "m2", .output = 5, .cacheRead = 1000}) +
                  claudeLine({.date = t, .message = "m1", .request = "r2", .output = 8}));
    writeFile(f.claudeRoot() + "/q/b.jsonl",
              claudeLine({.date = t, .message = "m1", .request = "r1", .output = 350}) +
                  claudeLine({.date = t, .message = "m2", .output = 5, .cacheRead = 1000}) +
                  claudeLine({.date = t, .session = std::nullopt, .output = 2}));
    writeFile(f.claudeRoot() + "/q/c.jsonl",
              claudeLine({.date = t, .session = std::nullopt, .output = 4}));

    // m1|r1, m2|, m1|r2, and two lines without session or key: sessions s1 and two files.
    EXPECT_EQ(
        f.totals(ToolKind::claudeCode, {fiveHours}),
        std::vector{summary(ToolKind::claudeCode, fiveHours, 3, 50, 350 + 5 + 8 + 2 + 4, 1000)});
    const Provider::Events events =
        Provider::claudeEvents(f.claudeRoot(), secondsAgo(f.now, 3600), *f.cache);
    // m1|r1 once with its final count, m2| once, m1|r2, and the two lines without a key.
    std::multiset<std::int64_t> outputs;
    for (const auto& e : events) {
        outputs.insert(e.output);
    }
    EXPECT_EQ(outputs, (std::multiset<std::int64_t>{350, 5, 8, 2, 4}));
}

TEST(LocalLogUsage, ClaudeLinesMissingWhatIsRequiredAreDropped) {
    Fixture f;
    const Instant t = secondsAgo(f.now, 60);
    std::string noTimestamp = claudeLine({.date = t});
    noTimestamp.replace(noTimestamp.find("\"timestamp\""), 11, "\"stamp\"");
    writeFile(f.claudeRoot() + "/p/a.jsonl",
              claudeLine({.date = t, .input = nullptr, .output = 500}) +
                  claudeLine({.date = t, .input = "12", .output = 500}) + noTimestamp +
                  "{\"message\":{\"usage\":{\"input_tokens\":1}},\"timestamp\":\"yesterday\"}\n" +
                  "{\"message\":{\"usage\":{\"input_tokens\":1}} broken\n" +
                  claudeLine({.date = secondsAgo(f.now, 8 * 86400)}) +
                  claudeLine({.date = t, .input = 7, .output = "9"}));
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {sevenDays}),
              std::vector{summary(ToolKind::claudeCode, sevenDays, 1, 7, 0, 0)});
}

TEST(LocalLogUsage, CodexReEmissionsAndCounts) {
    Fixture f;
    const Instant t = secondsAgo(f.now, 60);
    writeFile(
        f.codexRoot() + "/a.jsonl",
        codexLine(t, 100, 40, 10, 150) + codexLine(t, 100, 40, 10, 150) + // re-emitted
            codexLine(t, 5, 50, 1, 156) +                                 // cached above input
            codexLine(t, 1, 0, 1) + codexLine(t, 1, 0, 1) +               // no totals: both count
            R"({"timestamp":"x","type":"event_msg","payload":{"type":"token_count","info":{"last_token_usage":{}}}})"
            "\n"
            R"({"type":"event_msg","payload":{"type":"token_count","info":null}})"
            "\n");
    // Another file starts afresh: equal totals there are new usage.
    writeFile(f.codexRoot() + "/b.jsonl",
              codexLine(t, 100, 40, 10, 150) + R"({"timestamp":")" + iso(t) +
                  R"(","type":"event_msg","payload":{"type":"token_count",)"
                  R"("info":{"last_token_usage":{"input_tokens":2.9,)"
                  R"("output_tokens":true,"cache_write_input_tokens":3}}}})"
                  "\n");
    EXPECT_EQ(f.totals(ToolKind::codex, {fiveHours}),
              std::vector{summary(ToolKind::codex, fiveHours, 2, 60 + 0 + 1 + 1 + 60 + 2,
                                  10 + 1 + 1 + 1 + 10 + 1, 40 + 50 + 40 + 3)});
}

TEST(LocalLogUsage, CodexRepeatBeforeTheCutoffIsNotCountedAfterIt) {
    Provider::CodexLineState state;
    const Instant now = fixedNow();
    const Instant cutoff = secondsAgo(now, 100);
    auto line = [](Instant t, std::int64_t total) {
        std::string text = codexLine(t, 10, 0, 1, total);
        text.pop_back();
        return text;
    };
    EXPECT_FALSE(Provider::parseCodexLine(line(secondsAgo(now, 101), 5), "f", cutoff, state));
    EXPECT_FALSE(Provider::parseCodexLine(line(secondsAgo(now, 99), 5), "f", cutoff, state));
    EXPECT_TRUE(Provider::parseCodexLine(line(secondsAgo(now, 98), 6), "f", cutoff, state));
}

TEST(LocalLogUsage, WindowEdgesAndTheFuture) {
    Fixture f;
    writeFile(
        f.claudeRoot() + "/p/a.jsonl",
        claudeLine({.date = secondsAgo(f.now, 18000), .session = "edge", .input = 1}) +
            claudeLine({.date = secondsAgo(f.now, 18001), .session = "old", .input = 10}) +
            claudeLine({.date = f.now, .session = "now", .input = 100}) +
            claudeLine({.date = f.now + 1s, .session = "future", .input = 1000}) +
            claudeLine({.date = secondsAgo(f.now, 604800), .session = "week", .input = 10000}) +
            claudeLine({.date = secondsAgo(f.now, 604801), .session = "older", .input = 100000}));
    EXPECT_EQ(f.totals(ToolKind::claudeCode),
              (std::vector{summary(ToolKind::claudeCode, fiveHours, 2, 101, 40, 0),
                           summary(ToolKind::claudeCode, sevenDays, 4, 10111, 80, 0)}));
}

TEST(LocalLogUsage, SumsSaturate) {
    Fixture f;
    const Instant t = secondsAgo(f.now, 60);
    writeFile(f.codexRoot() + "/a.jsonl", codexLine(t, INT64_MAX, INT64_MIN, INT64_MAX) +
                                              codexLine(t, INT64_MAX, 0, INT64_MAX));
    writeFile(
        f.claudeRoot() + "/p/a.jsonl",
        claudeLine({.date = t, .input = INT64_MAX, .cacheCreation = INT64_MAX, .cacheRead = 5}) +
            claudeLine({.date = t, .input = INT64_MAX}));
    const ActivitySummary codex = f.totals(ToolKind::codex, {fiveHours})[0];
    EXPECT_EQ(codex.inputTokens, INT64_MAX);
    EXPECT_EQ(codex.outputTokens, INT64_MAX);
    EXPECT_EQ(codex.cacheTokens, INT64_MIN); // a negative cached count is passed through
    const ActivitySummary claude = f.totals(ToolKind::claudeCode, {fiveHours})[0];
    EXPECT_EQ(claude.inputTokens, INT64_MAX);
    EXPECT_EQ(claude.cacheTokens, INT64_MAX);
    EXPECT_EQ(claude.workTokens(), INT64_MAX);
    EXPECT_EQ(claude.totalTokens(), INT64_MAX);
}

TEST(LocalLogUsage, ListingSkipsHiddenLinksOldAndOtherFiles) {
    Fixture f;
    const Instant t = secondsAgo(f.now, 60);
    const std::string line = claudeLine({.date = t, .session = std::nullopt, .input = 1});
    const std::string root = f.claudeRoot();
    writeFile(root + "/p/kept.jsonl", line);
    writeFile(root + "/p/deep/er/kept.jsonl", line);
    writeFile(root + "/p/.hidden.jsonl", line);
    writeFile(root + "/.hidden/a.jsonl", line);
    writeFile(root + "/p/upper.JSONL", line);
    writeFile(root + "/p/a.jsonl.bak", line);
    writeFile(root + "/p/.jsonl", line);
    makeDirs(root + "/p/folder.jsonl");
    writeFile(root + "/p/old.jsonl", line); // recent lines, but the file is older than the cutoff
    setMtime(root + "/p/old.jsonl", secondsAgo(f.now, 8 * 86400));
    writeFile(f.home.home() + "/outside/x.jsonl", line);
    ASSERT_EQ(::symlink((f.home.home() + "/outside").c_str(), (root + "/linked").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/p/kept.jsonl").c_str(), (root + "/p/link.jsonl").c_str()), 0);
    ASSERT_EQ(::mkfifo((root + "/p/fifo.jsonl").c_str(), 0600), 0);

    std::vector<std::string> files = Provider::recentJSONL(root, secondsAgo(f.now, 604800));
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{root + "/p/deep/er/kept.jsonl", root + "/p/kept.jsonl"}));
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {sevenDays})[0].sessions, 2);
    EXPECT_TRUE(Provider::recentJSONL(root + "/missing", Instant::min()).empty());
    EXPECT_TRUE(Provider::recentJSONL(root + "/p/kept.jsonl", Instant::min()).empty());
}

TEST(LocalLogUsage, CacheKeepsUnchangedFilesAndRereadsChangedOnes) {
    Fixture f;
    const std::string path = f.claudeRoot() + "/p/a.jsonl";
    const Instant stamp = secondsAgo(f.now, 120);
    writeFile(path, claudeLine({.date = secondsAgo(f.now, 60), .input = 1}));
    setMtime(path, stamp);
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {fiveHours})[0].inputTokens, 1);

    // Same size and modification time: the cached events stay.
    writeFile(path, claudeLine({.date = secondsAgo(f.now, 60), .input = 2}));
    setMtime(path, stamp);
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {fiveHours})[0].inputTokens, 1);
    // A longer window than the cached one reads the file again.
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {sevenDays})[0].inputTokens, 2);

    // A changed file is read again.
    writeFile(path, claudeLine({.date = secondsAgo(f.now, 60), .input = 2}) +
                        claudeLine({.date = secondsAgo(f.now, 30), .input = 30}));
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {fiveHours})[0].inputTokens, 32);

    // The cache on its own: the parser runs only when needed.
    int parses = 0;
    auto parse = [&](const std::string& p, Instant since) {
        ++parses;
        return Provider::claudeRecords(p, since);
    };
    Provider::EventCache cache;
    const auto first = cache.records(path, secondsAgo(f.now, 100), parse);
    EXPECT_EQ(first->records.size(), 2u);
    // A later cutoff is served from the cache; its records are the same.
    EXPECT_EQ(cache.records(path, secondsAgo(f.now, 45), parse), first);
    EXPECT_EQ(parses, 1);
    EXPECT_EQ(cache.records(path, secondsAgo(f.now, 200), parse)->records.size(), 2u);
    EXPECT_EQ(parses, 2);
    EXPECT_TRUE(cache.records(f.claudeRoot() + "/none.jsonl", f.now, parse)->records.empty());
}

TEST(LocalLogUsage, ForEachLinePassesEachLineHoldingTheNeedleOnce) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> lines;
    };
    const std::string huge(3 << 20, 'x'); // longer than the read buffer
    const std::string tail(1 << 20, 'y');
    const Case cases[] = {
        {"twice on one line", "a N b N c\nnone\nN\n", {"a N b N c", "N"}},
        {"carriage return stays, last line without feed", "x N\r\nN end", {"x N\r", "N end"}},
        {"empty file", "", {}},
        {"needle at the start and end of a huge line",
         "N" + huge + "\n" + huge + "N\nN",
         {"N" + huge, huge + "N", "N"}},
        {"needle far into a huge line", "a\n" + huge + "N" + tail + "\nb", {huge + "N" + tail}},
        {"line feed only", "\n\n\n", {}},
    };
    for (const Case& test : cases) {
        const std::string path = dir / "f.jsonl";
        writeFile(path, test.content);
        std::vector<std::string> seen;
        Provider::forEachLine(path, "N", [&](std::string_view line) { seen.emplace_back(line); });
        EXPECT_EQ(seen, test.lines) << test.name;
    }
    // A needle at every alignment and across read boundaries, after near misses.
    std::string many;
    std::vector<std::string> expected;
    for (int i = 0; i < 5000; ++i) {
        std::string line = std::string(static_cast<std::size_t>(990 + i % 37), '.') +
                           "\"usagE\" \"ugag\" usage\" \"usage";
        if (i % 3 != 0) {
            line += "\"usage\"";
            expected.push_back(line);
        }
        many += line + "\n";
    }
    writeFile(dir / "many.jsonl", many);
    std::vector<std::string> seen;
    Provider::forEachLine(dir / "many.jsonl", "\"usage\"",
                          [&](std::string_view line) { seen.emplace_back(line); });
    EXPECT_EQ(seen, expected);
    // Nothing to read: no calls.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    makeDirs(dir / "folder");
    for (const std::string& path : {dir / "missing", dir / "fifo", dir / "folder"}) {
        Provider::forEachLine(path, "N", [&](std::string_view) { ADD_FAILURE() << path; });
    }
}

TEST(LocalLogUsage, FileTruncatedAndRewrittenWhileReadDoesNotCrash) {
    TempDir dir;
    const std::string path = dir / "a.jsonl";
    const Instant now = fixedNow();
    std::string content;
    for (int i = 0; i < 20000; ++i) {
        content += claudeLine({.date = secondsAgo(now, 60), .input = 3, .output = 4}) +
                   std::string(200, ' ') + "\n";
    }
    writeFile(path, content);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        for (std::size_t round = 0; !stop; ++round) {
            ASSERT_EQ(::ftruncate(fd, static_cast<off_t>((round * 7919) % content.size())), 0);
            ASSERT_EQ(::pwrite(fd, content.data(), content.size() / 2, 0),
                      static_cast<ssize_t>(content.size() / 2));
        }
        ::close(fd);
    });
    std::size_t reads = 0;
    for (auto until = std::chrono::steady_clock::now() + 1s;
         std::chrono::steady_clock::now() < until; ++reads) {
        for (const auto& event : Provider::parseClaudeFile(path, secondsAgo(now, 3600))) {
            // Whatever was read, only whole records that were written come out.
            EXPECT_EQ(event.input, 3);
            EXPECT_EQ(event.output, 4);
        }
    }
    stop = true;
    writer.join();
    EXPECT_GT(reads, 0u);
}

TEST(LocalLogUsage, ParseDate) {
    const Instant base = std::chrono::sys_days{std::chrono::year{2026} / 12 / 10} + 9h + 30min;
    struct Case {
        const char* text;
        std::optional<Instant> expected;
    };
    const Case cases[] = {
        {"2026-12-10T09:30:00Z", base},
        {"2026-12-10 09:30:00", base},
        {"2026-12-10T11:30:00+02:00", base},
        {"2026-12-10T07:00:00-02:30", base},
        {"2026-12-10T09:30:00.5Z", base + 500ms},
        {"2026-12-10T09:30:00.123456789123Z", base + 123456789ns},
        {"2026-12-10T09:30:00.", base},
        {"2026-12-10T11:30:00+0200", base + 2h}, // four digits without a colon: UTC
        {"2026-12-10T09:30:00+0x:00", base},
        {"2026-12-10T09:30:00Q", base},
        {"2026-12-10T09:30:0", std::nullopt},
        {"2026/12/10T09:30:00Z", std::nullopt},
        {"2026-12-10X09:30:00Z", std::nullopt},
        {"2026-1a-10T09:30:00Z", std::nullopt},
        {"2026-12-10T09:30:00.25+01:00", base - 1h + 250ms},
        {"2026-13-01T00:00:00Z", std::chrono::sys_days{std::chrono::year{2027} / 1 / 1}},
        {"9999-12-31T00:00:00Z", Instant::max()},
        {"0001-01-01T00:00:00Z", Instant::min()},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(Provider::parseDate(test.text), test.expected) << test.text;
    }
}

TEST(LocalLogUsage, CompactCountsSummaryAndJson) {
    const std::pair<std::int64_t, const char*> counts[] = {
        {-5, "-5"},
        {999, "999"},
        {1000, "1.0k"},
        {1234, "1.2k"},
        {9999, "10.0k"},
        {12345, "12k"},
        {999600, "1000k"},
        {1234567, "1.2M"},
        {9999999, "10.0M"},
        {123456789, "123M"},
        {1234567890, "1.2B"},
        {12345678901, "12B"},
        {INT64_MAX, "9223372037B"},
    };
    for (auto [n, text] : counts) {
        EXPECT_EQ(compactTokenCount(n), text) << n;
    }
    EXPECT_EQ(summary(ToolKind::claudeCode, fiveHours, 1, 1000, 234, 0).summary(),
              "1.2k tokens · 1 session");
    EXPECT_EQ(summary(ToolKind::codex, sevenDays, 2, 10, 5, 1500).summary(),
              "15 tokens · 2 sessions (+1.5k cached)");
    EXPECT_EQ(summary(ToolKind::codex, sevenDays, 0, 0, 0, 0).summary(), "0 tokens · 0 sessions");

    const ActivitySummary s = summary(ToolKind::claudeCode, fiveHours, 3, 1, 2, 4);
    const nlohmann::json j = s;
    EXPECT_EQ(j, nlohmann::json::parse(R"({"tool":"claude-code","window":18000.0,"sessions":3,)"
                                       R"("inputTokens":1,"outputTokens":2,"cacheTokens":4})"));
    EXPECT_EQ(j.get<ActivitySummary>(), s);
    for (const char* key :
         {"tool", "window", "sessions", "inputTokens", "outputTokens", "cacheTokens"}) {
        nlohmann::json missing = j;
        missing.erase(key);
        EXPECT_THROW(missing.get<ActivitySummary>(), std::exception) << key;
    }
    nlohmann::json wrong = j;
    wrong["tool"] = "claude";
    EXPECT_THROW(wrong.get<ActivitySummary>(), std::exception);
}

TEST(LocalLogUsage, HugeLineWithoutTheNeedleIsOnlyScanned) {
    TempDir dir;
    const std::string path = dir / "big.jsonl";
    {
        // Written in pieces so that this process never held 50 MB before the read.
        const std::string piece(1 << 20, 'z');
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        for (int i = 0; i < 50; ++i) {
            std::fwrite(piece.data(), 1, piece.size(), file);
        }
        std::fputs("\n{\"usage\":1}\n", file);
        std::fclose(file);
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    std::vector<std::string> seen;
    Provider::forEachLine(path, "\"usage\"",
                          [&](std::string_view line) { seen.emplace_back(line); });
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(seen, std::vector<std::string>{"{\"usage\":1}"});
    // The line is never held: peak memory does not grow by anything like its size.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "KiB";
}

TEST(LocalLogUsage, FinalRecordDatedAfterNowLeavesTheEarlierOneCounted) {
    Fixture f;
    // A response still being written when now was taken (or logged by a clock ahead of
    // ours): its final record lies after now, its earlier ones before.
    writeFile(
        f.claudeRoot() + "/p/a.jsonl",
        claudeLine({.date = secondsAgo(f.now, 30),
                    .message = "m1",
                    .request = "r1",
                    .input = 10,
                    .output = 1}) +
            claudeLine({.date = f.now + 20s,
                        .message = "m1",
                        .request = "r1",
                        .input = 10,
                        .output = 500}) +
            claudeLine({.date = f.now, .session = "s2", .message = "m2", .input = 3, .output = 7}) +
            claudeLine(
                {.date = f.now + 1s, .session = "s2", .message = "m2", .input = 3, .output = 900}));
    // The same response in a second file, the final record again after now.
    writeFile(
        f.claudeRoot() + "/q/b.jsonl",
        claudeLine(
            {.date = f.now + 5s, .message = "m1", .request = "r1", .input = 10, .output = 600}));
    EXPECT_EQ(f.totals(ToolKind::claudeCode),
              (std::vector{summary(ToolKind::claudeCode, fiveHours, 2, 13, 8, 0),
                           summary(ToolKind::claudeCode, sevenDays, 2, 13, 8, 0)}));
    // Once now has passed them, the final records count instead.
    f.now += 1min;
    EXPECT_EQ(f.totals(ToolKind::claudeCode, {fiveHours}),
              std::vector{summary(ToolKind::claudeCode, fiveHours, 2, 13, 1500, 0)});
}

TEST(LocalLogUsage, OneReaderAndFourComeToTheSameTotals) {
    Fixture f;
    // Responses logged in several files with equal output counts: which record stays
    // depends on the order of the files, and that order must not depend on the threads.
    const std::string root = f.claudeRoot();
    for (int i = 0; i < 24; ++i) {
        std::string content;
        for (int k = 0; k < 40; ++k) {
            const Instant t = secondsAgo(f.now, 60 + (k * 7919 + i * 104729) % 30000);
            content +=
                claudeLine({.date = t,
                            .session = std::string(1, 's').append(std::to_string((i + k) % 5)),
                            .message = std::string(1, 'm').append(std::to_string(k % 13)),
                            .request = std::string(1, 'r').append(std::to_string(k % 3)),
                            .input = i * 100 + k,
                            .output = k % 4,
                            .cacheRead = i});
        }
        const std::string folder =
            i % 4 == 0 ? root : root + "/p" + std::to_string(i % 5) + (i % 3 == 0 ? "/deep" : "");
        writeFile(folder + "/f" + std::to_string(i) + ".jsonl", content);
    }
    for (int i = 0; i < 6; ++i) {
        writeFile(f.codexRoot() + "/2026/" + std::to_string(i % 2) + "/r" + std::to_string(i) +
                      ".jsonl",
                  codexLine(secondsAgo(f.now, 100 * i), 100 + i, 40, 10) +
                      codexLine(secondsAgo(f.now, 100 * i + 50), 7, 1, 2));
    }
    EXPECT_EQ(Provider::recentLogFiles(root, Instant::min(), 1).size(), 24u);
    for (const std::string& folder : {root, f.codexRoot()}) {
        auto paths = [&](unsigned threads) {
            std::vector<std::string> out;
            for (const auto& file : Provider::recentLogFiles(folder, Instant::min(), threads)) {
                out.push_back(file.path);
            }
            return out;
        };
        EXPECT_EQ(paths(4), paths(1)) << folder;
    }
    for (ToolKind tool : {ToolKind::claudeCode, ToolKind::codex}) {
        auto totals = [&](Provider::Reading reading) {
            Provider provider(f.home.paths, f.environment,
                              std::make_shared<Provider::EventCache>(reading));
            return provider.activities(profileWith(Profile::Storage::system), tool,
                                       {fiveHours, sevenDays}, f.now);
        };
        const auto one = totals({.threads = 1});
        EXPECT_EQ(totals({.threads = 4, .bytesPerThread = 1, .listingThreads = 4}), one);
        EXPECT_GT(one[1].inputTokens, 0);
    }
}

TEST(LocalLogUsage, LineOverTheLimitIsPassedOverWithoutBeingHeld) {
    TempDir dir;
    const std::string path = dir / "long.jsonl";
    const std::size_t limit = Provider::maxLineBytes;
    {
        // Written in pieces so that this process never held the long lines.
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        auto repeat = [&](char c, std::size_t count) {
            const std::string piece(1 << 20, c);
            for (; count >= piece.size(); count -= piece.size()) {
                std::fwrite(piece.data(), 1, piece.size(), file);
            }
            std::fwrite(piece.data(), 1, count, file);
        };
        std::fputs("N first\n", file);
        repeat('a', limit - 1); // exactly at the limit with its needle
        std::fputs("N\n", file);
        std::fputs("N", file); // the needle at the start of a line one byte over
        repeat('b', limit);
        std::fputs("\nN middle\n", file);
        repeat('c', limit + 5); // the needle only at the end of a line over the limit
        std::fputs("N\nN last", file);
        std::fclose(file);
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    std::vector<std::size_t> lengths;
    std::vector<std::string> shortLines;
    Provider::forEachLine(path, "N", [&](std::string_view line) {
        lengths.push_back(line.size());
        if (line.size() < 100) {
            shortLines.emplace_back(line);
        }
    });
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(lengths, (std::vector<std::size_t>{7, limit, 8, 6}));
    EXPECT_EQ(shortLines, (std::vector<std::string>{"N first", "N middle", "N last"}));
    // The longest line held and a few reads, never one of the longer lines.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, static_cast<long>((2 * limit) / 1024)) << "KiB";
}
