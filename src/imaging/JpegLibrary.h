#pragma once

#include <cstdint>
#include <string>

namespace didev {

class cDIBSection;

// Writes the section as a JPEG file (4:2:0, the given quality), upright, in place of what
// stands at the name, which stays as it was whenever the new file cannot be written. A name
// that may not be replaced (a FIFO, socket or device, a read-only file, a folder that cannot
// be written) raises error 75; a codec that cannot start or a file that cannot be written
// raise error 26001 with the codec's status, and the reason goes to stderr.
bool SaveDIBAsJPEG(cDIBSection& section, const std::string& fileName, int32_t quality);

} // namespace didev
