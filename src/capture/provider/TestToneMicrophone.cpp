#include "capture/provider/TestToneMicrophone.h"

namespace didev {

namespace {

constexpr const char* kToneCaps = "audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=1";

} // namespace

TestToneMicrophone::TestToneMicrophone(std::string displayName, SourceFault fault)
    : SourceRecipe(std::move(displayName), fault)
{
}

GstCaps* TestToneMicrophone::caps() const
{
    return gst_caps_from_string(kToneCaps);
}

std::string TestToneMicrophone::launchDescription() const
{
    // A capsfilter by name: bare caps at the end of a description are read as an element.
    std::string description = "audiotestsrc is-live=true freq=440 volume=0.1 ! capsfilter caps=\"";
    description += kToneCaps;
    description += '"';
    return description;
}

uint64_t TestToneMicrophone::buffersBeforeFailure() const
{
    return 50;   // about a second in buffers of 1024 samples
}

} // namespace didev
