#include "ui/PanelMenuTracker.h"

#include "common/Rounding.h"

#include <QApplication>
#include <QWidget>

namespace didev {

void PanelMenuTracker::pointerAt(double x, double y, const ScreenMetrics& screen)
{
    menuAnchorX_ = roundToLong(x * screen.twipsPerPixelX);
    menuAnchorY_ = roundToLong(y * screen.twipsPerPixelY);
}

void PanelMenuTracker::activationChanged(const QWidget& window)
{
    if (window.isActiveWindow() || QApplication::activePopupWidget())
        return;
    const QWidget* active = QApplication::activeWindow();
    if (!active || active->windowType() != Qt::Popup)
        clearPanel();
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

QPoint PanelMenuTracker::menuBottomLeft(const PanelMenuGeometry& geometry, const ScreenMetrics& screen)
{
    const double x = (geometry.windowLeft + geometry.sizingFrameWidth + geometry.statusBarLeft + geometry.panelLeft)
        / screen.twipsPerPixelX;
    const double y = (geometry.windowTop + geometry.windowHeight) / screen.twipsPerPixelY;
    return {roundToLong(x), roundToLong(y)};
}

} // namespace didev
