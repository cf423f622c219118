#include "core/RuleResolver.h"

#include "core/PathUtil.h"
#include "core/Text.h"
#include "core/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

std::vector<std::string> withRealPath(const std::string& path) {
    return unique({path, PathUtil::realPath(path).value_or(path)});
}

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
    const std::string real = PathUtil::realPath(normalized).value_or(normalized);
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
