#include "snapshots/ModuleState.h"

namespace didev {

ModuleState& moduleState()
{
    static ModuleState state;
    return state;
}

void ModuleState::reset()
{
    snapshotStore.clear();
    frameCounter = 0;
    captureWindowLoaded = false;
    viewerShown = false;
    AllowInternalCapture = kHostTrue;
    accumulateFrames = true;
    captureWindowPlacement = {};
    viewerPlacement = {};
}

void ClearSnapshotStore()
{
    ModuleState& state = moduleState();
    state.snapshotStore.clear();
    state.frameCounter = 0;
}

} // namespace didev
