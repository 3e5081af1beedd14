#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <chrono>
#include <sys/types.h>

// A session bus of its own for one test: dbus-daemon with the build tree's configuration, whose
// service folder activates the server built here, with the test driver when asked for. The
// daemon's environment, and so that of the server it starts, is this process's plus `environment`.
class PrivateSessionBus {
public:
    explicit PrivateSessionBus(const QProcessEnvironment& environment, bool withTestDriver = false);
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // A new connection: each one is a host of its own.
    QDBusConnection connect();
    void disconnect(QDBusConnection& connection);

    // The environment a host process needs to reach this bus.
    QProcessEnvironment hostEnvironment() const;

    // The process that owns the service name now, if any.
    pid_t serverPid();
    // Waits (serving events) until no process owns the service name.
    bool waitUntilServerGone(std::chrono::milliseconds timeout);

private:
    QProcess daemon_;
    QString address_;
    QDBusConnection control_;
    int connections_ = 0;
};
