#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServer>

#include <memory>

// A D-Bus connection pair without a bus daemon: the server side exports objects, the client
// side calls them, both on this thread (calls wait with an event loop, so the server answers).
class PeerBus {
public:
    PeerBus();
    ~PeerBus();

    QDBusConnection& server() { return *server_; }
    QDBusConnection& client() { return client_; }

    // A call from the client to `path` on the server side.
    QDBusMessage call(const QString& path, const QString& interfaceName, const QString& member,
        const QVariantList& arguments = {});

private:
    QDBusServer listener_;
    std::unique_ptr<QDBusConnection> server_;
    QDBusConnection client_;
};
