#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <string>

namespace didev {

// How a device of the module's own provider misbehaves, as real cameras do.
enum class SourceFault {
    None,
    FailsToStart,      // refuses to open, like a camera another program holds
    FailsMidStream,    // sends some buffers, then errors as an unplugged camera does and goes away
};

// What one device of the module's own provider is: how a device monitor lists it (name, class,
// caps) and the chain of elements that stands for it. Each kind of device derives from it;
// nothing outside the provider asks which kind a device is.
class SourceRecipe {
public:
    SourceRecipe(std::string displayName, SourceFault fault);
    virtual ~SourceRecipe();
    SourceRecipe(const SourceRecipe&) = delete;
    SourceRecipe& operator=(const SourceRecipe&) = delete;

    const std::string& displayName() const { return displayName_; }
    SourceFault fault() const { return fault_; }

    // "Video/Source" or "Audio/Source".
    virtual const char* deviceClass() const = 0;
    // What the device offers (a new reference).
    virtual GstCaps* caps() const = 0;
    // The chain in gst-launch-1.0 syntax. The device's element is made of exactly this, so
    // the same device can run outside the module (benchmarks compare against it).
    virtual std::string launchDescription() const = 0;
    // Buffers a device that fails mid-stream sends before it goes.
    virtual uint64_t buffersBeforeFailure() const = 0;

private:
    std::string displayName_;
    SourceFault fault_;
};

} // namespace didev
