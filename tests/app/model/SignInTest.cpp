#include "tests/support/app/AppFixture.h"

#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "TwinLanternMac/signin/SignInRouter.h"
#include "core/base/ShellQuote.h"
#include "platform/Workspace.h"
#include "platform/test/RecordingLog.h"
#include "tests/support/MachineWideTurn.h"
#include "tests/support/Profiles.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using app::test::AppFixture;
using ::testing::HasSubstr;

namespace {

// A terminal that records each start in a folder of its own (its pid): the arguments and
// the script, then runs the script (by its shebang: zsh) there with the output kept. It
// needs no PATH.
struct FakeTerminal {
    std::string records;

    FakeTerminal(const AppFixture& f, const std::string& path)
        : records(f.home.home() + "/terminal") {
        tltest::makeDirs(records);
        tltest::writeFile(path,
                          "#!/bin/sh\n"
                          "d='" +
                              records +
                              "'/$$\n"
                              "/bin/mkdir \"$d\" && cd \"$d\" || exit 1\n"
                              "printf '%s\\n' \"$@\" > argv\n"
                              "/bin/cp \"$2\" script\n"
                              "\"$2\" > out 2>&1\n"
                              "echo $? > done\n",
                          0755);
    }
    explicit FakeTerminal(const AppFixture& f) : FakeTerminal(f, f.bin + "/x-terminal-emulator") {}

    std::size_t starts() const { return tltest::folderEntries(records).size(); }
    // The first start's files.
    bool finished() const { return starts() > 0 && tltest::exists(folder() + "/done"); }
    std::string file(const std::string& name) const {
        return tltest::readFile(folder() + "/" + name);
    }
    std::string folder() const { return records + "/" + tltest::folderEntries(records).at(0); }
};

// `claude auth login` marks the folder signed in; anything else is the fixture's fake.
void writeLoggingInClaude(AppFixture& f) {
    f.writeFakeTool(f.bin + "/real", "claude");
    tltest::writeFile(f.bin + "/claude",
                      "#!/bin/sh\n"
                      "if [ \"$1 $2\" = 'auth login' ]; then\n"
                      "  printf 'me@example.com' > \"$CLAUDE_CONFIG_DIR/signed-in\"; exit 0\n"
                      "fi\n"
                      "exec '" +
                          f.bin + "/real/claude' \"$@\"\n",
                      0755);
}

TEST(TerminalSignIn, TheLoginInATerminalIsSeenByTheFirstPollAtThreeSeconds) {
    AppFixture f;
    f.captureFeedback();
    FakeTerminal terminal(f);
    writeLoggingInClaude(f);
    const Profile work = tltest::profile("work-1", "Work");
    f.writeDocument({1, {work}, {}, {}});
    auto model = f.model(false);
    model->signIn(work, ToolKind::claudeCode);
    EXPECT_FALSE(model->alert());
    EXPECT_EQ(model->signingIn(), std::set<std::string>{"work-1/claude-code"});
    ASSERT_TRUE(f.scheduler.runUntil([&] { return terminal.finished(); }));
    EXPECT_EQ(terminal.file("done"), "0\n");
    EXPECT_THAT(terminal.file("out"), HasSubstr("Sign Work in to Claude Code"));
    EXPECT_THAT(terminal.file("script"),
                HasSubstr("export PATH=" + ShellQuote::quote(f.bin + ":/usr/bin:/bin") + "\n"));
    // The script lay where no terminal splits its path, and deleted itself there.
    EXPECT_THAT(terminal.file("argv"),
                ::testing::StartsWith("-e\n" + f.home.home() + "/.cache/twinlantern/sign-in/"));
    EXPECT_EQ(tltest::folderEntries(f.home.home() + "/.cache/twinlantern/sign-in"),
              std::vector<std::string>{});

    f.scheduler.advance(2999ms);
    EXPECT_TRUE(f.calls().empty());
    EXPECT_TRUE(f.posted.empty());
    f.scheduler.advance(1ms);
    EXPECT_EQ(f.posted, std::vector<std::string>{"\u2068Work\u2069 is signed in to Claude Code"});
    EXPECT_TRUE(model->signingIn().empty());
    ASSERT_TRUE(model->status(work, ToolKind::claudeCode));
    EXPECT_EQ(model->status(work, ToolKind::claudeCode)->account.email, "me@example.com");
    f.scheduler.advance(30s);
    EXPECT_EQ(f.calls().size(), 2u); // one check: start and end
}

TEST(TerminalSignIn, WithoutALoginThePollGivesUpSilentlyAfterTwoHundredChecks) {
    AppFixture f;
    f.captureFeedback();
    FakeTerminal terminal(f);
    const Profile work = tltest::profile("work-1", "Work");
    f.writeDocument({1, {work}, {}, {}});
    auto model = f.model(false);
    model->signIn(work, ToolKind::claudeCode);
    ASSERT_TRUE(f.scheduler.runUntil([&] { return terminal.finished(); }));
    f.scheduler.advance(599s);
    EXPECT_TRUE(model->isSigningIn(work, ToolKind::claudeCode));
    f.scheduler.advance(1s);
    EXPECT_TRUE(model->signingIn().empty());
    // The terminal's login, then 200 checks; each call logs a start and an end.
    EXPECT_EQ(f.calls().size(), 402u);
    f.scheduler.advance(60s);
    EXPECT_EQ(f.calls().size(), 402u);
    EXPECT_TRUE(f.posted.empty());
    EXPECT_FALSE(model->alert());
    ASSERT_TRUE(model->status(work, ToolKind::claudeCode));
    EXPECT_NE(model->status(work, ToolKind::claudeCode)->state, ToolStatus::Case::signedIn);
}

TEST(TerminalSignIn, AHostileNameAndAnOddHomeArePrintedAndNeverRun) {
    AppFixture f;
    f.captureFeedback();
    FakeTerminal terminal(f);
    writeLoggingInClaude(f);
    const std::string odd = f.home.home() + "/it's my \"home\"";
    tltest::makeDirs(odd);
    // No path under that home is one a terminal passes on whole: a new folder in TMPDIR.
    f.environment["TMPDIR"] = f.home.home() + "/tmp";
    tltest::makeDirs(f.environment["TMPDIR"]);
    const Paths paths(odd, odd + "/Applications");
    const std::string name = "O'Brien $(touch pwned) \"x\"";
    AppModel model(paths, std::nullopt, false, f.services());
    const auto created =
        model.createProfile(name, std::nullopt, {ToolKind::claudeCode}, Profile::Storage::managed);
    ASSERT_TRUE(created) << model.alert().value_or("");
    model.signIn(*created, ToolKind::claudeCode);
    ASSERT_FALSE(model.alert()) << *model.alert();
    ASSERT_TRUE(f.scheduler.runUntil([&] { return terminal.finished(); }));
    EXPECT_EQ(terminal.file("done"), "0\n");
    EXPECT_THAT(terminal.file("out"), HasSubstr("Sign " + name + " in to Claude Code"));
    EXPECT_FALSE(tltest::exists(terminal.folder() + "/pwned"));
    EXPECT_THAT(terminal.file("argv"),
                ::testing::StartsWith("-e\n" + f.environment["TMPDIR"] + "/twinlantern-sign-in-"));
    // The login wrote into the profile's folder under the odd home.
    const std::string folder = paths.dataDirectory(ToolKind::claudeCode, created->id).value();
    EXPECT_TRUE(tltest::exists(folder + "/signed-in"));
    f.scheduler.advance(3s);
    EXPECT_EQ(f.posted,
              std::vector<std::string>{"\u2068" + name + "\u2069 is signed in to Claude Code"});
}

TEST(TerminalSignIn, WithoutATerminalProgramTheAlertAndNoKey) {
    AppFixture f;
    f.environment["TERMINAL"] = "no-such-terminal";
    const Profile work = tltest::profile("work-1", "Work");
    f.writeDocument({1, {work}, {}, {}});
    auto model = f.model(false);
    model->signIn(work, ToolKind::claudeCode);
    EXPECT_EQ(model->alert(), "Couldn't open Terminal for sign-in.");
    EXPECT_TRUE(model->signingIn().empty());
    f.scheduler.advance(10s);
    EXPECT_TRUE(f.calls().empty());
}

TEST(TerminalSignIn, AToolThatIsntThereHasNothingToSignInTo) {
    AppFixture f;
    FakeTerminal terminal(f);
    const Profile work = tltest::profile("work-1", "Work");
    f.writeDocument({1, {work}, {}, {}});
    auto model = f.model(false, "/nowhere");
    model->signIn(work, ToolKind::claudeCode);
    EXPECT_EQ(model->alert(), "Claude Code isn't installed, so there's nothing to sign in to yet.");
    EXPECT_TRUE(model->signingIn().empty());
    EXPECT_EQ(terminal.starts(), 0u);
}

TEST(CodexSignIn, OneProfileAtATimeWhileClaudeCodeAndTheAppWatchNeverBlock) {
    AppFixture f;
    FakeTerminal terminal(f);
    tltest::FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT",
                            ChatGPTAppAdapter::appBundleID);
    const Profile a = tltest::profile("a-1", "A", Profile::Storage::managed,
                                      {ToolKind::chatGPTApp, ToolKind::codex});
    const Profile b = tltest::profile("b-1", "B", Profile::Storage::managed,
                                      {ToolKind::claudeCode, ToolKind::codex});
    f.writeDocument({1, {a, b}, {}, {}});
    auto model = f.model(false);

    // A watched ChatGPT sign-in of A doesn't hold back Codex.
    model->openApp(a, ToolKind::chatGPTApp);
    f.scheduler.settle();
    ASSERT_TRUE(model->isSigningIn(a, ToolKind::chatGPTApp));
    model->signIn(b, ToolKind::codex);
    EXPECT_FALSE(model->alert());
    EXPECT_TRUE(model->isSigningIn(b, ToolKind::codex));
    EXPECT_TRUE(model->codexSignInRunning());

    model->signIn(a, ToolKind::codex);
    EXPECT_EQ(model->alert(), "Finish the Codex sign-in that's already open first. Codex can "
                              "only sign in one profile at a time.");
    EXPECT_FALSE(model->isSigningIn(a, ToolKind::codex));
    model->setAlert(std::nullopt);

    model->signIn(b, ToolKind::claudeCode);
    EXPECT_FALSE(model->alert());
    EXPECT_TRUE(model->isSigningIn(b, ToolKind::claudeCode));
    ASSERT_TRUE(f.scheduler.runUntil([&] { return terminal.starts() == 2; }));

    // Once B's Codex poll ends, A may go.
    f.signIn(ToolKind::codex, "b-1", "b@example.com");
    f.scheduler.advance(3s);
    EXPECT_FALSE(model->codexSignInRunning());
    model->signIn(a, ToolKind::codex);
    EXPECT_FALSE(model->alert());
    EXPECT_TRUE(model->isSigningIn(a, ToolKind::codex));
    ASSERT_TRUE(f.scheduler.runUntil([&] { return terminal.starts() == 3; }));
}

TEST(CodexSignIn, WithAnEmptyPathTheScriptGetsTheFallback) {
    AppFixture f;
    // Only the app's own copy of Codex, and a terminal named by its full path.
    tltest::FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT",
                            ChatGPTAppAdapter::appBundleID);
    f.writeFakeTool(chatGPT.bundle() + "/Contents/Resources/codex-cli/bin", "codex");
    const std::string program = f.home.home() + "/term/terminal";
    tltest::makeDirs(f.home.home() + "/term");
    FakeTerminal terminal(f, program);
    f.environment["TERMINAL"] = program;
    const Profile work = tltest::profile("work-1", "Work");
    f.writeDocument({1, {work}, {}, {}});
    auto model = f.model(false, "");
    model->signIn(work, ToolKind::codex);
    ASSERT_FALSE(model->alert()) << *model->alert();
    // The record's folder comes before its copy of the script: wait for the end.
    ASSERT_TRUE(f.scheduler.runUntil([&] { return terminal.finished(); }));
    EXPECT_EQ(terminal.starts(), 1U);
    const std::string script = terminal.file("script");
    EXPECT_THAT(script, HasSubstr("export PATH=/usr/bin:/bin\n"));
    EXPECT_THAT(script, HasSubstr(ShellQuote::quote(chatGPT.bundle() +
                                                    "/Contents/Resources/codex-cli/bin/codex") +
                                  " login"));
    EXPECT_THAT(script, HasSubstr("Sign Work in to Codex"));
}

// ---- Google ----

struct GoogleFixture {
    AppFixture f;
    std::string config = f.home.home() + "/.config";
    Environment routerEnvironment{{"HOME", f.home.home()},
                                  {"PATH", "/usr/bin:/bin"},
                                  {"XDG_CONFIG_HOME", config},
                                  {"XDG_DATA_HOME", f.home.home() + "/.local/share"},
                                  {"XDG_DATA_DIRS", f.home.home() + "/sys"},
                                  {"XDG_CONFIG_DIRS", f.home.home() + "/etc"}};
    tltest::FakeApp own{f.home.home() + "/apps", "TwinLantern",
                        tltest::uniqueBundleID("twinlantern")};
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(f.home.paths, routerEnvironment);
    platform::SchemeHandlers handlers{f.home.home(), routerEnvironment};
    platform::RecordingLog log;
    SignInRouter router{SignInRouter::Services{
        *workspace, handlers, f.scheduler, log, own.bundle(),
        [this] { return f.scheduler.clock().monotonicNow(); }, DesktopInstall::bundleID}};
    std::unique_ptr<AppModel> model;

    GoogleFixture() {
        for (const auto& [name, value] : routerEnvironment) {
            f.environment.try_emplace(name, value);
        }
    }
    void makeModel() {
        AppServices services = f.services();
        services.signInRouter = &router;
        model = std::make_unique<AppModel>(f.home.paths, std::nullopt, false, services);
    }
    ~GoogleFixture() { model.reset(); }
};

TEST(GoogleSignIn, ASystemProfileDoesNothingAtAll) {
    GoogleFixture g;
    const Profile usual =
        tltest::profile("usual-1", "Usual", Profile::Storage::system, {ToolKind::claudeDesktop});
    g.f.writeDocument({1, {usual}, {}, {}});
    g.makeModel();
    bool done = false;
    g.model->signInWithGoogle(usual, [&] { done = true; });
    g.f.scheduler.advance(1s);
    EXPECT_TRUE(done);
    EXPECT_TRUE(g.log.entries.empty());
    EXPECT_FALSE(g.model->alert());
    EXPECT_FALSE(g.router.armed());
}

TEST(GoogleSignIn, WithoutClaudeTheAlertSaysSoAndNothingIsArmed) {
    GoogleFixture g;
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop});
    g.f.writeDocument({1, {work}, {}, {}});
    g.makeModel();
    bool done = false;
    g.model->signInWithGoogle(work, [&] { done = true; });
    g.f.scheduler.settle();
    EXPECT_TRUE(done);
    EXPECT_EQ(g.model->alert(), "Couldn't set up Google sign-in: Claude Desktop isn't installed. "
                                "Signing in with your email address always works.");
    EXPECT_FALSE(g.router.armed());
    EXPECT_EQ(g.log.messages(), std::vector<std::string>{"google sign-in requested for work-1"});
    EXPECT_EQ(g.log.entries[0].category, "google-sign-in");
    EXPECT_FALSE(g.model->toast());
}

TEST(GoogleSignIn, OpensTheProfilesClaudeArmsTheRouterAndSaysWhatToClick) {
    tltest::MachineWideTurn turn; // a fake with Claude's own bundle id
    GoogleFixture g;
    tltest::FakeApp claude(g.f.home.paths.applicationsDirectory, "Claude",
                           DesktopInstall::bundleID);
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop});
    g.f.writeDocument({1, {work}, {}, {}});
    g.makeModel();
    bool done = false;
    g.model->signInWithGoogle(work, [&] { done = true; });
    g.f.scheduler.settle();
    ASSERT_TRUE(done);
    EXPECT_FALSE(g.model->alert()) << *g.model->alert();
    const std::string folder =
        g.f.home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value();
    ASSERT_TRUE(g.router.armed());
    EXPECT_EQ(g.router.armed()->userDataDirectory, folder);
    EXPECT_EQ(g.router.armed()->profileName, "Work");
    EXPECT_EQ(g.router.armed()->until, g.f.scheduler.clock().monotonicNow() + 300s);
    EXPECT_EQ(g.router.currentHandler(), g.own.bundle());
    EXPECT_TRUE(tltest::exists(g.config + "/mimeapps.list"));
    EXPECT_EQ(g.model->toast(), "Now click \u201c" + std::string("Continue with Google") +
                                    "\u201d in Claude \u2014 \u2068Work\u2069.");
    EXPECT_TRUE(g.model->isRunning(work, ToolKind::claudeDesktop));
    const auto lines = g.log.messages();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "google sign-in requested for work-1");
    EXPECT_EQ(lines[1], "window opened or focused");
    ASSERT_TRUE(g.f.scheduler.runUntil([&] { return claude.runs().size() == 1; }));
    EXPECT_EQ(claude.run(claude.runs()[0])->argv.at(1), "--user-data-dir=" + folder);
    g.router.disarm();
}

} // namespace
