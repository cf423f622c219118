// Codex keeps a profile's login in the Secret Service: its status command must reach
// the session bus through the adapter's reduced environment. Run by CTest through
// run-with-keyring.sh, so a private bus and an unlocked gnome-keyring answer.
#include "core/tools/CodexAdapter.h"
#include "core/tools/ProcessRunner.h"

#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

// Asks the keyring daemon for its default collection over the session bus.
const char* const askKeyring =
    "/usr/bin/gdbus call --session --dest org.freedesktop.secrets "
    "--object-path /org/freedesktop/secrets --method org.freedesktop.Secret.Service.ReadAlias "
    "default";

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

struct CodexKeyring : ::testing::Test {
    TempHome home;
    std::string bin = home.dir / "bin";
    std::string records = home.dir / "records";
    Profile work = profile("work", Profile::Storage::managed, {ToolKind::codex});

    void SetUp() override {
        const ProcessResult direct =
            ProcessRunner::runSync("/bin/sh", {"-c", askKeyring}, currentEnvironment(), 10);
        if (direct.exitCode != 0 || direct.stdoutText.find("/collection/") == std::string::npos) {
            GTEST_SKIP() << "No Secret Service on the session bus (" << direct.combinedOutput()
                         << "); run through tests/support/run-with-keyring.sh";
        }
        makeDirs(records);
        makeDirs(home.paths.supportDirectory() + "/codex/work");
        // A stand-in for codex that answers as the real one does: signed in when the
        // keyring answers, the real tool's keyring error when it doesn't.
        writeFile(
            bin + "/codex",
            "#!/bin/sh\n"
            "r='" +
                records +
                "'\n"
                "printf '%s' \"${DBUS_SESSION_BUS_ADDRESS-unset}\" > \"$r/bus\"\n"
                "printf '%s' \"${XDG_RUNTIME_DIR-unset}\" > \"$r/runtime\"\n"
                "if " +
                std::string(askKeyring) +
                " 2>\"$r/error\" | /bin/grep -q /collection/;"
                " then\n"
                "    echo 'Logged in using ChatGPT'\n"
                "    exit 0\n"
                "fi\n"
                "echo 'Error: failed to load CLI auth from keyring: no secret service provider "
                "or dbus session found' >&2\n"
                "exit 1\n",
            0755);
    }

    // The test's own environment, as the app would have it, with the fake first on PATH
    // and variables the reduced environment must drop.
    Environment shellEnvironment() const {
        Environment environment = currentEnvironment();
        environment["PATH"] = bin + ":/usr/bin:/bin";
        environment["HOME"] = home.home();
        environment["CODEX_HOME"] = "/somewhere/else";
        environment["OPENAI_API_KEY"] = "sk-secret";
        return environment;
    }
};

TEST_F(CodexKeyring, StatusReachesTheSecretServiceOfTheSession) {
    CodexAdapter codex(ToolContext{home.paths, shellEnvironment()});
    AccountInfo account;
    account.method = "ChatGPT";
    EXPECT_EQ(codex.status(work), ToolStatus::signedIn(account)) << readFile(records + "/error");
    EXPECT_EQ(readFile(records + "/bus"), variable("DBUS_SESSION_BUS_ADDRESS"));
    EXPECT_EQ(readFile(records + "/runtime"), variable("XDG_RUNTIME_DIR"));
}

TEST_F(CodexKeyring, ABusThatIsNotThereShowsAsUnreadable) {
    Environment environment = shellEnvironment();
    environment["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + home.dir / "no-bus";
    CodexAdapter codex(ToolContext{home.paths, environment});
    EXPECT_EQ(codex.status(work),
              ToolStatus::needsAttention("Couldn't read `codex login status` (exit 1)."));
    EXPECT_EQ(readFile(records + "/bus"), "unix:path=" + home.dir / "no-bus");
}

} // namespace
