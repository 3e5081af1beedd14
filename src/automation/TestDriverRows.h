#pragma once

#include <QDBusArgument>
#include <QList>
#include <QString>

#include <cstdint>

namespace didev {

// One item of a menu that ClickPanel saw open: (id, flags, text, depth) on the bus.
struct MenuRow {
    int32_t id = 0;
    int32_t flags = 0;
    QString text;
    int16_t depth = 0;
    bool operator==(const MenuRow&) const = default;
};

// One message box as it was shown: (prompt, caption, style) on the bus.
struct MessageRow {
    QString prompt;
    QString caption;
    int16_t style = 0;
    bool operator==(const MessageRow&) const = default;
};

inline QDBusArgument& operator<<(QDBusArgument& argument, const MenuRow& row)
{
    argument.beginStructure();
    argument << row.id << row.flags << row.text << row.depth;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, MenuRow& row)
{
    argument.beginStructure();
    argument >> row.id >> row.flags >> row.text >> row.depth;
    argument.endStructure();
    return argument;
}

inline QDBusArgument& operator<<(QDBusArgument& argument, const MessageRow& row)
{
    argument.beginStructure();
    argument << row.prompt << row.caption << row.style;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, MessageRow& row)
{
    argument.beginStructure();
    argument >> row.prompt >> row.caption >> row.style;
    argument.endStructure();
    return argument;
}

} // namespace didev

Q_DECLARE_METATYPE(didev::MenuRow)
Q_DECLARE_METATYPE(didev::MessageRow)
