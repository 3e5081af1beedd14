#pragma once

#include <string>

namespace didev {

// True for an existing regular file whose permission bits grant nobody write access. Such a
// file counts as read-only and is neither replaced nor deleted, whoever runs the module.
bool isReadOnlyFile(const std::string& path);

} // namespace didev
