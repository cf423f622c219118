#include "core/rules/RuleResolver.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/Text.h"
#include "core/base/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace twinlantern {

namespace {

constexpr std::size_t dotfileLimit = 4096;

// `path` is `ancestor` or lies below it; both normalised.
bool isPrefixFolder(std::string_view ancestor, std::string_view path) {
    return path.starts_with(ancestor) &&
           (path.size() == ancestor.size() || path[ancestor.size()] == '/');
}

// realpath with every resolved prefix remembered: a hundred rules under one folder
// cost one lookup each instead of one per component.
class RealPaths {
public:
    // Every folder above a real path is real as written, so paths that lead to it
    // need no lookup at all.
    void trust(std::string real) { trusted_ = std::move(real); }

    // Folders that hold many of the paths to come are listed once up front.
    void expect(std::string_view path) {
        const auto slash = path.rfind('/');
        const std::string_view folder = slash == 0 ? std::string_view("/") : path.substr(0, slash);
        if (lastExpected_ == folders_.end() || lastExpected_->first != folder) {
            lastExpected_ = folders_.find(folder);
            if (lastExpected_ == folders_.end()) {
                lastExpected_ = folders_.emplace(std::string(folder), Folder()).first;
            }
        }
        ++lastExpected_->second.expected;
    }

    // `absolute` is normalised: no "." or ".." pieces. Its folder is asked of the
    // kernel in one go; the last piece is looked up in that folder, which many rules
    // share.
    std::optional<std::string> resolve(const std::string& absolute) {
        if (absolute == "/" || (!trusted_.empty() && isPrefixFolder(absolute, trusted_))) {
            return absolute;
        }
        const auto slash = absolute.rfind('/');
        const std::string_view folder =
            slash == 0 ? std::string_view("/") : std::string_view(absolute).substr(0, slash);
        const std::optional<std::string>& realFolder = folderReal(folder);
        if (!realFolder) {
            return std::nullopt;
        }
        int links = 0;
        return child(*realFolder, std::string_view(absolute).substr(slash + 1), links);
    }

private:
    static constexpr int maxLinks = 40;

    const std::optional<std::string>& folderReal(std::string_view folder) {
        if (lastFolder_ != folderReals_.end() && lastFolder_->first == folder) {
            return lastFolder_->second; // rules tend to share a folder
        }
        if (auto it = folderReals_.find(folder); it != folderReals_.end()) {
            lastFolder_ = it;
            return it->second;
        }
        std::optional<std::string> real;
        if (folder == "/" || (!trusted_.empty() && isPrefixFolder(folder, trusted_))) {
            real = std::string(folder);
        } else {
            real = PathUtil::realPath(std::string(folder)); // the kernel's, in one open
        }
        lastFolder_ = folderReals_.emplace(std::string(folder), std::move(real)).first;
        return lastFolder_->second;
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
        if (lastChild_ == folders_.end() || lastChild_->first != base) {
            lastChild_ = folders_.try_emplace(base).first;
        }
        Folder& folder = lastChild_->second;
        if (!folder.tried && (folder.expected > listAfter || ++folder.lookups > listAfter)) {
            folder.tried = true; // a folder too big to list is not read again
            folder.listed = list(base, folder.entries);
        }
        Kind kind = Kind::unknown;
        if (folder.listed) {
            auto it = folder.entries.find(name);
            if (it == folder.entries.end()) {
                return std::nullopt; // the common case of a rule for a folder not made yet
            }
            if (it->second != DT_UNKNOWN) {
                kind = it->second == DT_LNK ? Kind::link : Kind::other;
            }
        }
        std::string path = PathUtil::join(base, name);
        if (kind == Kind::other) {
            return path;
        }
        if (auto it = known_.find(path); it != known_.end()) {
            return it->second;
        }
        if (kind == Kind::unknown) {
            struct stat st {};
            kind = ::lstat(path.c_str(), &st) != 0 ? Kind::missing
                   : S_ISLNK(st.st_mode)           ? Kind::link
                                                   : Kind::other;
        }
        std::optional<std::string> real;
        if (kind == Kind::other) {
            real = path;
        } else if (kind == Kind::link && ++links <= maxLinks) {
            char target[4096];
            const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
            if (n > 0 && static_cast<std::size_t>(n) < sizeof target) {
                const std::string_view t(target, static_cast<std::size_t>(n));
                real = walk(t.front() == '/' ? "/" : base, t, links);
            }
        }
        known_.emplace(std::move(path), real);
        return real;
    }

    enum class Kind { unknown, missing, link, other };

    using Entries = std::map<std::string, unsigned char, std::less<>>;

    static bool list(const std::string& folder, Entries& entries) {
        const UniqueDir dir(::opendir(folder.c_str()));
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

    // A listing costs about as much as this many single lookups.
    static constexpr int listAfter = 5;
    static constexpr std::size_t maxListed = 512;

    struct Folder {
        int expected = 0;
        int lookups = 0;
        bool tried = false;
        bool listed = false;
        Entries entries;
    };

    using Reals = std::map<std::string, std::optional<std::string>, std::less<>>;

    std::string trusted_;
    Reals known_;       // real folder + name
    Reals folderReals_; // as asked
    Reals::iterator lastFolder_ = folderReals_.end();
    std::map<std::string, Folder, std::less<>> folders_; // real folders
    decltype(folders_)::iterator lastExpected_ = folders_.end();
    decltype(folders_)::iterator lastChild_ = folders_.end();
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

// `PathUtil::normalize(PathUtil::expandTilde(path, home))` with one string built:
// the pieces after "~" follow the pieces of the home folder.
std::string expandedFolder(std::string_view path, std::string_view home) {
    if (path == "~" || path.starts_with("~/")) {
        path.remove_prefix(1);
        while (path.starts_with('/')) {
            path.remove_prefix(1);
        }
        return PathUtil::normalize(path, home);
    }
    return PathUtil::normalize(path);
}

// The first line that is neither blank nor a comment, trimmed, of UTF-8 text.
std::optional<std::string> referenceIn(std::string_view bytes) {
    if (bytes.size() > dotfileLimit || !text::isValidUtf8(bytes)) {
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

struct FoundDotfile {
    std::string path;
    std::string reference;
};

// The reference in `name` inside the folder `folder` (a descriptor), its file's status in
// `file`. The stat keeps a device a cloned folder links to from being opened at all; the
// open is still non-blocking, so a file swapped for a FIFO after it cannot hang us.
// `file` holds the stat already when `statted`.
std::optional<std::string> referenceAt(int folder, const char* name, struct stat& file,
                                       bool statted = false) {
    if (!statted && (::fstatat(folder, name, &file, 0) != 0 || !S_ISREG(file.st_mode))) {
        return std::nullopt;
    }
    const UniqueFd fd(::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd || ::fstat(fd.get(), &file) != 0 || !S_ISREG(file.st_mode) ||
        static_cast<std::uint64_t>(file.st_size) > dotfileLimit) {
        return std::nullopt;
    }
    char buffer[dotfileLimit + 1];
    const ssize_t n = readUpTo(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
        return std::nullopt;
    }
    return referenceIn(std::string_view(buffer, static_cast<std::size_t>(n)));
}

// Why a dotfile that names something is not to be trusted, or nothing: another user
// could have put it there, or could swap it.
std::optional<std::string_view> distrust(const struct stat& file, const struct stat& folder) {
    const uid_t me = ::geteuid();
    if (file.st_uid != me && file.st_uid != 0) {
        return "another user owns it";
    }
    if (folder.st_uid != me && folder.st_uid != 0) {
        return "another user owns its folder";
    }
    // The user's own primary group counts as the user's (a group of one, usually).
    const bool othersWrite = (folder.st_mode & S_IWOTH) != 0 ||
                             ((folder.st_mode & S_IWGRP) != 0 && folder.st_gid != ::getegid());

    if (othersWrite && (folder.st_mode & S_ISVTX) == 0) {
        return "other users can write to its folder";
    }
    return std::nullopt;
}

class DotfileSearch {
public:
    std::optional<FoundDotfile> found;
    std::vector<std::string> warnings; // the files ignored below the one found

    // The files in `folder` and each folder above it. Paths that fit PATH_MAX are asked
    // as they are, nearest first; the folders below that length are opened one at a time
    // relative to their parent, so a folder of any depth has its files read too.
    void walk(const std::string& folder) {
        const std::size_t room = PATH_MAX - 2 - nameLength; // "/" and the NUL
        std::size_t fits = folder.size();
        if (folder.size() > room) {
            fits = folder.rfind('/', room);
            walkDown(folder, fits);
            if (found) {
                return;
            }
        }
        std::string file(folder.substr(0, fits == 1 ? 0 : fits)); // "" for "/"
        for (;;) {
            const std::size_t folderLength = file.size();
            file += '/';
            file += RuleResolver::dotfileName;
            struct stat st {};
            if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                const UniqueFd at(
                    ::open(folderLength == 0 ? "/" : file.substr(0, folderLength).c_str(),
                           O_PATH | O_DIRECTORY | O_CLOEXEC));
                if (at && probe(at.get(), file, &st)) {
                    return;
                }
            }
            if (folderLength == 0) {
                return; // "/" done
            }
            file.resize(file.rfind('/', folderLength - 1)); // the parent; "" for "/"
        }
    }

private:
    static constexpr std::size_t nameLength = std::string_view(RuleResolver::dotfileName).size();

    // Each folder of `folder` below its first `from` bytes, deepest trusted file winning.
    void walkDown(const std::string& folder, std::size_t from) {
        std::string path = folder.substr(0, from);
        UniqueFd at(::open(path.empty() ? "/" : path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        std::vector<std::string> ignored;
        std::string_view rest = std::string_view(folder).substr(from);
        while (at) {
            while (rest.starts_with('/')) {
                rest.remove_prefix(1);
            }
            if (rest.empty()) {
                break;
            }
            const std::string component(rest.substr(0, rest.find('/')));
            rest.remove_prefix(component.size());
            at = UniqueFd(::openat(at.get(), component.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            path += "/" + component;
            if (at) {
                const std::size_t before = warnings.size();
                if (probe(at.get(), path + "/" + RuleResolver::dotfileName)) {
                    ignored.clear(); // files above the one found never counted
                } else if (warnings.size() > before) {
                    ignored.push_back(std::move(warnings.back()));
                    warnings.pop_back();
                }
            }
        }
        warnings.insert(warnings.end(), ignored.begin(), ignored.end());
    }

    // The file in the folder `at`: true when it names something and is to be trusted;
    // a file that names something but isn't adds its warning.
    // `known` is the file's stat when the caller took it.
    bool probe(int at, const std::string& file, const struct stat* known = nullptr) {
        struct stat fileStatus {};
        if (known != nullptr) {
            fileStatus = *known;
        }
        std::optional<std::string> reference =
            referenceAt(at, RuleResolver::dotfileName, fileStatus, known != nullptr);
        if (!reference) {
            return false;
        }
        struct stat folderStatus {};
        const std::optional<std::string_view> why =
            ::fstat(at, &folderStatus) == 0
                ? distrust(fileStatus, folderStatus)
                : std::optional<std::string_view>("its folder can't be read");
        if (!why) {
            found = FoundDotfile{file, std::move(*reference)};
            return true;
        }
        if (seen_.insert({fileStatus.st_dev, fileStatus.st_ino}).second) {
            warnings.push_back(file + " is ignored: " + std::string(*why) + ".");
        }
        return false;
    }

    std::set<std::pair<dev_t, ino_t>> seen_;
};

// The nearest trusted file that names something: each candidate in turn, from its own
// folder up to "/".
DotfileSearch nearestDotfile(const std::vector<std::string>& candidates) {
    DotfileSearch search;
    for (const auto& candidate : candidates) {
        search.walk(candidate);
        if (search.found) {
            break;
        }
    }
    return search;
}

// A folder as written and, when it differs, as the file system has it: the two
// forms without repeats.
struct Forms {
    std::string written;
    std::optional<std::string> real;

    std::vector<std::string> list() const {
        std::vector<std::string> out{written};
        if (real) {
            out.push_back(*real);
        }
        return out;
    }
};

Forms formsOf(std::string folder, RealPaths& realPaths) {
    std::optional<std::string> real = realPaths.resolve(folder);
    if (real && *real == folder) {
        real.reset();
    }
    return {std::move(folder), std::move(real)};
}

struct BestRule {
    const FolderRule* rule = nullptr;
    std::vector<std::string> forms;
    std::size_t depth = 0;
};

} // namespace

std::optional<std::string> RuleResolver::readReference(const std::string& path) {
    struct stat file {};
    return referenceAt(AT_FDCWD, path.c_str(), file);
}

Resolution RuleResolver::resolve(const std::string& path, const std::string& cwd) const {
    return resolveFolder(document, home, path, cwd);
}

Resolution resolveFolder(const ProfileDocument& document, const std::string& home,
                         const std::string& path, const std::string& cwd) {
    const std::string normalized = PathUtil::normalize(PathUtil::expandTilde(path, home), cwd);
    RealPaths realPaths;
    std::vector<std::string> candidates{normalized};
    // The folder itself is asked of the kernel in one go; its folders then need no lookup.
    if (std::optional<std::string> real = PathUtil::realPath(normalized)) {
        if (*real != normalized) {
            candidates.push_back(*real);
        }
        realPaths.trust(std::move(*real));
    }
    const std::string& real = candidates.back();
    const bool caseSensitive = PathUtil::isCaseSensitiveVolume(real);
    auto inside = [caseSensitive](const std::string& p, const std::string& ancestor) {
        return PathUtil::isSameOrInside(p, ancestor, caseSensitive);
    };
    auto matches = [&](const std::string& form) {
        for (const auto& candidate : candidates) {
            if (inside(candidate, form)) {
                return true;
            }
        }
        return false;
    };

    // A rule naming no profile is skipped; sorted ids spare a search of the profiles
    // per rule.
    std::vector<std::string_view> ids;
    ids.reserve(document.profiles.size());
    for (const auto& profile : document.profiles) {
        ids.push_back(profile.id.rawValue);
    }
    std::sort(ids.begin(), ids.end());
    std::vector<std::pair<const FolderRule*, std::string>> rules;
    rules.reserve(document.rules.size());
    for (const auto& rule : document.rules) {
        if (std::binary_search(ids.begin(), ids.end(), std::string_view(rule.profileID.rawValue))) {
            rules.emplace_back(&rule, expandedFolder(rule.folderPath(), home));
            realPaths.expect(rules.back().second);
        }
    }

    BestRule best;
    for (auto& [rule, folder] : rules) {
        const Forms forms = formsOf(std::move(folder), realPaths);
        for (const std::string* form : {&forms.written, forms.real ? &*forms.real : nullptr}) {
            if (form == nullptr || !matches(*form)) {
                continue;
            }
            const std::size_t depth = PathUtil::componentCount(*form);
            if (best.rule == nullptr || depth > best.depth) {
                best = {rule, forms.list(), depth};
            }
        }
    }

    Resolution result;
    const Profile* dotfileProfile = nullptr;
    std::string dotfilePath;
    std::vector<std::string> dotfileForms;
    DotfileSearch search = nearestDotfile(candidates);
    result.warnings = std::move(search.warnings);
    if (auto& found = search.found) {
        dotfileProfile = document.profileNamed(found->reference);
        if (dotfileProfile == nullptr) {
            result.warnings.push_back(found->path + " names \u201C" + found->reference +
                                      "\u201D, but there's no profile with that name.");
        } else {
            dotfilePath = std::move(found->path);
            dotfileForms = formsOf(PathUtil::parent(dotfilePath), realPaths).list();
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
