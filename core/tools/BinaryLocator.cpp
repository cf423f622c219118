#include "core/tools/BinaryLocator.h"

#include "core/base/PathUtil.h"

#include <unistd.h>

#include <algorithm>

namespace twinlantern {

BinaryLocator::BinaryLocator(const Environment& environment, const Paths& paths)
    : searchPath(environment.contains("PATH") ? environment.at("PATH")
                                              : "/usr/bin:/bin:/usr/sbin:/sbin"),
      excludedDirectories{paths.shimDirectory()} {}

std::optional<std::string> BinaryLocator::find(std::string_view name) const {
    return search(name, true);
}

std::optional<std::string> BinaryLocator::findIncludingExcluded(std::string_view name) const {
    return search(name, false);
}

std::optional<std::string> BinaryLocator::search(std::string_view name, bool excluding) const {
    std::vector<std::string> excluded;
    if (excluding) {
        for (const auto& folder : excludedDirectories) {
            excluded.push_back(PathUtil::normalize(folder));
            if (auto real = PathUtil::realPath(excluded.back())) {
                excluded.push_back(std::move(*real));
            }
        }
    }
    auto isExcluded = [&](const std::string& folder) {
        return std::find(excluded.begin(), excluded.end(), folder) != excluded.end();
    };
    std::string_view rest = searchPath;
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view piece = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        // Relative entries, "." included, never count.
        if (piece.empty() || piece.front() != '/') {
            continue;
        }
        const std::string folder = PathUtil::normalize(piece);
        if (!excluded.empty()) {
            if (isExcluded(folder)) {
                continue;
            }
            // A link to the shim folder is still the shim folder.
            if (auto real = PathUtil::realPath(folder); real && isExcluded(*real)) {
                continue;
            }
        }
        std::string candidate = folder == "/" ? "/" : folder + "/";
        candidate += name;
        if (PathUtil::isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace twinlantern
