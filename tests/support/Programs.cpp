#include "tests/support/Programs.h"

#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace twinlantern::testing {

namespace {
std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) {
        out.push_back(s.data());
    }
    out.push_back(nullptr);
    return out;
}
} // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& argv,
                     const Environment& environment, const RunOptions& options) {
    TempDir capture;
    const std::string outPath = capture / "out", errPath = capture / "err";
    std::vector<std::string> entries;
    for (const auto& [name, value] : environment) {
        entries.push_back(name + "=" + value);
    }
    std::vector<std::string> args = argv;
    std::vector<char*> cEnv = pointers(entries), cArgs = pointers(args);
    char* none[] = {nullptr};

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0)) {
            ::_exit(250);
        }
        const int null = ::open("/dev/null", O_RDONLY);
        if (null < 0 || ::dup2(null, 0) < 0) {
            ::_exit(250);
        }
        ::alarm(options.timeoutSeconds);
        ::execve(program.c_str(), options.emptyArgv ? none : cArgs.data(), cEnv.data());
        ::_exit(127);
    }
    RunResult result;
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (pid > 0 && waited == pid) {
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    result.out = exists(outPath) ? readFile(outPath) : std::string();
    result.err = exists(errPath) ? readFile(errPath) : std::string();
    return result;
}

RunResult runProgram(const std::vector<std::string>& argv, const Environment& environment) {
    return runProgram(argv.at(0), argv, environment);
}

} // namespace twinlantern::testing
