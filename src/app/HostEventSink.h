#pragma once

#include "common/DBusTableObject.h"
#include "common/HostStringArray.h"

#include <QDBusConnection>

#include <cstdint>
#include <functional>

namespace didev {

// A host's sink object for Advise: the module calls these while it waits; each handler may
// change its arguments, which go back in the reply. A handler that throws answers with an error
// (the module then drops the sink). Unset handlers leave the arguments as they came.
class HostEventSink final : public DBusTableObject {
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

private:
    QDBusConnection bus_;
    QString path_;
    bool exported_ = false;
};

} // namespace didev
