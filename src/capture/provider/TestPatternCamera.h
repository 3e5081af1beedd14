#pragma once

#include "capture/provider/SourceRecipe.h"

namespace didev {

// How a test-pattern camera sends its pictures: raw YUY2 as most cameras do, or JPEG only.
enum class PictureEncoding { RawYuy2, Jpeg };

// A camera that films a test pattern with a burnt-in running clock, at one size and rate.
class TestPatternCamera final : public SourceRecipe {
public:
    struct Settings {
        std::string pattern = "smpte";   // a videotestsrc pattern name
        int width = 640;
        int height = 480;
        int framesPerSecond = 25;
        PictureEncoding encoding = PictureEncoding::RawYuy2;
        SourceFault fault = SourceFault::None;
    };

    TestPatternCamera(std::string displayName, Settings settings);

    const Settings& settings() const { return settings_; }

    const char* deviceClass() const override { return "Video/Source"; }
    GstCaps* caps() const override;
    std::string launchDescription() const override;
    uint64_t buffersBeforeFailure() const override;

private:
    std::string offeredCaps() const;

    Settings settings_;
};

} // namespace didev
