#pragma once

#include "capture/provider/SourceRecipe.h"

#include <cstdint>
#include <memory>

namespace didev {

// A device of the module's own provider, offered for as long as the handle lives.
class PluggedDevice {
public:
    PluggedDevice() = default;
    explicit PluggedDevice(std::shared_ptr<const SourceRecipe> recipe);
    ~PluggedDevice();
    PluggedDevice(PluggedDevice&& other) noexcept;
    PluggedDevice& operator=(PluggedDevice&& other) noexcept;
    PluggedDevice(const PluggedDevice&) = delete;
    PluggedDevice& operator=(const PluggedDevice&) = delete;

    uint64_t serial() const { return serial_; }
    const SourceRecipe* recipe() const { return recipe_.get(); }

private:
    void release();

    std::shared_ptr<const SourceRecipe> recipe_;
    uint64_t serial_ = 0;
};

} // namespace didev
