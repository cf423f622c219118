// The conventions every command keeps: --version, --help, usage errors, colour.
#include "tests/cli/CliFixture.h"

#include "core/base/Json.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

using namespace twinlantern;
using namespace twinlantern::testing;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class CliUsage : public CliFixture {};

TEST_F(CliUsage, VersionPrintsTheProjectVersion) {
    const RunResult r = run({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("twinlantern ") + TL_VERSION + "\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliUsage, HelpOnEachCommandGoesToStandardOutput) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"doctor", "--help"},
                                                 {"which", "-h"},
                                                 {"shell", "install", "--help"},
                                                 {"shell", "uninstall", "--help"},
                                                 {"launchers", "install", "--help"},
                                                 {"profile", "list", "--help"},
                                                 {"login", "--help"},
                                                 {"rule", "remove", "--help"}}) {
        const RunResult r = run(args);
        EXPECT_EQ(r.exitCode, 0) << args[0];
        EXPECT_THAT(r.out, HasSubstr("Usage: twinlantern")) << args[0];
        EXPECT_EQ(r.err, "") << args[0];
    }
}

TEST_F(CliUsage, UsageErrorsExitTwoWithTheUsageLine) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
        const char* usage;
    };
    const Case cases[] = {
        {{}, "A subcommand is required", "Usage: twinlantern [OPTIONS] SUBCOMMAND"},
        {{"bogus"},
         "There's no command \u201Cbogus\u201D.",
         "Usage: twinlantern [OPTIONS] SUBCOMMAND"},
        {{"--bogus"}, "--bogus", "Usage: twinlantern [OPTIONS] SUBCOMMAND"},
        {{"doctor", "--bogus"}, "--bogus", "Usage: twinlantern doctor [OPTIONS]"},
        {{"doctor", "extra"}, "extra", "Usage: twinlantern doctor [OPTIONS]"},
        {{"shell"}, "A subcommand is required", "Usage: twinlantern shell [OPTIONS] SUBCOMMAND"},
        {{"shell", "bogus"}, "\u201Cbogus\u201D", "Usage: twinlantern shell [OPTIONS] SUBCOMMAND"},
        {{"shell", "install", "--force"}, "--force", "Usage: twinlantern shell install [OPTIONS]"},
        {{"which", "a", "b"}, "b", "Usage: twinlantern which [OPTIONS] [FOLDER]"},
        {{"rule", "remove"}, "PATH is required", "Usage: twinlantern rule remove [OPTIONS] PATH"},
        {{"login", "Work"},
         "TOOL is required",
         "Usage: twinlantern login [OPTIONS] NAME (claude-code|claude|code|codex)"},
        {{"login", "Work", "claude-desktop"},
         "\u201Cclaude-desktop\u201D isn't a tool to sign in to. Use claude-code, claude, code or "
         "codex.",
         "Usage: twinlantern login [OPTIONS] NAME (claude-code|claude|code|codex)"},
        {{"login", "Work", "chatgpt"}, "\u201Cchatgpt\u201D", "Usage: twinlantern login"},
        {{"login", "Work", " codex"}, "\u201C codex\u201D", "Usage: twinlantern login"},
        {{"profile", "list", "--yaml"}, "--yaml", "Usage: twinlantern profile list [OPTIONS]"},
    };
    for (const Case& c : cases) {
        const std::string what = c.args.empty() ? "(nothing)" : c.args.back();
        const RunResult r = run(c.args);
        EXPECT_EQ(r.exitCode, 2) << what << ": " << r.err;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_THAT(r.err, StartsWith("twinlantern: ")) << what;
        EXPECT_THAT(r.err, HasSubstr(c.message)) << what;
        EXPECT_THAT(r.err, HasSubstr(c.usage)) << what;
    }
    EXPECT_FALSE(exists(home.dir / ".twinlantern"));
    EXPECT_FALSE(exists(home.paths.supportDirectory()));
}

TEST_F(CliUsage, LaunchersInstallWithoutClaudeDesktopTouchesNothing) {
    store({1,
           {profile("work", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop})},
           {},
           {}});
    const RunResult r = run({"launchers", "install"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "twinlantern: Claude Desktop isn't installed, so there's nothing to make a "
                     "launcher for.\n");
    EXPECT_FALSE(exists(home.dir / "Applications"));
    EXPECT_FALSE(exists(home.dir / ".local"));
}

// Builds the launchers the profiles want, removes the others, and the doctor agrees.
TEST_F(CliUsage, LaunchersInstallBuildsAndTidies) {
    const std::string claudeApp = home.dir / "Applications/Claude.app/Contents";
    writeFile(claudeApp + "/Info.plist",
              "<plist><dict><key>CFBundleIdentifier</key>"
              "<string>com.anthropic.claudefordesktop</string>"
              "<key>CFBundleExecutable</key><string>Claude</string></dict></plist>");
    writeFile(claudeApp + "/MacOS/Claude", "#!/bin/sh\n", 0755);
    Profile work = profile("work", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop});
    const Profile home2 = profile("home", "Home");
    store({1, {work, home2}, {}, {}});
    const RunResult built = run({"launchers", "install"});
    EXPECT_EQ(built.exitCode, 0) << built.err;
    EXPECT_EQ(built.out, "Built ~/Applications/TwinLantern/Claude — Work.app\n");
    EXPECT_EQ(built.err, "");
    const std::string bundle = home.dir / "Applications/TwinLantern/Claude — Work.app";
    EXPECT_EQ(readFile(bundle + "/Contents/MacOS/launcher"),
              readFile(helpers() + "/twinlantern-launcher"));
    const std::string entry =
        home.dir / ".local/share/applications/app.twinlantern.launcher.work.desktop";
    EXPECT_TRUE(exists(entry));
    const RunResult doctor = run({"doctor", "--json"});
    EXPECT_EQ(doctor.out.find("launcher."), std::string::npos) << doctor.out;

    // A deleted profile's launcher is an orphan to the doctor.
    store({1, {home2}, {}, {}});
    const RunResult orphan = run({"doctor", "--json"});
    EXPECT_NE(orphan.out.find("launcher.orphan"), std::string::npos) << orphan.out;
    // The fix the doctor quotes, run as written, removes it, as it does the launcher of
    // a profile that no longer uses Claude Desktop.
    ASSERT_THAT(orphan.out, HasSubstr("`twinlantern launchers install`"));
    work.removeTool(ToolKind::claudeDesktop);
    store({1, {work, home2}, {}, {}});
    const RunResult tidied = shell("twinlantern launchers install");
    EXPECT_EQ(tidied.exitCode, 0) << tidied.err;
    EXPECT_EQ(tidied.out, "Removed ~/Applications/TwinLantern/Claude — Work.app\n");
    EXPECT_FALSE(exists(bundle));
    EXPECT_FALSE(exists(entry));
    const RunResult nothing = run({"launchers", "install"});
    EXPECT_EQ(nothing.exitCode, 0) << nothing.err;
    EXPECT_EQ(nothing.out, "No profile uses Claude Desktop, so there are no launchers to build.\n");
}

// Colour only on a terminal, and never with NO_COLOR.
TEST_F(CliUsage, ColourOnlyOnATerminalWithoutNoColor) {
    store({1, {profile("work", "Work")}, {}, ProfileID("work")});
    const std::string escape = "\033[";
    for (const char* command : {"doctor", "which"}) {
        const RunResult piped = run({command});
        EXPECT_EQ(piped.out.find(escape), std::string::npos) << command;

        const RunResult terminal =
            runInTerminal(program(), {"twinlantern", command}, env(), home.home(), "");
        EXPECT_NE(terminal.out.find(escape), std::string::npos) << command;

        Environment noColour = env();
        noColour["NO_COLOR"] = "";
        Environment dumb = env();
        dumb["TERM"] = "dumb";
        for (const Environment& plainEnvironment : {noColour, dumb}) {
            const RunResult plain = runInTerminal(program(), {"twinlantern", command},
                                                  plainEnvironment, home.home(), "");
            EXPECT_EQ(plain.out.find(escape), std::string::npos) << command;
            EXPECT_THAT(plain.out,
                        HasSubstr(std::string(command) == "doctor" ? "Profiles file is readable"
                                                                   : "Work, the terminal default"));
        }
    }
}

// Where a byte a terminal acts on stands in text: a C0 control but the line feed, DEL,
// or a C1 control in UTF-8.
std::optional<std::size_t> rawControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F ||
            (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
            return i;
        }
    }
    return std::nullopt;
}

// Names, rule paths, folder names and a dotfile's text from an imported or cloned file
// show escaped wherever a command prints them, the prompt included.
TEST_F(CliUsage, HostileTextNeverReachesTheTerminalRaw) {
    const std::string name = "Evil\033]0;PWNED\007\033[2J";
    const std::string shownName = "Evil\\x1B]0;PWNED\\x07\\x1B[2J";
    const std::string rulePath = "~/evil\033[31m\u009B/**";
    const std::string shownRule = "~/evil\\x1B[31m\\u009B/**";
    Profile evil = profile("evil", name);
    evil.setTools({ToolKind::claudeCode, ToolKind::codex});
    const ProfileDocument document{
        1,
        {evil},
        {FolderRule(rulePath, ProfileID("evil")), FolderRule("~/gone\033[8m", ProfileID("evil"))},
        ProfileID("evil")};
    writeProfiles(jsonText(nlohmann::json(document)));
    const std::string folder = dir("evil\033[31m\u009B/sub\x7F");
    writeFile(folder + "/.twinlantern", "Nobody\033]52;c;cHduZWQ=\007\n");

    struct Case {
        std::vector<std::string> argv;
        std::vector<std::string> shown; // in standard output or error, escaped
    };
    const std::string program = CliFixture::program();
    const Case cases[] = {
        {{program, "profile", "list"},
         {shownName + " (terminal default)\n", "  rule     " + shownRule}},
        {{program, "which"},
         {"~/evil\\x1B[31m\\u009B/sub\\x7F\n", "names \u201CNobody\\x1B]52;c;cHduZWQ=\\x07\u201D",
          "claude  " + shownName + ", from the folder rule " + shownRule + "\n"}},
        {{program, "doctor"}, {"~/gone\\x1B[8m \u2192 " + shownName}},
        {{resolver(), "--prompt"}, {shownName + "\n"}},
        {{program, "login", name, "codex"}, {"Signing " + shownName + " in to Codex.\n"}},
        {{program, "login", "Nobody\033[2J", "codex"}, {"Nobody\\x1B[2J"}},
        {{program, "rule", "remove", rulePath},
         {"Removed the folder rule " + shownRule + " \u2192 " + shownName + ".\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argv[1]);
        std::vector<std::string> argv = c.argv;
        argv[0] = argv[0] == program ? "twinlantern" : "twinlantern-resolve";
        const RunResult r = runProgram(c.argv[0], argv, env(), {.cwd = folder});
        EXPECT_EQ(rawControl(r.out), std::nullopt) << r.out;
        EXPECT_EQ(rawControl(r.err), std::nullopt) << r.err;
        for (const std::string& text : c.shown) {
            EXPECT_THAT(r.out + r.err, HasSubstr(text));
        }
    }
}

TEST_F(CliUsage, AFailedWriteOfTheResultIsAnError) {
    // /dev/full takes nothing: the run must not claim success.
    const RunResult r = shell("twinlantern profile list > /dev/full");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("twinlantern: Couldn't write the output: "));
}

} // namespace
