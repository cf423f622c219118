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

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <system_error>
#include <thread>

namespace twinlantern {

namespace {

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
        // Doubling while lines are short; a long one gets room for the longest line
        // held at once, so that two large buffers never live side by side.
        constexpr std::size_t most = LocalLogUsageProvider::maxLineBytes + chunkSize;
        std::size_t size = std::max(buffer.size() * 2, length + chunkSize);
        buffer.resize(size > 4 * chunkSize ? std::max(most, length + chunkSize) : size);
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

namespace {

using LogFile = LocalLogUsageProvider::LogFile;

// What one folder entry is, without following a link; DT_UNKNOWN for anything else.
// st is filled when it had to be read.
unsigned char entryType(DIR* dir, const dirent* entry, struct stat& st, bool& statted) {
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return DT_UNKNOWN;
        }
        statted = true;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    return type;
}

// Adds a regular .jsonl file modified at or after since; links to files are not regular.
void addIfRecent(DIR* dir, const dirent* entry, unsigned char type, struct stat& st, bool statted,
                 const std::string& folder, Instant since, std::vector<LogFile>& files) {
    const char* name = entry->d_name;
    if (type != DT_REG || !hasJsonlExtension(name)) {
        return;
    }
    if (!statted && ::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        return;
    }
    Instant mtime = instantFromTimespec(st.st_mtim);
    if (mtime < since) {
        return;
    }
    files.push_back({folder + "/" + name, static_cast<std::int64_t>(st.st_size), mtime});
}

// The whole tree below one folder, depth first in the order the folders list.
void walk(UniqueDir root, const std::string& folder, Instant since, std::vector<LogFile>& files) {
    struct Level {
        UniqueDir dir;
        std::string path;
    };
    std::vector<Level> stack;
    stack.push_back({std::move(root), folder});
    while (!stack.empty()) {
        DIR* dir = stack.back().dir.get();
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            stack.pop_back();
            continue;
        }
        if (entry->d_name[0] == '.') {
            continue; // hidden, and "." and ".."
        }
        struct stat st {};
        bool statted = false;
        const unsigned char type = entryType(dir, entry, st, statted);
        if (type == DT_DIR) {
            // O_NOFOLLOW: a folder swapped for a link meanwhile is not entered either.
            if (UniqueDir sub = openDirectory(::dirfd(dir), entry->d_name, O_NOFOLLOW)) {
                std::string path = stack.back().path + "/" + entry->d_name;
                stack.push_back({std::move(sub), std::move(path)});
            }
            continue;
        }
        addIfRecent(dir, entry, type, st, statted, stack.back().path, since, files);
    }
}

} // namespace

std::vector<LocalLogUsageProvider::LogFile>
LocalLogUsageProvider::recentLogFiles(const std::string& folder, Instant since, unsigned threads) {
    std::vector<LogFile> files;
    UniqueDir root = openDirectory(AT_FDCWD, folder.c_str(), 0);
    if (!root) {
        return files;
    }
    if (threads <= 1) {
        walk(std::move(root), folder, since, files);
        return files;
    }
    // The top folder is read here; each subfolder's tree by whichever thread is free,
    // and the pieces are put together in the order the top folder lists them.
    struct Piece {
        std::vector<LogFile> files;
        std::string subfolder; // a tree still to walk, when not empty
    };
    std::vector<Piece> pieces(1);
    DIR* dir = root.get();
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        struct stat st {};
        bool statted = false;
        const unsigned char type = entryType(dir, entry, st, statted);
        if (type == DT_DIR) {
            pieces.push_back({{}, entry->d_name});
            pieces.emplace_back();
            continue;
        }
        addIfRecent(dir, entry, type, st, statted, folder, since, pieces.back().files);
    }
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t k = next++; k < pieces.size(); k = next++) {
            Piece& piece = pieces[k];
            if (piece.subfolder.empty()) {
                continue;
            }
            if (UniqueDir sub = openDirectory(::dirfd(dir), piece.subfolder.c_str(), O_NOFOLLOW)) {
                walk(std::move(sub), folder + "/" + piece.subfolder, since, piece.files);
            }
        }
    };
    const std::size_t trees = pieces.size() / 2;
    std::vector<std::jthread> helpers;
    try {
        for (std::size_t t = 1; t < std::min<std::size_t>(threads, trees); ++t) {
            helpers.emplace_back(work);
        }
    } catch (const std::system_error&) {
        // No more threads to be had: the ones started and this one share the trees.
    }
    work();
    helpers.clear(); // joins
    for (Piece& piece : pieces) {
        files.insert(files.end(), std::make_move_iterator(piece.files.begin()),
                     std::make_move_iterator(piece.files.end()));
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

LocalLogUsageProvider::SharedRecords
LocalLogUsageProvider::EventCache::records(const std::string& path, Instant cutoff,
                                           const RecordParser& parse) {
    struct stat st {};
    std::int64_t size = -1;
    Instant mtime = Instant::min();
    if (::lstat(path.c_str(), &st) == 0) {
        size = static_cast<std::int64_t>(st.st_size);
        mtime = instantFromTimespec(st.st_mtim);
    }
    if (std::optional<Entry> entry = lookup(path, size, mtime, cutoff)) {
        return entry->records;
    }
    auto parsed = std::make_shared<const FileRecords>(parse(path, cutoff));
    store(path, {size, mtime, cutoff, parsed});
    return parsed;
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
        bool tooLong = static_cast<std::size_t>(matchOffset - lineStart) > maxLineBytes;
        std::size_t skipFrom = at; // where a passed-over line's end is looked for
        if (!tooLong) {
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
                if (length - begin > maxLineBytes) {
                    tooLong = true;
                    skipFrom = length;
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
            if (!tooLong) {
                const std::size_t end =
                    lineEnd != nullptr ? static_cast<std::size_t>(lineEnd - data) : length;
                // A file cut short meanwhile may leave nothing of the line.
                if (end > begin && end - begin <= maxLineBytes) {
                    body(std::string_view(data + begin, end - begin));
                }
                if (lineEnd == nullptr) {
                    break;
                }
                position = end + 1;
                lineStart = base + static_cast<off_t>(position);
                continue;
            }
        }
        // A line too long to hold: its end is looked for in one chunk after another.
        position = skipFrom;
        bool found = false;
        while (true) {
            data = buffer.data();
            if (const void* lf = ::memchr(data + position, '\n', length - position)) {
                position = static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
                lineStart = base + static_cast<off_t>(position);
                found = true;
                break;
            }
            if (atEnd) {
                break;
            }
            base += static_cast<off_t>(length);
            length = 0;
            position = 0;
            readMore(fd.get(), buffer, length, base, atEnd);
        }
        if (!found) {
            break;
        }
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
