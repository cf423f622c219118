#include "core/usage/LocalLogUsageProvider.h"

#include "core/base/PathUtil.h"
#include "core/base/SaturatingMath.h"
#include "core/usage/JsonFieldScanner.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace twinlantern {

namespace {

constexpr std::string_view claudeNeedle = "\"usage\"";
constexpr std::string_view codexNeedle = "\"token_count\"";

using Events = LocalLogUsageProvider::Events;
using UsageEvent = LocalLogUsageProvider::UsageEvent;
using EventCache = LocalLogUsageProvider::EventCache;
using LogFile = LocalLogUsageProvider::LogFile;
using SharedEvents = std::shared_ptr<const Events>;

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

template <typename T>
const T* captured(const JsonFieldScanner::Result& result, const JsonFieldScanner::KeyPath& path) {
    auto it = result.find(path);
    return it == result.end() ? nullptr : std::get_if<T>(&it->second);
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

// Each file's events, in file order, from the cache or parsed. Files that must be
// parsed are read by a few worker threads when there is enough to read; they are all
// joined before this returns, and the result does not depend on their number.
std::vector<SharedEvents> eventsOfFiles(const std::vector<LogFile>& files, Instant cutoff,
                                        EventCache& cache,
                                        Events (*parse)(const std::string&, Instant)) {
    std::vector<SharedEvents> results(files.size());
    std::vector<std::size_t> missing;
    std::int64_t missingBytes = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (auto entry = cache.lookup(files[i].path, files[i].size, files[i].mtime, cutoff)) {
            results[i] = entry->events;
        } else {
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
            auto parsed = std::make_shared<const Events>(parse(file.path, cutoff));
            cache.store(file.path, {file.size, file.mtime, cutoff, parsed});
            results[missing[k]] = std::move(parsed);
        }
    };
    // Four readers come close to the memory's pace; more cost CPU time for little gain.
    constexpr std::int64_t bytesPerWorker = 16 << 20;
    std::size_t workers =
        std::min<std::size_t>({std::max(1u, std::thread::hardware_concurrency()), 4, missing.size(),
                               static_cast<std::size_t>(missingBytes / bytesPerWorker) + 1});
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

// Per message id and request id the record with the largest output count stays (the
// later one on a tie): Claude Code logs early lines of a response with placeholder
// output counts.
std::vector<const UsageEvent*> dedupedClaudeEvents(const std::vector<SharedEvents>& perFile,
                                                   Instant cutoff) {
    std::vector<const UsageEvent*> kept;
    std::unordered_map<std::string_view, std::size_t> byKey;
    for (const SharedEvents& events : perFile) {
        for (const UsageEvent& event : *events) {
            if (event.date < cutoff) {
                continue;
            }
            if (!event.dedupeKey) {
                kept.push_back(&event);
                continue;
            }
            auto [it, inserted] = byKey.try_emplace(*event.dedupeKey, kept.size());
            if (inserted) {
                kept.push_back(&event);
            } else if (event.output >= kept[it->second]->output) {
                kept[it->second] = &event;
            }
        }
    }
    return kept;
}

std::vector<const UsageEvent*> allEvents(const std::vector<SharedEvents>& perFile, Instant cutoff) {
    std::vector<const UsageEvent*> all;
    for (const SharedEvents& events : perFile) {
        for (const UsageEvent& event : *events) {
            if (event.date >= cutoff) {
                all.push_back(&event);
            }
        }
    }
    return all;
}

Events copied(const std::vector<const UsageEvent*>& events) {
    Events out;
    out.reserve(events.size());
    for (const UsageEvent* event : events) {
        out.push_back(*event);
    }
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
    const char* variable = nullptr;
    const char* folder = nullptr;
    switch (tool) {
    case ToolKind::claudeCode:
        variable = "CLAUDE_CONFIG_DIR", folder = ".claude";
        break;
    case ToolKind::codex:
        variable = "CODEX_HOME", folder = ".codex";
        break;
    case ToolKind::claudeDesktop:
    case ToolKind::chatGPTApp:
        return std::nullopt;
    }
    if (profile.storage == Profile::Storage::system) {
        auto it = environment_.find(variable);
        return it != environment_.end() ? it->second : PathUtil::join(paths_.home, folder);
    }
    // A hand-edited id such as "../../x" must not lead the reader out of the support folder.
    if (!profile.id.isValid()) {
        return std::nullopt;
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
    double longest = 0;
    for (double window : windows) {
        longest = std::isnan(window) ? longest : std::max(longest, window);
    }
    const Instant cutoff = earlier(now, longest);
    std::vector<SharedEvents> perFile;
    std::vector<const UsageEvent*> events;
    if (tool == ToolKind::claudeCode) {
        perFile = eventsOfFiles(recentLogFiles(PathUtil::join(*root, "projects"), cutoff), cutoff,
                                *cache_, &parseClaudeFile);
        events = dedupedClaudeEvents(perFile, cutoff);
    } else {
        perFile = eventsOfFiles(recentLogFiles(PathUtil::join(*root, "sessions"), cutoff), cutoff,
                                *cache_, &parseCodexFile);
        events = allEvents(perFile, cutoff);
    }
    std::unordered_set<std::string_view> sessions;
    for (ActivitySummary& summary : summaries) {
        const Instant from = earlier(now, summary.window);
        sessions.clear();
        for (const UsageEvent* event : events) {
            if (event->date < from || event->date > now) {
                continue;
            }
            sessions.insert(event->session);
            summary.inputTokens = saturatingAdd(summary.inputTokens, event->input);
            summary.outputTokens = saturatingAdd(summary.outputTokens, event->output);
            summary.cacheTokens = saturatingAdd(summary.cacheTokens, event->cache);
        }
        summary.sessions = static_cast<std::int64_t>(sessions.size());
    }
    return summaries;
}

Events LocalLogUsageProvider::claudeEvents(const std::string& folder, Instant since,
                                           EventCache& cache) {
    return copied(dedupedClaudeEvents(
        eventsOfFiles(recentLogFiles(folder, since), since, cache, &parseClaudeFile), since));
}

Events LocalLogUsageProvider::codexEvents(const std::string& folder, Instant since,
                                          EventCache& cache) {
    return copied(allEvents(
        eventsOfFiles(recentLogFiles(folder, since), since, cache, &parseCodexFile), since));
}

std::optional<UsageEvent> LocalLogUsageProvider::parseClaudeLine(std::string_view line,
                                                                 const std::string& path,
                                                                 Instant since) {
    std::optional<JsonFieldScanner::Result> result = claudeScanner().scan(line);
    if (!result) {
        return std::nullopt;
    }
    const auto* input = captured<std::int64_t>(*result, {"message", "usage", "input_tokens"});
    if (input == nullptr) {
        return std::nullopt;
    }
    const auto* timestamp = captured<std::string>(*result, {"timestamp"});
    std::optional<Instant> date = timestamp != nullptr ? parseDate(*timestamp) : std::nullopt;
    if (!date || *date < since) {
        return std::nullopt;
    }
    UsageEvent event;
    event.date = *date;
    if (const auto* id = captured<std::string>(*result, {"message", "id"})) {
        const auto* request = captured<std::string>(*result, {"requestId"});
        event.dedupeKey = *id + "|" + (request != nullptr ? *request : std::string());
    }
    const auto* session = captured<std::string>(*result, {"sessionId"});
    event.session = session != nullptr ? *session : path;
    auto count = [&](const JsonFieldScanner::KeyPath& key) {
        const auto* value = captured<std::int64_t>(*result, key);
        return value != nullptr ? *value : 0;
    };
    event.input = *input;
    event.output = count({"message", "usage", "output_tokens"});
    event.cache = saturatingAdd(count({"message", "usage", "cache_creation_input_tokens"}),
                                count({"message", "usage", "cache_read_input_tokens"}));
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

} // namespace twinlantern
