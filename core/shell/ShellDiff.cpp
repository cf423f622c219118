#include "core/base/FileUtil.h"
#include "core/shell/ShellIntegration.h"
#include "core/tools/ProcessRunner.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace twinlantern {

namespace {

// A private folder of its own for the two texts, removed on every way out.
struct DiffFolder {
    std::string path;
    DiffFolder() {
        std::error_code error;
        std::string base = std::filesystem::temp_directory_path(error).string();
        if (error || base.empty()) {
            base = "/tmp";
        }
        std::string pattern = base + "/twinlantern-diff-" + std::to_string(::getpid()) + "-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            path = std::move(pattern);
        }
    }
    ~DiffFolder() {
        if (!path.empty()) {
            std::error_code error;
            std::filesystem::remove_all(path, error);
        }
    }
    DiffFolder(const DiffFolder&) = delete;
    DiffFolder& operator=(const DiffFolder&) = delete;
};

} // namespace

std::string ShellIntegration::diff(const FileChange& change) const {
    DiffFolder folder;
    if (folder.path.empty()) {
        return {};
    }
    const std::string a = folder.path + "/a";
    const std::string b = folder.path + "/b";
    if (writeFileAtomically(a, change.before, 0600) || writeFileAtomically(b, change.after, 0600)) {
        return {};
    }
    const std::string label = paths.abbreviate(change.path);
    const ProcessResult result = ProcessRunner::runSync(
        "/usr/bin/diff",
        {"-u", "--label", change.existed ? label : label + " (new file)", "--label", label, a, b},
        {{"PATH", "/usr/bin:/bin"}}, 10);
    return result.stdoutText;
}

} // namespace twinlantern
