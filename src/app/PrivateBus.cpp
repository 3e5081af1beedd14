#include "app/PrivateBus.h"

#include "app/HostCallError.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <signal.h>
#include <sys/prctl.h>

#include <cstdio>

namespace didev {

namespace {

constexpr int kStartMs = 10000;
constexpr char kVirtualVideoVariable[] = "DIDEV_VIRTUAL_VIDEO";
constexpr char kTrialCamera[] = "Test Pattern:smpte:1280x720@25";

[[noreturn]] void fail(const QString& message)
{
    throw HostCallError(QStringLiteral("private-bus"), message);
}

// One of the templates in dbus/, with its one placeholder filled in, written to `target`.
void writeFromTemplate(const char* resource, const char* placeholder, const QString& value, const QString& target)
{
    QFile in(QString::fromLatin1(resource));
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("%1 is missing from didev-host").arg(QLatin1String(resource)));
    QByteArray text = in.readAll();
    text.replace(placeholder, value.toUtf8());
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        fail(QStringLiteral("cannot write %1: %2").arg(target, out.errorString()));
}

} // namespace

PrivateBus::PrivateBus(const QString& serverExecutable, const QProcessEnvironment& environment)
    : folder_(QDir::temp().filePath(QStringLiteral("didev-host-bus-XXXXXX")))
{
    if (!QFileInfo(serverExecutable).isExecutable())
        fail(QStringLiteral("no server to start: %1 is not there (build the target didev-evivod)").arg(serverExecutable));
    if (!folder_.isValid())
        fail(QStringLiteral("no folder for the bus: %1").arg(folder_.errorString()));
    const QString services = folder_.filePath(QStringLiteral("services"));
    QDir().mkpath(services);
    writeFromTemplate(":/bus/org.kelvara.DidevEvivod.service.in", "@DIDEV_EVIVOD_EXECUTABLE@",
        QFileInfo(serverExecutable).absoluteFilePath(), services + QStringLiteral("/org.kelvara.DidevEvivod.service"));
    const QString configuration = folder_.filePath(QStringLiteral("bus.conf"));
    writeFromTemplate(":/bus/private-session.conf.in", "@DIDEV_SERVICE_DIR@", services, configuration);

    daemon_.setProcessEnvironment(environment);
    // The server writes where the daemon does; the daemon's own notes are left out.
    QObject::connect(&daemon_, &QProcess::readyReadStandardError, &daemon_,
        [this] { forwardServerOutput(QProcess::StandardError); });
    // didev-host killed takes its bus along, and the bus the server.
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon_.start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--config-file=") + configuration, QStringLiteral("--print-address=1"), QStringLiteral("--nofork")});
    if (!daemon_.waitForStarted(kStartMs))
        fail(QStringLiteral("cannot start dbus-daemon (%1); it comes with the package dbus").arg(daemon_.errorString()));
    const QDeadlineTimer deadline(kStartMs);
    while (!daemon_.canReadLine() && daemon_.state() == QProcess::Running && !deadline.hasExpired())
        daemon_.waitForReadyRead(100);
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty())
        fail(QStringLiteral("dbus-daemon did not start: %1").arg(QString::fromLocal8Bit(daemon_.readAllStandardError()).trimmed()));
    QObject::connect(&daemon_, &QProcess::readyReadStandardOutput, &daemon_,
        [this] { forwardServerOutput(QProcess::StandardOutput); });
    forwardServerOutput(QProcess::StandardOutput);
    connectionName_ = QStringLiteral("didev-host private bus");
    const QDBusConnection bus = QDBusConnection::connectToBus(address_, connectionName_);
    if (!bus.isConnected())
        fail(QStringLiteral("cannot connect to the private bus: %1").arg(bus.lastError().message()));
}

PrivateBus::~PrivateBus()
{
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName_);
    daemon_.terminate();
    if (!daemon_.waitForFinished(5000))
        daemon_.kill();
    daemon_.waitForFinished(5000);
}

void PrivateBus::forwardServerOutput(QProcess::ProcessChannel channel)
{
    QByteArray& pending = channel == QProcess::StandardError ? pendingError_ : pendingOutput_;
    pending += channel == QProcess::StandardError ? daemon_.readAllStandardError() : daemon_.readAllStandardOutput();
    for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
        const QByteArray line = pending.left(end + 1);
        pending.remove(0, end + 1);
        if (!line.startsWith("dbus-daemon["))
            std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    }
}

QDBusConnection PrivateBus::connection() const
{
    return QDBusConnection(connectionName_);
}

QString PrivateBus::serverBesideThisProgram()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("didev-evivod"));
}

QProcessEnvironment PrivateBus::trialEnvironment(QProcessEnvironment environment)
{
    if (!environment.contains(QString::fromLatin1(kVirtualVideoVariable)))
        environment.insert(QString::fromLatin1(kVirtualVideoVariable), QString::fromLatin1(kTrialCamera));
    return environment;
}

} // namespace didev
