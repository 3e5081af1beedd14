#pragma once

#include "common/HostBoolean.h"

#include <QMargins>

#include <cstdint>
#include <optional>

class QWidget;

namespace didev {

// Window-frame sizes in twips.
struct WindowMetrics {
    int32_t captionHeight = 0;
    int32_t sizingFrameWidth = 0;
    int32_t sizingFrameHeight = 0;
    int32_t borderWidth = 0;
    int32_t borderHeight = 0;

    bool operator==(const WindowMetrics&) const = default;
};

// Window metrics from the frame the window system draws around a top-level window, given in
// pixels. The frame is split into caption, sizing frame and a border of at most one pixel so
// that captionHeight + sizingFrameHeight + borderHeight is the frame's whole height; each part
// is converted to twips and rounded before it is doubled.
WindowMetrics windowMetricsFromFrame(const QMargins& framePixels, double twipsPerPixelX, double twipsPerPixelY);

// The frame margins, in pixels, of the first shown top-level window of the process (a normal
// window or dialog before a tool window); nothing when no window is shown.
std::optional<QMargins> shownWindowFrame();

// The frame a window would get before one is shown: the style's title bar and frame width, or
// no frame at all when the window system draws none (offscreen, a bare X server).
QMargins estimatedWindowFrame();

// The window metrics from the real frame of a shown window, or from the estimate while none is
// shown; read afresh at each call, as windows come and go and window managers reframe them.
WindowMetrics currentWindowMetrics();

// Tests fix the metrics to a framed desktop's on any display; nothing restores the real ones.
void setFixedWindowMetrics(std::optional<WindowMetrics> metrics);

// Puts the window above all normal windows (or back among them) without hiding it or moving it.
void keepOnTop(QWidget& window, bool onTop = true);

} // namespace didev
