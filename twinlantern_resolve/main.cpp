// twinlantern-resolve: run as `claude` or `codex` it becomes the real tool under the
// profile of the working folder; run under its own name it answers --prompt and --version.
#include "core/base/EnvironmentBlock.h"
#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/Paths.h"
#include "core/base/Text.h"
#include "core/rules/RuleResolver.h"
#include "core/rules/ShimInputs.h"
#include "core/rules/ShimPlan.h"
#include "core/tools/BinaryLocator.h"
#include "core/tools/ToolRegistry.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace twinlantern;

namespace {

constexpr const char* ownName = "twinlantern-resolve";
constexpr const char* usage = "this is TwinLantern's shim. Run it as `claude` or `codex` (via "
                              "~/.twinlantern/bin), or with --prompt.";

void writeOut(int fd, std::string_view text) {
    (void)writeAll(fd, text);
}

[[noreturn]] void fail(const std::string& message, int code) {
    // The message may name a folder from PATH.
    writeOut(STDERR_FILENO, "twinlantern: " + text::terminalSafe(message) + "\n");
    std::exit(code);
}

struct Program {
    std::vector<std::string> argv;
    std::string invokedAs;
    Environment env;
    Paths paths;
    std::optional<std::string> cwd; // computed once

    const std::string* variable(const char* name) const {
        auto it = env.find(name);
        return it == env.end() ? nullptr : &it->second;
    }

    const std::string& workingDirectory() {
        if (!cwd) {
            cwd = ShimInputs::workingFolder(env);
        }
        return *cwd;
    }

    std::optional<ProfileDocument> loadDocument() const {
        return ShimInputs::load(paths, env).document; // the doctor reports an unreadable file
    }

    long long depth() const {
        const std::string* value = variable("TWINLANTERN_SHIM_DEPTH");
        if (value == nullptr || value->empty()) {
            return 0;
        }
        std::string_view digits = *value;
        bool negative = false;
        if (digits.front() == '+' || digits.front() == '-') {
            negative = digits.front() == '-';
            digits.remove_prefix(1);
        }
        if (digits.empty() || digits.front() == '+' || digits.front() == '-') {
            return 0;
        }
        long long parsed = 0;
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
        if (error != std::errc() || end != digits.data() + digits.size()) {
            return 0;
        }
        return negative ? -parsed : parsed;
    }

    [[noreturn]] void shim() {
        const long long level = depth();
        if (level > 3) {
            fail("`" + invokedAs + "` keeps resolving to a shim. Run `twinlantern doctor`.", 127);
        }

        // Usually the shim folder comes up twice; each folder is resolved once.
        std::vector<std::string> excluded{paths.shimDirectory()};
        auto exclude = [&excluded](std::string folder) {
            if (std::find(excluded.begin(), excluded.end(), folder) == excluded.end()) {
                excluded.push_back(std::move(folder));
            }
        };
        if (argv[0].find('/') != std::string::npos) {
            exclude(PathUtil::parent(PathUtil::normalize(argv[0], workingDirectory())));
        }
        char exe[4097];
        const ssize_t exeLength = ::readlink("/proc/self/exe", exe, sizeof exe);
        if (exeLength > 0 && static_cast<std::size_t>(exeLength) < sizeof exe) {
            exclude(PathUtil::parent(std::string_view(exe, static_cast<std::size_t>(exeLength))));
        }
        const std::string* searchPath = variable("PATH");
        std::optional<std::string> found =
            BinaryLocator(searchPath ? *searchPath : "/usr/bin:/bin", std::move(excluded))
                .find(invokedAs);
        if (const std::optional<ToolKind> kind = toolKindFromCommand(invokedAs); !found && kind) {
            found = ToolRegistry::adapter(*kind, ToolContext{paths, env})->bundledBinary();
        }
        if (!found) {
            fail("couldn't find the real `" + invokedAs + "` on your PATH. Is it installed?", 127);
        }

        // The document lives on into execve: freeing it would be wasted work.
        Environment newEnv;
        const std::optional<ProfileDocument> document = loadDocument();
        if (document) {
            const std::string& folder = workingDirectory();
            const ShimPlan::Changes changes =
                ShimPlan::changes(invokedAs, env, folder, *document, paths);
            ShimPlan::prepare(changes, invokedAs, paths, env);
            newEnv = changes.applied(env);
        } else {
            newEnv = std::move(env);
        }
        newEnv["TWINLANTERN_SHIM_DEPTH"] = std::to_string(level + 1);

        std::vector<char*> cArgs;
        cArgs.push_back(found->data());
        for (std::size_t i = 1; i < argv.size(); ++i) {
            cArgs.push_back(argv[i].data());
        }
        cArgs.push_back(nullptr);
        const EnvironmentBlock cEnv(newEnv);

        ::execve(found->c_str(), cArgs.data(), cEnv.data());
        fail("couldn't run " + *found + ": " + std::strerror(errno), 126);
    }

    [[noreturn]] void direct() {
        if (argv.size() < 2) {
            fail(usage, 2);
        }
        if (argv[1] == "--prompt") {
            // The document lives on into std::exit: freeing it would be wasted work.
            const std::optional<ProfileDocument> document = loadDocument();
            if (document) {
                const std::string& folder = workingDirectory();
                const Resolution resolution = resolveFolder(*document, paths.home, folder, folder);
                if (resolution.profile) {
                    writeOut(STDOUT_FILENO, text::terminalSafe(resolution.profile->name) + "\n");
                }
            }
            std::exit(0);
        }
        if (argv[1] == "--version") {
            writeOut(STDOUT_FILENO, std::string(ownName) + " " TL_VERSION "\n");
            std::exit(0);
        }
        fail(usage, 2);
    }
};

} // namespace

int main(int argc, char** argv) {
    Program program;
    if (argc > 0 && argv[0] != nullptr) {
        program.argv.assign(argv, argv + argc);
        program.invokedAs = PathUtil::lastComponent(program.argv[0]);
    }
    // No name to act as (the kernel turns an empty vector into one empty argument).
    if (program.invokedAs.empty()) {
        fail(usage, 2);
    }
    program.env = currentEnvironment();
    program.paths = Paths::forCurrentUser(program.env);
    if (program.invokedAs == ownName) {
        program.direct();
    }
    program.shim();
}
