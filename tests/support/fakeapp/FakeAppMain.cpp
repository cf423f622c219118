// A stand-in desktop app. It lives in <Name>.app/Contents/MacOS/, records how it was
// started in <Name>.app.runs/<pid>.* beside its bundle, and runs until SIGTERM.
// <bundle>/Contents/Resources/fake-mode picks how it answers: "polite" (exit at the
// first SIGTERM, also without the file), "ignore-first", "ignore-all", "renderer"
// (polite, and starts a "--type=renderer" child of the same executable first).
#include "core/base/UniqueFd.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

extern char** environ;

namespace {

std::string selfExecutable() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

std::string readMode(const std::string& bundle) {
    std::ifstream in(bundle + "/Contents/Resources/fake-mode");
    std::string mode;
    std::getline(in, mode);
    return mode.empty() ? "polite" : mode;
}

void writeAtomically(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary);
        out << bytes;
    }
    std::rename(temporary.c_str(), path.c_str());
}

std::string openDescriptors() {
    std::string list;
    const twinlantern::UniqueDir dir(::opendir("/proc/self/fd"));
    const int own = dir ? ::dirfd(dir.get()) : -1;
    while (dir) {
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            break;
        }
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) {
            continue;
        }
        list += std::string(list.empty() ? "" : ",") + entry->d_name;
    }
    return list;
}

bool bundleStillThere(const std::string& exe) {
    struct stat info {};
    return ::stat(exe.c_str(), &info) == 0;
}

} // namespace

int main(int argc, char** argv) {
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--type=", 7) == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            // A helper process: ends by SIGTERM's default action, or with its test's home.
            const std::string exe = selfExecutable();
            while (bundleStillThere(exe)) {
                ::sleep(1);
            }
            return 0;
        }
    }
    const std::string exe = selfExecutable();
    // The bundle it was started from, as a Linux app in a bundle knows it: the path it
    // was run as, since its program or the bundle may be a link to the real one.
    const std::string started = argc > 0 ? argv[0] : "";
    const std::string& named =
        started.find("/Contents/MacOS/") != std::string::npos ? started : exe;
    const std::size_t at = named.rfind("/Contents/MacOS/");
    if (at == std::string::npos) {
        return 2;
    }
    const std::string bundle = named.substr(0, at);
    const std::string mode = readMode(bundle);
    // SIGTERM is taken by sigwait below; blocked before anything is recorded, so a test
    // that saw the record can signal at once.
    ::sigprocmask(SIG_BLOCK, &term, nullptr);

    std::ostringstream info;
    info << "pid=" << ::getpid() << "\n";
    info << "sid=" << ::getsid(0) << "\n";
    char cwd[PATH_MAX] = "";
    info << "cwd=" << (::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "") << "\n";
    info << "fds=" << openDescriptors() << "\n";
    struct sigaction old {};
    ::sigaction(SIGINT, nullptr, &old);
    info << "sigint=" << (old.sa_handler == SIG_DFL ? "default" : "other") << "\n";
    if (mode == "renderer") {
        // Recorded only once the child has exec'd (its end of the pipe closes then), so a
        // test never sees the fork's copy of this process as a second instance.
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return 2;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::sigprocmask(SIG_UNBLOCK, &term, nullptr);
            ::execl(exe.c_str(), exe.c_str(), "--type=renderer", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ends[1]);
        char byte;
        while (::read(ends[0], &byte, 1) > 0) {
        }
        ::close(ends[0]);
        info << "renderer=" << child << "\n";
    }

    const std::string runs = bundle + ".runs";
    ::mkdir(runs.c_str(), 0755);
    const std::string base = runs + "/" + std::to_string(::getpid());
    std::string args;
    for (int i = 0; i < argc; ++i) {
        args.append(argv[i]);
        args.push_back('\0');
    }
    std::string env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.append(*e);
        env.push_back('\0');
    }
    writeAtomically(base + ".env", env);
    writeAtomically(base + ".info", info.str());
    writeAtomically(base + ".argv", args); // last: its presence means the record is whole

    int received = 0;
    for (;;) {
        // Ends with its test's home too, so a test that stopped before the record was
        // written (and so couldn't kill it) leaves no process behind.
        const timespec second{1, 0};
        if (::sigtimedwait(&term, nullptr, &second) < 0) {
            if (!bundleStillThere(exe)) {
                return 0;
            }
            continue;
        }
        ++received;
        // Counted where a test can wait for it: two signals sent before this process ran
        // again would merge into one.
        writeAtomically(base + ".terms", std::to_string(received));
        if (mode == "ignore-all" || (mode == "ignore-first" && received < 2)) {
            continue;
        }
        return 0;
    }
}
