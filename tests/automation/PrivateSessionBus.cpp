#include "PrivateSessionBus.h"

#include "common/DBusNames.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>

#include <signal.h>
#include <sys/prctl.h>

#include <stdexcept>

namespace {

QString connectionName(const QString& address, int number)
{
    return QStringLiteral("%1#%2").arg(address).arg(number);
}

} // namespace

PrivateSessionBus::PrivateSessionBus(const QProcessEnvironment& environment, bool withTestDriver)
    : control_(QString())
{
    QProcessEnvironment daemonEnvironment = QProcessEnvironment::systemEnvironment();
    daemonEnvironment.insert(environment);
    daemon_.setProcessEnvironment(daemonEnvironment);
    daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that crashes takes its bus along, and the bus its server.
    daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    const QString config = QStringLiteral("--config-file=%1")
                               .arg(withTestDriver ? QStringLiteral(DIDEV_TEST_DRIVER_BUS_CONFIG) : QStringLiteral(DIDEV_TEST_BUS_CONFIG));
    daemon_.start(QStringLiteral("dbus-daemon"), {config, QStringLiteral("--print-address=1"), QStringLiteral("--nofork")});
    if (!daemon_.waitForStarted(10000))
        throw std::runtime_error("dbus-daemon does not start");
    const QDeadlineTimer deadline(10000);
    while (!daemon_.canReadLine() && !deadline.hasExpired())
        daemon_.waitForReadyRead(100);
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty())
        throw std::runtime_error("dbus-daemon printed no address");
    control_ = connect();
}

PrivateSessionBus::~PrivateSessionBus()
{
    for (int number = 1; number <= connections_; ++number)
        QDBusConnection::disconnectFromBus(connectionName(address_, number));
    // A server still running loses its bus and ends by itself.
    daemon_.terminate();
    if (!daemon_.waitForFinished(5000))
        daemon_.kill();
    daemon_.waitForFinished(5000);
}

QDBusConnection PrivateSessionBus::connect()
{
    QDBusConnection connection = QDBusConnection::connectToBus(address_, connectionName(address_, ++connections_));
    if (!connection.isConnected())
        throw std::runtime_error("cannot connect to the private bus: " + connection.lastError().message().toStdString());
    return connection;
}

void PrivateSessionBus::disconnect(QDBusConnection& connection)
{
    const QString name = connection.name();
    connection = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(name);
}

QProcessEnvironment PrivateSessionBus::hostEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    return environment;
}

pid_t PrivateSessionBus::serverPid()
{
    const auto reply = control_.interface()->servicePid(QString::fromLatin1(didev::dbus::kServiceName));
    return reply.isValid() ? static_cast<pid_t>(reply.value()) : 0;
}

bool PrivateSessionBus::waitUntilServerGone(std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    do {
        if (!control_.interface()->isServiceRegistered(QString::fromLatin1(didev::dbus::kServiceName)).value())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    } while (!deadline.hasExpired());
    return false;
}
