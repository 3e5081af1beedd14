#pragma once

#include "capture/CaptureOptions.h"
#include "snapshots/ModuleState.h"
#include "viewer/FramePrinting.h"

#include <QPointer>

#include <optional>
#include <vector>

namespace didev {

class SnapshotViewer;

// Everything the automation instances of one process share: the module state, the one snapshot
// viewer, the devices capture windows list and the print run under way. Whoever serves the
// instances (the bus server, the in-process host, a test) makes one and hands it to each; it
// outlives them and their windows.
class Module {
public:
    // Without a choice of devices, capture windows list the system's and the virtual ones the
    // environment names, read at each creation.
    explicit Module(std::optional<CaptureOptions> captureOptions = std::nullopt);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    ModuleState& state() { return state_; }
    const ModuleState& state() const { return state_; }
    FramePrinter& printer() { return printer_; }

    // What a new automation instance starts from (see ModuleState::reset); the viewer, if one is
    // loaded, stays.
    void reset() { state_.reset(); }

    // The devices of capture windows created from now on.
    void setCaptureOptions(std::optional<CaptureOptions> options) { captureOptions_ = std::move(options); }
    CaptureOptions captureOptionsForNewWindow() const;

    // The loaded viewer, or null when none is loaded.
    SnapshotViewer* loadedViewer() const;
    // The loaded viewer; one is created and loaded (not shown) when none is.
    SnapshotViewer& viewer();
    // Closes the viewer (its unload stores the placement) and destroys it once control is back
    // in the event loop. Nothing happens when none is loaded.
    void unloadViewer();

private:
    ModuleState state_;
    FramePrinter printer_{state_};
    std::optional<CaptureOptions> captureOptions_;
    QPointer<SnapshotViewer> viewer_;
    // Viewers closed but not yet deleted when a new one took over: none may outlive the state.
    std::vector<QPointer<SnapshotViewer>> closing_;
};

} // namespace didev
