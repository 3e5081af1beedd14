#include "ui/PopupMenu.h"

#include <QAction>
#include <QMenu>

namespace didev {

namespace {

void appendRows(const QMenu& menu, int16_t depth, QList<PopupMenuRow>& rows)
{
    for (const QAction* action : menu.actions()) {
        if (!action->isVisible())
            continue;
        PopupMenuRow row;
        row.depth = depth;
        if (action->isSeparator()) {
            row.flags = static_cast<int32_t>(MenuItemFlag::Separator);
            rows.append(row);
            continue;
        }
        MenuItemFlags flags;
        if (!action->isEnabled())
            flags |= MenuItemFlag::Greyed;
        if (action->isCheckable() && action->isChecked())
            flags |= MenuItemFlag::Checked;
        if (action->menu())
            flags |= MenuItemFlag::Popup;
        row.flags = flags.toInt();
        row.id = action->menu() ? 0 : action->data().toInt();
        row.text = action->text();
        rows.append(row);
        if (const QMenu* submenu = action->menu())
            appendRows(*submenu, static_cast<int16_t>(depth + 1), rows);
    }
}

} // namespace

QAction* appendMenuItem(QMenu& menu, MenuItemFlags flags, int32_t id, const QString& text, QMenu* submenu)
{
    if (flags.testFlag(MenuItemFlag::Separator))
        return menu.addSeparator();
    QAction* action = nullptr;
    if (flags.testFlag(MenuItemFlag::Popup)) {
        if (!submenu)
            submenu = new QMenu(&menu);
        submenu->setTitle(text);
        action = menu.addMenu(submenu);
    } else {
        action = menu.addAction(text);
        action->setData(id);
    }
    if (flags.testFlag(MenuItemFlag::Checked)) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    action->setEnabled(!flags.testFlag(MenuItemFlag::Greyed));
    return action;
}

QList<PopupMenuRow> popupMenuRows(const QMenu& menu)
{
    QList<PopupMenuRow> rows;
    appendRows(menu, 0, rows);
    return rows;
}

} // namespace didev
