#pragma once

#include <QFlags>
#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>
#include <span>

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

inline MenuItemFlags checkedWhen(bool condition)
{
    return condition ? MenuItemFlag::Checked : MenuItemFlag::Plain;
}

inline MenuItemFlags greyedWhen(bool condition)
{
    return condition ? MenuItemFlag::Greyed : MenuItemFlag::Plain;
}

// Appends one item: a separator (id and text ignored), a submenu titled `text` (`submenu`
// required), or a command whose id the seam returns (QAction::data). Greyed items are
// disabled, checked ones checkable and checked.
QAction* appendMenuItem(QMenu& menu, MenuItemFlags flags, int32_t id, const QString& text, QMenu* submenu = nullptr);

// One command of a menu built from a table: the id a choice returns, its text and what it does
// to `Target`. A row without text is a separator.
template <typename Target>
struct MenuCommand {
    int32_t id = 0;
    const char* text = nullptr;
    void (*run)(Target&) = nullptr;
};

// Appends the rows in order, each command with the flags `flagsOf(id)` gives it.
template <typename Target, typename FlagsOf>
void appendMenuCommands(QMenu& menu, std::span<const MenuCommand<Target>> rows, FlagsOf flagsOf)
{
    for (const MenuCommand<Target>& row : rows) {
        if (row.text)
            appendMenuItem(menu, flagsOf(row.id), row.id, QString::fromLatin1(row.text));
        else
            appendMenuItem(menu, MenuItemFlag::Separator, 0, QString());
    }
}

// Runs the command of `id` on `target`; false when no row has that id.
template <typename Target>
bool runMenuCommand(std::span<const MenuCommand<Target>> rows, int32_t id, Target& target)
{
    for (const MenuCommand<Target>& row : rows) {
        if (row.text && row.id == id) {
            row.run(target);
            return true;
        }
    }
    return false;
}

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
