#pragma once

#include <cstdint>
#include <string>

namespace didev {

class cDIBSection;

// Writes the section as a JPEG file (4:2:0, the given quality), upright. An existing file of
// that name is deleted first; when that fails the deletion's error 75 is raised. A codec that
// cannot start or a file that cannot be written raise error 26001 with the codec's status.
bool SaveDIBAsJPEG(cDIBSection& section, const std::string& fileName, int32_t quality);

} // namespace didev
