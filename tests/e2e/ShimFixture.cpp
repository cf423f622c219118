#include "tests/e2e/ShimFixture.h"

#include "core/profiles/ProfileStore.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace twinlantern::testing {

void ShimFixture::SetUp() {
    ASSERT_TRUE(exists(resolver())) << resolver();
    makeDirs(home.paths.shimDirectory());
    for (const char* name : {"claude", "codex", "foo"}) {
        ASSERT_EQ(::symlink(resolver().c_str(), shim(name).c_str()), 0);
    }
    tools = dir("tools");
    claudeTool = fakeTool(tools, "claude");
    codexTool = fakeTool(tools, "codex");
    fooTool = fakeTool(tools, "foo");
}

std::string ShimFixture::dir(const std::string& relative) const {
    makeDirs(home.dir / relative);
    return home.dir / relative;
}

std::string ShimFixture::fakeTool(const std::string& folder, const std::string& name) {
    makeDirs(folder);
    const std::string path = folder + "/" + name;
    // NUL-separated, so every byte of every argument and value survives.
    writeFile(path,
              "#!/bin/sh\n"
              "printf '%s\\0' \"$0\" \"$@\" > '" +
                  path +
                  ".argv'\n"
                  "/usr/bin/env -0 > '" +
                  path + ".env'\n",
              0755);
    return path;
}

void ShimFixture::store(const ProfileDocument& document) const {
    ProfileStore(home.paths).update([&](ProfileDocument& d) { d = document; });
}

Environment ShimFixture::baseEnv() const {
    return {{"HOME", home.home()},
            {"PATH", home.paths.shimDirectory() + ":" + tools + ":/usr/bin:/bin"}};
}

namespace {
std::string slurp(const std::string& path) {
    return exists(path) ? readFile(path) : std::string();
}
} // namespace

RunResult ShimFixture::run(const std::string& program, const std::vector<std::string>& argv,
                           const Environment& env, const std::string& cwd, bool emptyArgv) {
    TempDir capture;
    const std::string outPath = capture / "out", errPath = capture / "err";
    std::vector<std::string> entries;
    for (const auto& [name, value] : env) {
        entries.push_back(name + "=" + value);
    }
    std::vector<char*> cEnv, cArgs;
    for (auto& e : entries) {
        cEnv.push_back(e.data());
    }
    cEnv.push_back(nullptr);
    std::vector<std::string> args = argv;
    for (auto& a : args) {
        cArgs.push_back(a.data());
    }
    cArgs.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            ::chdir(cwd.c_str()) != 0) {
            ::_exit(250);
        }
        ::alarm(20); // a hang ends as SIGALRM instead of blocking the suite
        char* none[] = {nullptr};
        ::execve(program.c_str(), emptyArgv ? none : cArgs.data(), cEnv.data());
        ::_exit(251);
    }
    RunResult result;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

RunResult ShimFixture::runShim(const std::string& name, const std::vector<std::string>& args,
                               const Environment& env, const std::string& cwd) const {
    std::vector<std::string> argv{name};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(shim(name), argv, env, cwd);
}

namespace {
std::vector<std::string> splitNul(std::string_view bytes) {
    std::vector<std::string> pieces;
    while (!bytes.empty()) {
        const auto nul = bytes.find('\0');
        pieces.emplace_back(bytes.substr(0, nul));
        bytes.remove_prefix(nul == std::string_view::npos ? bytes.size() : nul + 1);
    }
    return pieces;
}
} // namespace

std::optional<Received> ShimFixture::received(const std::string& path) const {
    if (!exists(path + ".argv") || !exists(path + ".env")) {
        return std::nullopt;
    }
    Received r;
    r.argv = splitNul(readFile(path + ".argv"));
    for (const auto& entry : splitNul(readFile(path + ".env"))) {
        const auto eq = entry.find('=');
        // The shell adds these itself.
        const std::string name = entry.substr(0, eq);
        if (name != "PWD" && name != "OLDPWD" && name != "SHLVL" && name != "_") {
            r.env.emplace(name, entry.substr(eq + 1));
        }
    }
    return r;
}

} // namespace twinlantern::testing
