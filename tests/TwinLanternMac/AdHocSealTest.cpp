#include "TwinLanternMac/launchers/AdHocSeal.h"
#include "core/base/PropertyList.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/Programs.h"
#include "tests/support/Seal.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>

namespace twinlantern {
namespace {

using testing::sealedFiles;
using testing::sha256sum;

TEST(AdHocSeal, ListsEveryOtherRegularFileWithItsHash) {
    testing::TempDir dir;
    const std::string bundle = dir / "Claude — Work.app";
    const std::string contents = bundle + "/Contents";
    testing::writeFile(contents + "/MacOS/launcher", std::string(300'000, '\x7f'), 0755);
    testing::writeFile(contents + "/Resources/AppIcon.icns", "icns");
    testing::writeFile(contents + "/Resources/empty", "");
    testing::writeFile(contents + "/Info.plist", "<plist/>");
    testing::writeFile(contents + "/Resources/deep/a b/c", "c");
    ASSERT_EQ(symlink("/etc/passwd", (contents + "/Resources/link").c_str()), 0);
    ASSERT_EQ(mkfifo((contents + "/Resources/fifo").c_str(), 0644), 0);
    // A stale seal is not sealed into the new one.
    testing::writeFile(contents + "/_CodeSignature/CodeResources", "old");

    sealBundle(bundle);
    const auto files = sealedFiles(bundle);
    std::map<std::string, std::string> expected;
    for (const char* file : {"Info.plist", "MacOS/launcher", "Resources/AppIcon.icns",
                             "Resources/deep/a b/c", "Resources/empty"}) {
        expected[file] = sha256sum(contents + "/" + file);
    }
    EXPECT_EQ(files, expected);
    EXPECT_EQ(testing::fileMode(contents + "/_CodeSignature/CodeResources"), 0644u);

    // Sorted by path, as the XML shows them.
    const std::string xml = testing::readFile(contents + "/_CodeSignature/CodeResources");
    EXPECT_LT(xml.find("<key>Info.plist</key>"), xml.find("<key>MacOS/launcher</key>"));
    EXPECT_LT(xml.find("<key>MacOS/launcher</key>"), xml.find("<key>Resources/AppIcon.icns"));
}

TEST(AdHocSeal, FailsWithFileErrorsOnly) {
    testing::TempDir dir;
    EXPECT_EQ(testing::errorOf([&] { sealBundle(dir / "None.app"); }).description(),
              "Couldn't read " + dir / "None.app/Contents" + ": " + std::strerror(ENOENT));

    // A file where the seal's folder belongs.
    const std::string bundle = dir / "A.app";
    testing::writeFile(bundle + "/Contents/Info.plist", "x");
    testing::writeFile(bundle + "/Contents/_CodeSignature", "not a folder");
    const std::string seal = bundle + "/Contents/_CodeSignature/CodeResources";
    EXPECT_EQ(testing::errorOf([&] { sealBundle(bundle); }).description(),
              "Couldn't write " + seal + ": " + std::strerror(ENOTDIR));
}

} // namespace
} // namespace twinlantern
