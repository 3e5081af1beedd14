#include "ui/Placement.h"

#include "common/AutomationError.h"
#include "common/Rounding.h"
#include "ui/PlacedWindow.h"
#include "ui/Screen.h"
#include "ui/WindowFrame.h"

#include <limits>

namespace didev {

namespace {

// A sum of two stored values as a 32-bit integer; past its range it is an overflow.
int32_t checkedSum(int32_t a, int32_t b)
{
    const int64_t sum = int64_t{a} + int64_t{b};
    if (sum < std::numeric_limits<int32_t>::min() || sum > std::numeric_limits<int32_t>::max())
        raiseError(ErrorNumber::Overflow);
    return static_cast<int32_t>(sum);
}

double clampedAtZero(int32_t value)
{
    return value < 0 ? 0.0 : value;
}

} // namespace

void ApplyWindowPlacement(PlacedWindow& window, const WindowPlacement& placement, int32_t defaultWidth,
    int32_t defaultHeight, const ScreenMetrics& screen, const WindowMetrics& metrics)
{
    const double pulledBackLeft = screen.width - window.width() - metrics.borderWidth;
    if (placement.Width == -1) {
        const bool offRight = static_cast<float>(window.width()) + static_cast<float>(placement.Left)
            > static_cast<float>(screen.width);
        window.setLeft(offRight ? pulledBackLeft : clampedAtZero(placement.Left));
    } else {
        const bool offRight = screen.width < checkedSum(placement.Left, placement.Width);
        window.setLeft(offRight ? pulledBackLeft : clampedAtZero(placement.Left));
    }

    // At least 300 twips of the window stay above the bottom edge.
    const double lowestTop = screen.height - 300;
    window.setTop(lowestTop < placement.Top ? lowestTop : clampedAtZero(placement.Top));

    if (placement.Width == 0) {
        if (defaultWidth > 0)
            window.setWidth(defaultWidth);
    } else if (placement.Width > 0) {
        window.setWidth(placement.Width);
    }
    if (placement.Height == 0) {
        if (defaultHeight > 0)
            window.setHeight(defaultHeight);
    } else if (placement.Height > 0) {
        window.setHeight(placement.Height);
    }
}

void ApplyWindowPlacement(PlacedWindow& window, const WindowPlacement& placement, int32_t defaultWidth,
    int32_t defaultHeight)
{
    ApplyWindowPlacement(window, placement, defaultWidth, defaultHeight, screenMetrics(), currentWindowMetrics());
}

void StoreWindowPlacement(const PlacedWindow& window, WindowPlacement& placement)
{
    placement.Top = roundToLong(window.top());
    placement.Left = roundToLong(window.left());
    placement.Width = roundToLong(window.width());
    placement.Height = roundToLong(window.height());
}

} // namespace didev
