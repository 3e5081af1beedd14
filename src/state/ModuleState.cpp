#include "state/ModuleState.h"

namespace didev {

ModuleState& moduleState()
{
    static ModuleState state;
    return state;
}

void ClearSnapshotStore()
{
    ModuleState& state = moduleState();
    for (int i = 1; i <= state.snapshotStore.upperBound(); ++i)
        state.snapshotStore.at(i).picture.reset();
    state.snapshotStore.reset();
    state.frameCounter = 0;
}

} // namespace didev
