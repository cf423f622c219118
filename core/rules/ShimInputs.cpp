#include "core/rules/ShimInputs.h"

#include "core/base/PathHint.h"
#include "core/base/PathUtil.h"
#include "core/profiles/ProfileStore.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <memory>

namespace twinlantern::ShimInputs {

namespace {

// Once the app that installed the shims is gone, they only run the real tools.
bool twinLanternStillInstalled(const Paths& paths) {
    const std::optional<std::string> app = readPathHint(paths.home + "/.twinlantern/app-path");
    return !app || app->empty() || ::access(app->c_str(), F_OK) == 0;
}

} // namespace

std::string workingFolder(const Environment& environment) {
    std::string cwd;
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) != nullptr) {
        cwd = buffer;
    } else {
        std::unique_ptr<char, decltype(&std::free)> physical(
            errno == ERANGE ? ::getcwd(nullptr, 0) : nullptr, &std::free);
        cwd = physical ? std::string(physical.get()) : std::string("/");
    }
    auto pwd = environment.find("PWD");
    if (pwd != environment.end() && pwd->second.starts_with("/") && pwd->second != cwd &&
        PathUtil::realPath(pwd->second) == PathUtil::realPath(cwd)) {
        return pwd->second;
    }
    return cwd;
}

Document load(const Paths& paths, const Environment& environment) {
    Document result;
    if (auto disable = environment.find("TWINLANTERN_DISABLE");
        disable != environment.end() && disable->second == "1") {
        result.absent = Document::Absent::disabled;
        return result;
    }
    if (!twinLanternStillInstalled(paths)) {
        result.absent = Document::Absent::appRemoved;
        return result;
    }
    try {
        result.document = ProfileStore(paths).load();
    } catch (const std::exception& error) {
        result.absent = Document::Absent::unreadable; // the doctor reports it
        result.error = error.what();
    } catch (...) {
        result.absent = Document::Absent::unreadable;
    }
    return result;
}

} // namespace twinlantern::ShimInputs
