#pragma once

#include "capture/CaptureOptions.h"

#include <QStringList>

#include <optional>

namespace didev {

// How didev-evivod serves automation on the session bus.
struct AutomationServerOptions {
    // Also export the test driver (--test-driver). Only the command line asks for it: any peer
    // on the bus can set the environment of the next activated server.
    bool testDriver = false;
    // The devices capture windows list; by default the system's and those of the environment.
    std::optional<CaptureOptions> capture;
};

// True when the command line asks for the automation server (--dbus).
bool automationServerRequested(const QStringList& arguments);
AutomationServerOptions automationServerOptions(const QStringList& arguments);

// Serves automation until the last instance is gone: exports the factory (and the test driver),
// claims org.kelvara.DidevEvivod and runs the event loop. Needs the QApplication to exist.
// Returns the exit status: 1, with a message on standard error, when the session bus cannot be
// reached or another process owns the name.
int runAutomationServer(const AutomationServerOptions& options);

} // namespace didev
