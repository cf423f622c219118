#include "tests/cli/CliFixture.h"

#include "core/base/UniqueFd.h"
#include "core/profiles/ProfileStore.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

namespace twinlantern::testing {

namespace {

std::string slurp(const std::string& path) {
    return exists(path) ? readFile(path) : std::string();
}

std::vector<std::string> splitNul(std::string_view bytes) {
    std::vector<std::string> pieces;
    while (!bytes.empty()) {
        const auto nul = bytes.find('\0');
        pieces.emplace_back(bytes.substr(0, nul));
        bytes.remove_prefix(nul == std::string_view::npos ? bytes.size() : nul + 1);
    }
    return pieces;
}

// argv and envp arrays that live as long as this object.
struct ExecArrays {
    std::vector<std::string> args, entries;
    std::vector<char*> cArgs, cEnv;
    ExecArrays(const std::vector<std::string>& argv, const Environment& environment) : args(argv) {
        for (const auto& [name, value] : environment) {
            entries.push_back(name + "=" + value);
        }
        for (auto& a : args) {
            cArgs.push_back(a.data());
        }
        cArgs.push_back(nullptr);
        for (auto& e : entries) {
            cEnv.push_back(e.data());
        }
        cEnv.push_back(nullptr);
    }
};

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

void CliFixture::SetUp() {
    ASSERT_TRUE(exists(program())) << program();
    ASSERT_TRUE(exists(resolver())) << resolver();
    tools = dir("tools");
    claude = fakeTool(tools, "claude");
    codex = fakeTool(tools, "codex");
}

std::string CliFixture::dir(const std::string& relative) const {
    makeDirs(home.dir / relative);
    return home.dir / relative;
}

std::string CliFixture::fakeTool(const std::string& folder, const std::string& name) const {
    makeDirs(folder);
    const std::string path = folder + "/" + name;
    writeFile(path,
              "#!/bin/sh\n"
              "printf '%s\\0' \"$0\" \"$@\" > '" +
                  path + ".argv'\n/usr/bin/env -0 > '" + path + ".env'\n[ -f '" + path +
                  ".answer' ] && /bin/cat '" + path + ".answer'\nexit 0\n",
              0755);
    return path;
}

std::optional<ToolCall> CliFixture::lastCall(const std::string& tool) const {
    if (!exists(tool + ".argv")) {
        return std::nullopt;
    }
    ToolCall call;
    call.argv = splitNul(readFile(tool + ".argv"));
    for (const auto& entry : splitNul(slurp(tool + ".env"))) {
        const auto eq = entry.find('=');
        const std::string name = entry.substr(0, eq);
        if (name != "PWD" && name != "OLDPWD" && name != "SHLVL" && name != "_") {
            call.env.emplace(name, entry.substr(eq + 1));
        }
    }
    return call;
}

void CliFixture::store(const ProfileDocument& document) const {
    ProfileStore(home.paths).update([&](ProfileDocument& d) { d = document; });
}

void CliFixture::writeProfiles(const std::string& json) const {
    makeDirs(home.paths.supportDirectory());
    writeFile(home.paths.profilesFile(), json, 0600);
}

ProfileDocument CliFixture::load() const {
    return ProfileStore(home.paths).load();
}

Environment CliFixture::env() const {
    return {{"HOME", home.home()}, {"PATH", tools + ":" + helpers() + ":/usr/bin:/bin"}};
}

CliRun CliFixture::run(const std::vector<std::string>& args, std::optional<Environment> environment,
                       std::string cwd) const {
    std::vector<std::string> argv{"twinlantern"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(program(), argv, environment ? *environment : env(),
                      cwd.empty() ? home.home() : cwd);
}

CliRun CliFixture::runProgram(const std::string& path, const std::vector<std::string>& argv,
                              const Environment& environment, const std::string& cwd) {
    TempDir capture;
    const std::string outPath = capture / "out", errPath = capture / "err";
    ExecArrays arrays(argv, environment);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0 || ::chdir(cwd.c_str()) != 0) {
            ::_exit(250);
        }
        ::alarm(30); // a hang ends as SIGALRM instead of blocking the suite
        ::execve(path.c_str(), arrays.cArgs.data(), arrays.cEnv.data());
        ::_exit(251);
    }
    CliRun result;
    if (pid > 0) {
        result.exitCode = waitFor(pid);
    }
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

CliRun CliFixture::runInTerminal(const std::string& path, const std::vector<std::string>& argv,
                                 const Environment& environment, const std::string& cwd,
                                 const std::string& input) {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return {};
    }
    UniqueFd masterFd(master), slaveFd(slave);
    ExecArrays arrays(argv, environment);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        if (::ioctl(slave, TIOCSCTTY, 0) != 0 || ::dup2(slave, 0) < 0 || ::dup2(slave, 1) < 0 ||
            ::dup2(slave, 2) < 0 || ::chdir(cwd.c_str()) != 0) {
            ::_exit(250);
        }
        ::close(master);
        ::close(slave);
        ::alarm(30);
        ::execve(path.c_str(), arrays.cArgs.data(), arrays.cEnv.data());
        ::_exit(251);
    }
    slaveFd.reset();
    // Typed ahead: the terminal keeps it until the program reads.
    if (!input.empty() && ::write(master, input.data(), input.size()) < 0) {
        ADD_FAILURE() << "write to the terminal failed";
    }
    CliRun result;
    char buffer[4096];
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 30000) <= 0) {
            break;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            break; // EIO once the program and its children have closed the terminal
        }
        result.out.append(buffer, static_cast<std::size_t>(n));
    }
    result.exitCode = pid > 0 ? waitFor(pid) : -1;
    return result;
}

CliRun CliFixture::shell(const std::string& command, const std::string& cwd,
                         const std::string& input, bool terminal) const {
    const std::vector<std::string> argv{"sh", "-c", command};
    const std::string folder = cwd.empty() ? home.home() : cwd;
    return terminal ? runInTerminal("/bin/sh", argv, env(), folder, input)
                    : runProgram("/bin/sh", argv, env(), folder);
}

Profile profile(const std::string& id, const std::string& name, std::vector<ToolKind> tools,
                Profile::Storage storage) {
    return Profile(ProfileID(id), name, ProfileColor::blue, std::nullopt, std::move(tools),
                   storage);
}

std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> files;
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
        files[path] = value;
    }
    return files;
}

std::vector<std::string> backquoted(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t at = 0;;) {
        const auto open = text.find('`', at);
        const auto close = open == std::string::npos ? open : text.find('`', open + 1);
        if (close == std::string::npos) {
            return out;
        }
        out.push_back(text.substr(open + 1, close - open - 1));
        at = close + 1;
    }
}

} // namespace twinlantern::testing
