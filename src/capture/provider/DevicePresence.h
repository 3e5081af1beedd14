#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace didev {

// Whether a device of the module's own provider is still plugged in. Its elements look at it
// for every buffer and fail as an unplugged camera does once it is gone; a device that goes
// away by itself calls vanish(), which takes it off the provider.
class DevicePresence {
public:
    DevicePresence(uint64_t serial, std::function<void(uint64_t)> unplug)
        : serial_(serial)
        , unplug_(std::move(unplug))
    {
    }

    uint64_t serial() const { return serial_; }
    bool plugged() const { return plugged_.load(); }
    // The provider has taken the device off.
    void unplugged() { plugged_.store(false); }
    // The device goes away by itself (any thread).
    void vanish()
    {
        if (plugged_.exchange(false) && unplug_)
            unplug_(serial_);
    }

private:
    const uint64_t serial_;
    const std::function<void(uint64_t)> unplug_;
    std::atomic<bool> plugged_{true};
};

} // namespace didev
