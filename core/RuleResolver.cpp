#include "core/RuleResolver.h"

#include "core/PathUtil.h"
#include "core/Text.h"
#include "core/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>

namespace twinlantern {

namespace {

constexpr std::size_t dotfileLimit = 4096;

std::vector<std::string> unique(std::vector<std::string> paths) {
    std::vector<std::string> out;
    for (auto& p : paths) {
        bool seen = false;
        for (const auto& q : out) {
            seen = seen || q == p;
        }
        if (!seen) {
            out.push_back(std::move(p));
        }
    }
    return out;
}

std::string join(const std::string& folder, std::string_view name) {
    std::string out = folder == "/" ? std::string() : folder;
    out += '/';
    out += name;
    return out;
}

// realpath with every resolved prefix remembered: a hundred rules under one folder
// cost one lookup each instead of one per component.
class RealPaths {
public:
    // `absolute` is normalised: no "." or ".." pieces. Its folder is asked of the
    // kernel in one go; the last piece is looked up in that folder, which many rules
    // share.
    std::optional<std::string> resolve(const std::string& absolute) {
        if (absolute == "/") {
            return absolute;
        }
        if (auto it = resolved_.find(absolute); it != resolved_.end()) {
            return it->second;
        }
        const std::string folder = PathUtil::parent(absolute);
        auto known = resolved_.find(folder);
        if (known == resolved_.end()) {
            known = resolved_.emplace(folder, whole(folder)).first;
        }
        std::optional<std::string> real;
        if (known->second) {
            int links = 0;
            real = child(*known->second, std::string_view(absolute).substr(absolute.rfind('/') + 1),
                         links);
        }
        resolved_.emplace(absolute, real);
        return real;
    }

private:
    static constexpr int maxLinks = 40;

    // The kernel's own name for the opened path, else a walk piece by piece.
    std::optional<std::string> whole(const std::string& path) {
        if (path == "/") {
            return path;
        }
        UniqueFd fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
        if (!fd) {
            if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) {
                return std::nullopt;
            }
        } else {
            char link[32];
            std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd.get());
            char target[4096];
            const ssize_t n = ::readlink(link, target, sizeof target);
            if (n > 0 && static_cast<std::size_t>(n) < sizeof target && target[0] == '/') {
                return std::string(target, static_cast<std::size_t>(n));
            }
        }
        int links = 0;
        return walk("/", path, links);
    }

    // `base` is already real; every step below it is looked up once.
    std::optional<std::string> walk(std::string base, std::string_view rest, int& links) {
        while (!rest.empty()) {
            const auto slash = rest.find('/');
            const std::string_view name = rest.substr(0, slash);
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
            if (name.empty() || name == ".") {
                continue;
            }
            if (name == "..") {
                base = PathUtil::parent(base);
                continue;
            }
            auto next = child(base, name, links);
            if (!next) {
                return std::nullopt;
            }
            base = std::move(*next);
        }
        return base;
    }

    std::optional<std::string> child(const std::string& base, std::string_view name, int& links) {
        std::string path = join(base, name);
        if (auto it = known_.find(path); it != known_.end()) {
            return it->second;
        }
        std::optional<std::string> real;
        const Kind kind = kindOf(base, name, path);
        if (kind != Kind::missing) {
            if (kind != Kind::link) {
                real = path;
            } else if (++links <= maxLinks) {
                char target[4096];
                const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
                if (n > 0 && static_cast<std::size_t>(n) < sizeof target) {
                    const std::string_view t(target, static_cast<std::size_t>(n));
                    real = walk(t.front() == '/' ? "/" : base, t, links);
                }
            }
        }
        known_.emplace(std::move(path), real);
        return real;
    }

    enum class Kind { missing, link, other };

    // Many rules share one parent folder; after a few lookups there, one listing of
    // it answers the rest.
    Kind kindOf(const std::string& base, std::string_view name, const std::string& path) {
        auto& folder = folders_[base];
        if (!folder.listed && ++folder.lookups > listAfter) {
            folder.listed = list(base, folder.entries);
        }
        if (folder.listed) {
            auto it = folder.entries.find(std::string(name));
            if (it == folder.entries.end()) {
                return Kind::missing;
            }
            if (it->second != DT_UNKNOWN) {
                return it->second == DT_LNK ? Kind::link : Kind::other;
            }
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            return Kind::missing;
        }
        return S_ISLNK(st.st_mode) ? Kind::link : Kind::other;
    }

    static bool list(const std::string& folder, std::map<std::string, unsigned char>& entries) {
        struct CloseDir {
            void operator()(DIR* d) const { ::closedir(d); }
        };
        std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.c_str()));
        if (!dir) {
            return false;
        }
        while (const dirent* entry = ::readdir(dir.get())) {
            if (entries.size() >= maxListed) {
                entries.clear();
                return false; // a huge folder: asking one by one is cheaper
            }
            entries.emplace(entry->d_name, entry->d_type);
        }
        return true;
    }

    static constexpr int listAfter = 8;
    static constexpr std::size_t maxListed = 512;

    struct Folder {
        int lookups = 0;
        bool listed = false;
        std::map<std::string, unsigned char> entries;
    };

    std::map<std::string, std::optional<std::string>> known_;    // real folder + name
    std::map<std::string, std::optional<std::string>> resolved_; // paths as asked
    std::map<std::string, Folder> folders_;
};

// Length of the line break at s[i], 0 when there is none there.
std::size_t lineBreakLength(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '\r') {
        return i + 1 < s.size() && s[i + 1] == '\n' ? 2 : 1;
    }
    if (c == '\n' || c == '\v' || c == '\f') {
        return 1;
    }
    if (s.substr(i, 2) == "\u0085") {
        return 2;
    }
    if (s.substr(i, 3) == "\u2028" || s.substr(i, 3) == "\u2029") {
        return 3;
    }
    return 0;
}

// Tab and the Unicode space separators; the file is valid UTF-8 here.
std::size_t leadingSpaceLength(std::string_view s) {
    if (s.empty()) {
        return 0;
    }
    if (s[0] == ' ' || s[0] == '\t') {
        return 1;
    }
    for (std::string_view space :
         {"\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
          "\u2007", "\u2008", "\u2009", "\u200A", "\u202F", "\u205F", "\u3000"}) {
        if (s.starts_with(space)) {
            return space.size();
        }
    }
    return 0;
}

std::size_t trailingSpaceLength(std::string_view s) {
    // Every separator is at most 3 bytes; test the endings that decode as one.
    for (std::size_t n = 1; n <= 3 && n <= s.size(); ++n) {
        std::string_view tail = s.substr(s.size() - n);
        if (leadingSpaceLength(tail) == n) {
            return n;
        }
    }
    return 0;
}

std::string_view trimSpaces(std::string_view s) {
    while (std::size_t n = leadingSpaceLength(s)) {
        s.remove_prefix(n);
    }
    while (std::size_t n = trailingSpaceLength(s)) {
        s.remove_suffix(n);
    }
    return s;
}

std::string dotfileIn(const std::string& folder) {
    return folder == "/" ? std::string("/") + RuleResolver::dotfileName
                         : folder + "/" + RuleResolver::dotfileName;
}

struct FoundDotfile {
    std::string path;
    std::string reference;
};

// The nearest file that names something, walking each candidate up to "/".
std::optional<FoundDotfile> nearestDotfile(const std::vector<std::string>& candidates) {
    for (const auto& candidate : candidates) {
        std::string folder = candidate;
        for (;;) {
            std::string file = dotfileIn(folder);
            if (auto reference = RuleResolver::readReference(file)) {
                return FoundDotfile{std::move(file), std::move(*reference)};
            }
            if (folder == "/") {
                break;
            }
            folder = PathUtil::parent(folder);
        }
    }
    return std::nullopt;
}

struct BestRule {
    const FolderRule* rule = nullptr;
    std::vector<std::string> forms;
    std::size_t depth = 0;
};

} // namespace

std::optional<std::string> RuleResolver::readReference(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    // Non-blocking, so a file swapped for a FIFO after the stat cannot hang us.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    char buffer[dotfileLimit + 1];
    std::size_t got = 0;
    while (got < sizeof buffer) {
        const ssize_t n = ::read(fd.get(), buffer + got, sizeof buffer - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    const std::string_view bytes(buffer, got);
    if (got > dotfileLimit || !text::isValidUtf8(bytes)) {
        return std::nullopt;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size();) {
        const std::size_t breakLength = i < bytes.size() ? lineBreakLength(bytes, i) : 1;
        if (breakLength == 0) {
            ++i;
            continue;
        }
        const std::string_view line = trimSpaces(bytes.substr(start, i - start));
        if (!line.empty() && line.front() != '#') {
            return std::string(line);
        }
        i += breakLength;
        start = i;
    }
    return std::nullopt;
}

Resolution RuleResolver::resolve(const std::string& path, const std::string& cwd) const {
    const std::string normalized = PathUtil::normalize(PathUtil::expandTilde(path, home), cwd);
    RealPaths realPaths;
    auto withRealPath = [&realPaths](std::string folder) {
        std::string real = realPaths.resolve(folder).value_or(folder);
        return unique({std::move(folder), std::move(real)});
    };
    const std::string real = realPaths.resolve(normalized).value_or(normalized);
    const std::vector<std::string> candidates = unique({normalized, real});
    const bool caseSensitive = PathUtil::isCaseSensitiveVolume(real);
    auto inside = [caseSensitive](const std::string& p, const std::string& ancestor) {
        return PathUtil::isSameOrInside(p, ancestor, caseSensitive);
    };

    BestRule best;
    for (const auto& rule : document.rules) {
        if (document.profile(rule.profileID) == nullptr) {
            continue;
        }
        auto forms =
            withRealPath(PathUtil::normalize(PathUtil::expandTilde(rule.folderPath(), home)));
        for (const auto& form : forms) {
            bool matches = false;
            for (const auto& candidate : candidates) {
                matches = matches || inside(candidate, form);
            }
            const std::size_t depth = PathUtil::componentCount(form);
            if (matches && (best.rule == nullptr || depth > best.depth)) {
                best = {&rule, forms, depth};
            }
        }
    }

    Resolution result;
    const Profile* dotfileProfile = nullptr;
    std::string dotfilePath;
    std::vector<std::string> dotfileForms;
    if (auto found = nearestDotfile(candidates)) {
        dotfileProfile = document.profileNamed(found->reference);
        if (dotfileProfile == nullptr) {
            result.warnings.push_back(found->path + " names \u201C" + found->reference +
                                      "\u201D, but there's no profile with that name.");
        } else {
            dotfilePath = std::move(found->path);
            dotfileForms = withRealPath(PathUtil::parent(dotfilePath));
        }
    }

    bool dotfileWins = dotfileProfile != nullptr;
    if (dotfileWins && best.rule != nullptr) {
        // Only a file strictly below the rule's folder takes over from the rule.
        dotfileWins = false;
        for (const auto& ruleForm : best.forms) {
            for (const auto& dotForm : dotfileForms) {
                dotfileWins = dotfileWins ||
                              (inside(dotForm, ruleForm) && PathUtil::componentCount(dotForm) >
                                                                PathUtil::componentCount(ruleForm));
            }
        }
    }

    if (dotfileWins) {
        result.profile = *dotfileProfile;
        result.source = Resolution::Source::dotfile;
        result.dotfilePath = std::move(dotfilePath);
    } else if (best.rule != nullptr) {
        result.profile = *document.profile(best.rule->profileID);
        result.source = Resolution::Source::folderRule;
        result.rule = *best.rule;
    } else if (const Profile* fallback =
                   document.cliDefault ? document.profile(*document.cliDefault) : nullptr) {
        result.profile = *fallback;
        result.source = Resolution::Source::cliDefault;
    }
    return result;
}

} // namespace twinlantern
