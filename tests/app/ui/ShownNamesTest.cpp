#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/onboarding/SignInStep.h"

#include "tests/app/ui/ShownNames.h"
#include "tests/app/ui/UiTest.h"
#include "tests/support/Profiles.h"

#include "core/profiles/ProfileStore.h"

#include <QApplication>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

struct Case {
    std::string name; // as stored
    std::string kept; // as shown: without its own embeddings, overrides and isolates
};

const Case cases[] = {
    {"עבודה", "עבודה"},                         // Hebrew
    {"عمل", "عمل"},                             // Arabic
    {"\u202Eevil\u202C mixed", "evil mixed"},   // RLO … PDF
    {"\u202Dlro", "lro"},                       // LRO never closed
    {"a\u2066b\u2067c\u2068d\u2069e", "abcde"}, // every isolate
    {"lone\u2069 pdi", "lone pdi"},             // a PDI that closes nothing
};

// The first and last columns a label draws ink in, in a 300-pixel-wide label.
std::pair<int, int> inkColumns(QLabel& label) {
    label.setPalette(appearance::palette(Look::light));
    label.setAutoFillBackground(true);
    label.setFixedSize(300, 30);
    const QImage image = label.grab().toImage();
    const QColor background = image.pixelColor(0, 0);
    int first = image.width(), last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != background) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
        }
    }
    return {first, last};
}

TEST(ShownNames, ANameAloneIsOneIsolatedRunInTheInterfacesDirection) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget holder;
        QLabel* ltr = nameLabel(c.name, &holder);
        EXPECT_EQ(ltr->text(), test::alone(c.kept));
        EXPECT_EQ(ltr->textFormat(), Qt::PlainText);
        const auto [ltrFirst, ltrLast] = inkColumns(*ltr);
        EXPECT_LT(ltrFirst, 10);
        EXPECT_LT(ltrLast, 150);

        QApplication::setLayoutDirection(Qt::RightToLeft);
        QLabel* rtl = nameLabel(c.name, &holder);
        QApplication::setLayoutDirection(Qt::LeftToRight);
        EXPECT_EQ(utf8(rtl->text()), "\u200F" + test::inText(c.kept));
        const auto [rtlFirst, rtlLast] = inkColumns(*rtl);
        EXPECT_GT(rtlFirst, 150);
        EXPECT_GT(rtlLast, 290);
    }
}

TEST(ShownNames, TheSignInStepShowsEachNameIsolatedAndStoresItAsItWas) {
    test::UiModel ui;
    ProfileDocument document;
    std::vector<ProfileID> created;
    int n = 0;
    for (const Case& c : cases) {
        document.profiles.push_back(tltest::profile("p-" + std::to_string(n++), c.name));
        created.push_back(document.profiles.back().id);
    }
    ui.fixture.writeDocument(document);
    ui.start();
    SignInStep step(*ui.bridge, created, false, [](bool) {});
    ui.settle();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool shown = false;
        for (const QLabel* label : step.findChildren<QLabel*>()) {
            shown = shown || label->text() == test::alone(c.kept);
        }
        EXPECT_TRUE(shown);
    }
    EXPECT_EQ(ProfileStore(ui.fixture.home.paths).load(), document);
    EXPECT_EQ(ui.model->document().profiles, document.profiles);
}

} // namespace
