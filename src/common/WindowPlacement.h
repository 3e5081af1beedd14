#pragma once

#include <cstdint>

namespace didev {

// A window's remembered position and size in twips. Width and Height both 0: nothing stored;
// Width -1: place the window and keep its size.
struct WindowPlacement {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;

    bool operator==(const WindowPlacement&) const = default;
};

// Window-frame sizes in twips, as currentWindowMetrics() reads them.
struct WindowMetrics {
    int32_t captionHeight = 0;
    int32_t sizingFrameWidth = 0;
    int32_t sizingFrameHeight = 0;
    int32_t borderWidth = 0;
    int32_t borderHeight = 0;

    bool operator==(const WindowMetrics&) const = default;
};

} // namespace didev
