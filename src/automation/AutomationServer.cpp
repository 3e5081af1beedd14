#include "automation/AutomationServer.h"

#include "automation/AutomationService.h"
#include "automation/Module.h"
#include "common/DBusNames.h"
#include "automation/TestDriver.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace didev {

namespace {

using namespace std::chrono_literals;

// A server started by activation whose caller never creates an instance goes away by itself.
constexpr auto kIdleTimeout = 60s;
// Long enough for calls the bus routed here before the name was given up to arrive.
constexpr auto kDrainTime = 250ms;

void printError(const QString& text)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(text));
}

} // namespace

bool automationServerRequested(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("--dbus"));
}

AutomationServerOptions automationServerOptions(const QStringList& arguments)
{
    AutomationServerOptions options;
    options.testDriver = arguments.contains(QStringLiteral("--test-driver"));
    return options;
}

int runAutomationServer(const AutomationServerOptions& options)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        printError(QStringLiteral("cannot reach the session bus: %1").arg(bus.lastError().message()));
        return 1;
    }
    // Once per process: what every instance shares.
    Module module(options.capture);
    AutomationService service(module, bus);
    if (!service.exportFactory()) {
        printError(QStringLiteral("cannot export %1").arg(QLatin1String(dbus::kFactoryPath)));
        return 1;
    }
    std::unique_ptr<TestDriver> driver;
    if (options.testDriver) {
        driver = std::make_unique<TestDriver>(bus);
        if (!driver->exportObject()) {
            printError(QStringLiteral("cannot export %1").arg(QLatin1String(dbus::kTestDriverPath)));
            return 1;
        }
    }
    // The objects are in place before the name is owned, so the first call finds them.
    if (!bus.registerService(QString::fromLatin1(dbus::kServiceName))) {
        printError(QStringLiteral("%1 is already served on this session bus by another process")
                       .arg(QLatin1String(dbus::kServiceName)));
        return 1;
    }
    // Once the name is given up, calls for it start a new server; this one ends after serving
    // what the bus had already routed to it, unless that brings a new instance.
    QTimer exit;
    exit.setSingleShot(true);
    exit.setInterval(kDrainTime);
    QObject::connect(&exit, &QTimer::timeout, [] { QCoreApplication::exit(0); });
    service.onFinished = [&bus, &exit] {
        bus.unregisterService(QString::fromLatin1(dbus::kServiceName));
        exit.start();
    };
    service.onRevived = [&bus, &exit] {
        if (!bus.registerService(QString::fromLatin1(dbus::kServiceName)))
            return false;   // a new server has it; the host asks that one
        exit.stop();
        return true;
    };
    // The server lives as long as its instances, whatever windows the user closes.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    service.startIdleTimeout(kIdleTimeout);
    return QCoreApplication::exec();
}

} // namespace didev
