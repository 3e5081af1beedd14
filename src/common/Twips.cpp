#include "common/Twips.h"

#include "common/Rounding.h"

namespace didev {

int32_t pixelsToTwips(double pixels, double twipsPerPixel)
{
    return roundToLong(pixels * twipsPerPixel);
}

int32_t twipsToPixels(double twips, double twipsPerPixel)
{
    return roundToLong(twips / twipsPerPixel);
}

} // namespace didev
