#pragma once

#include <QString>

#include <cstdint>

namespace didev {

class CaptureWindow;

// The highest frame ID; a grab that would go past it is refused.
inline constexpr int16_t kMaxFrameId = 32767;

// Grabs the newest frame of the capture window's video into the frame store and returns its
// frame ID, or 0 when no frame was stored. With no video device selected nothing happens; every
// other failure (not ready, start or fetch failing, the store or the numbering at its limit)
// shows the capture window's "SNAPSHOT FAILED" banner. Capture is always stopped once it was
// started. Unless only the latest frame is kept, the viewer then shows the new frame: the one on
// screen switches to it, otherwise it opens at the frame's size, at its saved place or under
// the capture window.
int16_t CaptureSnapshot(CaptureWindow& captureWindow, const QString& frameTimecode);

// The capture window's "S" key grabs with an empty timecode.
void ConnectSnapshotKey(CaptureWindow& captureWindow);

} // namespace didev
