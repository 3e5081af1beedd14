#include "capture/provider/TestPatternCamera.h"

#include <algorithm>

namespace didev {

namespace {

// Text of the running clock: readable in a small window, in proportion on a large picture.
int clockFontSize(int height)
{
    return std::max(20, height / 54);
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
    std::string description = "videotestsrc is-live=true pattern=" + settings_.pattern + " ! video/x-raw,format="
        + (jpeg ? "I420" : "YUY2") + ",width=" + std::to_string(settings_.width) + ",height="
        + std::to_string(settings_.height) + ",framerate=" + std::to_string(settings_.framesPerSecond)
        + "/1,pixel-aspect-ratio=1/1";
    // Plain text on a shaded box: an outline and a shadow would double the cost of drawing the
    // text anew for every frame.
    description += " ! timeoverlay time-mode=running-time halignment=center valignment=bottom font-desc=\"Sans Bold "
        + std::to_string(clockFontSize(settings_.height))
        + "\" shaded-background=true draw-outline=false draw-shadow=false";
    if (jpeg)
        description += " ! jpegenc ! capsfilter caps=\"" + offeredCaps() + "\"";
    return description;
}

uint64_t TestPatternCamera::buffersBeforeFailure() const
{
    return static_cast<uint64_t>(std::max(5, settings_.framesPerSecond / 2));
}

} // namespace didev
