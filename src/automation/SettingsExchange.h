#pragma once

#include "common/HostStringArray.h"
#include "snapshots/ModuleState.h"
#include "ui/Placement.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace didev {

// A live window's geometry as the host reads it (Single values).
using LiveWindowGeometry = TwipsRect<float>;

// Numbered properties the host sets; other numbers are ignored.
enum class PropertyId : int16_t {
    UserRegArea = 1,
    AccumulateFrames = 3,
};

// ShowForm's input: entries 2..9 (capture Top, Left, Width, Height, then the viewer's) are read
// in that order as Longs, each stored before the next is read, then entry 1 is kept as the
// close-notify request. Error 9 for a missing subscript and error 6 for a number no Long holds;
// whatever was stored before the failure stays.
void ReadShowFormSettings(const HostStringArray& passDataArray, ModuleState& state);

// GetSettings from the live windows: entries 1..4 the capture window's Top, Left, Width,
// Height, 5..8 the viewer's, as single-precision text. No capture window: all eight empty;
// no viewer shown: 5..8 empty. Entries are written in order; error 9 at the first missing one.
void WriteLiveSettings(HostStringArray& passDataArray, const std::optional<LiveWindowGeometry>& captureWindow,
    const std::optional<LiveWindowGeometry>& viewer);

// The capture window's own GetSettings: entries 1..8 from the placement records as Long text.
void WritePlacementSettings(HostStringArray& passDataArray, const WindowPlacement& captureWindow,
    const WindowPlacement& viewer);

// The array FormClosed carries: subscripts 0..20, entries 1..8 as WritePlacementSettings.
HostStringArray FormClosedSettings(const WindowPlacement& captureWindow, const WindowPlacement& viewer);

// CloseForm's input: true when entry 1 is exactly "N" (this close raises no FormClosed).
bool CloseFormSuppressesEvent(const HostStringArray& passDataArray);

// SetProperty: 1 sets userRegArea to the leading number of the text as a Long (error 6 when
// none holds it); 3 sets accumulateFrames, false only for exactly "N"; others change nothing.
void ApplyProperty(int16_t propID, const QString& propValue, ModuleState& state);

} // namespace didev
