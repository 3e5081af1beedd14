#pragma once

#include "common/Picture.h"

#include <random>

namespace didev::testing {

// A picture of random bytes, the fourth of each pixel included; the same seed, the same picture.
inline PicturePtr noisePicture(int width, int height, uint32_t seed = 99)
{
    std::mt19937 generator(seed);
    return Picture::create(width, height, [&](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 4 * width; ++x)
                bits[stride * y + x] = static_cast<uint8_t>(generator());
    });
}

} // namespace didev::testing
