#include "TwinLanternApp/ui/frame/SnapshotRenderer.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/AppearanceStyle.h"
#include "TwinLanternApp/ui/frame/MenuPreview.h"
#include "TwinLanternApp/ui/profiles/NewProfileSheet.h"
#include "TwinLanternApp/ui/onboarding/OnboardingView.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/SettingsTab.h"
#include "TwinLanternApp/ui/frame/SettingsWindow.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/ModelBridge.h"
#include "TwinLanternApp/app/QtScheduler.h"
#include "TwinLanternApp/model/AppModel.h"
#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "platform/SystemLog.h"

#include <QApplication>
#include <QBuffer>
#include <QEventLoop>
#include <QGridLayout>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace twinlantern::ui {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const QSize onboardingSize(600, 520);
const QSize settingsSize(620, 560);
const QSize menuSize(260, 260);
const QSize newProfileSize(520, 260);

constexpr auto settleTime = 600ms;
constexpr auto statusWait = 10s;

// Every file a run writes.
const std::set<std::string>& listedFiles() {
    static const std::set<std::string> files = [] {
        std::set<std::string> names;
        for (const char* look : {"light", "dark"}) {
            const std::string label = look;
            for (const char* step : {"1", "2"}) {
                names.insert(std::string("onboarding-") + step + "-" + label + ".png");
            }
            for (const SettingsTab tab : allSettingsTabs) {
                names.insert(std::string("settings-") + rawValue(tab) + "-" + label + ".png");
            }
            names.insert("menu-" + label + ".png");
            names.insert("new-profile-" + label + ".png");
        }
        return names;
    }();
    return files;
}

const char* labelOf(Look look) {
    return look == Look::light ? "light" : "dark";
}

// Lets the views' own timers, queued work and the model's jobs run for `time`.
void runEventLoop(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

// The views, each made in one place so a finished view takes its stand-in's place.

// The first-run window's view at a step, with nothing to close.
QWidget* makeOnboardingView(app::ModelBridge& bridge, OnboardingView::Step step, QWidget* parent) {
    return owned<OnboardingView>(
        parent, bridge, [] {}, step, Tray::available);
}

QWidget* makeSettingsView(app::ModelBridge& bridge, QWidget* parent) {
    auto* window = owned<SettingsWindow>(parent, bridge);
    window->setWindowFlags(Qt::Widget); // a child of the picture's frame, not a window
    return window;
}

QWidget* makeMenuPreview(app::ModelBridge& bridge, QWidget* parent) {
    auto* preview = owned<MenuPreview>(parent, bridge.model());
    preview->setFixedWidth(menuSize.width());
    return preview;
}

QWidget* makeNewProfileSheet(app::ModelBridge& bridge, QWidget* parent) {
    auto* sheet = owned<NewProfileSheet>(parent, bridge, [](const Profile&) {});
    sheet->setWindowFlags(Qt::Widget);
    return sheet;
}

using MakeView = std::function<QWidget*(QWidget* frame)>;

// One view, centred in a frame of exactly `size` pixels that is never on screen, in
// the look's palette, after 0.6 s of the event loop, as PNG bytes.
std::optional<QByteArray> render(const MakeView& make, QSize size, Look look,
                                 const std::string& name, const platform::Logger& log) {
    const QPalette palette = appearance::palette(look);
    // Views that read the application's palette when they are made see this look too.
    QApplication::setPalette(palette);
    QWidget frame;
    frame.setAttribute(Qt::WA_DontShowOnScreen);
    frame.setFixedSize(size);
    frame.setPalette(palette);
    frame.setAutoFillBackground(true);
    auto* layout = owned<QGridLayout>(&frame);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* view = make(&frame);
    layout->addWidget(view, 0, 0, Qt::AlignCenter);
    view->setVisible(true);
    frame.show();
    runEventLoop(settleTime);

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1);
    image.fill(palette.color(QPalette::Window));
    frame.render(&image);
    frame.hide();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        log.error("the snapshot " + name + " can't be encoded: " + utf8(writer.errorString()));
        return std::nullopt;
    }
    return bytes;
}

// The temporary folder as the environment names it, else /tmp; a relative one is not
// trusted to stay where it was meant.
std::string temporaryFolder() {
    const char* given = std::getenv("TMPDIR");
    if (given != nullptr && given[0] == '/') {
        return PathUtil::normalize(given);
    }
    return "/tmp";
}

// A private folder (mkdtemp, 0700): a predictable name could be planted first.
std::optional<std::string> makeScratchRoot(const platform::Logger& log) {
    std::string pattern = PathUtil::join(temporaryFolder(), "twinlantern-snapshots-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        log.error("no scratch folder for the snapshots in " + temporaryFolder() + ": " +
                  std::strerror(errno));
        return std::nullopt;
    }
    return pattern;
}

// Reports the alert a model action left.
void reportAlert(app::AppModel& model, const std::string& step, const platform::Logger& log) {
    if (const auto& alert = model.alert()) {
        log.error(step + ": " + *alert);
    }
}

// The sample profiles, rules and terminal default, through the model's own actions. A
// step that needs a sample that could not be made is skipped.
void addSamples(app::AppModel& model, const std::string& root, const platform::Logger& log) {
    const std::vector<ToolKind> allTools(allToolKinds.begin(), allToolKinds.end());
    const auto create = [&](const std::string& name, ProfileColor color,
                            const std::vector<ToolKind>& tools, Profile::Storage storage) {
        model.setAlert(std::nullopt);
        auto made = model.createProfile(name, color, tools, storage);
        if (!made) {
            const auto& alert = model.alert();
            log.error("the sample profile " + name + " wasn't made" +
                      (alert ? ": " + *alert : std::string()));
        }
        return made;
    };
    const auto work = create("Work", ProfileColor::blue, allTools, Profile::Storage::managed);
    create("Codex Work", ProfileColor::purple, {ToolKind::codex}, Profile::Storage::managed);
    const auto personal =
        create("Personal", ProfileColor::green, allTools, Profile::Storage::system);

    if (work) {
        model.setAlert(std::nullopt);
        model.addRule(root + "/Work", work->id);
        reportAlert(model, "the sample rule for ~/Work", log);
    }
    if (personal) {
        model.setAlert(std::nullopt);
        model.addRule(root + "/Gone", personal->id);
        reportAlert(model, "the sample rule for ~/Gone", log);
        model.setAlert(std::nullopt);
        model.setTerminalDefault(personal->id);
        reportAlert(model, "the sample terminal default", log);
    }
}

// Statuses for at most 10 s; the pictures then show whatever has arrived.
void waitForStatuses(app::AppModel& model, const platform::Logger& log) {
    const auto done = std::make_shared<bool>(false);
    model.refreshStatuses([done] { *done = true; });
    const auto deadline = Clock::now() + statusWait;
    while (!*done && Clock::now() < deadline) {
        runEventLoop(100ms);
    }
    if (!*done) {
        log.log("the statuses took longer than 10 s; the snapshots show what had arrived");
    }
}

} // namespace

bool SnapshotRenderer::renderAll(const std::string& folder, const platform::Logger& log) {
    appearance::installStyle();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    if (folder.empty()) {
        log.error("no snapshot folder: the folder's name is empty");
    } else if (!makeDirectories(folder, 0755)) {
        log.error("the snapshot folder " + folder + " can't be made: " + std::strerror(errno));
    }
    std::set<std::string> written;
    const auto shot = [&](const MakeView& make, QSize size, Look look, const std::string& name) {
        const auto png = render(make, size, look, name, log);
        // An empty folder must not put the files into "/"; it was reported above.
        if (!png || folder.empty()) {
            return;
        }
        const std::string path = PathUtil::join(folder, name);
        if (const auto failure = writeFileAtomically(
                path, std::string_view(png->constData(), std::size_t(png->size())), 0644)) {
            log.error("the snapshot " + path +
                      " can't be written: " + std::strerror(failure->error));
            return;
        }
        written.insert(name);
    };

    const auto root = makeScratchRoot(log);
    if (root && !makeDirectories(*root + "/Work/acme", 0700)) {
        log.error("the scratch folder " + *root +
                  "/Work/acme can't be made: " + std::strerror(errno));
    }
    {
        app::QtScheduler scheduler;
        // Without a scratch home there is no model to draw, only the folder's errors.
        std::unique_ptr<app::AppModel> model;
        std::unique_ptr<app::ModelBridge> bridge;
        if (root) {
            model = std::make_unique<app::AppModel>(
                Paths(PathUtil::normalize(*root), "/Applications"), std::nullopt, false,
                app::AppServices{&scheduler, currentEnvironment(),
                                 app::AppServices::currentExecutable()});
            bridge = std::make_unique<app::ModelBridge>(*model);
        }
        const std::array<Look, 2> looks = {Look::light, Look::dark};

        if (bridge) {
            for (const Look look : looks) {
                for (const OnboardingView::Step step : OnboardingView::allSteps) {
                    shot([&](QWidget* frame) { return makeOnboardingView(*bridge, step, frame); },
                         onboardingSize, look,
                         "onboarding-" + std::to_string(static_cast<int>(step) + 1) + "-" +
                             labelOf(look) + ".png");
                }
            }
            addSamples(*model, *root, log);
            waitForStatuses(*model, log);
            for (const Look look : looks) {
                const std::string label = labelOf(look);
                for (const SettingsTab tab : allSettingsTabs) {
                    // The window opens on the stored tab.
                    storeSettingsTab(tab);
                    shot([&](QWidget* frame) { return makeSettingsView(*bridge, frame); },
                         settingsSize, look,
                         std::string("settings-") + rawValue(tab) + "-" + label + ".png");
                }
                shot([&](QWidget* frame) { return makeMenuPreview(*bridge, frame); }, menuSize,
                     look, "menu-" + label + ".png");
                shot([&](QWidget* frame) { return makeNewProfileSheet(*bridge, frame); },
                     newProfileSize, look, "new-profile-" + label + ".png");
            }
        }
        bridge.reset();
        model.reset();
        // A status check still running works in the scratch home: done before it goes.
        scheduler.waitForJobs();
    }
    // Removed, not restored: the run wrote it.
    app::AppSettings::open()->remove(QString::fromLatin1(app::AppSettings::settingsTab));
    if (root) {
        if (const int error = removeTreeWithoutFollowing(*root); error != 0) {
            log.error("the scratch folder " + *root + " can't be removed: " + std::strerror(error));
        }
    }

    bool complete = true;
    for (const std::string& name : listedFiles()) {
        if (!written.contains(name) || !PathUtil::isRegularFile(PathUtil::join(folder, name))) {
            complete = false;
        }
    }
    return complete;
}

} // namespace twinlantern::ui
