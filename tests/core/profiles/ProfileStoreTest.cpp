#include "core/profiles/ProfileStore.h"
#include "core/base/Json.h"
#include "core/base/TwinLanternError.h"
#include "core/base/UniqueFd.h"
#include "core/profiles/ProfileFileSize.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <set>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace twinlantern;
using twinlantern::testing::profile;

namespace {

struct StoreFixture : ::testing::Test {
    tltest::TempHome home;
    ProfileStore store{home.paths};

    void writeProfiles(std::string_view bytes) {
        tltest::writeFile(home.paths.profilesFile(), bytes, 0600);
    }

    std::vector<std::string> supportEntries() const {
        std::vector<std::string> names;
        if (const UniqueDir d(::opendir(home.paths.supportDirectory().c_str())); d) {
            while (dirent* e = ::readdir(d.get())) {
                std::string n = e->d_name;
                if (n != "." && n != "..") {
                    names.push_back(n);
                }
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void addProfile(const std::string& id) {
        store.update([&](ProfileDocument& d) { d.profiles.push_back(profile(id, id)); });
    }
};

struct timespec modificationTime(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtim;
}

} // namespace

TEST_F(StoreFixture, MissingFileLoadsEmptyAndCreatesNothing) {
    EXPECT_EQ(store.load(), ProfileDocument::empty());
    EXPECT_FALSE(tltest::exists(home.paths.supportDirectory()));
}

TEST_F(StoreFixture, BadFilesGiveTheirErrorAndStayUntouched) {
    struct Case {
        const char* what;
        std::string bytes;
        TwinLanternError::Kind kind;
        std::int64_t version = 0;
    };
    std::string garbage(100 * 1024 * 1024, '\x9c');
    const Case cases[] = {
        {"empty", "", TwinLanternError::Kind::storeCorrupt},
        {"empty object", "{}", TwinLanternError::Kind::storeCorrupt},
        {"truncated", R"({"version":1,"profiles":[{"id":"a","na)",
         TwinLanternError::Kind::storeCorrupt},
        {"wrong types", R"({"version":1,"profiles":"none","rules":[]})",
         TwinLanternError::Kind::storeCorrupt},
        {"array", "[1,2]", TwinLanternError::Kind::storeCorrupt},
        {"too new, nothing else", R"({"version":5})", TwinLanternError::Kind::storeTooNew, 5},
        {"string version", R"({"version":"2","profiles":[],"rules":[]})",
         TwinLanternError::Kind::storeCorrupt},
        {"huge version", R"({"version":18446744073709551615,"profiles":[],"rules":[]})",
         TwinLanternError::Kind::storeCorrupt},
        {"invalid UTF-8",
         "{\"version\":1,\"profiles\":[{\"id\":\"a\",\"name\":\"\xff\xfe\"}],\"rules\":[]}",
         TwinLanternError::Kind::storeCorrupt},
        {"100 MB of garbage", garbage, TwinLanternError::Kind::storeCorrupt},
        {"deep nesting", std::string(200000, '[') + std::string(200000, ']'),
         TwinLanternError::Kind::storeCorrupt},
    };
    for (const auto& c : cases) {
        writeProfiles(c.bytes);
        auto started = std::chrono::steady_clock::now();
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                if (attempt == 0) {
                    store.load();
                } else {
                    store.update(
                        [](ProfileDocument& d) { d.profiles.push_back(profile("x", "x")); });
                }
                ADD_FAILURE() << c.what << ": no error";
            } catch (const TwinLanternError& e) {
                EXPECT_EQ(e.kind(), c.kind) << c.what << ": " << e.what();
                if (c.kind == TwinLanternError::Kind::storeTooNew) {
                    EXPECT_EQ(e.code(), c.version);
                } else {
                    EXPECT_TRUE(std::string(e.what()).starts_with("Couldn't read " +
                                                                  home.paths.profilesFile() + ": "))
                        << e.what();
                }
            }
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << c.what;
        EXPECT_TRUE(tltest::readFile(home.paths.profilesFile()) == c.bytes) << c.what;
    }
}

TEST_F(StoreFixture, UnreadableFileIsAnIoError) {
    tltest::makeDirs(home.paths.profilesFile()); // a folder where the file should be
    try {
        store.load();
        FAIL();
    } catch (const TwinLanternError& e) {
        EXPECT_EQ(e, TwinLanternError::io("Couldn't read " + home.paths.profilesFile() + ": " +
                                          std::strerror(EISDIR)));
    }
}

TEST_F(StoreFixture, WrittenFormat) {
    ::mode_t old = ::umask(0);
    store.update([](ProfileDocument& d) {
        d.profiles.push_back(profile("work-ab12", "Work"));
        d.rules.push_back(FolderRule("~/src/work/**", ProfileID("work-ab12")));
    });
    ::umask(old);
    const std::string text = tltest::readFile(home.paths.profilesFile());
    ProfileDocument expected{1,
                             {profile("work-ab12", "Work")},
                             {FolderRule("~/src/work/**", ProfileID("work-ab12"))},
                             {}};
    EXPECT_EQ(text, jsonText(nlohmann::json(expected)));
    EXPECT_TRUE(text.ends_with("}\n") && !text.ends_with("\n\n"));
    EXPECT_NE(text.find("\"~/src/work/**\""), std::string::npos);
    EXPECT_EQ(text.find("cliDefault"), std::string::npos);
    EXPECT_LT(text.find("\"profiles\""), text.find("\"rules\""));
    EXPECT_LT(text.find("\"rules\""), text.find("\"version\""));
    EXPECT_EQ(store.load(), expected);

    EXPECT_EQ(tltest::fileMode(home.paths.supportDirectory()), 0700u);
    EXPECT_EQ(tltest::fileMode(home.paths.profilesFile()), 0600u);
    EXPECT_EQ(tltest::fileMode(home.paths.lockFile()), 0600u);
    EXPECT_EQ(supportEntries(), (std::vector<std::string>{".profiles.lock", "profiles.json"}));
}

TEST_F(StoreFixture, UnchangedDocumentIsNotWritten) {
    // Version 0 with an extra key and a document validate() would refuse: a read-only
    // update returns its value and leaves bytes and time alone.
    const std::string original =
        R"({"version":0,"extra":true,"profiles":[{"id":"BAD","name":"a"},{"id":"BAD","name":"a"}],"rules":[]})";
    writeProfiles(original);
    auto before = modificationTime(home.paths.profilesFile());
    ::usleep(20000);
    int count =
        store.update([](ProfileDocument& d) { return static_cast<int>(d.profiles.size()); });
    EXPECT_EQ(count, 2);
    EXPECT_EQ(tltest::readFile(home.paths.profilesFile()), original);
    auto after = modificationTime(home.paths.profilesFile());
    EXPECT_EQ(before.tv_sec, after.tv_sec);
    EXPECT_EQ(before.tv_nsec, after.tv_nsec);
}

TEST_F(StoreFixture, VersionZeroIsUpgradedByTheFirstRealChange) {
    writeProfiles(R"({"version":0,"extra":1,"profiles":[],"rules":[]})");
    EXPECT_EQ(store.load().version, 0);
    addProfile("a");
    const std::string text = tltest::readFile(home.paths.profilesFile());
    EXPECT_NE(text.find("\"version\": 1"), std::string::npos);
    EXPECT_EQ(text.find("extra"), std::string::npos);
}

TEST_F(StoreFixture, RefusedChangesWriteNothing) {
    addProfile("a");
    const std::string original = tltest::readFile(home.paths.profilesFile());
    EXPECT_THROW(
        store.update([](ProfileDocument& d) { d.profiles.push_back(profile("a", "other")); }),
        TwinLanternError);
    EXPECT_THROW(store.update([](ProfileDocument& d) {
        d.profiles.clear();
        throw std::runtime_error("change failed");
    }),
                 std::runtime_error);
    EXPECT_EQ(tltest::readFile(home.paths.profilesFile()), original);
    // The lock was released each time: another update goes through.
    addProfile("b");
    EXPECT_EQ(store.load().profiles.size(), 2u);
}

// Names and paths with control characters that a file already holds still load and
// save with other changes; new ones are refused.
TEST_F(StoreFixture, StoredControlCharactersStayButNewOnesAreRefused) {
    writeProfiles(R"({"version": 1, "profiles": [{"id": "a", "name": "W\u001b[2Jork",
      "color": "blue", "badge": "W", "tools": ["codex"], "storage": "managed"}],
      "rules": [{"path": "~/x\u0007/**", "profileID": "a"}]})");
    const ProfileDocument stored = store.load();
    ASSERT_EQ(stored.profiles.at(0).name, "W\033[2Jork");
    store.update([](ProfileDocument& d) { d.rules.emplace_back("~/other", ProfileID("a")); });
    EXPECT_EQ(store.load().rules.size(), 2u);

    const std::string saved = tltest::readFile(home.paths.profilesFile());
    const auto refused = [&](const std::function<void(ProfileDocument&)>& change) {
        EXPECT_THROW(store.update(change), TwinLanternError);
        EXPECT_EQ(tltest::readFile(home.paths.profilesFile()), saved);
    };
    refused([](ProfileDocument& d) { d.profiles.at(0).name = "W\033[3Jork"; });
    refused([](ProfileDocument& d) { d.profiles.push_back(profile("b", "B\tB")); });
    refused([](ProfileDocument& d) { d.rules.emplace_back("~/y\x7F", ProfileID("a")); });
    // The stored rule, moved to the other profile, is a new rule.
    refused([](ProfileDocument& d) {
        d.profiles.push_back(profile("b", "B"));
        d.rules.at(0).profileID = ProfileID("b");
    });
}

TEST_F(StoreFixture, SupportFolderThatIsAFile) {
    tltest::makeDirs(home.paths.home + "/Library/Application Support");
    tltest::writeFile(home.paths.supportDirectory(), "not a folder");
    try {
        addProfile("a");
        FAIL();
    } catch (const TwinLanternError& e) {
        EXPECT_EQ(e.kind(), TwinLanternError::Kind::io);
        EXPECT_EQ(std::string(e.what()), "Couldn't create " + home.paths.supportDirectory() + ": " +
                                             std::strerror(ENOTDIR));
    }
}

TEST_F(StoreFixture, FailedWriteKeepsTheOldFile) {
    addProfile("a");
    const std::string original = tltest::readFile(home.paths.profilesFile());

    // The file system refuses more than a few bytes: the write fails after the temp file exists.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            16, 16
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            addProfile("b");
            ::_exit(1);
        } catch (const TwinLanternError& e) {
            ::_exit(std::string(e.what()) ==
                            std::string("Couldn't save profiles: ") + std::strerror(EFBIG)
                        ? 0
                        : 2);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(tltest::readFile(home.paths.profilesFile()), original);
    EXPECT_EQ(supportEntries(), (std::vector<std::string>{".profiles.lock", "profiles.json"}));

    // The target replaced by a non-empty folder: rename fails, the temp file goes.
    ::rename(home.paths.profilesFile().c_str(), (home.paths.supportDirectory() + "/saved").c_str());
    tltest::writeFile(home.paths.profilesFile() + "/inside", "x");
    EXPECT_THROW(addProfile("c"), TwinLanternError);
    EXPECT_EQ(supportEntries(),
              (std::vector<std::string>{".profiles.lock", "profiles.json", "saved"}));
}

TEST_F(StoreFixture, ConcurrentWritersLoseNothing) {
    constexpr int writers = 16, changes = 50;
    std::vector<pid_t> children;
    // A reader that must never see a partial file.
    int pipefd[2];
    ASSERT_EQ(::pipe(pipefd), 0);
    pid_t reader = ::fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        ::close(pipefd[1]);
        ::fcntl(pipefd[0], F_SETFL, O_NONBLOCK);
        char c;
        int loads = 0;
        while (::read(pipefd[0], &c, 1) < 0) {
            try {
                store.load();
                ++loads;
            } catch (...) {
                ::_exit(3);
            }
        }
        ::_exit(loads > 0 ? 0 : 4);
    }
    ::close(pipefd[0]);
    for (int w = 0; w < writers; ++w) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                for (int i = 0; i < changes; ++i) {
                    addProfile("w" + std::to_string(w) + "-" + std::to_string(i));
                }
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(::write(pipefd[1], "x", 1), 1);
    ::close(pipefd[1]);
    int status = 0;
    ::waitpid(reader, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "reader status " << status;

    std::set<std::string> ids;
    for (const auto& p : store.load().profiles) {
        ids.insert(p.id.rawValue);
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(writers * changes));
    EXPECT_EQ(supportEntries(), (std::vector<std::string>{".profiles.lock", "profiles.json"}));
}

TEST_F(StoreFixture, FilesThatAreNotSmallRegularFilesAreRefusedUnread) {
    using tltest::Hostile;
    const std::string file = home.paths.profilesFile();
    const std::string validDocument = jsonText(nlohmann::json(ProfileDocument::empty()));
    const std::string tooLarge =
        TwinLanternError::storeCorrupt(file, "the file is larger than 4 MiB").description();
    for (const auto& c : tltest::hostileCases()) {
        SCOPED_TRACE(c.name);
        tltest::removeTree(home.paths.supportDirectory());
        tltest::makeDirs(home.paths.supportDirectory());
        tltest::makeHostile(c.kind, file, ProfileStore::maxFileBytes, validDocument);
        ::close(::open(home.paths.lockFile().c_str(), O_CREAT | O_WRONLY, 0600));
        const tltest::FolderSnapshot before = tltest::snapshot(file);
        const std::string expected =
            c.kind == Hostile::overLimit || c.kind == Hostile::sparseHuge
                ? tooLarge
                : "Couldn't read " + file + ": " +
                      (c.kind == Hostile::folder ? std::strerror(EISDIR)
                                                 : "it isn't a regular file");

        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(tltest::errorOf([&] { store.load(); }).description(), expected);
        EXPECT_EQ(tltest::errorOf([&] {
                      store.update(
                          [](ProfileDocument& d) { d.profiles.push_back(profile("x", "x")); });
                  }).description(),
                  expected);
        EXPECT_LT(std::chrono::steady_clock::now() - started, tltest::hostileReadBound);
        EXPECT_EQ(tltest::snapshot(file), before);
    }
}

TEST_F(StoreFixture, ALinkAtTheLockFileIsRefusedAndItsTargetKeepsItsMode) {
    tltest::makeDirs(home.paths.supportDirectory());
    const std::string target = home.dir / "elsewhere";
    tltest::writeFile(target, "someone's file\n", 0644);
    ASSERT_EQ(::symlink(target.c_str(), home.paths.lockFile().c_str()), 0);
    EXPECT_EQ(tltest::errorOf([&] {
                  store.update([](ProfileDocument& d) { d.profiles.push_back(profile("x", "x")); });
              }).description(),
              "Couldn't open " + home.paths.lockFile() + ": " + std::strerror(ELOOP));
    EXPECT_EQ(tltest::fileMode(target), 0644u);
    EXPECT_EQ(tltest::readFile(target), "someone's file\n");
    EXPECT_FALSE(tltest::exists(home.paths.profilesFile()));

    // A hard link is not ours to chmod either; the update itself goes through.
    ::unlink(home.paths.lockFile().c_str());
    ASSERT_EQ(::link(target.c_str(), home.paths.lockFile().c_str()), 0);
    store.update([](ProfileDocument& d) { d.profiles.push_back(profile("x", "x")); });
    EXPECT_EQ(tltest::fileMode(target), 0644u);
    EXPECT_EQ(store.load().profiles.size(), 1u);
}

TEST_F(StoreFixture, NothingIsWrittenThatTheStoreWouldRefuseToRead) {
    const std::size_t limit = ProfileStore::maxFileBytes;
    const ProfileDocument atLimit = twinlantern::testing::documentOfSize(limit, 3);
    store.update([&](ProfileDocument& d) { d = atLimit; });
    EXPECT_EQ(tltest::readFile(home.paths.profilesFile()).size(), limit);
    EXPECT_EQ(store.load(), atLimit);
    const tltest::FolderSnapshot before = tltest::snapshot(home.paths.supportDirectory());

    struct Case {
        const char* name;
        std::function<void(ProfileDocument&)> change;
    } cases[] = {
        {"a byte more",
         [](ProfileDocument& d) {
             d.rules[0].path += "x";
         }},
        {"one more profile",
         [](ProfileDocument& d) {
             d.profiles.push_back(profile("q", "Q"));
         }},
    };
    ProfileStore other(home.paths); // another writer, as the command-line tool is
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TwinLanternError error = tltest::errorOf([&] { other.update(c.change); });
        EXPECT_EQ(error, ProfileStore::tooLargeToSave());
        EXPECT_EQ(error.description(),
                  "Couldn't save profiles: the file would be larger than 4 MiB");
        EXPECT_EQ(tltest::snapshot(home.paths.supportDirectory()), before); // no temporary file
        EXPECT_EQ(store.load(), atLimit);
    }
}

TEST(ProfileFileSize, IsTheSizeOfTheFileTheStoreWrites) {
    Profile odd = profile("odd-1", "\xC3\x28 caf\xC3\xA9 \xF0\x9F\x98\x80 \"q\" \\ /");
    odd.badge = "\xE2\x9C\x93";
    const Profile plain = profile("plain", "Plain", Profile::Storage::system, {});
    const FolderRule rule{"~/work/\xE2\x80\x94/**", ProfileID("odd-1")};
    const ProfileDocument cases[] = {
        ProfileDocument::empty(),
        {0, {plain}, {}, {}},
        {1, {odd, plain}, {rule}, ProfileID("plain")},
        {1, {}, {rule, {"/a\tb", ProfileID("x")}}, {}},
    };
    for (const ProfileDocument& document : cases) {
        ProfileDocument written = document;
        written.version = ProfileDocument::currentVersion;
        const std::size_t expected = jsonText(nlohmann::json(written)).size();
        EXPECT_EQ(ProfileFileSize(document).bytes(), expected);
        // Built up one part at a time as well.
        ProfileDocument frame = document;
        frame.profiles.clear();
        frame.rules.clear();
        ProfileFileSize grown(frame);
        for (const Profile& p : document.profiles) {
            grown.add(p);
        }
        for (const FolderRule& r : document.rules) {
            grown.add(r);
        }
        EXPECT_EQ(grown.bytes(), expected);
    }
}
