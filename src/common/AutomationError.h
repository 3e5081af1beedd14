#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace didev {

// Numbers of the automation errors the module raises.
enum class ErrorNumber : int32_t {
    Overflow = 6,
    SubscriptOutOfRange = 9,
    BitmapFileNotCreated = 17,
    PathFileAccess = 75,
    ObjectNotSet = 91,
    InvalidPropertyValue = 380,
    PrinterError = 482,
    JpegLibrary = 26001,
};

// Source of errors raised by the module's own code, as the host sees it.
inline constexpr const char* kModuleErrorSource = "KelvaraDidevEvivod";

// The one exception type every failure of the module travels in: a numbered error
// with the source that raised it and a description, as the host receives it.
class AutomationError : public std::runtime_error {
public:
    AutomationError(int32_t number, std::string source, std::string description);
    AutomationError(ErrorNumber number, std::string source, std::string description);

    int32_t number() const noexcept { return number_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& description() const noexcept { return description_; }

private:
    int32_t number_;
    std::string source_;
    std::string description_;
};

// The standard text of the common error numbers ("Subscript out of range", ...).
std::string standardErrorText(ErrorNumber number);

// An error of the module's own source with the standard text of its number.
[[noreturn]] void raiseError(ErrorNumber number);
// The same with a reason after the standard text ("Path/File access error: Permission denied").
[[noreturn]] void raiseError(ErrorNumber number, const std::string& reason);

// The executable's name without its folder, as the imaging code names its error source.
const std::string& executableName();

} // namespace didev
