// didev-host: a command-line host that drives Didev Evivod over the session bus.
#include "app/AutomationClient.h"
#include "app/HostCallError.h"
#include "app/HostCommandLine.h"
#include "app/HostSession.h"
#include "automation/DBusNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTextStream>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int)
{
    stopRequested = true;
}

constexpr int kCallFailed = 1;
constexpr int kBadCommandLine = 2;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    using namespace didev;

    HostOptions options;
    try {
        options = parseHostCommandLine(app.arguments().mid(1));
    } catch (const HostUsageError& error) {
        err << "didev-host: " << error.what() << "\nTry 'didev-host --help'." << Qt::endl;
        return kBadCommandLine;
    }
    if (options.help) {
        out << hostUsage();
        return 0;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        err << "didev-host: cannot reach the session bus: " << bus.lastError().message() << Qt::endl;
        return kCallFailed;
    }
    try {
        AutomationClient client(bus, options.timeoutSeconds > 0 ? options.timeoutSeconds * 1000
                                                                : AutomationClient::kDefaultTimeoutMs);
        if (options.attachPath.isEmpty()) {
            try {
                client.create();
            } catch (const HostCallError& error) {
                throw HostCallError(error.name(), QStringLiteral("cannot create an instance: ") + error.message());
            }
        } else {
            const QString owner = bus.interface()->serviceOwner(QString::fromLatin1(dbus::kServiceName));
            if (owner.isEmpty())
                throw HostCallError(QStringLiteral("attach"), QStringLiteral("no server runs"));
            client.attach(owner, options.attachPath);
        }
        HostSession session(client, out, stopRequested);
        session.start();
        for (const HostCommand& command : options.commands)
            session.run(command);
    } catch (const HostCallError& error) {
        out.flush();
        err << "didev-host: " << error.message() << Qt::endl;
        return kCallFailed;
    }
    return 0;
}
