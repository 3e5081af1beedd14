#pragma once

#include "common/Twips.h"
#include "ui/WindowFrame.h"

#include <cstdint>

namespace didev {

class PlacedWindow;
struct ScreenMetrics;

// A window's remembered position and size, as the host stores it (Long values). Width and
// Height both 0: nothing stored; Width -1: place the window and keep its size.
using WindowPlacement = TwipsRect<int32_t>;

// The size the module's windows take when nothing is stored.
inline constexpr int32_t kDefaultWindowWidth = 5250;
inline constexpr int32_t kDefaultWindowHeight = 4320;

// Puts the window at the stored placement on the given screen, pulled back where it would fall
// off the right or bottom edge and clamped at 0; a stored Width of -1 keeps the window's size,
// 0 takes the default size (when that is positive). Error 6 when Left + Width overflows.
void ApplyWindowPlacement(PlacedWindow& window, const WindowPlacement& placement, int32_t defaultWidth,
    int32_t defaultHeight, const ScreenMetrics& screen, const WindowMetrics& metrics);

// The same on the primary screen, after refreshing the window metrics.
void ApplyWindowPlacement(PlacedWindow& window, const WindowPlacement& placement, int32_t defaultWidth,
    int32_t defaultHeight);

// Remembers the window's outer frame, each value rounded to a whole twip with halves to even.
void StoreWindowPlacement(const PlacedWindow& window, WindowPlacement& placement);

} // namespace didev
