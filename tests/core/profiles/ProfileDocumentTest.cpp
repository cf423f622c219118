#include "core/profiles/ProfileDocument.h"
#include "core/base/Json.h"
#include "core/base/TwinLanternError.h"
#include "core/profiles/ProfileDocumentReader.h"

#include "tests/support/Profiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace twinlantern;
using twinlantern::testing::profile;

namespace {

FolderRule rule(std::string path, std::string id) {
    return FolderRule(std::move(path), ProfileID(std::move(id)));
}

} // namespace

TEST(FolderRule, FolderPath) {
    struct Case {
        std::string path, folder;
    };
    const Case cases[] = {
        {"~/Work/**", "~/Work"},
        {"~/Work///", "~/Work"},
        {"~/**", "~"},
        {"/**", "/"},
        {"/", "/"},
        {"//", "/"},
        {"", "/"},
        {"/a/b/**/**", "/a/b/**"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rule(c.path, "a").folderPath(), c.folder) << c.path;
    }
    EXPECT_EQ(rule("~/Work/**", "a").id(), "~/work");
}

TEST(ProfileDocument, ValidateMessages) {
    using M = Profile::Storage;
    struct Case {
        const char* what;
        ProfileDocument doc;
        TwinLanternError expected;
    };
    const std::string lq = "\u201C", rq = "\u201D";
    std::vector<Case> cases;
    cases.push_back(
        {"bad id",
         {1, {profile("Bad", "x")}, {}, {}},
         TwinLanternError::invalidProfile(lq + "Bad" + rq + " isn't a valid profile id.")});
    cases.push_back({"blank name",
                     {1, {profile("a", std::string(41, ' '))}, {}, {}},
                     TwinLanternError::invalidProfile("Profile names can't be empty.")});
    cases.push_back(
        {"too long",
         {1, {profile("a", std::string(41, 'n'))}, {}, {}},
         TwinLanternError::invalidProfile(lq + std::string(41, 'n') + rq +
                                          " is too long. Use 40 characters or fewer.")});
    cases.push_back(
        {"same id",
         {1, {profile("a", "x"), profile("a", "y")}, {}, {}},
         TwinLanternError::invalidProfile("Two profiles share the id " + lq + "a" + rq + ".")});
    cases.push_back({"same name",
                     {1, {profile("a", "work"), profile("b", "  Work  ")}, {}, {}},
                     TwinLanternError::invalidProfile("There's already a profile called " + lq +
                                                      "Work" + rq + ".")});
    cases.push_back(
        {"two system",
         {1, {profile("a", "x", M::system), profile("b", "y", M::system)}, {}, {}},
         TwinLanternError::invalidProfile("Only one profile can use the tools' default setup.")});
    cases.push_back(
        {"bad id before two system",
         {1,
          {profile("a", "x", M::system), profile("b", "y", M::system), profile("C", "z")},
          {},
          {}},
         TwinLanternError::invalidProfile(lq + "C" + rq + " isn't a valid profile id.")});
    cases.push_back({"dangling rule before path",
                     {1, {profile("a", "x")}, {rule("relative", "gone")}, {}},
                     TwinLanternError::invalidRule(
                         "The rule for relative points at a profile that doesn't exist.")});
    cases.push_back({"relative rule",
                     {1, {profile("a", "x")}, {rule("src/app", "a")}, {}},
                     TwinLanternError::invalidRule(lq + "src/app" + rq +
                                                   " isn't a full path. Start it with / or ~.")});
    cases.push_back(
        {"empty rule path",
         {1, {profile("a", "x")}, {rule("", "a")}, {}},
         TwinLanternError::invalidRule(lq + rq + " isn't a full path. Start it with / or ~.")});
    cases.push_back({"duplicate rule",
                     {1,
                      {profile("a", "x"), profile("b", "y")},
                      {rule("~/work", "a"), rule("~/Work/**", "b")},
                      {}},
                     TwinLanternError::invalidRule("There's already a rule for ~/Work.")});
    cases.push_back({"escape in a name",
                     {1, {profile("a", "Work\033]0;x\007")}, {}, {}},
                     TwinLanternError::invalidProfile(
                         lq + "Work\\x1B]0;x\\x07" + rq +
                         " holds a control character. Use only characters that print.")});
    cases.push_back({"C1 control in a name",
                     {1, {profile("a", "a\u009B2J")}, {}, {}},
                     TwinLanternError::invalidProfile(
                         lq + "a\\u009B2J" + rq +
                         " holds a control character. Use only characters that print.")});
    cases.push_back({"line break in a rule path",
                     {1, {profile("a", "x")}, {rule("~/src\n/x", "a")}, {}},
                     TwinLanternError::invalidRule(
                         lq + "~/src\\x0A/x" + rq +
                         " holds a control character. Use only characters that print.")});
    cases.push_back({"dangling default",
                     {1, {profile("a", "x")}, {}, ProfileID("gone")},
                     TwinLanternError::invalidProfile(
                         "The terminal default points at a profile that doesn't exist.")});
    for (const auto& c : cases) {
        try {
            c.doc.validate();
            ADD_FAILURE() << c.what << ": no error";
        } catch (const TwinLanternError& e) {
            EXPECT_EQ(e, c.expected) << c.what << ": " << e.what();
        }
    }
}

TEST(ProfileDocument, ValidDocumentsPass) {
    ProfileDocument::empty().validate();
    ProfileDocument doc{1,
                        {profile("a", "  " + std::string(40, 'n') + "  "),
                         profile("b", "other", Profile::Storage::system)},
                        {rule("~/work", "a"), rule("~/work/client", "b"), rule("/srv/**", "a")},
                        ProfileID("b")};
    EXPECT_NO_THROW(doc.validate());
    // Forty user-perceived characters, many more bytes.
    std::string flags;
    for (int i = 0; i < 40; ++i) {
        flags += "\U0001F1E9\U0001F1EA";
    }
    EXPECT_NO_THROW((ProfileDocument{1, {profile("a", flags)}, {}, {}}.validate()));
}

TEST(ProfileDocument, ProfileNamed) {
    ProfileDocument doc{1, {profile("work-1", "Work"), profile("home-2", "work-1")}, {}, {}};
    EXPECT_EQ(doc.profileNamed("  WORK\t")->id.rawValue, "work-1");
    EXPECT_EQ(doc.profileNamed("HOME-2")->id.rawValue, "home-2");
    // A name match anywhere wins over an id match earlier in the list.
    EXPECT_EQ(doc.profileNamed("work-1")->id.rawValue, "home-2");
    EXPECT_EQ(doc.profileNamed("\nWork"), nullptr);
    EXPECT_EQ(doc.profileNamed("nobody"), nullptr);
}

TEST(ProfileDocument, JsonForm) {
    EXPECT_EQ(jsonText(nlohmann::json(ProfileDocument::empty())),
              "{\n  \"profiles\": [],\n  \"rules\": [],\n  \"version\": 1\n}\n");
    ProfileDocument doc{1, {profile("a", "x")}, {rule("~/a/b/**", "a")}, ProfileID("a")};
    const std::string text = jsonText(nlohmann::json(doc));
    EXPECT_NE(text.find("\"~/a/b/**\""), std::string::npos);
    EXPECT_LT(text.find("\"cliDefault\""), text.find("\"profiles\""));
    EXPECT_EQ(ProfileDocumentReader::decodeDocument(text), doc);

    auto nullDefault = ProfileDocumentReader::decodeDocument(
        R"({"version":1,"profiles":[],"rules":[],"cliDefault":null})");
    EXPECT_EQ(nullDefault.cliDefault, std::nullopt);
    EXPECT_ANY_THROW(ProfileDocumentReader::decodeDocument(R"({"version":1,"profiles":[]})"));
    EXPECT_ANY_THROW(
        ProfileDocumentReader::decodeDocument(R"({"version":1,"profiles":{},"rules":[]})"));
}
