#pragma once

#include "core/base/Paths.h"
#include "core/usage/UsageProvider.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// Totals token counts from the session logs that Claude Code and Codex write into
// their own data folders. Nothing is reported and nothing throws: unreadable folders,
// files and lines contribute nothing.
class LocalLogUsageProvider : public UsageProvider {
public:
    struct UsageEvent {
        Instant date;
        std::string session;
        std::int64_t input = 0;
        std::int64_t output = 0;
        std::int64_t cache = 0;
        std::optional<std::string> dedupeKey;

        friend bool operator==(const UsageEvent&, const UsageEvent&) = default;
    };
    using Events = std::vector<UsageEvent>;
    using Parser = std::function<Events(const std::string& path, Instant cutoff)>;

    // Parsed files by path, shared by every provider built with it. Entries are only
    // added or replaced.
    class EventCache {
    public:
        struct Entry {
            std::int64_t size = -1;
            Instant mtime;
            Instant cutoff;
            std::shared_ptr<const Events> events;
        };

        // The file's events at or after the cutoff, parsed again unless size and
        // modification time are unchanged and the stored cutoff covers this one.
        Events events(const std::string& path, Instant cutoff, const Parser& parse);

        // One holding of the lock each; parsing runs outside it.
        std::optional<Entry> lookup(const std::string& path, std::int64_t size, Instant mtime,
                                    Instant cutoff);
        void store(const std::string& path, Entry entry);

    private:
        std::mutex lock_;
        std::map<std::string, Entry, std::less<>> entries_;
    };

    // A log file found by recentJSONL, with the attributes read while listing.
    struct LogFile {
        std::string path;
        std::int64_t size = -1;
        Instant mtime;
    };

    // What the Codex reader carries from one line of a file to the next.
    struct CodexLineState {
        std::optional<std::string> lastTotal; // the previous event's total usage, as JSON
    };

    LocalLogUsageProvider(Paths paths, Environment environment, std::shared_ptr<EventCache> cache);

    std::string displayName() const override { return "Local activity"; }
    bool reportsPlanLimits() const override { return false; }
    ActivitySummary activity(const Profile& profile, ToolKind tool, double window,
                             Instant now) const override;

    // One summary per window, in order; the logs are read once for all of them.
    std::vector<ActivitySummary> activities(const Profile& profile, ToolKind tool,
                                            const std::vector<double>& windows, Instant now) const;
    std::optional<std::string> logRoot(const Profile& profile, ToolKind tool) const;

    static Events claudeEvents(const std::string& folder, Instant since, EventCache& cache);
    static Events codexEvents(const std::string& folder, Instant since, EventCache& cache);
    static Events parseClaudeFile(const std::string& path, Instant since);
    static Events parseCodexFile(const std::string& path, Instant since);
    static std::optional<UsageEvent> parseClaudeLine(std::string_view line, const std::string& path,
                                                     Instant since);
    static std::optional<UsageEvent> parseCodexLine(std::string_view line, const std::string& path,
                                                    Instant since, CodexLineState& state);
    static std::vector<std::string> recentJSONL(const std::string& folder, Instant since);
    static std::vector<LogFile> recentLogFiles(const std::string& folder, Instant since);
    // Calls back once for every line holding the needle, without its line feed. Reads
    // with pread into a reused buffer: a file truncated meanwhile just ends early.
    static void forEachLine(const std::string& path, std::string_view needle,
                            const std::function<void(std::string_view line)>& body);
    static std::optional<Instant> parseDate(std::string_view text);

    const Paths& paths() const { return paths_; }
    const Environment& environment() const { return environment_; }
    const std::shared_ptr<EventCache>& cache() const { return cache_; }

private:
    Paths paths_;
    Environment environment_;
    std::shared_ptr<EventCache> cache_;
};

} // namespace twinlantern
