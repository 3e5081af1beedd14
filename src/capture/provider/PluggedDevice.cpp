#include "capture/provider/PluggedDevice.h"

#include "capture/provider/DeviceProvider.h"

#include <utility>

namespace didev {

PluggedDevice::PluggedDevice(std::shared_ptr<const SourceRecipe> recipe)
    : recipe_(std::move(recipe))
    , serial_(DeviceProvider::plug(recipe_))
{
}

PluggedDevice::~PluggedDevice()
{
    release();
}

PluggedDevice::PluggedDevice(PluggedDevice&& other) noexcept
    : recipe_(std::move(other.recipe_))
    , serial_(std::exchange(other.serial_, 0))
{
}

PluggedDevice& PluggedDevice::operator=(PluggedDevice&& other) noexcept
{
    if (this != &other) {
        release();
        recipe_ = std::move(other.recipe_);
        serial_ = std::exchange(other.serial_, 0);
    }
    return *this;
}

void PluggedDevice::release()
{
    // A device that went away by itself is off the provider already.
    if (serial_ != 0)
        DeviceProvider::unplug(std::exchange(serial_, 0));
}

} // namespace didev
