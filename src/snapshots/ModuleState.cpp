#include "snapshots/ModuleState.h"

namespace didev {

void ModuleState::reset()
{
    clearFrames();
    captureWindowLoaded = false;
    viewerShown = false;
    AllowInternalCapture = kHostTrue;
    accumulateFrames = true;
    captureWindowPlacement = {};
    viewerPlacement = {};
}

void ModuleState::clearFrames()
{
    snapshotStore.clear();
    frameCounter = 0;
}

} // namespace didev
