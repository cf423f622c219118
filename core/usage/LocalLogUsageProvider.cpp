#include "core/usage/LocalLogUsageProvider.h"

#include "core/base/PathUtil.h"
#include "core/base/SaturatingMath.h"
#include "core/usage/JsonFieldScanner.h"
#include "core/usage/UsageView.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace twinlantern {

namespace {

constexpr std::string_view claudeNeedle = "\"usage\"";
constexpr std::string_view codexNeedle = "\"token_count\"";

using Events = LocalLogUsageProvider::Events;
using UsageEvent = LocalLogUsageProvider::UsageEvent;
using EventCache = LocalLogUsageProvider::EventCache;
using LogFile = LocalLogUsageProvider::LogFile;
using Record = LocalLogUsageProvider::Record;
using FileRecords = LocalLogUsageProvider::FileRecords;
using SharedRecords = LocalLogUsageProvider::SharedRecords;

// A window in seconds as a clock duration, held inside the clock's range.
Instant::duration durationOf(double seconds) {
    if (std::isnan(seconds)) {
        return Instant::duration::zero();
    }
    const double ticks = seconds * static_cast<double>(Instant::period::den) /
                         static_cast<double>(Instant::period::num);
    constexpr auto max = std::numeric_limits<Instant::duration::rep>::max();
    if (ticks >= static_cast<double>(max)) {
        return Instant::duration::max();
    }
    if (ticks <= -static_cast<double>(max)) {
        return -Instant::duration::max();
    }
    return Instant::duration(static_cast<Instant::duration::rep>(ticks));
}

Instant earlier(Instant now, double seconds) {
    const Instant::duration d = durationOf(seconds);
    Instant::duration::rep result = 0;
    if (__builtin_sub_overflow(now.time_since_epoch().count(), d.count(), &result)) {
        return d.count() > 0 ? Instant::min() : Instant::max();
    }
    return Instant(Instant::duration(result));
}

const JsonFieldScanner& claudeScanner() {
    static const JsonFieldScanner scanner({{"timestamp"},
                                           {"requestId"},
                                           {"sessionId"},
                                           {"message", "id"},
                                           {"message", "usage", "input_tokens"},
                                           {"message", "usage", "output_tokens"},
                                           {"message", "usage", "cache_creation_input_tokens"},
                                           {"message", "usage", "cache_read_input_tokens"}});
    return scanner;
}

// The scanner's slots of the wanted paths.
struct ClaudeSlots {
    std::size_t timestamp, request, session, id, input, output, cacheCreation, cacheRead;
};

const ClaudeSlots& claudeSlots() {
    static const ClaudeSlots slots = [] {
        const JsonFieldScanner& s = claudeScanner();
        return ClaudeSlots{s.slotOf({"timestamp"}),
                           s.slotOf({"requestId"}),
                           s.slotOf({"sessionId"}),
                           s.slotOf({"message", "id"}),
                           s.slotOf({"message", "usage", "input_tokens"}),
                           s.slotOf({"message", "usage", "output_tokens"}),
                           s.slotOf({"message", "usage", "cache_creation_input_tokens"}),
                           s.slotOf({"message", "usage", "cache_read_input_tokens"})};
    }();
    return slots;
}

// What a Claude Code line yields; the texts point into the line or the captures.
struct ClaudeFields {
    Instant date;
    std::optional<std::string_view> id;
    std::optional<std::string_view> request;
    std::optional<std::string_view> session;
    std::int64_t input = 0;
    std::int64_t output = 0;
    std::int64_t cache = 0;
};

std::optional<ClaudeFields> claudeFields(std::string_view line, Instant since,
                                         JsonFieldScanner::Captures& captures) {
    if (!claudeScanner().scan(line, captures)) {
        return std::nullopt;
    }
    const ClaudeSlots& slot = claudeSlots();
    using Kind = JsonFieldScanner::Captured::Kind;
    auto text = [&](std::size_t i) -> std::optional<std::string_view> {
        const auto& c = captures.slots[i];
        return c.kind == Kind::text ? std::optional(c.text) : std::nullopt;
    };
    // A value captured as a string where an integer is wanted counts as absent.
    auto count = [&](std::size_t i) -> std::optional<std::int64_t> {
        const auto& c = captures.slots[i];
        return c.kind == Kind::integer ? std::optional(c.integer) : std::nullopt;
    };
    std::optional<std::int64_t> input = count(slot.input);
    if (!input) {
        return std::nullopt;
    }
    std::optional<std::string_view> timestamp = text(slot.timestamp);
    std::optional<Instant> date =
        timestamp ? LocalLogUsageProvider::parseDate(*timestamp) : std::nullopt;
    if (!date || *date < since) {
        return std::nullopt;
    }
    ClaudeFields fields;
    fields.date = *date;
    fields.id = text(slot.id);
    fields.request = text(slot.request);
    fields.session = text(slot.session);
    fields.input = *input;
    fields.output = count(slot.output).value_or(0);
    fields.cache =
        saturatingAdd(count(slot.cacheCreation).value_or(0), count(slot.cacheRead).value_or(0));
    return fields;
}

// The dedupe key: the message id, "|" and the request id (or nothing).
void dedupeKeyOf(const ClaudeFields& fields, std::string& key) {
    key.assign(*fields.id);
    key += '|';
    key.append(fields.request.value_or(std::string_view()));
}

std::uint64_t digestOf(std::string_view key) {
    const std::uint64_t digest = std::hash<std::string_view>()(key);
    return digest != 0 ? digest : 1; // 0 stands for no key
}

// Sessions of one file by name, each named once in the file's records.
class SessionNames {
public:
    explicit SessionNames(std::vector<std::string>& names) : names_(names) {}
    std::uint32_t operator()(std::string_view name) {
        if (last_ < names_.size() && names_[last_] == name) {
            return last_;
        }
        auto it = numbers_.find(std::string(name));
        if (it == numbers_.end()) {
            it = numbers_.emplace(name, static_cast<std::uint32_t>(names_.size())).first;
            names_.emplace_back(name);
        }
        return last_ = it->second;
    }

private:
    std::vector<std::string>& names_;
    std::unordered_map<std::string, std::uint32_t> numbers_;
    std::uint32_t last_ = UINT32_MAX;
};

void finish(FileRecords& file) {
    std::sort(file.records.begin(), file.records.end(), [](const Record& a, const Record& b) {
        return a.date != b.date ? a.date < b.date : a.order < b.order;
    });
    file.records.shrink_to_fit(); // the cache keeps it: no room to spare
    file.sessions.shrink_to_fit();
}

// A JSON number as an integer: fractions truncated, booleans 0 or 1; anything else,
// and numbers outside the 64-bit range, count as 0.
std::int64_t integerOf(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) {
        return 0;
    }
    switch (it->type()) {
    case nlohmann::json::value_t::boolean:
        return it->get<bool>() ? 1 : 0;
    case nlohmann::json::value_t::number_integer:
        return it->get<std::int64_t>();
    case nlohmann::json::value_t::number_unsigned: {
        auto value = it->get<std::uint64_t>();
        return value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? 0
                   : static_cast<std::int64_t>(value);
    }
    case nlohmann::json::value_t::number_float: {
        double value = it->get<double>();
        return value >= -9223372036854775808.0 && value < 9223372036854775808.0
                   ? static_cast<std::int64_t>(value)
                   : 0;
    }
    default:
        return 0;
    }
}

// Each file's records, in file order, from the cache or parsed. Files that must be
// parsed are read by a few worker threads when there is enough to read; they are all
// joined before this returns, and the result does not depend on their number.
std::vector<SharedRecords> recordsOfFiles(const std::vector<LogFile>& files, Instant cutoff,
                                          EventCache& cache,
                                          FileRecords (*parse)(const std::string&, Instant)) {
    std::vector<SharedRecords> results = cache.lookup(files, cutoff);
    std::vector<std::size_t> missing;
    std::int64_t missingBytes = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!results[i]) {
            missing.push_back(i);
            missingBytes = saturatingAdd(missingBytes, files[i].size);
        }
    }
    // Largest first, so one big file does not start last.
    std::stable_sort(missing.begin(), missing.end(),
                     [&](std::size_t a, std::size_t b) { return files[a].size > files[b].size; });
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t k = next++; k < missing.size(); k = next++) {
            const LogFile& file = files[missing[k]];
            auto parsed = std::make_shared<const FileRecords>(parse(file.path, cutoff));
            cache.store(file.path, {file.size, file.mtime, cutoff, parsed});
            results[missing[k]] = std::move(parsed);
        }
    };
    // Four readers come close to the memory's pace; more cost CPU time for little gain.
    const LocalLogUsageProvider::Reading& reading = cache.reading();
    const std::int64_t perThread = std::max<std::int64_t>(1, reading.bytesPerThread);
    std::size_t workers = std::min<std::size_t>(
        {std::max(1u, std::thread::hardware_concurrency()), std::max(1u, reading.threads),
         missing.size(), static_cast<std::size_t>(missingBytes / perThread) + 1});
    std::vector<std::jthread> threads;
    try {
        for (std::size_t t = 1; t < workers; ++t) {
            threads.emplace_back(work);
        }
    } catch (const std::system_error&) {
        // No more threads to be had: the ones started and this one share the files.
    }
    work();
    threads.clear(); // joins
    return results;
}

std::shared_ptr<const EventCache::View>
viewOfFolder(const std::string& folder, Instant cutoff, EventCache& cache,
             FileRecords (*parse)(const std::string&, Instant)) {
    const auto files =
        LocalLogUsageProvider::recentLogFiles(folder, cutoff, cache.reading().listingThreads);
    return usage::viewOf(cache, folder, recordsOfFiles(files, cutoff, cache, parse));
}

// The events the dedupe keeps from the cutoff on, back as events.
Events keptEvents(const std::string& folder, Instant since, EventCache& cache,
                  FileRecords (*parse)(const std::string&, Instant)) {
    const auto view = viewOfFolder(folder, since, cache, parse);
    const Instant::rep from = since.time_since_epoch().count();
    constexpr Instant::rep until = Instant::max().time_since_epoch().count();
    Events out;
    usage::forEachKept(*view, usage::winners(*view, from, until), from, until,
                       [&](std::size_t f, const std::uint32_t*, const Record& r) {
                           out.push_back({Instant(Instant::duration(r.date)),
                                          view->files[f]->sessions[r.session], r.input, r.output,
                                          r.cache, std::nullopt});
                       });
    return out;
}

} // namespace

LocalLogUsageProvider::LocalLogUsageProvider(Paths paths, Environment environment,
                                             std::shared_ptr<EventCache> cache)
    : paths_(std::move(paths)), environment_(std::move(environment)), cache_(std::move(cache)) {
    if (!cache_) {
        cache_ = std::make_shared<EventCache>();
    }
}

std::optional<std::string> LocalLogUsageProvider::logRoot(const Profile& profile,
                                                          ToolKind tool) const {
    const ToolInfo& info = toolInfo(tool);
    if (*info.logFolder == '\0') {
        return std::nullopt; // the tool keeps no logs we read
    }
    if (profile.storage == Profile::Storage::system) {
        auto it = environment_.find(info.configVariable);
        return it != environment_.end() ? it->second : PathUtil::join(paths_.home, info.homeFolder);
    }
    return paths_.dataDirectory(tool, profile.id);
}

ActivitySummary LocalLogUsageProvider::activity(const Profile& profile, ToolKind tool,
                                                double window, Instant now) const {
    return activities(profile, tool, {window}, now).front();
}

std::vector<ActivitySummary> LocalLogUsageProvider::activities(const Profile& profile,
                                                               ToolKind tool,
                                                               const std::vector<double>& windows,
                                                               Instant now) const {
    std::vector<ActivitySummary> summaries;
    for (double window : windows) {
        summaries.push_back({tool, window, 0, 0, 0, 0});
    }
    std::optional<std::string> root = logRoot(profile, tool);
    if (windows.empty() || !root) {
        return summaries;
    }
    if (tool != ToolKind::claudeCode && tool != ToolKind::codex) {
        return summaries; // no reader for this tool's log format
    }
    double longest = 0;
    for (double window : windows) {
        longest = std::isnan(window) ? longest : std::max(longest, window);
    }
    const Instant cutoff = earlier(now, longest);
    const bool claude = tool == ToolKind::claudeCode;
    const auto view = viewOfFolder(PathUtil::join(*root, toolInfo(tool).logFolder), cutoff, *cache_,
                                   claude ? &claudeRecords : &codexRecords);
    // Only events up to now take part in the dedupe: a response still being written, or
    // logged by a clock ahead of ours, keeps the records it has before now.
    const Instant::rep until = now.time_since_epoch().count();
    const std::vector<std::uint64_t> best =
        usage::winners(*view, cutoff.time_since_epoch().count(), until);
    std::vector<char> seen(view->sessionCount);
    for (ActivitySummary& summary : summaries) {
        const Instant::rep from =
            std::max(earlier(now, summary.window), cutoff).time_since_epoch().count();
        std::fill(seen.begin(), seen.end(), 0);
        std::int64_t sessions = 0, input = 0, output = 0, cache = 0;
        usage::forEachKept(*view, best, from, until,
                           [&](std::size_t, const std::uint32_t* fileSessions, const Record& r) {
                               char& known = seen[fileSessions[r.session]];
                               sessions += known == 0 ? 1 : 0;
                               known = 1;
                               input = saturatingAdd(input, r.input);
                               output = saturatingAdd(output, r.output);
                               cache = saturatingAdd(cache, r.cache);
                           });
        summary.sessions = sessions;
        summary.inputTokens = input;
        summary.outputTokens = output;
        summary.cacheTokens = cache;
    }
    return summaries;
}

Events LocalLogUsageProvider::claudeEvents(const std::string& folder, Instant since,
                                           EventCache& cache) {
    return keptEvents(folder, since, cache, &claudeRecords);
}

Events LocalLogUsageProvider::codexEvents(const std::string& folder, Instant since,
                                          EventCache& cache) {
    return keptEvents(folder, since, cache, &codexRecords);
}

std::optional<UsageEvent> LocalLogUsageProvider::parseClaudeLine(std::string_view line,
                                                                 const std::string& path,
                                                                 Instant since) {
    JsonFieldScanner::Captures captures;
    std::optional<ClaudeFields> fields = claudeFields(line, since, captures);
    if (!fields) {
        return std::nullopt;
    }
    UsageEvent event;
    event.date = fields->date;
    if (fields->id) {
        event.dedupeKey.emplace();
        dedupeKeyOf(*fields, *event.dedupeKey);
    }
    event.session = fields->session ? std::string(*fields->session) : path;
    event.input = fields->input;
    event.output = fields->output;
    event.cache = fields->cache;
    return event;
}

Events LocalLogUsageProvider::parseClaudeFile(const std::string& path, Instant since) {
    Events events;
    forEachLine(path, claudeNeedle, [&](std::string_view line) {
        if (auto event = parseClaudeLine(line, path, since)) {
            events.push_back(std::move(*event));
        }
    });
    return events;
}

FileRecords LocalLogUsageProvider::claudeRecords(const std::string& path, Instant since) {
    FileRecords file;
    SessionNames sessions(file.sessions);
    // Reused from line to line, so that a line allocates nothing.
    JsonFieldScanner::Captures captures;
    std::string key;
    forEachLine(path, claudeNeedle, [&](std::string_view line) {
        std::optional<ClaudeFields> fields = claudeFields(line, since, captures);
        if (!fields) {
            return;
        }
        Record record;
        record.date = fields->date.time_since_epoch().count();
        record.input = fields->input;
        record.output = fields->output;
        record.cache = fields->cache;
        if (fields->id) {
            dedupeKeyOf(*fields, key);
            record.key = digestOf(key);
        }
        record.session = sessions(fields->session ? *fields->session : std::string_view(path));
        record.order = static_cast<std::uint32_t>(file.records.size());
        file.records.push_back(record);
    });
    finish(file);
    return file;
}

std::optional<UsageEvent> LocalLogUsageProvider::parseCodexLine(std::string_view line,
                                                                const std::string& path,
                                                                Instant since,
                                                                CodexLineState& state) {
    const nlohmann::json doc = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        return std::nullopt;
    }
    auto isString = [](const nlohmann::json& object, const char* key, std::string_view expected) {
        auto it = object.find(key);
        return it != object.end() && it->is_string() &&
               it->get_ref<const std::string&>() == expected;
    };
    auto objectIn = [](const nlohmann::json& object, const char* key) -> const nlohmann::json* {
        auto it = object.find(key);
        return it != object.end() && it->is_object() ? &*it : nullptr;
    };
    if (!isString(doc, "type", "event_msg")) {
        return std::nullopt;
    }
    const nlohmann::json* payload = objectIn(doc, "payload");
    if (payload == nullptr || !isString(*payload, "type", "token_count")) {
        return std::nullopt;
    }
    const nlohmann::json* info = objectIn(*payload, "info");
    const nlohmann::json* last = info != nullptr ? objectIn(*info, "last_token_usage") : nullptr;
    if (last == nullptr) {
        return std::nullopt;
    }
    auto timestamp = doc.find("timestamp");
    std::optional<Instant> date = timestamp != doc.end() && timestamp->is_string()
                                      ? parseDate(timestamp->get_ref<const std::string&>())
                                      : std::nullopt;
    if (!date) {
        return std::nullopt;
    }
    // Codex writes a token_count again with unchanged totals; such a repeat is not new
    // usage. Compared with the file's previous event even when that one fell before the
    // cutoff, so a file's events do not depend on the cutoff it was read with.
    std::optional<std::string> total;
    if (auto it = info->find("total_token_usage"); it != info->end()) {
        total = it->dump();
    }
    if (total && total == state.lastTotal) {
        return std::nullopt;
    }
    state.lastTotal = std::move(total);
    if (*date < since) {
        return std::nullopt;
    }
    const std::int64_t input = integerOf(*last, "input_tokens");
    const std::int64_t cached = integerOf(*last, "cached_input_tokens");
    UsageEvent event;
    event.date = *date;
    event.session = path;
    event.input = std::max<std::int64_t>(0, saturatingSubtract(input, cached));
    event.output = integerOf(*last, "output_tokens");
    event.cache = saturatingAdd(cached, integerOf(*last, "cache_write_input_tokens"));
    return event;
}

Events LocalLogUsageProvider::parseCodexFile(const std::string& path, Instant since) {
    Events events;
    CodexLineState state;
    forEachLine(path, codexNeedle, [&](std::string_view line) {
        if (auto event = parseCodexLine(line, path, since, state)) {
            events.push_back(std::move(*event));
        }
    });
    return events;
}

FileRecords LocalLogUsageProvider::codexRecords(const std::string& path, Instant since) {
    FileRecords file;
    file.sessions.push_back(path); // every Codex log file is one session
    CodexLineState state;
    forEachLine(path, codexNeedle, [&](std::string_view line) {
        if (auto event = parseCodexLine(line, path, since, state)) {
            file.records.push_back({event->date.time_since_epoch().count(), event->input,
                                    event->output, event->cache, 0, 0,
                                    static_cast<std::uint32_t>(file.records.size())});
        }
    });
    finish(file);
    return file;
}

} // namespace twinlantern
