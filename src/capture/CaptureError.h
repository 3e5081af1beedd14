#pragma once

#include <QString>

#include <cstdint>

namespace didev {

// Numbers of the errors the capture control raises, each with a description naming the call.
enum class CaptureErrorNumber : int32_t {
    InvalidArgument = 5,         // a value the member does not take
    SubscriptOutOfRange = 9,     // a device index outside the list
    NoVideoSource = 30001,       // no video source is running or video is switched off
    NotCapturing = 30002,        // fetch or readiness without start capture
    NoFrame = 30003,             // no frame arrived within the wait
    PipelineFailed = 30004,      // the media framework refused a pipeline
    StillModeNotSelected = 30005,
};

// Error source of the capture control: the executable's name followed by ".CaptureControl".
const std::string& captureErrorSource();

// Raises the numbered error with "<call>: <detail>" as its description.
[[noreturn]] void raiseCaptureError(CaptureErrorNumber number, const char* call, const QString& detail);

} // namespace didev
