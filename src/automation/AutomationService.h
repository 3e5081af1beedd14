#pragma once

#include "common/DBusTableObject.h"
#include "automation/PeerProcesses.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QTimer>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace didev {

class AutomationInstance;
class Module;

// The factory object and the instances it made. An instance belongs to the unique name of the
// host that created it, and only that host (or another connection of its process) may call it.
// It ends with its Release or when that name leaves the bus: at once it is off the bus, its
// boxes close and its window leaves the screen; the destruction sequence runs once nothing of
// it is left on the stack (another host's open box does not hold it up).
// When the last instance has ended, or none came for a while after start, or the bus is gone,
// the server has nothing to serve and says so; a CreateInstance that still reaches it then
// revives it if it can.
class AutomationService final : public DBusTableObject {
public:
    // Its instances share `module`, which outlives the service.
    AutomationService(Module& module, const QDBusConnection& connection, QObject* parent = nullptr);
    ~AutomationService() override;

    // Registers the factory at its path; false when the path is taken on this connection.
    bool exportFactory();
    // Finished is also announced when no instance is created within `timeout` of this call.
    void startIdleTimeout(std::chrono::milliseconds timeout);

    int instanceCount() const { return static_cast<int>(instances_.size()); }
    // Instances that ended but wait to be destroyed.
    int endingCount() const { return static_cast<int>(ending_.size()); }
    // How long instances created from now on wait for a sink's reply.
    void setSinkTimeout(std::chrono::milliseconds timeout) { sinkTimeout_ = timeout; }

    // The server has nothing left to serve.
    std::function<void()> onFinished;
    // A host asks for an instance after all: true when the server can go on serving.
    std::function<bool()> onRevived;

private:
    QString createInstance(const QString& owner);
    void endInstance(AutomationInstance* instance);
    void endInstancesOf(const QString& owner);
    void reapEndedInstances();
    void finishWhenEmpty();
    void finish();
    void checkConnection();

    Module& module_;
    QDBusConnection connection_;
    QDBusServiceWatcher ownerWatcher_;
    PeerProcesses peers_;
    std::chrono::milliseconds sinkTimeout_;
    std::map<int, std::unique_ptr<AutomationInstance>> instances_;
    // Unregistered from the bus, destroyed once idle.
    std::vector<std::unique_ptr<AutomationInstance>> ending_;
    int nextNumber_ = 1;
    bool everCreated_ = false;
    bool finished_ = false;
    QTimer idleTimer_;
    QTimer reapTimer_;
    QTimer connectionTimer_;
};

} // namespace didev
