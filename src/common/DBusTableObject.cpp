#include "common/DBusTableObject.h"

#include "common/DBusInterfaceXml.h"

namespace didev {

DBusTableObject::DBusTableObject(const QString& interfaceName, QObject* parent)
    : QDBusVirtualObject(parent)
    , methods_(interfaceName)
{
}

QString DBusTableObject::introspect(const QString&) const
{
    return dbusInterfaceXml(methods_.interfaceName());
}

bool DBusTableObject::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    return methods_.dispatch(message, connection);
}

} // namespace didev
