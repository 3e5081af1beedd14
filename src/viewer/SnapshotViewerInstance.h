#pragma once

namespace didev {

class SnapshotViewer;

// The process has one snapshot viewer. These reach it from the capture side, the automation
// class and the viewer's own handlers.

// The loaded viewer, or null when none is loaded.
SnapshotViewer* LoadedSnapshotViewer();

// The loaded viewer; one is created and loaded (not shown) when none is.
SnapshotViewer& SnapshotViewerWindow();

// Closes the viewer (its unload stores the placement) and destroys it once control is back in
// the event loop. Nothing happens when none is loaded.
void UnloadSnapshotViewer();

} // namespace didev
