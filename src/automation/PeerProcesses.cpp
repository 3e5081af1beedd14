#include "automation/PeerProcesses.h"

#include <QDBusConnectionInterface>

namespace didev {

PeerProcesses::PeerProcesses(const QDBusConnection& connection)
    : connection_(connection)
{
}

uint PeerProcesses::processOf(const QString& uniqueName)
{
    if (uniqueName.isEmpty())
        return 0;
    const auto known = processes_.constFind(uniqueName);
    if (known != processes_.constEnd())
        return *known;
    QDBusConnectionInterface* daemon = connection_.interface();
    if (daemon == nullptr)
        return 0;
    const QDBusReply<uint> reply = daemon->servicePid(uniqueName);
    if (!reply.isValid())
        return 0;
    if (processes_.size() >= kMaxRemembered)
        processes_.clear();
    processes_.insert(uniqueName, reply.value());
    return reply.value();
}

bool PeerProcesses::sameProcess(const QString& one, const QString& other)
{
    const uint process = processOf(one);
    return process != 0 && process == processOf(other);
}

} // namespace didev
