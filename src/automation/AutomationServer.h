#pragma once

#include <QProcessEnvironment>
#include <QStringList>

namespace didev {

// How didev-evivod serves automation on the session bus.
struct AutomationServerOptions {
    // Also export the test driver: --test-driver or DIDEV_TEST_DRIVER=1.
    bool testDriver = false;
};

// True when the command line asks for the automation server (--dbus).
bool automationServerRequested(const QStringList& arguments);
AutomationServerOptions automationServerOptions(const QStringList& arguments, const QProcessEnvironment& environment);

// Serves automation until the last instance is gone: exports the factory (and the test driver),
// claims org.kelvara.DidevEvivod and runs the event loop. Needs the QApplication to exist.
// Returns the exit status: 1, with a message on standard error, when the session bus cannot be
// reached or another process owns the name.
int runAutomationServer(const AutomationServerOptions& options);

} // namespace didev
