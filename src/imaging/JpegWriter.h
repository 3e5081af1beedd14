#pragma once

#include "imaging/PixelView.h"

#include <cstdint>
#include <string>
#include <vector>

namespace didev {

// The JPEG of the pixels (4:2:0, the given quality), upright, compressed straight from either
// layout. A codec that cannot start or refuses the pixels raises error 26001, and TurboJPEG's
// own reason goes to stderr.
std::vector<uint8_t> encodeJpeg(ConstPixelView pixels, int quality);

// Writes the JPEG in place of what stands at the name, which stays as it was whenever the new
// file cannot be written. A name that may not be replaced (a FIFO, socket or device, a
// read-only file, a folder that cannot be written) raises error 75; a codec that cannot start
// or a file that cannot be written raise error 26001, and the reason goes to stderr.
bool saveJpegFile(ConstPixelView pixels, const std::string& fileName, int quality);

} // namespace didev
