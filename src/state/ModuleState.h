#pragma once

#include "common/HostBoolean.h"
#include "common/WindowPlacement.h"
#include "snapshots/SnapshotStore.h"

#include <QString>

#include <cstdint>

namespace didev {

// The state the whole process shares: one frame store, one set of flags and placements.
// Everything here is touched only from the user-interface thread.
struct ModuleState {
    SnapshotStore snapshotStore;
    int16_t frameCounter = 0;

    HostBoolean captureWindowLoaded = kHostFalse;
    HostBoolean viewerShown = kHostFalse;
    HostBoolean AllowInternalCapture = kHostTrue;   // kept as the host gives it
    bool accumulateFrames = true;

    QString apPath;
    QString wkPath;
    QString tmpPath;
    int32_t userRegArea = 0;

    WindowPlacement captureWindowPlacement;
    WindowPlacement viewerPlacement;
    QString closeNotifyRequest;                 // entry 1 of ShowForm's array, read at load

    HostBoolean videoDeviceChanged = kHostFalse;     // set by the device watch, polled by the heartbeat
    WindowMetrics windowMetrics;
};

// The process's one module state.
ModuleState& moduleState();

// Releases every stored frame, empties the store and restarts the numbering at 0.
void ClearSnapshotStore();

} // namespace didev
