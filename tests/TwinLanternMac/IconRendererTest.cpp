#include "TwinLanternMac/launchers/IconRenderer/IconRenderer.h"
#include "TwinLanternMac/launchers/IconRenderer/BadgeLayout.h"
#include "TwinLanternMac/launchers/IconRenderer/IcnsFile.h"
#include "tests/support/qt/GuiApp.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cmath>
#include <cstring>
#include <unistd.h>

namespace twinlantern {
namespace {

const QColor baseColor(10, 180, 40);

QImage solidBase(int size = 512) {
    QImage base(size, size, QImage::Format_ARGB32);
    base.fill(baseColor);
    return base;
}

QImage draw(std::string_view badge, int pixels, ProfileColor color = ProfileColor::blue) {
    std::optional<QImage> out = IconRenderer::image(solidBase(), color, badge, pixels);
    EXPECT_TRUE(out.has_value());
    return out ? out->convertToFormat(QImage::Format_ARGB32) : QImage();
}

struct Disc {
    double cx, cy, d;
};
Disc discOf(int pixels) {
    const double d = 0.46 * pixels;
    return {0.52 * pixels + d / 2, 0.52 * pixels + d / 2, d};
}

QColor at(const QImage& image, double x, double y) {
    return image.pixelColor(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
}

bool nearWhite(const QColor& c) {
    return c.red() >= 230 && c.green() >= 230 && c.blue() >= 230;
}

// Calls f for every pixel whose centre lies within radius of the disc's centre.
template <typename F> void forEachNearCentre(const QImage& image, double radius, F f) {
    const Disc disc = discOf(image.width());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double dx = x + 0.5 - disc.cx, dy = y + 0.5 - disc.cy;
            if (dx * dx + dy * dy <= radius * radius) {
                f(image.pixelColor(x, y));
            }
        }
    }
}

TEST(IconRenderer, DiscRingAndBaseForEachColour) {
    for (const ProfileColor color : allProfileColors) {
        const QImage image = draw("AB", 512, color);
        ASSERT_EQ(image.size(), QSize(512, 512));
        const Disc disc = discOf(512);
        const RGB c = rgb(color);
        EXPECT_EQ(at(image, disc.cx, disc.cy - 0.33 * disc.d), QColor(c.r, c.g, c.b)) << hex(color);
        EXPECT_EQ(at(image, disc.cx, disc.cy - 0.465 * disc.d), QColor(Qt::white)) << hex(color);
        EXPECT_EQ(image.pixelColor(0, 0), baseColor) << hex(color);
        EXPECT_EQ(image.pixelColor(511, 0), baseColor) << hex(color);
        // The badge sits in the lower right corner: the middle of the icon is the base.
        EXPECT_EQ(image.pixelColor(200, 200), baseColor) << hex(color);
    }
}

TEST(IconRenderer, EmptyBadgeHasNoTextAtAnySize) {
    for (const IcnsRow& row : icnsRows) {
        const QImage image = draw("", row.pixels);
        ASSERT_EQ(image.width(), row.pixels);
        int white = 0;
        forEachNearCentre(image, 0.3 * discOf(row.pixels).d,
                          [&](const QColor& c) { white += nearWhite(c) ? 1 : 0; });
        EXPECT_EQ(white, 0) << row.pixels << " px";
    }
}

TEST(IconRenderer, OnlyTheFirstTwoCharactersAreDrawn) {
    for (const int pixels : {32, 128, 512}) {
        EXPECT_EQ(draw("AB", pixels), draw("ABC", pixels)) << pixels;
    }
}

TEST(IconRenderer, SixteenPixelsCarryNoText) {
    EXPECT_EQ(draw("AB", 16), draw("", 16));
    EXPECT_NE(draw("AB", 32), draw("", 32));
}

TEST(IconRenderer, OneLetterShowsAtThirtyTwoPixels) {
    const QImage image = draw("A", 32);
    int white = 0;
    forEachNearCentre(image, 0.3 * discOf(32).d,
                      [&](const QColor& c) { white += nearWhite(c) ? 1 : 0; });
    EXPECT_GT(white, 0);
}

TEST(IconRenderer, EmojiDrawsInColour) {
    const RGB c = rgb(ProfileColor::blue);
    const QColor disc(c.r, c.g, c.b);
    const QImage image = draw("\U0001F44D\U0001F3FD", 512);
    // Antialiased white over the blue disc mixes the two, never giving more red than
    // blue; the skin tone does.
    int skin = 0;
    forEachNearCentre(image, 0.3 * discOf(512).d, [&](const QColor& p) {
        skin += (!nearWhite(p) && p != disc && p.red() > p.blue() + 40) ? 1 : 0;
    });
    EXPECT_GT(skin, 500);
}

TEST(IconRenderer, NothingWithoutAGuiApplication) {
    if (!testing::haveGuiApp()) {
        // The child run: no QGuiApplication, so no font may be touched.
        EXPECT_FALSE(IconRenderer::image(solidBase(), ProfileColor::blue, "AB", 64).has_value());
        testing::TempDir dir;
        const std::string path = dir / "AppIcon.icns";
        EXPECT_EQ(testing::errorOf([&] {
                      IconRenderer::writeICNS(solidBase(), ProfileColor::blue, "AB", path);
                  }).description(),
                  "Couldn't draw the launcher icon.");
        EXPECT_FALSE(testing::exists(path));
        return;
    }
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    Environment environment = {
        {"HOME", "/nonexistent"}, {testing::noGuiAppVariable, "1"}, {"PATH", "/usr/bin:/bin"}};
    const testing::RunResult run = testing::runProgram(
        self, {self, "--gtest_filter=IconRenderer.NothingWithoutAGuiApplication"}, environment);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[  PASSED  ] 1 test"), std::string::npos) << run.out;
}

TEST(IconRenderer, PngIsTheImage) {
    const std::optional<std::string> bytes =
        IconRenderer::png(solidBase(), ProfileColor::orange, "Z", 256);
    ASSERT_TRUE(bytes.has_value());
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(reinterpret_cast<const uchar*>(bytes->data()),
                                     static_cast<int>(bytes->size()), "PNG"));
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_ARGB32), draw("Z", 256, ProfileColor::orange));
}

TEST(BadgeLayout, SizesAndCharacters) {
    struct Case {
        std::string badge;
        int pixels;
        std::string text;
        double factor; // of the diameter; 0 for no text
    };
    const std::string thumb = "\U0001F44D\U0001F3FD";
    const std::string family = "\U0001F469\u200D\U0001F469\u200D\U0001F467";
    const std::string flag = "\U0001F1EB\U0001F1F7";
    const Case cases[] = {
        {"A", 512, "A", 0.46},
        {"AB", 512, "AB", 0.36},
        {"ABC", 512, "AB", 0.36},
        {"AB\U0001F600", 512, "AB", 0.55},
        {"\u2764", 512, "\u2764", 0.46}, // a heart is text unless asked otherwise
        {thumb + "X", 512, thumb + "X", 0.55},
        {family + "Y", 512, family + "Y", 0.55},
        {flag + "Z", 512, flag + "Z", 0.55},
        {"A", 32, "A", 0.46},
        {"A", 16, "", 0},
        {"", 512, "", 0},
    };
    for (const Case& c : cases) {
        const BadgeLayout layout = badgeLayout(c.badge, c.pixels);
        EXPECT_DOUBLE_EQ(layout.diameter, 0.46 * c.pixels) << c.badge;
        EXPECT_EQ(layout.text, c.text) << c.badge;
        EXPECT_DOUBLE_EQ(layout.fontSize, c.factor * 0.46 * c.pixels) << c.badge;
    }
}

} // namespace
} // namespace twinlantern
