#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QString>

namespace didev {

// The process behind a unique bus name, asked of the bus daemon once per name: the daemon
// never gives a unique name to another connection, so its process cannot change.
class PeerProcesses {
public:
    explicit PeerProcesses(const QDBusConnection& connection);

    // 0 when the daemon cannot tell (the name has left, or there is no daemon).
    uint processOf(const QString& uniqueName);
    // Both names are connections of one process, known to the daemon.
    bool sameProcess(const QString& one, const QString& other);

private:
    // Forgetting costs only a new question to the daemon.
    static constexpr qsizetype kMaxRemembered = 1024;

    QDBusConnection connection_;
    QHash<QString, uint> processes_;
};

} // namespace didev
