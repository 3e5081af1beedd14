// didev-host: a command-line host that drives Didev Evivod over the session bus.
#include "app/AutomationClient.h"
#include "app/HostCallError.h"
#include "app/HostCommandLine.h"
#include "app/HostSession.h"
#include "app/PrivateBus.h"
#include "common/DBusNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcessEnvironment>
#include <QTextStream>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

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

    std::unique_ptr<PrivateBus> privateBus;
    QDBusConnection bus = QDBusConnection::sessionBus();
    try {
        if (options.privateBus) {
            privateBus = std::make_unique<PrivateBus>(PrivateBus::serverBesideThisProgram(),
                PrivateBus::trialEnvironment(QProcessEnvironment::systemEnvironment()));
            bus = privateBus->connection();
            err << "didev-host: a private bus for this run; D-Bus starts " << PrivateBus::serverBesideThisProgram()
                << " on it" << Qt::endl;
        }
    } catch (const HostCallError& error) {
        err << "didev-host: " << error.message() << Qt::endl;
        return kCallFailed;
    }
    if (!bus.isConnected()) {
        err << "didev-host: cannot reach the session bus: " << bus.lastError().message()
            << "\ndidev-host: run it in a desktop session, or on a bus of its own: didev-host --private-bus COMMAND ..."
            << Qt::endl;
        return kCallFailed;
    }
    try {
        AutomationClient client(bus, options.timeoutSeconds > 0 ? options.timeoutSeconds * 1000
                                                                : AutomationClient::kDefaultTimeoutMs);
        try {
            client.create();
        } catch (const HostCallError& error) {
            throw HostCallError(error.name(), QStringLiteral("cannot create an instance: ") + error.message());
        }
        HostSession session(client, out, stopRequested);
        session.start();
        for (const HostCommand& command : options.commands)
            session.run(command);
    } catch (const HostCallError& error) {
        out.flush();
        err << "didev-host: " << error.message() << Qt::endl;
        const QString advice = hostFailureAdvice(error.name());
        for (const QString& line : advice.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            err << "didev-host: " << line << Qt::endl;
        return kCallFailed;
    }
    return 0;
}
