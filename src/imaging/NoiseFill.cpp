#include "imaging/NoiseFill.h"

#include <chrono>
#include <cmath>
#include <random>

namespace didev {

void fillNoise(PixelView pixels, bool grey, uint32_t seed)
{
    if (pixels.empty())
        return;
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const auto level = [&] { return static_cast<uint8_t>(std::nearbyint(uniform(generator) * 255.0)); };
    const int step = pixels.bytesPerPixel();
    const auto pixel = [&](int x, int memoryRow) { return pixels.bits + pixels.stride * memoryRow + step * x; };
    // Grey noise runs row by row, colour noise column by column, in memory order.
    if (grey) {
        for (int row = 0; row < pixels.height; ++row)
            for (int x = 0; x < pixels.width; ++x) {
                uint8_t* p = pixel(x, row);
                p[0] = p[1] = p[2] = level();
            }
        return;
    }
    for (int x = 0; x < pixels.width; ++x)
        for (int row = 0; row < pixels.height; ++row) {
            uint8_t* p = pixel(x, row);
            p[0] = 0;
            p[1] = level();
            p[2] = level();
        }
}

uint32_t secondsSinceMidnight()
{
    const auto sinceMidnight = std::chrono::system_clock::now().time_since_epoch() % std::chrono::days(1);
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(sinceMidnight).count());
}

} // namespace didev
