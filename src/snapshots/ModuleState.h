#pragma once

#include "common/HostBoolean.h"
#include "snapshots/SnapshotStore.h"
#include "ui/Placement.h"

#include <QString>

#include <cstdint>

namespace didev {

// The state the whole process shares: one frame store, one set of flags and placements.
// Everything here is touched only from the user-interface thread.
struct ModuleState {
    SnapshotStore snapshotStore;
    int16_t frameCounter = 0;

    bool captureWindowLoaded = false;
    bool viewerShown = false;
    // Kept as the host gives it, since the host reads it back; only -1 lets the S key grab.
    HostBoolean AllowInternalCapture = kHostTrue;
    bool accumulateFrames = true;

    QString apPath;
    QString wkPath;
    QString tmpPath;
    int32_t userRegArea = 0;

    WindowPlacement captureWindowPlacement;
    WindowPlacement viewerPlacement;
    QString closeNotifyRequest;                 // entry 1 of ShowForm's array, read at load

    // What a new automation instance starts from: no frames, numbering from 0, no window loaded
    // or shown, no placements, grabs allowed, frames accumulated. The paths and the registry
    // area stay as the host set them.
    void reset();
};

// The process's one module state.
ModuleState& moduleState();

// Releases every stored frame, empties the store and restarts the numbering at 0.
void ClearSnapshotStore();

} // namespace didev
