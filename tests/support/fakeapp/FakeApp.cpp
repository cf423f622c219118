#include "tests/support/fakeapp/FakeApp.h"

#include "core/base/ToolKind.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace twinlantern::testing {

namespace {

const char* modeText(FakeApp::Mode mode) {
    switch (mode) {
    case FakeApp::Mode::polite:
        return "polite";
    case FakeApp::Mode::ignoreFirst:
        return "ignore-first";
    case FakeApp::Mode::ignoreAll:
        return "ignore-all";
    case FakeApp::Mode::renderer:
        return "renderer";
    }
    return "polite";
}

std::vector<std::string> splitNul(const std::string& bytes) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\0', start);
        out.push_back(bytes.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return out;
}

// Read with plain calls: a stream throws when the process dies under the read (ESRCH).
char processState(pid_t pid) {
    const int fd = ::open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got <= 0) {
        return 0;
    }
    const std::string stat(buffer, static_cast<std::size_t>(got));
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

} // namespace

std::string uniqueBundleID(const std::string& stem) {
    static std::atomic<int> counter{0};
    return "test." + stem + "." + std::to_string(::getpid()) + "." + std::to_string(++counter);
}

bool waitUntilGone(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const char state = processState(pid);
        if (state == 0 || state == 'Z' || state == 'X') {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

FakeApp::FakeApp(const std::string& applications, const std::string& name, std::string bundleID,
                 Mode mode, bool binaryPlist)
    : bundle_(applications + "/" + name + ".app"), bundleID_(std::move(bundleID)),
      executableName_(name.empty() ? "App" : name) {
    if (bundleID_ == toolInfo(ToolKind::claudeDesktop).bundleID ||
        bundleID_ == toolInfo(ToolKind::chatGPTApp).bundleID) {
        turn_.emplace();
    }
    makeDirs(bundle_ + "/Contents/MacOS");
    makeDirs(bundle_ + "/Contents/Resources");
    writeFile(executable(), readFile(TL_FAKE_APP), 0755);
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string(bundleID_.c_str()));
    plist_dict_set_item(dict, "CFBundleExecutable", plist_new_string(executableName_.c_str()));
    plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string("1.2.3"));
    char* data = nullptr;
    uint32_t length = 0;
    if (binaryPlist) {
        plist_to_bin(dict, &data, &length);
    } else {
        plist_to_xml(dict, &data, &length);
    }
    writeFile(bundle_ + "/Contents/Info.plist", std::string(data, length));
    std::free(data);
    plist_free(dict);
    setMode(mode);
}

void FakeApp::setMode(Mode mode) {
    writeFile(bundle_ + "/Contents/Resources/fake-mode", modeText(mode));
}

std::string FakeApp::Run::value(const std::string& key) const {
    std::istringstream in(info);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(key + "=")) {
            return line.substr(key.size() + 1);
        }
    }
    return {};
}

std::optional<FakeApp::Run> FakeApp::run(pid_t pid, std::chrono::milliseconds timeout) const {
    const std::string base = bundle_ + ".runs/" + std::to_string(pid);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exists(base + ".argv")) {
        if (std::chrono::steady_clock::now() > deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Run out;
    out.pid = pid;
    out.argv = splitNul(readFile(base + ".argv"));
    for (const std::string& entry : splitNul(readFile(base + ".env"))) {
        const std::size_t eq = entry.find('=');
        out.environment[entry.substr(0, eq)] = eq == std::string::npos ? "" : entry.substr(eq + 1);
    }
    out.info = readFile(base + ".info");
    return out;
}

int FakeApp::termsTaken(pid_t pid) const {
    const std::string path = bundle_ + ".runs/" + std::to_string(pid) + ".terms";
    return exists(path) ? std::atoi(readFile(path).c_str()) : 0;
}

std::vector<pid_t> FakeApp::runs() const {
    std::vector<pid_t> pids;
    for (const std::string& name : folderEntries(bundle_ + ".runs")) {
        if (name.ends_with(".argv")) {
            pids.push_back(static_cast<pid_t>(std::atoi(name.c_str())));
        }
    }
    // By number, not by name: a later start's pid can have more digits.
    std::sort(pids.begin(), pids.end());
    return pids;
}

void FakeApp::killAll() const {
    struct stat program {};
    const bool installed = ::stat(executable().c_str(), &program) == 0;
    for (pid_t pid : runs()) {
        const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
        char target[4096];
        const ssize_t n = ::readlink(exe.c_str(), target, sizeof target);
        struct stat running {};
        // Its program, also where the bundle links to it from elsewhere.
        const bool same = installed && ::stat(exe.c_str(), &running) == 0 &&
                          running.st_dev == program.st_dev && running.st_ino == program.st_ino;
        if (same ||
            (n > 0 && std::string(target, static_cast<std::size_t>(n)).starts_with(bundle_))) {
            ::kill(pid, SIGKILL);
            waitUntilGone(pid);
        }
    }
}

FakeApp::~FakeApp() {
    killAll();
}

} // namespace twinlantern::testing
