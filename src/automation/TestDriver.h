#pragma once

#include "common/DBusTableObject.h"

#include <QDBusConnection>
#include <QVariantMap>

class QWidget;

namespace didev {

class CaptureWindow;

// The hands and eyes of a person at the screen, for end-to-end tests, at
// /org/kelvara/DidevEvivod/TestDriver. Everything acts through the real widgets: key and mouse
// events sent to them, their close boxes, and the interaction seam for modal windows, whose
// scripted answers are given through their real buttons and items. Windows are "capture",
// "viewer" and "message"; geometry is in twips.
class TestDriver final : public DBusTableObject {
    Q_OBJECT

public:
    // Modal windows wait for scripted answers from now on, never for a person.
    explicit TestDriver(const QDBusConnection& connection, QObject* parent = nullptr);
    ~TestDriver() override;

    // False when the path is taken on this connection.
    bool exportObject();

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // The window of that name on the screen now, if loaded; InvalidArgs for an unknown name.
    static QWidget* findWindow(const QString& name);

private:
    void addDeviceMethods();
    void addInputMethods();
    void addObservationMethods();

    QDBusConnection connection_;
    bool exported_ = false;
};

} // namespace didev
