#pragma once

// The merged view of one log folder's files that a call totals, kept in the cache
// until one of the files changes.
#include "core/usage/LocalLogUsageProvider.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace twinlantern {

struct LocalLogUsageProvider::EventCache::View {
    static constexpr std::uint32_t noGroup = UINT32_MAX;

    std::vector<SharedRecords> files; // what it was built from, in listing order
    // Per record of all files in turn, the records sharing its dedupe key; empty when
    // no record has a key.
    std::vector<std::uint32_t> groups;
    std::vector<std::size_t> firstRecord;  // per file, its first record's place in groups
    std::vector<std::uint32_t> sessions;   // per file's session in turn, a number across files
    std::vector<std::size_t> firstSession; // per file, its first session's place in sessions
    std::uint32_t groupCount = 0;
    std::uint32_t sessionCount = 0;

    std::size_t bytes() const;
};

namespace usage {

using View = LocalLogUsageProvider::EventCache::View;

// The view of these files from the cache, or built and stored there.
std::shared_ptr<const View> viewOf(LocalLogUsageProvider::EventCache& cache,
                                   const std::string& folder,
                                   std::vector<LocalLogUsageProvider::SharedRecords> files);

// The records of a file dated from..until, both included.
std::pair<const LocalLogUsageProvider::Record*, const LocalLogUsageProvider::Record*>
dated(const LocalLogUsageProvider::FileRecords& file, Instant::rep from, Instant::rep until);

// The dedupe among the records dated from..until (both included): per key the one with
// the largest output stays, the later in file and line order on a tie. Per group, the
// place (file << 32 | record) + 1 of the record that stays, 0 for none. Empty when no
// record has a key.
std::vector<std::uint64_t> winners(const View& view, Instant::rep from, Instant::rep until);

// Calls visit(file, sessions, record) for every record dated from..until that the
// dedupe keeps; sessions are the numbers across files of that file's sessions.
template <typename Visit>
void forEachKept(const View& view, const std::vector<std::uint64_t>& best, Instant::rep from,
                 Instant::rep until, Visit&& visit) {
    const std::uint64_t* const places = best.empty() ? nullptr : best.data();
    for (std::size_t f = 0; f < view.files.size(); ++f) {
        const LocalLogUsageProvider::Record* const records = view.files[f]->records.data();
        const std::uint32_t* const sessions = view.sessions.data() + view.firstSession[f];
        const std::uint32_t* const groups =
            places != nullptr ? view.groups.data() + view.firstRecord[f] : nullptr;
        auto [begin, end] = dated(*view.files[f], from, until);
        for (const LocalLogUsageProvider::Record* r = begin; r != end; ++r) {
            if (places != nullptr && r->key != 0) {
                const std::size_t i = static_cast<std::size_t>(r - records);
                if (places[groups[i]] != ((std::uint64_t{f} << 32 | i) + 1)) {
                    continue;
                }
            }
            visit(f, sessions, *r);
        }
    }
}

} // namespace usage
} // namespace twinlantern
