#pragma once

#include "imaging/PixelView.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace didev {

// Takes the file's bytes in order; false stops the write.
using ByteSink = std::function<bool(const uint8_t* bytes, size_t size)>;

// The whole bitmap file of the pixels. A 24-bit bottom-up view goes out as it lies; any other
// is converted a band of rows at a time, so no copy of the whole picture is made. False as
// soon as the sink refuses.
bool writeBitmapFile(ConstPixelView pixels, const ByteSink& write);

// Writes the bitmap file in place of what stands at the name. A file that cannot be created
// raises error 17 with the system's text, a FIFO, socket or device at the name error 75. A
// write that fails (a full disk) gives false; what stood at the name then stays.
bool saveBitmapFile(ConstPixelView pixels, const std::string& fileName);

} // namespace didev
