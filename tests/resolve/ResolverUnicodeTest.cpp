// What the resolver asks of ICU on non-ASCII input, in this program linked as the resolver
// is (static libicuuc with the cut data): case mapping on case-insensitive volumes, full
// case folding for `.twinlantern` names, user-perceived characters for default badges.
#include "core/base/PathUtil.h"
#include "core/profiles/ProfileStore.h"
#include "core/rules/RuleResolver.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

struct ResolverUnicodeTest : ::testing::Test {
    TempHome home;
    void TearDown() override { PathUtil::setCaseProbe({}); }

    // A stored file as the app writes it, but with no badges: the reader makes them.
    ProfileDocument load(const std::string& profiles, const std::string& rules) const {
        makeDirs(home.paths.supportDirectory());
        writeFile(home.paths.profilesFile(),
                  R"({"version": 1, "profiles": [)" + profiles + R"(], "rules": [)" + rules + "]}",
                  0600);
        return ProfileStore(home.paths).load();
    }
};

std::string profileJson(const std::string& id, const std::string& name) {
    return R"({"id": ")" + id + R"(", "name": ")" + name +
           R"(", "color": "blue", "tools": ["claude-code"], "storage": "managed"})";
}

const std::string family = "\U0001F469\u200D\U0001F469\u200D\U0001F467";

} // namespace

TEST_F(ResolverUnicodeTest, DefaultBadgesTakeWholeCharacters) {
    const ProfileDocument document = load(profileJson("school", "\u00E9cole stra\u00DFe") + "," +
                                              profileJson("family", family + " team") + "," +
                                              profileJson("accent", "e\u0301t\u00E9"),
                                          "");
    ASSERT_EQ(document.profiles.size(), 3u);
    EXPECT_EQ(document.profiles[0].badge, "\u00C9S");
    EXPECT_EQ(document.profiles[1].badge, family + "T");
    EXPECT_EQ(document.profiles[2].badge, "E\u0301");
}

TEST_F(ResolverUnicodeTest, DotfileNamesFoldFully) {
    const std::string project = home.dir / "src/project";
    makeDirs(project);
    const ProfileDocument document = load(profileJson("street", "Stra\u00DFe") + "," +
                                              profileJson("sigma", "\u03A3\u0391\u03A3"),
                                          "");
    struct Case {
        std::string written, id;
    };
    const Case cases[] = {
        {"STRASSE", "street"},
        {"  strasse\t", "street"},
        {"\u03C3\u03B1\u03C2", "sigma"}, // ß, σ and ς fold
    };
    for (const auto& c : cases) {
        writeFile(project + "/.twinlantern", c.written + "\n");
        const Resolution r = resolveFolder(document, home.home(), project, project);
        ASSERT_TRUE(r.profile) << c.written;
        EXPECT_EQ(r.profile->id.rawValue, c.id) << c.written;
        EXPECT_EQ(r.source, Resolution::Source::dotfile);
    }
}

TEST_F(ResolverUnicodeTest, CaseInsensitiveVolumesLowerNonAsciiFolders) {
    const std::string folder = home.dir / "\u00C9COLES/\u00C4RZTE/sub"; // ÉCOLES/ÄRZTE
    makeDirs(folder);
    const ProfileDocument document =
        load(profileJson("school", "School"),
             "{\"path\": \"~/\u00E9coles/\u00E4rzte/**\", \"profileID\": \"school\"}");
    PathUtil::setCaseProbe([](const std::string&) { return std::optional<bool>(false); });
    Resolution r = resolveFolder(document, home.home(), folder, folder);
    ASSERT_TRUE(r.profile);
    EXPECT_EQ(r.profile->id.rawValue, "school");
    EXPECT_EQ(r.source, Resolution::Source::folderRule);

    PathUtil::setCaseProbe([](const std::string&) { return std::optional<bool>(true); });
    EXPECT_FALSE(resolveFolder(document, home.home(), folder, folder).profile);
}
