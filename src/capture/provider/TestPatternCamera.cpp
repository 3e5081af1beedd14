#include "capture/provider/TestPatternCamera.h"

#include <algorithm>

namespace didev {

namespace {

// Text of the running clock: the overlay sizes it in proportion to the picture's width, so the
// same size is readable in a small window at every picture size.
constexpr int kClockFontSize = 20;

// Patterns whose pictures change from frame to frame by design; the others are drawn once.
bool isMoving(const std::string& pattern)
{
    return pattern == "ball" || pattern == "snow" || pattern == "blink";
}

} // namespace

TestPatternCamera::TestPatternCamera(std::string displayName, Settings settings)
    : SourceRecipe(std::move(displayName), settings.fault)
    , settings_(std::move(settings))
{
}

std::string TestPatternCamera::offeredCaps() const
{
    const std::string shape = ",width=" + std::to_string(settings_.width) + ",height=" + std::to_string(settings_.height)
        + ",framerate=" + std::to_string(settings_.framesPerSecond) + "/1,pixel-aspect-ratio=1/1";
    return settings_.encoding == PictureEncoding::Jpeg ? "image/jpeg" + shape : "video/x-raw,format=YUY2" + shape;
}

GstCaps* TestPatternCamera::caps() const
{
    return gst_caps_from_string(offeredCaps().c_str());
}

std::string TestPatternCamera::launchDescription() const
{
    const bool jpeg = settings_.encoding == PictureEncoding::Jpeg;
    std::string raw = jpeg ? "video/x-raw,format=I420" : "video/x-raw,format=YUY2";
    raw += ",width=" + std::to_string(settings_.width) + ",height=" + std::to_string(settings_.height);
    raw += ",framerate=" + std::to_string(settings_.framesPerSecond) + "/1,pixel-aspect-ratio=1/1";
    // A camera spends none of the host's time on making its pictures: a still pattern is drawn
    // once and sent again at the camera's rate, live, only the clock drawn anew on each frame.
    const bool moving = isMoving(settings_.pattern);
    std::string description = moving ? "videotestsrc is-live=true pattern=" : "videotestsrc num-buffers=1 pattern=";
    description += settings_.pattern;
    description += " ! ";
    description += raw;
    if (!moving)
        description += " ! imagefreeze is-live=true";
    // Plain text on a shaded box: an outline and a shadow would double the cost of drawing the
    // text anew for every frame.
    description += " ! timeoverlay time-mode=running-time halignment=center valignment=bottom font-desc=\"Sans Bold "
        + std::to_string(kClockFontSize) + "\" shaded-background=true draw-outline=false draw-shadow=false";
    if (jpeg)
        description += " ! jpegenc ! capsfilter caps=\"" + offeredCaps() + "\"";
    return description;
}

uint64_t TestPatternCamera::buffersBeforeFailure() const
{
    return static_cast<uint64_t>(std::max(5, settings_.framesPerSecond / 2));
}

} // namespace didev
