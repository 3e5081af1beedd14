#pragma once

#include <QFlags>
#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>

class QAction;
class QMenu;

namespace didev {

// Flags of a popup-menu item, numbered as the test driver reports them.
enum class MenuItemFlag : int32_t {
    Plain = 0,
    Greyed = 0x1,
    Checked = 0x8,
    Popup = 0x10,
    Separator = 0x800,
};
Q_DECLARE_FLAGS(MenuItemFlags, MenuItemFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(MenuItemFlags)

// Appends one item: a separator (id and text ignored), a submenu titled `text` (`submenu`
// required), or a command whose id the seam returns (QAction::data). Greyed items are
// disabled, checked ones checkable and checked.
QAction* appendMenuItem(QMenu& menu, MenuItemFlags flags, int32_t id, const QString& text, QMenu* submenu = nullptr);

// One item of a menu as a person sees it: its id (0 for separators and submenus), flags,
// text, and depth (0 in the menu itself, 1 inside a submenu, ...).
struct PopupMenuRow {
    int32_t id = 0;
    int32_t flags = 0;
    QString text;
    int16_t depth = 0;

    bool operator==(const PopupMenuRow&) const = default;
};

// The visible items of `menu` in menu order, each submenu's items right after its own row.
QList<PopupMenuRow> popupMenuRows(const QMenu& menu);

} // namespace didev

Q_DECLARE_METATYPE(didev::PopupMenuRow)
