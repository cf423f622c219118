#include "TwinLanternMac/launchers/IconRenderer/IcnsFile.h"
#include "TwinLanternMac/launchers/IconRenderer/IconRenderer.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QImageReader>
#include <QPainter>

#include <plist/plist.h>

#include <chrono>
#include <cstring>

namespace twinlantern {
namespace {

std::uint32_t bigEndian(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        v = (v << 8) | static_cast<unsigned char>(bytes.at(at + i));
    }
    return v;
}

QImage solid(QColor color, int size = 256) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

const std::string pngSignature = "\x89PNG\r\n\x1a\n";

TEST(Icns, ContainerHeaderTocAndElements) {
    testing::TempDir dir;
    const std::string path = dir / "AppIcon.icns";
    IconRenderer::writeICNS(solid(Qt::red), ProfileColor::green, "W", path);
    EXPECT_EQ(testing::fileMode(path), 0644u);
    const std::string bytes = testing::readFile(path);
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_EQ(bytes.substr(0, 4), "icns");
    EXPECT_EQ(bigEndian(bytes, 4), bytes.size());
    ASSERT_EQ(bytes.substr(8, 4), "TOC ");
    const std::uint32_t tocLength = bigEndian(bytes, 12);
    ASSERT_EQ(tocLength, 8 + 8 * icnsRows.size());

    std::size_t at = 8 + tocLength;
    for (std::size_t i = 0; i < icnsRows.size(); ++i) {
        const std::string tocType = bytes.substr(16 + 8 * i, 4);
        const std::uint32_t tocSize = bigEndian(bytes, 20 + 8 * i);
        EXPECT_EQ(tocType, icnsRows[i].type);
        ASSERT_LE(at + 8, bytes.size());
        EXPECT_EQ(bytes.substr(at, 4), icnsRows[i].type);
        const std::uint32_t length = bigEndian(bytes, at + 4);
        EXPECT_EQ(length, tocSize) << tocType;
        EXPECT_EQ(bytes.substr(at + 8, pngSignature.size()), pngSignature) << tocType;
        QImage png;
        ASSERT_TRUE(png.loadFromData(reinterpret_cast<const uchar*>(bytes.data() + at + 8),
                                     static_cast<int>(length - 8), "PNG"));
        EXPECT_EQ(png.width(), icnsRows[i].pixels) << tocType;
        at += length;
    }
    EXPECT_EQ(at, bytes.size());
}

TEST(Icns, QtsReaderSeesTheTenImages) {
    testing::TempDir dir;
    const std::string path = dir / "AppIcon.icns";
    IconRenderer::writeICNS(solid(Qt::red), ProfileColor::pink, "\U0001F600", path);
    QImageReader reader(QString::fromStdString(path), "icns");
    ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
    ASSERT_EQ(reader.imageCount(), 10);
    std::vector<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << i << reader.errorString().toStdString();
        EXPECT_EQ(image.width(), image.height());
        sizes.push_back(image.width());
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 32, 64, 128, 256, 256, 512, 512, 1024}));
}

TEST(Icns, MissingFolderIsAWriteErrorAndNoFile) {
    testing::TempDir dir;
    const std::string path = dir / "missing/AppIcon.icns";
    EXPECT_EQ(testing::errorOf([&] {
                  IconRenderer::writeICNS(solid(Qt::red), ProfileColor::blue, "A", path);
              }).description(),
              "Couldn't write " + path + ": " + std::strerror(ENOENT));
    EXPECT_EQ(testing::folderEntries(dir.path()), std::vector<std::string>{});
}

TEST(Icns, ReplacesAnOldFileWhole) {
    testing::TempDir dir;
    const std::string path = dir / "AppIcon.icns";
    testing::writeFile(path, std::string(3'000'000, 'x'), 0600);
    IconRenderer::writeICNS(solid(Qt::red), ProfileColor::blue, "A", path);
    const std::string bytes = testing::readFile(path);
    EXPECT_EQ(bigEndian(bytes, 4), bytes.size());
    EXPECT_EQ(testing::fileMode(path), 0644u);
    EXPECT_EQ(testing::folderEntries(dir.path()), std::vector<std::string>{"AppIcon.icns"});
}

// An app bundle whose Info.plist names iconFile.
void makeBundle(const std::string& bundle, const char* iconFile) {
    testing::makeDirs(bundle + "/Contents/Resources");
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string("com.example.app"));
    if (iconFile != nullptr) {
        plist_dict_set_item(dict, "CFBundleIconFile", plist_new_string(iconFile));
    }
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dict, &xml, &length);
    testing::writeFile(bundle + "/Contents/Info.plist", std::string(xml, length));
    plist_to_xml_free(xml);
    plist_free(dict);
}

bool isGreySquare(const QImage& icon) {
    return icon.width() == 1024 && icon.pixelColor(512, 512) == QColor(142, 142, 147) &&
           icon.pixelColor(0, 0).alpha() == 0;
}

TEST(BaseIcon, LargestImageOfTheBundlesIconFile) {
    testing::TempDir dir;
    const std::string bundle = dir / "Claude.app";
    makeBundle(bundle, "electron");
    IconRenderer::writeICNS(solid(QColor(200, 100, 50)), ProfileColor::blue, "",
                            bundle + "/Contents/Resources/electron.icns");
    const QImage icon = IconRenderer::baseIcon(bundle);
    EXPECT_EQ(icon.size(), QSize(1024, 1024));
    EXPECT_EQ(icon.pixelColor(10, 10), QColor(200, 100, 50));
}

TEST(BaseIcon, NamedWithItsExtensionOrAsPng) {
    testing::TempDir dir;
    const std::string bundle = dir / "App.app";
    makeBundle(bundle, "icon.png");
    ASSERT_TRUE(solid(QColor(1, 2, 3), 64)
                    .save(QString::fromStdString(bundle + "/Contents/Resources/icon.png")));
    const QImage icon = IconRenderer::baseIcon(bundle);
    EXPECT_EQ(icon.size(), QSize(64, 64));
    EXPECT_EQ(icon.pixelColor(1, 1), QColor(1, 2, 3));
}

TEST(BaseIcon, GreySquareWithoutAUsableIcon) {
    testing::TempDir dir;
    EXPECT_TRUE(isGreySquare(IconRenderer::baseIcon(dir / "Missing.app")));
    const std::string noKey = dir / "NoKey.app";
    makeBundle(noKey, nullptr);
    EXPECT_TRUE(isGreySquare(IconRenderer::baseIcon(noKey)));
    const std::string broken = dir / "Broken.app";
    makeBundle(broken, "AppIcon");
    testing::writeFile(broken + "/Contents/Resources/AppIcon.icns", "icns\0\0\0\x20TOC junk");
    EXPECT_TRUE(isGreySquare(IconRenderer::baseIcon(broken)));
    const std::string escaping = dir / "Escaping.app";
    makeBundle(escaping, "../../Broken.app/Contents/Resources/AppIcon.icns");
    EXPECT_TRUE(isGreySquare(IconRenderer::baseIcon(escaping)));
}

TEST(BaseIcon, HostileIconFilesNeitherHangNorBloat) {
    for (const testing::HostileCase& c : testing::hostileCases()) {
        testing::TempDir dir;
        const std::string bundle = dir / "App.app";
        makeBundle(bundle, "AppIcon");
        testing::makeHostile(c.kind, bundle + "/Contents/Resources/AppIcon.icns", 64u << 20,
                             "icns");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(isGreySquare(IconRenderer::baseIcon(bundle))) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, testing::hostileReadBound) << c.name;
    }
}

} // namespace
} // namespace twinlantern
