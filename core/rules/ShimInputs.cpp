#include "core/rules/ShimInputs.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/Text.h"
#include "core/profiles/ProfileStore.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string_view>

namespace twinlantern::ShimInputs {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Once the app that installed the shims is gone, they only run the real tools.
bool twinLanternStillInstalled(const Paths& paths) {
    ReadResult read = readWholeFile(paths.home + "/.twinlantern/app-path", 64 * 1024);
    if (!read.bytes || !text::isValidUtf8(*read.bytes)) {
        return true;
    }
    std::string_view text = *read.bytes;
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text.empty() || ::access(std::string(text).c_str(), F_OK) == 0;
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
