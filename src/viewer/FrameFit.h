#pragma once

#include <cstdint>

namespace didev {

// The sizes the viewer fits a frame with, all in twips as the window toolkit reports them.
struct FitWindow {
    double width = 0;              // the window's outer width
    double height = 0;             // the window's outer height
    double statusBarHeight = 0;
    int32_t captionHeight = 0;
    int32_t sizingFrameWidth = 0;
};

// The scale that fits a picture of pictureWidth x pictureHeight twips into the window: the
// width decides unless the scaled height would not fit above the status bar.
float FitRatio(const FitWindow& window, double pictureWidth, double pictureHeight);

// Below this scale a frame is not drawn at all.
inline constexpr float kSmallestFitRatio = 0.1f;

// Where the shown picture (shownWidth x shownHeight twips) goes: centred in the room above the
// status bar, or at 0 on an axis where it does not fit. The horizontal test allows for the
// sizing frame on both sides, the centring for one.
struct FramePosition {
    double left = 0;
    double top = 0;
};
FramePosition FramePositionIn(const FitWindow& window, double shownWidth, double shownHeight);

} // namespace didev
