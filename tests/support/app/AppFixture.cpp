#include "tests/support/app/AppFixture.h"

#include "core/base/PathUtil.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

namespace twinlantern::app::test {

namespace {

// One script for both tools; the name picks the answer.
// The model may hand the tool a PATH of fake tools only: the script's own commands
// (basename, sleep) must still be found, or the gate stops holding.
constexpr const char* fakeTool = R"SH(#!/bin/sh
PATH="$PATH:/usr/bin:/bin"
name=$(basename "$0")
if [ "$name" = claude ]; then dir="$CLAUDE_CONFIG_DIR"; else dir="$CODEX_HOME"; fi
echo "start $name $(basename "$dir")" >> "@LOG@"
i=0
while [ -e "$dir/gate" ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done
echo "end $name $(basename "$dir")" >> "@LOG@"
if [ "$name" = claude ]; then
  if [ -f "$dir/signed-in" ]; then
    printf '{"loggedIn": true, "email": "%s"}\n' "$(cat "$dir/signed-in")"
  else
    echo '{"loggedIn": false}'
  fi
else
  if [ -f "$dir/signed-in" ]; then echo "Logged in using ChatGPT"; else echo "Not logged in"; fi
fi
)SH";

} // namespace

AppFixture::AppFixture()
    : bin(home.home() + "/bin"), log(home.home() + "/calls.log"),
      executable(home.home() + "/app/TwinLantern") {
    writeFakeTool(bin, "claude");
    writeFakeTool(bin, "codex");
    // Folders shown in the file manager are only recorded.
    tltest::writeFile(bin + "/xdg-open",
                      "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + revealed() + "'\n", 0755);
    environment = {{"PATH", bin + ":/usr/bin:/bin"}, {"LANG", "C"}};
    loginShellAnswers(bin + ":/usr/bin:/bin");
}

void AppFixture::loginShellAnswers(const std::string& path) {
    const std::string shell = home.home() + "/login-shell";
    tltest::writeFile(
        shell, "#!/bin/sh\nprintf '__TWINLANTERN_PATH__%s__TWINLANTERN_PATH__' '" + path + "'\n",
        0755);
    environment["SHELL"] = shell;
}

AppFixture::~AppFixture() {
    releaseAll();
    Feedback::handler = {};
}

AppServices AppFixture::services() {
    return AppServices{&scheduler, environment, executable};
}

std::string AppFixture::makeBundle(bool helpers) {
    const std::string bundle = home.home() + "/TwinLantern.app";
    tltest::makeDirs(bundle + "/Contents/MacOS");
    executable = bundle + "/Contents/MacOS/TwinLantern";
    tltest::writeFile(executable, "#!/bin/sh\nexit 0\n", 0755);
    if (helpers) {
        const std::string folder = bundle + "/Contents/Helpers";
        tltest::makeDirs(folder);
        for (const char* built : {"twinlantern-resolve", "twinlantern-launcher"}) {
            tltest::writeFile(folder + "/" + built,
                              tltest::readFile(std::string(TL_HELPERS_DIR "/") + built), 0755);
        }
        tltest::writeFile(folder + "/twinlantern", "#!/bin/sh\nexit 0\n", 0755);
    }
    return bundle;
}

std::string AppFixture::revealed() const {
    return home.home() + "/revealed.log";
}

std::vector<std::string> AppFixture::revealedFolders() const {
    return tltest::exists(revealed()) ? tltest::lines(tltest::readFile(revealed()))
                                      : std::vector<std::string>{};
}

void AppFixture::captureFeedback() {
    Feedback::handler = [this](const std::string& message) {
        posted.push_back(message);
    };
}

std::unique_ptr<AppModel> AppFixture::model(bool watch, std::optional<std::string> searchPath) {
    return std::make_unique<AppModel>(home.paths, std::move(searchPath), watch, services());
}

void AppFixture::writeFakeTool(const std::string& folder, const std::string& name) const {
    tltest::makeDirs(folder);
    // The tools get a filtered environment, so the log's place is written in.
    std::string script = fakeTool;
    for (std::size_t at; (at = script.find("@LOG@")) != std::string::npos;) {
        script.replace(at, 5, log);
    }
    tltest::writeFile(folder + "/" + name, script, 0755);
}

void AppFixture::writeDocument(const ProfileDocument& document) const {
    tltest::makeDirs(home.paths.supportDirectory());
    tltest::writeFile(home.paths.profilesFile(), nlohmann::json(document).dump(), 0600);
}

std::string AppFixture::folder(ToolKind kind, const std::string& id) const {
    const std::string path = home.paths.dataDirectory(kind, ProfileID(id)).value();
    tltest::makeDirs(path);
    return path;
}

void AppFixture::signIn(ToolKind kind, const std::string& id, const std::string& email) const {
    tltest::writeFile(folder(kind, id) + "/signed-in", email);
}

void AppFixture::hold(ToolKind kind, const std::string& id) const {
    tltest::writeFile(folder(kind, id) + "/gate", "");
}

void AppFixture::release(ToolKind kind, const std::string& id) const {
    ::unlink((folder(kind, id) + "/gate").c_str());
}

void AppFixture::releaseAll() const {
    for (const auto& tool : {ToolKind::claudeCode, ToolKind::codex}) {
        const std::string root =
            PathUtil::parent(home.paths.dataDirectory(tool, ProfileID("x")).value());
        for (const auto& entry : tltest::folderEntries(root)) {
            ::unlink((root + "/" + entry + "/gate").c_str());
        }
    }
}

std::vector<std::string> AppFixture::calls() const {
    if (!tltest::exists(log)) {
        return {};
    }
    return tltest::lines(tltest::readFile(log));
}

} // namespace twinlantern::app::test
