#include "ui/PopupMenu.h"

#include <QMenu>

#include <gtest/gtest.h>

using namespace didev;

namespace {

constexpr int32_t kGreyed = 0x1;
constexpr int32_t kChecked = 0x8;
constexpr int32_t kPopup = 0x10;
constexpr int32_t kSeparator = 0x800;

PopupMenuRow row(int32_t id, int32_t flags, const char* text, int16_t depth = 0)
{
    return {id, flags, QString::fromUtf8(text), depth};
}

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

    const QList<PopupMenuRow> expected{row(1, 0, "Plain"), row(2, kGreyed, "Grey"), row(0, kSeparator, ""),
        row(0, kPopup, "Sub"), row(7, kGreyed | kChecked, "Deep", 1), row(3, kChecked, "Tick")};
    EXPECT_EQ(popupMenuRows(menu), expected);
}
