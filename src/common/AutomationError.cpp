#include "common/AutomationError.h"

#include <unistd.h>

#include <array>

namespace didev {

namespace {

std::string formatWhat(int32_t number, const std::string& source, const std::string& description)
{
    return "Error " + std::to_string(number) + " (" + source + "): " + description;
}

std::string readExecutableName()
{
    std::array<char, 4096> path{};
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0)
        return "didev-evivod";
    const std::string full(path.data(), static_cast<size_t>(length));
    const auto slash = full.find_last_of('/');
    return slash == std::string::npos ? full : full.substr(slash + 1);
}

} // namespace

AutomationError::AutomationError(int32_t number, std::string source, std::string description)
    : std::runtime_error(formatWhat(number, source, description))
    , number_(number)
    , source_(std::move(source))
    , description_(std::move(description))
{
}

AutomationError::AutomationError(ErrorNumber number, std::string source, std::string description)
    : AutomationError(static_cast<int32_t>(number), std::move(source), std::move(description))
{
}

std::string standardErrorText(ErrorNumber number)
{
    switch (number) {
    case ErrorNumber::Overflow: return "Overflow";
    case ErrorNumber::SubscriptOutOfRange: return "Subscript out of range";
    case ErrorNumber::BitmapFileNotCreated: return "Can't create bitmap file";
    case ErrorNumber::PathFileAccess: return "Path/File access error";
    case ErrorNumber::ObjectNotSet: return "Object variable or With block variable not set";
    case ErrorNumber::InvalidPropertyValue: return "Invalid property value";
    case ErrorNumber::PrinterError: return "Printer error";
    case ErrorNumber::JpegLibrary: return "JPEG library failure";
    }
    return "Application-defined or object-defined error";
}

void raiseError(ErrorNumber number)
{
    throw AutomationError(number, kModuleErrorSource, standardErrorText(number));
}

void raiseError(ErrorNumber number, const std::string& reason)
{
    throw AutomationError(number, kModuleErrorSource, standardErrorText(number) + ": " + reason);
}

const std::string& executableName()
{
    static const std::string name = readExecutableName();
    return name;
}

} // namespace didev
