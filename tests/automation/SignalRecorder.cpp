#include "SignalRecorder.h"

#include "common/DBusNames.h"

SignalRecorder::SignalRecorder(QDBusConnection connection)
{
    for (const char* member : {"FormClosed", "SettingsChanged", "KeyDown"})
        connection.connect(QString(), QString(), QString::fromLatin1(didev::dbus::kEventsInterface),
            QString::fromLatin1(member), this, SLOT(record(QDBusMessage)));
}

QList<QDBusMessage> SignalRecorder::named(const QString& member) const
{
    QList<QDBusMessage> matching;
    for (const QDBusMessage& message : received)
        if (message.member() == member)
            matching.append(message);
    return matching;
}
