#include "tests/support/app/AppFixture.h"

#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/base/Json.h"
#include "core/base/TwinLanternError.h"
#include "platform/Workspace.h"
#include "tests/support/Profiles.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using app::test::AppFixture;

namespace {

ProfileDocument stored(const AppFixture& f) {
    return ProfileStore(f.home.paths).load();
}

Profile named(const std::string& id, const std::string& name,
              Profile::Storage storage = Profile::Storage::managed) {
    return tltest::profile(id, name, storage);
}

std::string exportOf(const ProfileDocument& document) {
    return jsonText(nlohmann::json(document));
}

TEST(Export, IsTheModelsDocumentAsTheProfilesFileWritesIt) {
    AppFixture f;
    const ProfileDocument doc{
        1, {named("a-1", "A/B")}, {{"~/w/**", ProfileID("a-1")}}, ProfileID("a-1")};
    ProfileStore(f.home.paths).update([&](ProfileDocument& d) { d = doc; });
    auto model = f.model(false);
    // Changed on disk since: the export is what the model shows.
    ProfileStore(f.home.paths).update([](ProfileDocument& d) { d.profiles[0].name = "Changed"; });
    const std::string text = model->exportData();
    EXPECT_EQ(text, exportOf(doc));
    EXPECT_NE(text.find("\"~/w/**\""), std::string::npos); // slashes unescaped
    EXPECT_EQ(text.back(), '\n');
}

TEST(ExportTo, WritesThroughALinkKeepingTheReplacedFilesMode) {
    AppFixture f;
    f.writeDocument({1, {named("a-1", "A")}, {}, {}});
    auto model = f.model(false);
    const std::string fresh = f.home.home() + "/fresh.json";
    model->exportTo(fresh);
    EXPECT_EQ(tltest::readFile(fresh), model->exportData());
    EXPECT_EQ(tltest::fileMode(fresh), 0644u);

    const std::string target = f.home.home() + "/dotfiles/export.json";
    tltest::makeDirs(f.home.home() + "/dotfiles");
    tltest::writeFile(target, "old", 0600);
    const std::string link = f.home.home() + "/export.json";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    model->exportTo(link);
    EXPECT_EQ(tltest::readFile(target), model->exportData());
    EXPECT_EQ(tltest::fileMode(target), 0600u);
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(ExportTo, AFailedWriteKeepsTheOldFileAndSaysWhy) {
    AppFixture f;
    f.writeDocument({1, {named("a-1", "A"), named("b-1", "B")}, {}, {}});
    auto model = f.model(false);
    const std::string path = f.home.home() + "/export.json";
    tltest::writeFile(path, "previous export", 0644);
    std::string message;
    {
        // A file-size cap far below the export; SIGXFSZ would end the test.
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit capped{16, old.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &capped), 0);
        try {
            model->exportTo(path);
        } catch (const TwinLanternError& e) {
            message = e.what();
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
    }
    EXPECT_EQ(message, std::string("Couldn't write ~/export.json: ") + std::strerror(EFBIG));
    EXPECT_EQ(tltest::readFile(path), "previous export");
    for (const auto& entry : tltest::folderEntries(f.home.home())) {
        EXPECT_EQ(entry.find(".tmp."), std::string::npos) << entry;
    }
}

TEST(Import, ReimportingAnExportAddsNothingAndSaysSo) {
    AppFixture f;
    f.writeDocument({1, {named("a-1", "A"), named("b-1", "B")}, {{"~/a", ProfileID("a-1")}}, {}});
    auto model = f.model(false);
    const ino_t before = tltest::inode(f.home.paths.profilesFile());
    EXPECT_EQ(model->importData(model->exportData()),
              "Imported 0 profiles. Sign each one in to use it.");
    EXPECT_EQ(tltest::inode(f.home.paths.profilesFile()), before);
    EXPECT_FALSE(model->alert());
}

TEST(Import, ClashesDuplicatesAndASecondSystemProfileAreSkipped) {
    AppFixture f;
    f.writeDocument({1,
                     {named("work-1", "Work"), named("usual-1", "Usual", Profile::Storage::system)},
                     {{"~/Code/Proj/**", ProfileID("work-1")}},
                     ProfileID("work-1")});
    auto model = f.model(false);
    ProfileDocument file;
    file.version = 7; // not checked
    file.cliDefault = ProfileID("new-1");
    file.profiles = {
        named("other-1", "  work "),                      // the name, in another case
        named("new-1", "New"),                            // added
        named("sys-2", "Mine", Profile::Storage::system), // a second system profile
        named("usual-1", "Elsewhere"),                    // the id
    };
    file.rules = {
        {"~/code/proj", ProfileID("new-1")}, // the same folder as the existing rule
        {"~/n", ProfileID("new-1")},         // added
        {"~/N/", ProfileID("new-1")},        // the same as the one just added
        {"~/x", ProfileID("other-1")},       // its profile was skipped
        {"~/s", ProfileID("sys-2")},         // so was this one's
        {"~/w2", ProfileID("work-1")},       // for an existing profile: added
    };
    EXPECT_EQ(model->importData(exportOf(file)), "Imported 1 profile. Sign each one in to use it.");
    EXPECT_FALSE(model->alert());
    const ProfileDocument after = stored(f);
    std::vector<std::string> ids;
    for (const Profile& p : after.profiles) {
        ids.push_back(p.id.rawValue);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"work-1", "usual-1", "new-1"}));
    EXPECT_EQ(after.rules, (std::vector<FolderRule>{{"~/Code/Proj/**", ProfileID("work-1")},
                                                    {"~/n", ProfileID("new-1")},
                                                    {"~/w2", ProfileID("work-1")}}));
    EXPECT_EQ(after.cliDefault, ProfileID("work-1"));
    EXPECT_EQ(after.version, 1);
    EXPECT_EQ(model->document(), after);
}

TEST(Import, AnInvalidIdGivesTheValidationAlertAndLeavesTheFile) {
    AppFixture f;
    f.writeDocument({1, {named("a-1", "A")}, {}, {}});
    auto model = f.model(false);
    const std::string before = tltest::readFile(f.home.paths.profilesFile());
    ProfileDocument file{1, {named("Bad Id", "Bad")}, {}, {}};
    EXPECT_EQ(model->importData(exportOf(file)), "");
    EXPECT_EQ(model->alert(),
              "\u201c" + std::string("Bad Id") + "\u201d isn't a valid profile id.");
    EXPECT_EQ(tltest::readFile(f.home.paths.profilesFile()), before);
}

TEST(Import, WhatIsNoExportIsRefused) {
    for (const std::string bytes : {"not json", "", "{\"profiles\": 3}", "[1, 2]", "{\"ver"}) {
        SCOPED_TRACE(bytes);
        AppFixture f;
        auto model = f.model(false);
        EXPECT_EQ(model->importData(bytes), "");
        EXPECT_EQ(model->alert(), "That file isn't a TwinLantern profiles export.");
        EXPECT_FALSE(tltest::exists(f.home.paths.profilesFile()));
    }
}

TEST(Import, UpToTheStoresLimitItIsSavedAndReadBack) {
    AppFixture f;
    auto model = f.model(false);
    const ProfileDocument file = tltest::documentOfSize(ProfileStore::maxFileBytes, 2000);
    EXPECT_EQ(model->importData(exportOf(file)),
              "Imported 2000 profiles. Sign each one in to use it.");
    EXPECT_FALSE(model->alert());
    EXPECT_EQ(tltest::readFile(f.home.paths.profilesFile()).size(), ProfileStore::maxFileBytes);
    EXPECT_EQ(stored(f), file);
    EXPECT_FALSE(model->loadError());
}

TEST(Import, PastTheStoresLimitNothingIsWrittenAndTheAlertSaysWhatFits) {
    AppFixture f;
    const ProfileDocument existing{1, {named("work-1", "Work")}, {}, ProfileID("work-1")};
    f.writeDocument(existing);
    auto model = f.model(false);
    const std::string before = tltest::readFile(f.home.paths.profilesFile());
    const ProfileDocument file = tltest::documentOfSize(ProfileStore::maxFileBytes, 2000);

    // Counted here by writing out each candidate: the most profiles, in the file's order
    // and with their rules, that keep the file within the limit.
    std::size_t fit = file.profiles.size();
    for (;; --fit) {
        ProfileDocument candidate = existing;
        candidate.profiles.insert(candidate.profiles.end(), file.profiles.begin(),
                                  file.profiles.begin() + std::ptrdiff_t(fit));
        if (fit > 0) {
            candidate.rules = file.rules;
        }
        if (jsonText(nlohmann::json(candidate)).size() <= ProfileStore::maxFileBytes) {
            break;
        }
    }
    ASSERT_LT(fit, file.profiles.size());
    EXPECT_EQ(model->importData(exportOf(file)), "");
    EXPECT_EQ(model->alert(), "Couldn't save profiles: the file would be larger than 4 MiB. Only " +
                                  std::to_string(fit) +
                                  " of the 2000 new profiles fit. Nothing was imported.");
    EXPECT_EQ(tltest::readFile(f.home.paths.profilesFile()), before);
    EXPECT_EQ(model->document(), existing);
    EXPECT_FALSE(model->loadError());
}

// ---- Remove everything ----

void removeAndWait(AppFixture& f, AppModel& model) {
    bool done = false;
    model.removeEverything([&] { done = true; });
    ASSERT_TRUE(f.scheduler.runUntil([&] { return done; }));
}

TEST(RemoveEverything, WithNothingThereTheFolderGoesAndTheMessageShows) {
    AppFixture f;
    f.captureFeedback();
    tltest::makeDirs(f.home.paths.supportDirectory() + "/tmp");
    auto model = f.model(false);
    removeAndWait(f, *model);
    EXPECT_FALSE(model->alert());
    EXPECT_FALSE(tltest::exists(f.home.paths.supportDirectory()));
    EXPECT_EQ(f.posted, std::vector<std::string>{"Everything TwinLantern added has been removed"});
}

TEST(RemoveEverything, RemovesProfilesLaunchersAndTheShellIntegration) {
    AppFixture f;
    f.makeBundle();
    tltest::FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    f.captureFeedback();
    const Profile work = tltest::profile("work-1", "Work", Profile::Storage::managed,
                                         {ToolKind::claudeDesktop, ToolKind::claudeCode});
    const Profile usual =
        tltest::profile("usual-1", "Usual", Profile::Storage::system, {ToolKind::claudeCode});
    f.writeDocument({1, {work, usual}, {{"~/w", work.id}}, {}});
    tltest::makeDirs(f.folder(ToolKind::claudeCode, "work-1"));
    auto model = f.model(false);
    model->installShell();
    model->rebuildLaunchers();
    ASSERT_FALSE(model->alert()) << *model->alert();
    const std::string link = f.home.home() + "/keep";
    tltest::makeDirs(link + "-target");
    tltest::writeFile(link + "-target/file", "mine");
    ASSERT_EQ(
        ::symlink((link + "-target").c_str(), (f.home.paths.supportDirectory() + "/link").c_str()),
        0);
    f.posted.clear();

    removeAndWait(f, *model);
    EXPECT_FALSE(model->alert()) << *model->alert();
    EXPECT_EQ(f.posted,
              (std::vector<std::string>{"Shell integration removed",
                                        "Everything TwinLantern added has been removed"}));
    EXPECT_FALSE(tltest::exists(f.home.paths.supportDirectory()));
    EXPECT_EQ(tltest::readFile(link + "-target/file"), "mine"); // never followed
    EXPECT_FALSE(model->shellStatus()->isInstalled());
    EXPECT_FALSE(tltest::exists(f.home.home() + "/Applications/TwinLantern"));
    EXPECT_EQ(model->document(), ProfileDocument::empty());
    EXPECT_FALSE(model->loadError());
}

TEST(RemoveEverything, AnInstanceThatWontQuitStopsItBeforeAnythingIsRemoved) {
    AppFixture f;
    f.makeBundle();
    tltest::FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID,
                           tltest::FakeApp::Mode::ignoreAll);
    f.captureFeedback();
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop});
    const Profile personal = tltest::profile("personal-1", "Personal", Profile::Storage::managed,
                                             {ToolKind::claudeCode});
    // Personal first: it would be the first to go.
    f.writeDocument({1, {personal, work}, {{"~/p", personal.id}}, {}});
    auto model = f.model(false);
    model->installShell();
    model->rebuildLaunchers();
    const std::string personalFolder = f.folder(ToolKind::claudeCode, "personal-1");
    const std::string folder = f.home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value();
    tltest::makeDirs(folder);
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(f.home.paths, f.environment);
    ASSERT_TRUE(claude.run(workspace->open(claude.bundle(), {"--user-data-dir=" + folder}, {})));
    const std::string before = tltest::readFile(f.home.paths.profilesFile());
    f.posted.clear();

    removeAndWait(f, *model);
    EXPECT_EQ(model->alert(),
              "Claude \u2014 \u2068Work\u2069 is still running. Quit it (Quit in its window, "
              "or close the window), then try again. Nothing was removed.");
    EXPECT_EQ(tltest::readFile(f.home.paths.profilesFile()), before);
    EXPECT_TRUE(tltest::exists(personalFolder));
    EXPECT_TRUE(tltest::exists(folder));
    EXPECT_TRUE(model->shellStatus()->isInstalled());
    EXPECT_TRUE(tltest::exists(f.home.home() + "/Applications/TwinLantern"));
    EXPECT_TRUE(f.posted.empty());
}

TEST(RemoveEverything, AFailedShellRemovalStopsBeforeTheFolder) {
    AppFixture f;
    f.makeBundle();
    f.captureFeedback();
    tltest::makeDirs(f.home.paths.supportDirectory() + "/tmp");
    auto model = f.model(false);
    model->installShell();
    ASSERT_FALSE(model->alert());
    // The shell file can't be read back.
    tltest::removeTree(f.home.home() + "/.zshrc");
    tltest::makeDirs(f.home.home() + "/.zshrc");
    model->reload();
    ASSERT_TRUE(model->shellStatus()->binariesInstalled);
    f.posted.clear();

    removeAndWait(f, *model);
    ASSERT_TRUE(model->alert());
    EXPECT_TRUE(f.posted.empty());
    EXPECT_TRUE(tltest::exists(f.home.paths.supportDirectory()));
}

TEST(RemoveEverything, AFolderThatCantBeDeletedIsReportedInsteadOfSuccess) {
    AppFixture f;
    f.captureFeedback();
    // "Application Support" is a file: the folder below it can't be reached.
    tltest::makeDirs(f.home.home() + "/Library");
    tltest::writeFile(f.home.home() + "/Library/Application Support", "");
    auto model = f.model(false);
    removeAndWait(f, *model);
    EXPECT_EQ(model->alert(),
              std::string("Couldn't remove ~/Library/Application Support/TwinLantern: ") +
                  std::strerror(ENOTDIR));
    EXPECT_TRUE(f.posted.empty());
}

TEST(RemoveEverything, AfterwardsAnOutsideWriteIsSeenAgain) {
    AppFixture f;
    f.writeDocument({1, {named("a-1", "A", Profile::Storage::system)}, {}, {}});
    auto model = f.model(true);
    ASSERT_TRUE(model->watching());
    removeAndWait(f, *model);
    f.scheduler.advance(1s);
    EXPECT_FALSE(tltest::exists(f.home.paths.supportDirectory()));
    EXPECT_FALSE(model->watching());
    EXPECT_EQ(model->toast(), "Everything TwinLantern added has been removed");

    // Another writer makes the folder again: the next tick watches it and reads it.
    ProfileStore(f.home.paths).update([](ProfileDocument& d) {
        d.profiles.push_back(named("b-1", "B"));
    });
    f.scheduler.advance(5s);
    EXPECT_TRUE(model->watching());
    ASSERT_EQ(model->document().profiles.size(), 1u);
    EXPECT_EQ(model->document().profiles[0].name, "B");
    // And the new watcher hears the next write by itself.
    ProfileStore(f.home.paths).update([](ProfileDocument& d) {
        d.profiles.push_back(named("c-1", "C"));
    });
    f.scheduler.advance(200ms);
    EXPECT_EQ(model->document().profiles.size(), 2u);
}

} // namespace
