#pragma once

#include <string>

namespace didev {

// The system's message text for an errno value ("No such file or directory" for ENOENT).
std::string systemErrorText(int errorNumber);

} // namespace didev
