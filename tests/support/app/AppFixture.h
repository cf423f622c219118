#pragma once

#include "TwinLanternApp/model/AppModel.h"
#include "tests/support/app/VirtualScheduler.h"

#include "tests/support/TestSupport.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace twinlantern::app::test {

// A temporary HOME, fake `claude` and `codex` in <home>/bin that answer from the
// profile's own folder (CLAUDE_CONFIG_DIR or CODEX_HOME) and log each call's start and
// end, and the virtual scheduler. A file "gate" in the folder holds the call open.
struct AppFixture {
    AppFixture();
    ~AppFixture();

    tltest::TempHome home;
    VirtualScheduler scheduler;
    std::string bin;
    std::string log;
    Environment environment;
    // The app's executable; no bundle around it until makeBundle.
    std::string executable;
    // What the actions posted through Feedback, once captureFeedback ran.
    std::vector<std::string> posted;

    AppServices services();
    std::unique_ptr<AppModel> model(bool watch, std::optional<std::string> searchPath = {});

    // <home>/TwinLantern.app with Contents/MacOS and, when asked, Contents/Helpers holding
    // the built resolver and launcher and a stand-in command-line tool; the executable
    // moves into it. The bundle's path.
    std::string makeBundle(bool helpers = true);
    // What the fake xdg-open in <bin> was given, one line per start (it runs detached:
    // wait for it).
    std::string revealed() const;
    std::vector<std::string> revealedFolders() const;
    // Feedback's messages go to `posted` (a watching model made later takes them over).
    void captureFeedback();
    // SHELL becomes a login shell that answers at once with this PATH.
    void loginShellAnswers(const std::string& path);
    // Writes the fake tool `name` into `folder` (made when missing).
    void writeFakeTool(const std::string& folder, const std::string& name) const;
    // Straight to the profiles file, past the store's checks.
    void writeDocument(const ProfileDocument& document) const;
    // The profile's folder for a terminal tool, made when missing.
    std::string folder(ToolKind kind, const std::string& id) const;
    void signIn(ToolKind kind, const std::string& id, const std::string& email) const;
    void hold(ToolKind kind, const std::string& id) const;
    void release(ToolKind kind, const std::string& id) const;
    // "start claude work-1", "end claude work-1", ... in the order they happened.
    std::vector<std::string> calls() const;
    // Every gate opened so no call stays held past the test.
    void releaseAll() const;
};

} // namespace twinlantern::app::test
