#pragma once

#include "common/HostStringArray.h"

#include <cstdint>

namespace didev {

// The events of the capture window, raised synchronously from inside its handlers; the
// arguments are passed by reference so the receiver sees and may change the very values.
class CaptureWindowEvents {
public:
    virtual ~CaptureWindowEvents() = default;

    virtual void FormClosed(HostStringArray& passDataArray) = 0;
    // Declared for the host; the window never raises it.
    virtual void SettingsChanged(HostStringArray& passDataArray) = 0;
    virtual void KeyDown(int16_t& keyCode, int16_t& shift) = 0;
};

} // namespace didev
