#pragma once

#include "common/HostBoolean.h"
#include "snapshots/FrameStore.h"
#include "ui/Placement.h"

#include <QString>

#include <cstdint>

namespace didev {

// The state every automation instance of the process shares: one frame store, one set of flags
// and placements. The module that serves the instances owns it and hands it to the windows by
// reference; everything here is touched only from the user-interface thread.
struct ModuleState {
    FrameStore snapshotStore;
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

    // Releases every stored frame, empties the store and restarts the numbering at 0.
    void clearFrames();
};

} // namespace didev
