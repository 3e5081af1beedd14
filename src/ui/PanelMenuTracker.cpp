#include "ui/PanelMenuTracker.h"

#include "common/Rounding.h"

namespace didev {

void PanelMenuTracker::reset()
{
    lastMenuPanel_ = 0;
    menuAnchorX_ = 0;
    menuAnchorY_ = 0;
}

void PanelMenuTracker::pointerAt(float x, float y, const ScreenMetrics& screen)
{
    menuAnchorX_ = roundToLong(x * screen.twipsPerPixelX);
    menuAnchorY_ = roundToLong(y * screen.twipsPerPixelY);
}

bool PanelMenuTracker::admitClick(const StatusPanelClick& click, double statusBarTop, double statusBarHeight)
{
    const int64_t panelRight = static_cast<int64_t>(click.left) + click.width;
    const bool anchorInPanel = click.left <= menuAnchorX_ && menuAnchorX_ <= panelRight && statusBarTop <= menuAnchorY_
        && menuAnchorY_ <= statusBarTop + statusBarHeight;
    if (lastMenuPanel_ == click.index && anchorInPanel) {
        lastMenuPanel_ = 0;
        return false;
    }
    lastMenuPanel_ = click.index;
    menuAnchorX_ = roundToLong(static_cast<double>(click.left) + 1);
    menuAnchorY_ = roundToLong(statusBarTop + 1);
    return true;
}

} // namespace didev
