#pragma once

#include "common/DBusMethodTable.h"
#include "common/HostStringArray.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <cstdint>
#include <functional>

namespace didev {

// A host's sink object for Advise: the module calls these while it waits; each handler may
// change its arguments, which go back in the reply. A handler that throws answers with an error
// (the module then drops the sink). Unset handlers leave the arguments as they came.
class HostEventSink final : public QDBusVirtualObject {
    Q_OBJECT

public:
    std::function<void(HostStringArray& passDataArray)> onFormClosed;
    std::function<void(HostStringArray& passDataArray)> onSettingsChanged;
    std::function<void(int16_t& keyCode, int16_t& shift)> onKeyDown;

    HostEventSink(const QDBusConnection& bus, QString path, QObject* parent = nullptr);
    ~HostEventSink() override;

    // False when the path is taken on this connection.
    bool exportObject();
    const QString& path() const noexcept { return path_; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QDBusConnection bus_;
    QString path_;
    DBusMethodTable methods_;
    bool exported_ = false;
};

} // namespace didev
