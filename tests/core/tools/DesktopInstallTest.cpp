#include "core/tools/DesktopInstall.h"
#include "core/base/JsonDecode.h"
#include "core/base/PropertyList.h"

#include "tests/support/HostileFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <plist/plist.h>

#include <cerrno>
#include <chrono>
#include <memory>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

std::string xmlInfoPlist(const std::string& identifier, const std::string& versionEntry) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\"><dict>\n"
           "<key>CFBundleIdentifier</key><string>" +
           identifier + "</string>\n" + versionEntry + "</dict></plist>\n";
}

// The binary form that shipped apps usually carry.
std::string binaryInfoPlist(const std::string& identifier, const std::string& version) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string(identifier.c_str()));
    plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string(version.c_str()));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    std::string out(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(dict);
    return out;
}

void makeApp(const std::string& bundle, const std::string& infoPlist) {
    writeFile(bundle + "/Contents/Info.plist", infoPlist);
}

} // namespace

TEST(DesktopInstall, FindsTheBundleByIdentifierInXmlOrBinaryInfoPlist) {
    TempHome h;
    const std::string apps = h.home() + "/Applications";
    makeApp(apps + "/Other.app", xmlInfoPlist("com.example.other", ""));
    makeApp(apps + "/Claude.app", binaryInfoPlist(DesktopInstall::bundleID, "0.9.3"));
    EXPECT_EQ(DesktopInstall::locate(h.paths), (DesktopInstall{apps + "/Claude.app", "0.9.3"}));

    removeTree(apps + "/Claude.app");
    makeApp(apps + "/Renamed Claude.app",
            xmlInfoPlist(DesktopInstall::bundleID,
                         "<key>CFBundleShortVersionString</key><string>1.2</string>\n"));
    EXPECT_EQ(DesktopInstall::locate(h.paths),
              (DesktopInstall{apps + "/Renamed Claude.app", "1.2"}));
}

TEST(DesktopInstall, VersionIsAbsentWhenMissingOrNotAString) {
    TempHome h;
    const std::string bundle = h.home() + "/Applications/Claude.app";
    makeApp(bundle, xmlInfoPlist(DesktopInstall::bundleID, ""));
    EXPECT_EQ(DesktopInstall::locate(h.paths), (DesktopInstall{bundle, std::nullopt}));
    makeApp(bundle, xmlInfoPlist(DesktopInstall::bundleID,
                                 "<key>CFBundleShortVersionString</key><integer>3</integer>\n"));
    EXPECT_EQ(DesktopInstall::locate(h.paths), (DesktopInstall{bundle, std::nullopt}));
}

TEST(DesktopInstall, SearchesTheSystemFolderBeforeTheHomeFolder) {
    TempHome h;
    TempDir system;
    Paths paths(h.home(), system.path());
    makeApp(h.home() + "/Applications/Claude.app", binaryInfoPlist(DesktopInstall::bundleID, "2"));
    makeApp(system / "Claude.app", binaryInfoPlist(DesktopInstall::bundleID, "1"));
    EXPECT_EQ(DesktopInstall::locate(paths), (DesktopInstall{system / "Claude.app", "1"}));
    EXPECT_EQ(DesktopInstall::applicationFolders(paths),
              (std::vector<std::string>{system.path(), h.home() + "/Applications"}));
}

TEST(DesktopInstall, BrokenHostileOrMisplacedBundlesAreSkipped) {
    TempHome h;
    const std::string apps = h.home() + "/Applications";
    const std::string good = xmlInfoPlist(DesktopInstall::bundleID, "");
    const std::string binary = binaryInfoPlist(DesktopInstall::bundleID, "1");
    makeApp(apps + "/A-empty.app", "");
    makeApp(apps + "/B-garbage.app", std::string("\0\xff<plist>\x01", 10));
    makeApp(apps + "/C-truncated-xml.app", good.substr(0, good.size() / 2));
    makeApp(apps + "/D-truncated-binary.app", binary.substr(0, binary.size() - 9));
    makeApp(apps + "/E-array.app", "<plist version=\"1.0\"><array><string>" +
                                       std::string(DesktopInstall::bundleID) +
                                       "</string></array></plist>");
    makeApp(apps + "/F-huge.app", good + std::string(5 * 1024 * 1024, ' '));
    makeDirs(apps + "/G-info-is-folder.app/Contents/Info.plist");
    writeFile(apps + "/H-file.app", good);
    makeApp(apps + "/Nested/Claude.app", good);
    EXPECT_EQ(DesktopInstall::locate(h.paths), std::nullopt);
    EXPECT_EQ(DesktopInstall::locate(Paths(h.home(), h.home() + "/missing")), std::nullopt);
}

TEST(DesktopInstall, JsonRoundTrip) {
    DesktopInstall bare{"/Applications/Claude.app", std::nullopt};
    EXPECT_EQ(nlohmann::json(bare).dump(), R"({"path":"/Applications/Claude.app"})");
    EXPECT_EQ(nlohmann::json(bare).get<DesktopInstall>(), bare);
    DesktopInstall full{"/A.app", "1.0"};
    EXPECT_EQ(nlohmann::json(full).get<DesktopInstall>(), full);
    EXPECT_THROW(nlohmann::json::parse(R"({"version":"1"})").get<DesktopInstall>(),
                 JsonDecodeError);
}

TEST(DesktopInstall, HostileInfoPlistsAreSkippedAtOnce) {
    for (const auto& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        TempHome h;
        const std::string contents = h.home() + "/Applications/Claude.app/Contents";
        makeDirs(contents);
        const std::string file = contents + "/Info.plist";
        makeHostile(c.kind, file, PropertyList::maxFileBytes,
                    xmlInfoPlist(DesktopInstall::bundleID, ""));
        const FolderSnapshot before = snapshot(file);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(DesktopInstall::locate(h.paths), std::nullopt);
        int error = 0;
        EXPECT_FALSE(PropertyList::readDictionary(file, &error));
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);
        EXPECT_EQ(error, c.kind == Hostile::folder                                   ? EISDIR
                         : c.kind == Hostile::fifo || c.kind == Hostile::devZeroLink ? EINVAL
                                                                                     : EFBIG);
        EXPECT_EQ(snapshot(file), before);
    }
}

TEST(PropertyList, ReadsXmlAndBinaryDictionariesOnly) {
    TempDir dir;
    writeFile(dir / "xml", xmlInfoPlist("a.b", "<key>N</key><integer>3</integer>\n"));
    writeFile(dir / "bin", binaryInfoPlist("c.d", "2.0"));
    writeFile(dir / "array", "<plist version=\"1.0\"><array/></plist>");
    const auto xml = PropertyList::readDictionary(dir / "xml");
    ASSERT_TRUE(xml);
    EXPECT_EQ(xml->string("CFBundleIdentifier"), "a.b");
    EXPECT_EQ(xml->string("N"), std::nullopt); // not a string
    EXPECT_EQ(plist_get_node_type(plist_dict_get_item(xml->root(), "N")), PLIST_UINT);
    const auto binary = PropertyList::readDictionary(dir / "bin");
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->string("CFBundleShortVersionString"), "2.0");
    int error = 0;
    EXPECT_FALSE(PropertyList::readDictionary(dir / "array", &error));
    EXPECT_EQ(error, EINVAL);
    EXPECT_FALSE(PropertyList::readDictionary(dir / "missing", &error));
    EXPECT_EQ(error, ENOENT);
}

namespace {

// A binary property list of these objects (object 0 on top), references one byte wide.
std::string binaryList(const std::vector<std::string>& objects) {
    std::string out = "bplist00";
    std::vector<std::uint32_t> offsets;
    for (const std::string& object : objects) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        out += object;
    }
    const auto table = static_cast<std::uint32_t>(out.size());
    for (std::uint32_t offset : offsets) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<char>((offset >> shift) & 0xFF));
        }
    }
    out.append(6, '\0');
    out += "\x04\x01";
    for (std::uint64_t value :
         {std::uint64_t{objects.size()}, std::uint64_t{0}, std::uint64_t{table}}) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            out.push_back(static_cast<char>((value >> shift) & 0xFF));
        }
    }
    return out;
}

} // namespace

TEST(PropertyList, NestingIsBoundedBeforeTheLibraryRecurses) {
    const std::string id = DesktopInstall::bundleID;
    const std::size_t within = PropertyList::maxNesting - 1; // the top dictionary is a level
    for (const bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary" : "XML");
        const auto deepest = PropertyList::parseDictionary(deepPropertyList(within, binary, id));
        ASSERT_TRUE(deepest);
        EXPECT_EQ(deepest->string("CFBundleIdentifier"), id);
        EXPECT_FALSE(PropertyList::parseDictionary(deepPropertyList(within + 1, binary, id)));
    }

    // Two references to each next array: a billion nodes once copied out.
    std::vector<std::string> shared = {"\xD1\x01\x02", "\x51K"};
    for (char i = 2; i < 32; ++i) {
        shared.push_back(std::string("\xA2") + static_cast<char>(i + 1) + static_cast<char>(i + 1));
    }
    shared.push_back("\xA0");
    const std::pair<const char*, std::string> refused[] = {
        {"a cycle", binaryList({"\xD1\x01\x02", "\x51K", std::string("\xA1\x02", 2)})},
        {"a reference past the objects", binaryList({"\xD1\x01\x09", "\x51K"})},
        {"a count past the file",
         binaryList({"\xD1\x01\x02", "\x51K", "\xAF\x13\x7F\xFF\xFF\xFF"})},
        {"shared arrays", binaryList(shared)},
        {"a truncated trailer", binaryList({"\xD0"}).substr(0, 30)},
        {"an array in a comment", "<plist><dict><!-- <array> --></dict></plist>"},
        {"attributes on an array",
         "<plist><dict><key>k</key><array x='/>'></array></dict></plist>"},
        {"an internal subset", "<!DOCTYPE plist [<!ENTITY a 'b'>]><plist><dict/></plist>"},
        {"a '<' inside a tag", "<plist><dict><key <array>>k</key></dict></plist>"},
        {"an open tag", "<plist><dict></dict></plist"},
    };
    for (const auto& [what, bytes] : refused) {
        EXPECT_FALSE(PropertyList::parseDictionary(bytes)) << what;
    }
    const std::string accepted[] = {
        xmlInfoPlist(id, "<!-- a note -->\n<key>A</key><array/><key>B</key><dict >\n</dict>"
                         "<key>C</key><array><dict/></array>"),
        binaryList({"\xD1\x01\x02", "\x51K", "\xA2\x03\x03", "\xA0"}),
    };
    for (const std::string& bytes : accepted) {
        EXPECT_TRUE(PropertyList::parseDictionary(bytes)) << bytes.substr(0, 40);
    }
}

TEST(DesktopInstall, ADeeplyNestedInfoPlistIsSkippedAsUnreadable) {
    for (const bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary" : "XML");
        TempHome h;
        // Scanned first, then the real one.
        const std::string deep = deepPropertyList(200000, binary, DesktopInstall::bundleID);
        ASSERT_LT(deep.size(), PropertyList::maxFileBytes);
        makeApp(h.home() + "/Applications/A Deep.app", deep);
        makeApp(h.home() + "/Applications/Claude.app", xmlInfoPlist(DesktopInstall::bundleID, ""));
        const auto started = std::chrono::steady_clock::now();
        const auto found = DesktopInstall::locate(h.paths);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->path, h.home() + "/Applications/Claude.app");
        int error = 0;
        EXPECT_FALSE(PropertyList::readDictionary(
            h.home() + "/Applications/A Deep.app/Contents/Info.plist", &error));
        EXPECT_EQ(error, EINVAL);
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);
    }
}

TEST(DesktopInstall, AScannedInfoPlistOverItsCapIsSkipped) {
    TempHome h;
    std::string padded = xmlInfoPlist(DesktopInstall::bundleID, "");
    padded.insert(padded.size() - 1, PropertyList::maxScannedFileBytes, ' ');
    makeApp(h.home() + "/Applications/Claude.app", padded);
    EXPECT_EQ(DesktopInstall::locate(h.paths), std::nullopt);
    EXPECT_TRUE(
        PropertyList::readDictionary(h.home() + "/Applications/Claude.app/Contents/Info.plist"));
}
