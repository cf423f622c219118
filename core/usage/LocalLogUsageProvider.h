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
#include <unordered_map>
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

    // A log file found by recentJSONL, with the attributes read while listing.
    struct LogFile {
        std::string path;
        std::int64_t size = -1;
        Instant mtime;
    };

    // One usage record as the cache keeps it (48 bytes).
    struct Record {
        Instant::rep date = 0;
        std::int64_t input = 0;
        std::int64_t output = 0;
        std::int64_t cache = 0;
        std::uint64_t key = 0;     // a 64-bit digest of the dedupe key; 0 when there is none
        std::uint32_t session = 0; // index into the file's sessions
        std::uint32_t order = 0;   // position in the file's line order

        friend bool operator==(const Record&, const Record&) = default;
    };
    // A file's records sorted by date (then line order), and the sessions they name.
    struct FileRecords {
        std::vector<Record> records;
        std::vector<std::string> sessions;
    };
    using SharedRecords = std::shared_ptr<const FileRecords>;
    using RecordParser = std::function<FileRecords(const std::string& path, Instant cutoff)>;

    // How many threads may read and list at once. Files are parsed by more than one
    // only when there is at least bytesPerThread to read per thread.
    // Listing is one thread unless asked: a stat per file is the cost, and more threads
    // pay off only on an idle machine (1,000 files: 0.6 ms with four against 1.7 ms),
    // while on a busy one their start costs more than they save.
    struct Reading {
        unsigned threads = 4;
        std::int64_t bytesPerThread = 16 << 20;
        unsigned listingThreads = 1;
    };

    // Parsed files by path, shared by every provider built with it, and per log folder
    // the merged view of its files that one call totals. Entries are only added or
    // replaced.
    class EventCache {
    public:
        struct Entry {
            std::int64_t size = -1;
            Instant mtime;
            Instant cutoff;
            SharedRecords records;
        };
        struct View; // defined where the totals are made
        struct Footprint {
            std::size_t records = 0;
            std::size_t bytes = 0; // everything the cache holds, views included
        };

        EventCache() : reading_(Reading{}) {}
        explicit EventCache(Reading reading) : reading_(reading) {}

        // The file's records, parsed again unless size and modification time are
        // unchanged and the stored cutoff covers this one. Records before the cutoff
        // may be among them.
        SharedRecords records(const std::string& path, Instant cutoff, const RecordParser& parse);

        // One holding of the lock each; parsing runs outside it.
        std::optional<Entry> lookup(const std::string& path, std::int64_t size, Instant mtime,
                                    Instant cutoff);
        // The same for each file in one holding of the lock; null where not cached.
        std::vector<SharedRecords> lookup(const std::vector<LogFile>& files, Instant cutoff);
        void store(const std::string& path, Entry entry);
        std::shared_ptr<const View> view(const std::string& folder);
        void storeView(const std::string& folder, std::shared_ptr<const View> view);

        const Reading& reading() const { return reading_; }
        Footprint footprint();

    private:
        Reading reading_;
        std::mutex lock_;
        std::unordered_map<std::string, Entry> entries_;
        std::map<std::string, std::shared_ptr<const View>, std::less<>> views_;
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
    // Claude Code events dated after now take no part in the dedupe.
    std::vector<ActivitySummary> activities(const Profile& profile, ToolKind tool,
                                            const std::vector<double>& windows, Instant now) const;
    std::optional<std::string> logRoot(const Profile& profile, ToolKind tool) const;

    // The events after the dedupe, file by file. The cache keeps a digest of each
    // dedupe key, not its text: these events come without one.
    static Events claudeEvents(const std::string& folder, Instant since, EventCache& cache);
    static Events codexEvents(const std::string& folder, Instant since, EventCache& cache);
    static Events parseClaudeFile(const std::string& path, Instant since);
    static Events parseCodexFile(const std::string& path, Instant since);
    // The same as the cache keeps them.
    static FileRecords claudeRecords(const std::string& path, Instant since);
    static FileRecords codexRecords(const std::string& path, Instant since);
    static std::optional<UsageEvent> parseClaudeLine(std::string_view line, const std::string& path,
                                                     Instant since);
    static std::optional<UsageEvent> parseCodexLine(std::string_view line, const std::string& path,
                                                    Instant since, CodexLineState& state);
    static std::vector<std::string> recentJSONL(const std::string& folder, Instant since);
    // The folder's subfolders are listed by up to that many threads; the order is the
    // same for any number.
    static std::vector<LogFile> recentLogFiles(const std::string& folder, Instant since,
                                               unsigned threads = 1);
    // A longer line is passed over without being held, and its usage is not counted.
    static constexpr std::size_t maxLineBytes = std::size_t{16} << 20;
    // Calls back once for every line holding the needle, without its line feed, except
    // lines longer than maxLineBytes. Reads with pread into a reused buffer: a file
    // truncated meanwhile just ends early.
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
