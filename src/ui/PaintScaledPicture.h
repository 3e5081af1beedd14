#pragma once

namespace didev {

class PictureBox;

// Clears `target` and paints the whole picture of `source` into it at (0, 0), scaled by `scale`
// (w = source ScaleWidth x scale, h likewise, in twips). Unless `keepSize`, the target first
// takes the size w x h.
void PaintScaledPicture(PictureBox& source, PictureBox& target, float scale, bool keepSize);

} // namespace didev
