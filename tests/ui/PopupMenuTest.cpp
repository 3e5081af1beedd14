#include "ui/PopupMenu.h"

#include <QMenu>

#include <gtest/gtest.h>

using namespace didev;

namespace {

constexpr int32_t kGreyed = 0x1;
constexpr int32_t kChecked = 0x8;
constexpr int32_t kPopup = 0x10;
constexpr int32_t kSeparator = 0x800;

} // namespace

TEST(PopupMenu, FlagsSurviveTheRoundTripThroughTheMenu)
{
    QMenu menu;
    auto* submenu = new QMenu(&menu);
    appendMenuItem(*submenu, MenuItemFlag::Checked | MenuItemFlag::Greyed, 7, QStringLiteral("Deep"));
    appendMenuItem(menu, MenuItemFlag::Plain, 1, QStringLiteral("Plain"));
    appendMenuItem(menu, MenuItemFlag::Greyed, 2, QStringLiteral("Grey"));
    appendMenuItem(menu, MenuItemFlag::Separator, 99, QStringLiteral("ignored"));
    appendMenuItem(menu, MenuItemFlag::Popup, 0, QStringLiteral("Sub"), submenu);
    appendMenuItem(menu, MenuItemFlag::Checked, 3, QStringLiteral("Tick"));

    const QList<PopupMenuRow> expected{{1, 0, "Plain", 0}, {2, kGreyed, "Grey", 0}, {0, kSeparator, "", 0},
        {0, kPopup, "Sub", 0}, {7, kGreyed | kChecked, "Deep", 1}, {3, kChecked, "Tick", 0}};
    EXPECT_EQ(popupMenuRows(menu), expected);
}
