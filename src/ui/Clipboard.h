#pragma once

#include "imaging/PixelView.h"

namespace didev {

// Puts the pixels on the clipboard as an image. Only the image form is offered: asking for a
// DIB tells the user so and gives false, as does a run without a GUI or without pixels.
bool copyToClipboard(ConstPixelView pixels, bool asDib);

} // namespace didev
