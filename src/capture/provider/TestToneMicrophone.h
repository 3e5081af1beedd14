#pragma once

#include "capture/provider/SourceRecipe.h"

namespace didev {

// A microphone that picks up a quiet 440 Hz tone.
class TestToneMicrophone final : public SourceRecipe {
public:
    explicit TestToneMicrophone(std::string displayName, SourceFault fault = SourceFault::None);

    const char* deviceClass() const override { return "Audio/Source"; }
    GstCaps* caps() const override;
    std::string launchDescription() const override;
    uint64_t buffersBeforeFailure() const override;
};

} // namespace didev
