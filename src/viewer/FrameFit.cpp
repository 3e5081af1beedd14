#include "viewer/FrameFit.h"

#include "common/Rounding.h"

namespace didev {

float FitRatio(const FitWindow& window, double pictureWidth, double pictureHeight)
{
    float ratio = static_cast<float>(window.width / pictureWidth);
    const int32_t room = roundToLong(window.height - window.statusBarHeight - window.captionHeight);
    if (static_cast<float>(pictureHeight) * ratio > room)
        ratio = static_cast<float>(room / pictureHeight);
    return ratio;
}

FramePosition FramePositionIn(const FitWindow& window, double shownWidth, double shownHeight)
{
    FramePosition position;
    const double room = (window.height - window.captionHeight) - window.statusBarHeight;
    if (room > shownHeight)
        position.top = (room - shownHeight) / 2;
    if (window.width - 2.0 * window.sizingFrameWidth > shownWidth)
        position.left = (window.width - window.sizingFrameWidth - shownWidth) / 2;
    return position;
}

} // namespace didev
