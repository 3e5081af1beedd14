#pragma once

#include "ui/StatusPanel.h"
#include "ui/Screen.h"

#include <cstdint>

namespace didev {

// Which status-bar panel's menu was opened last and where the last menu anchor or pointer
// event lay (twips). A click on the panel whose menu was just dismissed, with the anchor
// still inside it, only disarms the panel: the second click of a person closing a menu by
// clicking its panel again does not reopen it.
class PanelMenuTracker {
public:
    int16_t lastMenuPanel() const { return lastMenuPanel_; }
    int32_t menuAnchorX() const { return menuAnchorX_; }
    int32_t menuAnchorY() const { return menuAnchorY_; }

    // Everything 0, as the window loads.
    void reset();
    // A command was chosen, or the window lost the focus.
    void clearPanel() { lastMenuPanel_ = 0; }
    // A press or move of the pointer over the video, in pixels.
    void pointerAt(float x, float y, const ScreenMetrics& screen);

    // False for a repeat click, which disarms the panel; otherwise arms the clicked panel with
    // the anchor just inside it and returns true: its menu opens. The status bar's top and
    // height are in twips relative to the window.
    bool admitClick(const StatusPanelClick& click, double statusBarTop, double statusBarHeight);

private:
    int16_t lastMenuPanel_ = 0;
    int32_t menuAnchorX_ = 0;
    int32_t menuAnchorY_ = 0;
};

} // namespace didev
