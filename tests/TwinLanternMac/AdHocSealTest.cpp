#include "TwinLanternMac/AdHocSeal.h"
#include "core/base/PropertyList.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>

namespace twinlantern {
namespace {

// path under Contents -> hex of hash2, as the seal lists them.
std::map<std::string, std::string> sealedFiles(const std::string& bundle) {
    const auto list =
        PropertyList::readDictionary(bundle + "/Contents/_CodeSignature/CodeResources");
    EXPECT_TRUE(list.has_value());
    std::map<std::string, std::string> out;
    if (!list) {
        return out;
    }
    plist_t files = plist_dict_get_item(list->root(), "files2");
    EXPECT_EQ(plist_get_node_type(files), PLIST_DICT);
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(files, &it);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(files, it, &key, &value);
        if (key == nullptr) {
            break;
        }
        plist_t hash = plist_dict_get_item(value, "hash2");
        EXPECT_EQ(plist_get_node_type(hash), PLIST_DATA) << key;
        char* data = nullptr;
        uint64_t length = 0;
        plist_get_data_val(hash, &data, &length);
        std::string hex;
        for (uint64_t i = 0; i < length; ++i) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(data[i]));
            hex += two;
        }
        std::free(data);
        out[key] = hex;
        std::free(key);
    }
    std::free(it);
    return out;
}

std::string sha256sum(const std::string& path) {
    const testing::RunResult run =
        testing::runProgram({"/usr/bin/sha256sum", path}, {{"PATH", "/usr/bin:/bin"}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.out.substr(0, 64);
}

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
