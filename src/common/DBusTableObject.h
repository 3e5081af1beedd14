#pragma once

#include "common/DBusMethodTable.h"

#include <QDBusVirtualObject>

namespace didev {

// An object on the bus that serves the methods of one interface from its table; its
// introspection data is that interface's element of the interface files.
class DBusTableObject : public QDBusVirtualObject {
    Q_OBJECT

public:
    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    // The methods it serves of its interface.
    const DBusMethodTable& methodTable() const noexcept { return methods_; }

protected:
    DBusTableObject(const QString& interfaceName, QObject* parent);

    DBusMethodTable methods_;
};

} // namespace didev
