#include "TwinLanternApp/model/ActionSupport.h"
#include "TwinLanternApp/model/AppModel.h"

#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/doctor/Doctor.h"

namespace twinlantern::app {

using actions::report;

namespace {

constexpr const char* launcherHelper = "twinlantern-launcher";

} // namespace

void AppModel::revealInFileManager(const std::string& folder) const {
    workspace()->revealFolder(folder); // nothing to do when it can't
}

void AppModel::installShell() {
    const std::string bundle = services_.bundlePath();
    const std::optional<std::string> appPath =
        bundle.ends_with(".app") ? std::optional(bundle) : std::nullopt;
    try {
        ShellIntegration(paths_, context_.environment)
            .install(bundledBinary("twinlantern-resolve"), bundledBinary("twinlantern"),
                     bundledBinary(launcherHelper), appPath);
        report("Shell integration installed. Open a new terminal window to use it.");
    } catch (const std::exception& failure) {
        setAlert(std::string(failure.what()));
    }
    reload();
}

void AppModel::uninstallShell() {
    try {
        ShellIntegration(paths_, context_.environment).uninstall();
        report("Shell integration removed");
    } catch (const std::exception& failure) {
        setAlert(std::string(failure.what()));
    }
    reload();
}

void AppModel::rebuildLaunchers() {
    const std::string helper = bundledBinary(launcherHelper);
    if (!PathUtil::isExecutableFile(helper)) {
        setAlert("This build doesn't include the launcher helper.");
        return;
    }
    const LauncherGenerator generator(paths_, helper, DesktopInstall::bundleID,
                                      context_.environment);
    for (const auto& installed : generator.installed()) {
        if (!document_.profile(installed.profileID)) {
            removeTreeWithoutFollowing(installed.path); // a failure is left as it is
        }
    }
    // Their menu entries went with nothing to open.
    generator.removeStrayEntries();
    for (const Profile& profile : document_.profiles) {
        if (!profile.uses(ToolKind::claudeDesktop)) {
            continue;
        }
        try {
            generator.generate(profile);
        } catch (const std::exception& failure) {
            setAlert(std::string(failure.what()));
            return;
        }
    }
    revealInFileManager(generator.directory());
}

void AppModel::runDoctor(bool deep, Checks done) {
    const std::string helper = bundledBinary(launcherHelper);
    std::shared_ptr<const LauncherGenerator> generator;
    if (PathUtil::isExecutableFile(helper)) {
        generator = std::make_shared<const LauncherGenerator>(
            paths_, helper, DesktopInstall::bundleID, context_.environment);
    }
    // The file as it is now, not the model's copy.
    Doctor doctor{context_, [store = store_] { return store.load(); }, desktopInstall_,
                  [generator](const ProfileDocument& document) {
                      return generator ? generator->doctorChecks(document)
                                       : std::vector<DoctorCheck>{};
                  }};
    services_.scheduler->background(
        [doctor = std::move(doctor), deep] { return doctor.run(deep); },
        weakly([done = std::move(done)](AppModel&, JobResult<std::vector<DoctorCheck>> checks) {
            if (done) {
                done(checks.ok() ? std::move(*checks.value) : std::vector<DoctorCheck>{});
            }
        }));
}

} // namespace twinlantern::app
