// The built app with --render-snapshots, in a temporary HOME, settings folder and
// temporary folder, with no display: the pictures by name, size and look, and the words
// tesseract reads in them.
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <filesystem>
#include <future>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace twinlantern {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::string program() {
    return std::string(TL_BINARY_DIR) + "/TwinLantern.app/Contents/MacOS/TwinLantern";
}

const std::map<std::string, std::pair<int, int>>& expectedSizes() {
    static const std::map<std::string, std::pair<int, int>> sizes = [] {
        std::map<std::string, std::pair<int, int>> out;
        for (const std::string look : {"light", "dark"}) {
            out["onboarding-1-" + look] = {600, 520};
            out["onboarding-2-" + look] = {600, 520};
            for (const std::string tab : {"profiles", "terminal", "advanced"}) {
                out["settings-" + tab + "-" + look] = {620, 560};
            }
            out["menu-" + look] = {260, 260};
            out["new-profile-" + look] = {520, 260};
        }
        return out;
    }();
    return sizes;
}

// The words each picture shows, in both looks; a view that lands adds its own.
struct Words {
    std::vector<std::string> pictures; // names without the look and ".png"
    std::vector<std::string> words;
};
const std::vector<Words> expectedWords = {
    {{"settings-profiles", "settings-terminal", "settings-advanced"},
     {"Profiles", "Terminal", "Advanced"}},
    {{"menu"}, {"Work", "Codex Work", "Personal", "Terminal default", "Quit TwinLantern"}},
    {{"onboarding-1"}, {"Your profiles", "Choose its folder", "system keyring"}},
    {{"onboarding-2"}, {"Sign in", "Nothing to sign in", "lives in your system tray"}},
    {{"settings-profiles"}, {"Codex Work", "Accounts", "Folders", "Add folder"}},
    {{"new-profile"}, {"New Profile", "Use it for", "Cancel"}},
    {{"settings-terminal"}, {"Use profiles in the terminal", "Test a folder"}},
    {{"settings-advanced"}, {"Version", "Open at login", "Check Setup", "Make Dock Launchers"}},
};

// Every path under folder, relative to it.
std::set<std::string> treeOf(const std::string& folder) {
    std::set<std::string> paths;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        paths.insert(std::filesystem::relative(it->path(), folder).string());
    }
    return paths;
}

double meanLightness(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            sum += QColor(image.pixel(x, y)).lightnessF();
        }
    }
    return sum / (double(image.width()) * image.height());
}

std::size_t colourCount(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    return colours.size();
}

std::string lowercase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return text;
}

class SnapshotProgram : public ::testing::Test {
protected:
    tltest::TempDir home;
    tltest::TempDir config;
    tltest::TempDir temporary;
    tltest::TempDir runtime;
    tltest::TempDir scratch;

    Environment environment() const {
        return {{"HOME", home.path()},
                {"PATH", "/usr/bin:/bin"},
                {"XDG_CONFIG_HOME", config.path()},
                {"XDG_RUNTIME_DIR", runtime.path()},
                {"TMPDIR", temporary.path()}};
    }

    tltest::RunResult render(const std::string& folder) const {
        tltest::RunOptions options;
        options.timeoutSeconds = 120;
        return tltest::runProgram(program(), {program(), "--render-snapshots", folder},
                                  environment(), options);
    }

    std::string settingsFile() const { return config / "TwinLantern/TwinLantern.conf"; }
};

// One run serves every check of a successful run; it takes some seconds.
TEST_F(SnapshotProgram, WritesEveryPictureOffscreenAndLeavesNothingBehind) {
    tltest::writeFile(settingsFile(), "[General]\nsettingsTab=advanced\n");
    tltest::writeFile(home / "notes.txt", "mine");
    const std::set<std::string> homeBefore = treeOf(home.path());
    const std::string folder = scratch / "new/shots"; // made with its parents

    const auto run = render(folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::set<std::string> expectedFiles;
    for (const auto& [name, size] : expectedSizes()) {
        expectedFiles.insert(name + ".png");
    }
    const auto entries = tltest::folderEntries(folder);
    EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()), expectedFiles);

    std::map<std::string, QImage> images;
    for (const auto& [name, size] : expectedSizes()) {
        QImage image(QString::fromStdString(folder + "/" + name + ".png"));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.width(), size.first) << name;
        EXPECT_EQ(image.height(), size.second) << name;
        EXPECT_GT(colourCount(image), 16u) << name << " looks blank";
        images[name] = image;
    }
    for (const auto& [name, size] : expectedSizes()) {
        if (name.ends_with("-light")) {
            const std::string stem = name.substr(0, name.size() - 6);
            const double light = meanLightness(images[name]);
            const double dark = meanLightness(images[stem + "-dark"]);
            EXPECT_LT(dark, light / 3) << stem;
        }
    }

    // The readings are independent: all at once, so this test's run is not their sum.
    struct Reading {
        const Words* row;
        std::string name;
        std::future<tltest::RunResult> read;
    };
    std::vector<Reading> readings;
    for (const Words& row : expectedWords) {
        for (const std::string& picture : row.pictures) {
            for (const std::string look : {"-light", "-dark"}) {
                const std::string file = folder + "/" + picture + look + ".png";
                readings.push_back({&row, picture + look, std::async(std::launch::async, [file] {
                                        tltest::RunOptions options;
                                        options.timeoutSeconds = 300;
                                        return tltest::runProgram(
                                            "/usr/bin/tesseract", {"tesseract", file, "stdout"},
                                            {{"PATH", "/usr/bin:/bin"}, {"OMP_THREAD_LIMIT", "1"}},
                                            options);
                                    })});
            }
        }
    }
    for (Reading& reading : readings) {
        const tltest::RunResult read = reading.read.get();
        ASSERT_EQ(read.exitCode, 0) << reading.name << ": " << read.err;
        // At 10 points a capital beside an icon is read as a small letter now and then
        // ("C)terminal" for the Terminal tab), so case is not compared.
        for (const std::string& word : reading.row->words) {
            EXPECT_THAT(lowercase(read.out), HasSubstr(lowercase(word)))
                << reading.name << " reads:\n"
                << read.out;
        }
    }

    EXPECT_THAT(tltest::readFile(settingsFile()), Not(HasSubstr("settingsTab")));
    EXPECT_THAT(tltest::folderEntries(temporary.path()), IsEmpty());
    EXPECT_EQ(treeOf(home.path()), homeBefore);
}

TEST_F(SnapshotProgram, AFolderThatCantBeMadeGetsNoFilesAMessageAndExitStatusOne) {
    tltest::writeFile(scratch / "plain", "a file");
    struct Case {
        std::string folder;
        std::string message;
    };
    const std::vector<Case> cases = {
        {scratch / "plain/shots", "the snapshot folder " + scratch / "plain/shots" +
                                      " can't be made: " + std::strerror(ENOTDIR)},
        // Not the root folder instead.
        {"", "no snapshot folder: the folder's name is empty"},
    };
    // Each run draws every picture before it fails, so they run side by side.
    std::vector<std::future<tltest::RunResult>> runs;
    for (const Case& c : cases) {
        runs.push_back(std::async(std::launch::async, [this, &c] { return render(c.folder); }));
    }
    // Both end before anything is checked: the other's scratch files are not this one's.
    std::vector<tltest::RunResult> results;
    for (auto& run : runs) {
        results.push_back(run.get());
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const tltest::RunResult& run = results[i];
        EXPECT_EQ(run.exitCode, 1) << c.folder;
        EXPECT_THAT(run.err, HasSubstr(c.message));
        EXPECT_EQ(tltest::readFile(scratch / "plain"), "a file");
        EXPECT_EQ(tltest::folderEntries(scratch.path()), std::vector<std::string>{"plain"});
        EXPECT_THAT(tltest::folderEntries(temporary.path()), IsEmpty());
        for (const auto& [name, size] : expectedSizes()) {
            EXPECT_FALSE(tltest::exists("/" + name + ".png")) << name;
        }
    }
}

} // namespace
} // namespace twinlantern
