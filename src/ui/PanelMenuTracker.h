#pragma once

#include "ui/Screen.h"
#include "ui/StatusPanel.h"

#include <QPoint>

#include <cstdint>

class QWidget;

namespace didev {

// Where a panel's menu opens, all in twips: the window's outer left, top and height, the
// sizing frame's width, the status bar's left in the window and the panel's left in the bar.
struct PanelMenuGeometry {
    double windowLeft = 0;
    double windowTop = 0;
    double windowHeight = 0;
    double sizingFrameWidth = 0;
    double statusBarLeft = 0;
    double panelLeft = 0;
};

// Which status-bar panel's menu was opened last and where the last menu anchor or pointer
// press lay (twips). A click on the panel whose menu was just dismissed, with the anchor still
// inside it, only disarms the panel: the second click of a person closing a menu by clicking
// its panel again does not reopen it.
class PanelMenuTracker {
public:
    int16_t lastMenuPanel() const { return lastMenuPanel_; }
    int32_t menuAnchorX() const { return menuAnchorX_; }
    int32_t menuAnchorY() const { return menuAnchorY_; }

    // Everything 0, as the window loads.
    void reset() { *this = PanelMenuTracker(); }
    // A command was chosen, or the window lost the focus.
    void clearPanel() { lastMenuPanel_ = 0; }
    // A press or move of the pointer over the window, in pixels of the window's client area.
    void pointerAt(double x, double y, const ScreenMetrics& screen);
    // The window's activation changed: losing it to another window clears the panel, losing it
    // to a popup menu (some window systems hand it over, some late) does not.
    void activationChanged(const QWidget& window);

    // False for a repeat click, which disarms the panel; otherwise arms the clicked panel with
    // the anchor just inside it and returns true: its menu opens. The status bar's top and
    // height are in twips relative to the window.
    bool admitClick(const StatusPanelClick& click, double statusBarTop, double statusBarHeight);

    // The menu's bottom-left corner in screen pixels: on the window's bottom edge, under the panel.
    static QPoint menuBottomLeft(const PanelMenuGeometry& geometry, const ScreenMetrics& screen);

private:
    int16_t lastMenuPanel_ = 0;
    int32_t menuAnchorX_ = 0;
    int32_t menuAnchorY_ = 0;
};

} // namespace didev
