#include "tests/support/ShellFixtures.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace twinlantern::testing {

FakeHelpers::FakeHelpers() {
    for (const char* name : {"twinlantern-resolve", "twinlantern", "twinlantern-launcher"}) {
        writeFile(dir / name, std::string("#!/bin/sh\necho ") + name + " \"$@\"\n", 0755);
    }
}

std::vector<ShellIntegration::FileChange> ShellHome::install() const {
    return integration().install(helpers.resolver(), helpers.cli(), helpers.launcher(),
                                 "/Applications/TwinLantern.app");
}

std::vector<std::string> ShellHome::keptBackups() const {
    const std::string root = path(".twinlantern");
    std::vector<std::string> texts;
    if (!exists(root)) {
        return texts;
    }
    if (folderEntries(root) != std::vector<std::string>{"backups"}) {
        return {"(more than backups in ~/.twinlantern)"};
    }
    for (const auto& name : folderEntries(root + "/backups")) {
        texts.push_back(readFile(root + "/backups/" + name));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

std::map<std::string, std::string> treeState(const std::string& root) {
    std::map<std::string, std::string> items;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        const std::string path = it->path().string();
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            continue;
        }
        std::string value = std::to_string(st.st_mode) + ":";
        if (S_ISLNK(st.st_mode)) {
            value += std::filesystem::read_symlink(path, error).string();
        } else if (S_ISREG(st.st_mode)) {
            value += readFile(path);
        }
        items[path] = value;
    }
    return items;
}

} // namespace twinlantern::testing
