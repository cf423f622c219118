#include "TwinLanternApp/ui/profiles/ProfilesTabList.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"

#include "tests/app/ui/Contrast.h"
#include "tests/support/Profiles.h"

#include <QApplication>
#include <QImage>
#include <QListView>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;
using twinlantern::ui::test::contrast;

namespace {

// How well the selected row's dot stands out from the selection: the strongest pixel of
// the dot's part of the row (left of where the name starts) against the selection.
double dotOnSelection(ProfileColor color, Look look) {
    const QPalette palette = appearance::palette(look);
    QApplication::setPalette(palette);
    Profile profile = twinlantern::testing::profile("p-1", "Work");
    profile.color = color;
    ProfileListModel rows([](const std::set<std::size_t>&, std::size_t) {});
    rows.setProfiles({profile});
    QListView list;
    list.setPalette(palette);
    list.setModel(&rows);
    list.setItemDelegate(owned<ProfileRowDelegate>(&list));
    list.resize(190, 120);
    list.setCurrentIndex(rows.index(0));
    const QRect row = list.visualRect(rows.index(0));
    const QImage image = list.viewport()->grab().toImage();

    const QColor selection = palette.color(QPalette::Highlight);
    EXPECT_EQ(image.pixelColor(row.right() - 2, row.bottom() - 2), selection);
    double best = 1.0;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        for (int x = row.left(); x < row.left() + 24; ++x) {
            best = std::max(best, contrast(image.pixelColor(x, y), selection));
        }
    }
    return best;
}

TEST(ProfileRowDelegate, TheSelectedRowsDotStandsOutFromTheSelection) {
    const QPalette saved = QApplication::palette();
    for (const Look look : {Look::light, Look::dark}) {
        for (const ProfileColor color : allProfileColors) {
            SCOPED_TRACE(::testing::Message() << "look " << int(look) << ", colour " << hex(color));
            EXPECT_GE(dotOnSelection(color, look), 3.0);
        }
    }
    QApplication::setPalette(saved);
}

} // namespace
