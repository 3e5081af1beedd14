#pragma once

#include "ui/InteractionSeam.h"
#include "ui/PopupMenu.h"

#include <QDBusArgument>

#include <cstdint>

// The test driver's rows on the bus: a menu item as (id, flags, text, depth), a message box as
// (prompt, caption, style).
namespace didev {

inline QDBusArgument& operator<<(QDBusArgument& argument, const PopupMenuRow& row)
{
    argument.beginStructure();
    argument << row.id << row.flags << row.text << row.depth;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, PopupMenuRow& row)
{
    argument.beginStructure();
    argument >> row.id >> row.flags >> row.text >> row.depth;
    argument.endStructure();
    return argument;
}

inline QDBusArgument& operator<<(QDBusArgument& argument, const ShownMessage& message)
{
    argument.beginStructure();
    argument << message.prompt << message.caption << static_cast<int16_t>(message.style);
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, ShownMessage& message)
{
    int16_t style = 0;
    argument.beginStructure();
    argument >> message.prompt >> message.caption >> style;
    argument.endStructure();
    message.style = style;
    return argument;
}

} // namespace didev
