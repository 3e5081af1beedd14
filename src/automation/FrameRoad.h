#pragma once

#include <QString>

#include <cstdint>

namespace didev {

class CaptureWindow;
class Module;

// The road of a frame: grabbed from the capture window's live picture, kept in the frame store,
// shown in the snapshot viewer. The capture window only asks (grab, show, discard, close the
// viewer); the answers are here, above both windows.

// The highest frame ID; a grab that would go past it is refused.
inline constexpr int16_t kMaxFrameId = 32767;

// Grabs the newest frame of the capture window's video into the module's frame store and
// returns its frame ID, or 0 when no frame was stored. With no video device selected nothing
// happens; every other failure (not ready, start or fetch failing, the store or the numbering at
// its limit) shows the capture window's "SNAPSHOT FAILED" banner. Capture is always stopped once
// it was started. Unless only the latest frame is kept, the module's viewer then shows the new
// frame: the one on screen switches to it, otherwise it opens at the frame's size, at its saved
// place or under the capture window.
int16_t CaptureSnapshot(Module& module, CaptureWindow& captureWindow, const QString& frameTimecode);

// Answers the capture window's requests: the "S" key and the options menu grab with an empty
// timecode, "Show Captured Frames" and "Discard Captured Frames", and the viewer's close as the
// window unloads.
void ConnectFrameRoad(Module& module, CaptureWindow& captureWindow);

} // namespace didev
