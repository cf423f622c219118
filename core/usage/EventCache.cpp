// The cache of parsed log files, and the merged view of a folder's files.
#include "core/usage/UsageView.h"

#include <algorithm>
#include <bit>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace twinlantern {

using Provider = LocalLogUsageProvider;
using EventCache = Provider::EventCache;
using View = EventCache::View;
using LogFile = Provider::LogFile;

std::optional<EventCache::Entry> EventCache::lookup(const std::string& path, std::int64_t size,
                                                    Instant mtime, Instant cutoff) {
    std::lock_guard guard(lock_);
    auto it = entries_.find(path);
    if (it == entries_.end() || it->second.size != size || it->second.mtime != mtime ||
        it->second.cutoff > cutoff) {
        return std::nullopt;
    }
    return it->second;
}

std::vector<Provider::SharedRecords> EventCache::lookup(const std::vector<LogFile>& files,
                                                        Instant cutoff) {
    std::vector<SharedRecords> found(files.size());
    std::lock_guard guard(lock_);
    for (std::size_t i = 0; i < files.size(); ++i) {
        auto it = entries_.find(files[i].path);
        if (it != entries_.end() && it->second.size == files[i].size &&
            it->second.mtime == files[i].mtime && it->second.cutoff <= cutoff) {
            found[i] = it->second.records;
        }
    }
    return found;
}

void EventCache::store(const std::string& path, Entry entry) {
    std::lock_guard guard(lock_);
    entries_.insert_or_assign(path, std::move(entry));
}

std::shared_ptr<const View> EventCache::view(const std::string& folder) {
    std::lock_guard guard(lock_);
    auto it = views_.find(folder);
    return it == views_.end() ? nullptr : it->second;
}

void EventCache::storeView(const std::string& folder, std::shared_ptr<const View> view) {
    std::lock_guard guard(lock_);
    views_.insert_or_assign(folder, std::move(view));
}

namespace {

// A map node's own bookkeeping, beside its key and value.
constexpr std::size_t mapNodeBytes = 4 * sizeof(void*);

std::size_t stringBytes(const std::string& s) {
    // Short texts live inside the string object.
    return sizeof(std::string) + (s.capacity() > 15 ? s.capacity() + 1 : 0);
}

std::size_t recordsBytes(const Provider::FileRecords& file) {
    std::size_t bytes = sizeof(file) + 2 * sizeof(void*) + // the shared_ptr's control block
                        file.records.capacity() * sizeof(Provider::Record);
    for (const std::string& session : file.sessions) {
        bytes += stringBytes(session);
    }
    return bytes + (file.sessions.capacity() - file.sessions.size()) * sizeof(std::string);
}

} // namespace

std::size_t View::bytes() const {
    return sizeof(*this) + files.capacity() * sizeof(SharedRecords) +
           groups.capacity() * sizeof(std::uint32_t) +
           firstRecord.capacity() * sizeof(std::size_t) +
           sessions.capacity() * sizeof(std::uint32_t) +
           firstSession.capacity() * sizeof(std::size_t);
}

EventCache::Footprint EventCache::footprint() {
    std::lock_guard guard(lock_);
    Footprint footprint;
    std::unordered_set<const FileRecords*> counted;
    auto count = [&](const SharedRecords& records) {
        if (records && counted.insert(records.get()).second) {
            footprint.records += records->records.size();
            footprint.bytes += recordsBytes(*records);
        }
    };
    for (const auto& [path, entry] : entries_) {
        footprint.bytes += mapNodeBytes + stringBytes(path) + sizeof(Entry);
        count(entry.records);
    }
    for (const auto& [folder, view] : views_) {
        footprint.bytes += mapNodeBytes + stringBytes(folder) + sizeof(view) + view->bytes();
        for (const SharedRecords& file : view->files) {
            count(file);
        }
    }
    return footprint;
}

namespace usage {

std::shared_ptr<const View> viewOf(EventCache& cache, const std::string& folder,
                                   std::vector<Provider::SharedRecords> files) {
    if (std::shared_ptr<const View> kept = cache.view(folder); kept && kept->files == files) {
        return kept;
    }
    auto view = std::make_shared<View>();
    view->files = std::move(files);
    std::size_t total = 0, keyed = 0, sessionTotal = 0;
    for (const Provider::SharedRecords& file : view->files) {
        view->firstRecord.push_back(total);
        view->firstSession.push_back(sessionTotal);
        total += file->records.size();
        sessionTotal += file->sessions.size();
        for (const Provider::Record& record : file->records) {
            keyed += record.key != 0 ? 1 : 0;
        }
    }
    // Sessions by name across files.
    std::unordered_map<std::string_view, std::uint32_t> sessionNumbers;
    view->sessions.reserve(sessionTotal);
    for (const Provider::SharedRecords& file : view->files) {
        for (const std::string& session : file->sessions) {
            auto [it, added] = sessionNumbers.try_emplace(session, view->sessionCount);
            view->sessionCount += added ? 1 : 0;
            view->sessions.push_back(it->second);
        }
    }
    if (keyed == 0) {
        return cache.storeView(folder, view), view;
    }
    // Records by key across files, in an open-addressed table of key digests: most
    // keys come more than once, so the table fills to 80 % at most.
    const int bits = std::max(4, static_cast<int>(std::bit_width(keyed + keyed / 4)));
    const std::size_t mask = (std::size_t{1} << bits) - 1;
    std::vector<std::uint64_t> keys(mask + 1, 0);
    std::vector<std::uint32_t> numbers(mask + 1);
    view->groups.assign(total, View::noGroup);
    std::size_t at = 0;
    for (const Provider::SharedRecords& file : view->files) {
        for (const Provider::Record& record : file->records) {
            if (record.key != 0) {
                std::size_t slot = (record.key * 0x9E3779B97F4A7C15u) >> (64 - bits);
                while (keys[slot] != 0 && keys[slot] != record.key) {
                    slot = (slot + 1) & mask;
                }
                if (keys[slot] == 0) {
                    keys[slot] = record.key;
                    numbers[slot] = view->groupCount++;
                }
                view->groups[at] = numbers[slot];
            }
            ++at;
        }
    }
    cache.storeView(folder, view);
    return view;
}

std::pair<const Provider::Record*, const Provider::Record*>
dated(const Provider::FileRecords& file, Instant::rep from, Instant::rep until) {
    const Provider::Record* begin = file.records.data();
    const Provider::Record* end = begin + file.records.size();
    begin = std::partition_point(begin, end, [&](const auto& r) { return r.date < from; });
    end = std::partition_point(begin, end, [&](const auto& r) { return r.date <= until; });
    return {begin, end};
}

std::vector<std::uint64_t> winners(const View& view, Instant::rep from, Instant::rep until) {
    std::vector<std::uint64_t> best;
    if (view.groups.empty()) {
        return best;
    }
    best.assign(view.groupCount, 0);
    std::uint64_t* const places = best.data();
    for (std::size_t f = 0; f < view.files.size(); ++f) {
        const Provider::Record* const records = view.files[f]->records.data();
        const std::uint32_t* const groups = view.groups.data() + view.firstRecord[f];
        auto [begin, end] = dated(*view.files[f], from, until);
        for (const Provider::Record* r = begin; r != end; ++r) {
            if (r->key == 0) {
                continue;
            }
            const std::size_t i = static_cast<std::size_t>(r - records);
            std::uint64_t& place = places[groups[i]];
            if (place != 0) {
                const std::size_t bestFile = (place - 1) >> 32;
                const Provider::Record& b = view.files[bestFile]->records[(place - 1) & UINT32_MAX];
                // Files come in order; within one, records by date, so lines by order.
                const bool later = f > bestFile || r->order > b.order;
                if (r->output < b.output || (r->output == b.output && !later)) {
                    continue;
                }
            }
            place = (std::uint64_t{f} << 32 | i) + 1;
        }
    }
    return best;
}

} // namespace usage
} // namespace twinlantern
