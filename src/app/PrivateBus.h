#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace didev {

// A session bus of didev-host's own, to try the module without installing it: a dbus-daemon whose
// one service folder activates the given server executable. The bus, and with it the server, ends
// with this object.
class PrivateBus {
public:
    // `environment` is the daemon's, and so the server's. Throws HostCallError when the daemon
    // does not start, naming what to do about it.
    PrivateBus(const QString& serverExecutable, const QProcessEnvironment& environment);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& address() const noexcept { return address_; }
    QDBusConnection connection() const;

    // The didev-evivod beside the running program (in the build tree as when installed).
    static QString serverBesideThisProgram();
    // The server's environment for a trial: a built-in "Test Pattern" camera, listed after the
    // machine's own, unless the environment names virtual cameras already.
    static QProcessEnvironment trialEnvironment(QProcessEnvironment environment);

private:
    // Lines of the server's output go to standard error as they complete.
    void forwardServerOutput(QProcess::ProcessChannel channel);

    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QString connectionName_;
    QByteArray pendingOutput_;
    QByteArray pendingError_;
};

} // namespace didev
