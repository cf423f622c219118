#include "twinlantern_cli/IconDrawing.h"

#include "TwinLanternMac/launchers/IconRenderer/LauncherIcons.h"
#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/shell/ShellIntegration.h"
#include "core/tools/ProcessRunner.h"

#include <cerrno>
#include <utility>

namespace twinlantern {

namespace {

constexpr const char* helperName = "twinlantern-icons";
// Drawing takes a moment; only a hung helper reaches this, even on a loaded machine.
constexpr double helperTimeoutSeconds = 300;

const cli::IconDrawing* current = nullptr;

} // namespace

void writeLauncherIcons(const std::string& appBundlePath, ProfileColor color,
                        std::string_view badge, const std::string& icnsPath,
                        const std::string& pngPath, int pngPixels) {
    if (current == nullptr) {
        throw TwinLanternError::io("Couldn't draw the launcher icon.");
    }
    if (!PathUtil::isExecutableFile(current->helper())) {
        throw TwinLanternError::ioErrno("run " + current->helper(), ENOENT);
    }
    const ProcessResult result =
        ProcessRunner::runSync(current->helper(),
                               {appBundlePath, rawValue(color), std::string(badge), icnsPath,
                                pngPath, std::to_string(pngPixels)},
                               current->environment(), helperTimeoutSeconds);
    if (result.exitCode == 0 && !result.timedOut) {
        return;
    }
    // The helper prints the renderer's own error, the sentence to show.
    std::string message = result.timedOut ? std::string() : result.stderrText;
    while (!message.empty() && message.back() == '\n') {
        message.pop_back();
    }
    throw TwinLanternError::io(message.empty() || message.find('\n') != std::string::npos
                                   ? "Couldn't draw the launcher icon."
                                   : message);
}

namespace cli {

IconDrawing::IconDrawing(std::string helper, Environment environment)
    : helper_(std::move(helper)), environment_(std::move(environment)) {
    current = this;
}

IconDrawing::~IconDrawing() {
    current = nullptr;
}

std::string iconHelperPath(const Cli& cli) {
    const std::string beside = PathUtil::parent(bundledPrograms().cli) + "/" + helperName;
    if (PathUtil::isExecutableFile(beside)) {
        return beside;
    }
    const ShellIntegration shell(cli.paths, cli.environment);
    const ReadResult recorded = readWholeFile(shell.appPathFile(), 64 * 1024);
    if (recorded.bytes && recorded.bytes->ends_with("\n")) {
        const std::string app = recorded.bytes->substr(0, recorded.bytes->size() - 1);
        const std::string inApp = app + "/Contents/Helpers/" + helperName;
        if (!app.empty() && PathUtil::isExecutableFile(inApp)) {
            return inApp;
        }
    }
    return beside;
}

} // namespace cli
} // namespace twinlantern
