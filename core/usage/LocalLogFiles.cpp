// Finding and reading the tools' log files: the listing, the needle search, dates.
#include "core/usage/LocalLogUsageProvider.h"

#include "core/base/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>

namespace twinlantern {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

UniqueDir openDirectory(int parent, const char* name, int flags) {
    UniqueFd fd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags));
    if (!fd) {
        return nullptr;
    }
    DIR* dir = ::fdopendir(fd.get());
    if (dir != nullptr) {
        fd.release(); // the DIR owns it now
    }
    return UniqueDir(dir);
}

Instant instantFromTimespec(const timespec& t) {
    using Rep = Instant::duration::rep;
    constexpr Rep perSecond =
        std::chrono::duration_cast<Instant::duration>(std::chrono::seconds(1)).count();
    Rep ticks = 0;
    if (__builtin_mul_overflow(static_cast<Rep>(t.tv_sec), perSecond, &ticks)) {
        return t.tv_sec > 0 ? Instant::max() : Instant::min();
    }
    Rep fraction =
        std::chrono::duration_cast<Instant::duration>(std::chrono::nanoseconds(t.tv_nsec)).count();
    if (__builtin_add_overflow(ticks, fraction, &ticks)) {
        return Instant::max();
    }
    return Instant(Instant::duration(ticks));
}

bool hasJsonlExtension(std::string_view name) {
    return name.size() > 6 && name.ends_with(".jsonl");
}

// Bytes read at a time: small enough to stay in the CPU cache while the needle is
// searched, large enough that reads cost little.
constexpr std::size_t chunkSize = std::size_t{1} << 20;

bool readMore(int fd, std::vector<char>& buffer, std::size_t& length, off_t base, bool& atEnd) {
    if (buffer.size() - length < chunkSize / 2) {
        buffer.resize(std::max(buffer.size() * 2, length + chunkSize));
    }
    while (true) {
        ssize_t n = ::pread(fd, buffer.data() + length, buffer.size() - length,
                            base + static_cast<off_t>(length));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            atEnd = true; // end of file, or a read error: what was read is all there is
            return false;
        }
        length += static_cast<std::size_t>(n);
        return true;
    }
}

// The first occurrence of needle in [data, data + size), or null. Compares two bytes
// of the needle sixteen positions at a time (its second and its last but one, which
// are rarer in JSON than the quotes around a key), then checks each candidate.
const char* findNeedle(const char* data, std::size_t size, std::string_view needle) {
    const std::size_t k = needle.size();
    if (k > size) {
        return nullptr;
    }
    std::size_t s = 0;
#if defined(__SSE2__)
    if (k >= 3) {
        const std::size_t a = 1, b = k - 2;
        const __m128i first = _mm_set1_epi8(needle[a]), last = _mm_set1_epi8(needle[b]);
        for (; s + b + 16 <= size; s += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + s + a));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + s + b));
            auto mask = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(x, first), _mm_cmpeq_epi8(y, last))));
            while (mask != 0) {
                const std::size_t candidate = s + static_cast<std::size_t>(__builtin_ctz(mask));
                if (candidate + k <= size && std::memcmp(data + candidate, needle.data(), k) == 0) {
                    return data + candidate;
                }
                mask &= mask - 1;
            }
        }
    }
#endif
    return static_cast<const char*>(::memmem(data + s, size - s, needle.data(), k));
}

} // namespace

std::vector<LocalLogUsageProvider::LogFile>
LocalLogUsageProvider::recentLogFiles(const std::string& folder, Instant since) {
    std::vector<LogFile> files;
    struct Level {
        UniqueDir dir;
        std::string path;
    };
    std::vector<Level> stack;
    if (UniqueDir root = openDirectory(AT_FDCWD, folder.c_str(), 0)) {
        stack.push_back({std::move(root), folder});
    }
    while (!stack.empty()) {
        DIR* dir = stack.back().dir.get();
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            stack.pop_back();
            continue;
        }
        const char* name = entry->d_name;
        if (name[0] == '.') {
            continue; // hidden, and "." and ".."
        }
        unsigned char type = entry->d_type;
        struct stat st {};
        bool statted = false;
        if (type == DT_UNKNOWN) {
            if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;
            }
            statted = true;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            // O_NOFOLLOW: a folder swapped for a link meanwhile is not entered either.
            if (UniqueDir sub = openDirectory(::dirfd(dir), name, O_NOFOLLOW)) {
                std::string path = stack.back().path + "/" + name;
                stack.push_back({std::move(sub), std::move(path)});
            }
            continue;
        }
        if (type != DT_REG || !hasJsonlExtension(name)) {
            continue; // links to files are not regular files
        }
        if (!statted && ::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (!S_ISREG(st.st_mode)) {
            continue;
        }
        Instant mtime = instantFromTimespec(st.st_mtim);
        if (mtime < since) {
            continue;
        }
        files.push_back(
            {stack.back().path + "/" + name, static_cast<std::int64_t>(st.st_size), mtime});
    }
    return files;
}

std::vector<std::string> LocalLogUsageProvider::recentJSONL(const std::string& folder,
                                                            Instant since) {
    std::vector<std::string> paths;
    for (LogFile& file : recentLogFiles(folder, since)) {
        paths.push_back(std::move(file.path));
    }
    return paths;
}

std::optional<LocalLogUsageProvider::EventCache::Entry>
LocalLogUsageProvider::EventCache::lookup(const std::string& path, std::int64_t size, Instant mtime,
                                          Instant cutoff) {
    std::lock_guard guard(lock_);
    auto it = entries_.find(path);
    if (it == entries_.end() || it->second.size != size || it->second.mtime != mtime ||
        it->second.cutoff > cutoff) {
        return std::nullopt;
    }
    return it->second;
}

void LocalLogUsageProvider::EventCache::store(const std::string& path, Entry entry) {
    std::lock_guard guard(lock_);
    entries_.insert_or_assign(path, std::move(entry));
}

LocalLogUsageProvider::Events LocalLogUsageProvider::EventCache::events(const std::string& path,
                                                                        Instant cutoff,
                                                                        const Parser& parse) {
    struct stat st {};
    std::int64_t size = -1;
    Instant mtime = Instant::min();
    if (::lstat(path.c_str(), &st) == 0) {
        size = static_cast<std::int64_t>(st.st_size);
        mtime = instantFromTimespec(st.st_mtim);
    }
    if (std::optional<Entry> entry = lookup(path, size, mtime, cutoff)) {
        Events recent;
        for (const UsageEvent& event : *entry->events) {
            if (event.date >= cutoff) {
                recent.push_back(event);
            }
        }
        return recent;
    }
    auto parsed = std::make_shared<const Events>(parse(path, cutoff));
    store(path, {size, mtime, cutoff, parsed});
    return *parsed;
}

void LocalLogUsageProvider::forEachLine(const std::string& path, std::string_view needle,
                                        const std::function<void(std::string_view line)>& body) {
    if (needle.empty()) {
        return;
    }
    // O_NONBLOCK: a log replaced by a FIFO must not hang the open.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    thread_local std::vector<char> buffer;
    if (buffer.size() < chunkSize) {
        buffer.resize(chunkSize);
    }
    const std::size_t keepForNeedle = needle.size() - 1;
    off_t base = 0;           // file offset of buffer[0]
    std::size_t length = 0;   // bytes held
    std::size_t position = 0; // where the search goes on
    off_t lineStart = 0;      // file offset where the current line begins
    bool atEnd = false;
    while (true) {
        char* data = buffer.data();
        const char* match = findNeedle(data + position, length - position, needle);
        if (match == nullptr) {
            if (atEnd) {
                break;
            }
            if (const void* lf = ::memrchr(data + position, '\n', length - position)) {
                lineStart = base + (static_cast<const char*>(lf) - data) + 1;
            }
            // Keep only what may begin a needle; a match in a line that began earlier
            // reads that line again from its start.
            const std::size_t keepFrom = length - std::min(keepForNeedle, length - position);
            std::memmove(data, data + keepFrom, length - keepFrom);
            base += static_cast<off_t>(keepFrom);
            length -= keepFrom;
            position = 0;
            readMore(fd.get(), buffer, length, base, atEnd);
            continue;
        }
        std::size_t at = static_cast<std::size_t>(static_cast<const char*>(match) - data);
        if (const void* lf = ::memrchr(data + position, '\n', at - position)) {
            lineStart = base + (static_cast<const char*>(lf) - data) + 1;
        }
        const off_t matchOffset = base + static_cast<off_t>(at);
        if (lineStart < base) {
            // The line began in bytes already let go: read it again from its start.
            base = lineStart;
            length = 0;
            readMore(fd.get(), buffer, length, base, atEnd);
        }
        // The line ends at the first line feed at or after the match; the bytes are
        // moved only when the line runs past what the buffer holds.
        std::size_t begin = static_cast<std::size_t>(lineStart - base);
        std::size_t searchEnd = std::min(static_cast<std::size_t>(matchOffset - base), length);
        const char* lineEnd = nullptr;
        while (true) {
            data = buffer.data();
            lineEnd =
                static_cast<const char*>(::memchr(data + searchEnd, '\n', length - searchEnd));
            if (lineEnd != nullptr || atEnd) {
                break;
            }
            if (begin > 0) {
                std::memmove(data, data + begin, length - begin);
                base += static_cast<off_t>(begin);
                length -= begin;
                begin = 0;
            }
            searchEnd = length;
            readMore(fd.get(), buffer, length, base, atEnd);
        }
        const std::size_t end =
            lineEnd != nullptr ? static_cast<std::size_t>(lineEnd - data) : length;
        if (end > begin) { // a file cut short meanwhile may leave nothing of the line
            body(std::string_view(data + begin, end - begin));
        }
        if (lineEnd == nullptr) {
            break;
        }
        position = end + 1;
        lineStart = base + static_cast<off_t>(position);
    }
    if (buffer.size() > 4 * chunkSize) {
        std::vector<char>().swap(buffer); // a huge line's room is not kept
    }
}

std::optional<Instant> LocalLogUsageProvider::parseDate(std::string_view s) {
    if (s.size() < 19 || s[4] != '-' || s[7] != '-' || (s[10] != 'T' && s[10] != ' ') ||
        s[13] != ':' || s[16] != ':') {
        return std::nullopt;
    }
    auto isDigit = [](char c) {
        return c >= '0' && c <= '9';
    };
    bool ok = true;
    auto number = [&](std::size_t at, std::size_t count) {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            ok = ok && isDigit(s[i]);
            value = value * 10 + (s[i] - '0');
        }
        return value;
    };
    std::tm tm{};
    tm.tm_year = number(0, 4) - 1900;
    tm.tm_mon = number(5, 2) - 1;
    tm.tm_mday = number(8, 2);
    tm.tm_hour = number(11, 2);
    tm.tm_min = number(14, 2);
    tm.tm_sec = number(17, 2);
    if (!ok) {
        return std::nullopt;
    }
    std::size_t i = 19;
    std::int64_t fractionNanos = 0;
    if (i < s.size() && s[i] == '.') {
        ++i;
        std::int64_t scale = 100000000;
        for (; i < s.size() && isDigit(s[i]); ++i) {
            fractionNanos += (s[i] - '0') * scale; // digits past nanoseconds add nothing
            scale /= 10;
        }
    }
    std::int64_t offset = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-') && s.size() - i >= 6) {
        auto pair = [&](std::size_t at) -> std::optional<int> {
            if (!isDigit(s[at]) || !isDigit(s[at + 1])) {
                return std::nullopt;
            }
            return (s[at] - '0') * 10 + (s[at + 1] - '0');
        };
        std::optional<int> hours = pair(i + 1), minutes = pair(i + 4);
        if (hours && minutes) {
            offset = (s[i] == '-' ? -1 : 1) * (*hours * 3600 + *minutes * 60);
        }
    }
    const std::int64_t total = static_cast<std::int64_t>(::timegm(&tm)) - offset;
    // Dates past what the clock type holds are far outside any window; keep them there.
    using namespace std::chrono;
    constexpr std::int64_t limit = duration_cast<seconds>(Instant::duration::max()).count() - 1;
    if (total > limit) {
        return Instant::max();
    }
    if (total < -limit) {
        return Instant::min();
    }
    return Instant(duration_cast<Instant::duration>(seconds(total) + nanoseconds(fractionNanos)));
}

} // namespace twinlantern
