#include "imaging/Resampler.h"

#include "common/AutomationError.h"

#include <algorithm>
#include <vector>

namespace didev {

namespace {

// Nearest integer, halves to even, for |value| < 2^51: adding 1.5 x 2^52 leaves no fraction
// bits, so the addition itself rounds in the default mode; the subtraction is exact.
inline double roundEven(double value) noexcept
{
    constexpr double kShift = 6755399441055744.0;
    return (value + kShift) - kShift;
}

struct Step {
    int index;        // floor of the position
    double weight;    // the fraction, as the float it was held in
};

// Position i x scale as a float, its floor and fraction.
Step stepAt(float scale, int i) noexcept
{
    const float position = scale * static_cast<float>(i);
    const int index = static_cast<int>(position);   // position >= 0: truncation is floor
    return Step{index, static_cast<double>(position - static_cast<float>(index))};
}

inline uint8_t toByte(double value) noexcept
{
    return static_cast<uint8_t>(std::clamp(static_cast<int>(value), 0, 255));
}

} // namespace

void resampleBilinear(const Bgr24Rows& source, const Bgr24Rows& target)
{
    if (target.width <= 0 || target.height <= 0)
        return;
    if (!source.bits || source.width < 2 || source.height < 2)
        raiseError(ErrorNumber::SubscriptOutOfRange);

    const float xScale = static_cast<float>(static_cast<double>(source.width - 1) / target.width);
    const float yScale = static_cast<float>(static_cast<double>(source.height - 1) / target.height);

    // Positions grow with the index, so the last ones show whether every neighbour exists.
    if (stepAt(xScale, target.width - 1).index + 1 >= source.width
        || stepAt(yScale, target.height - 1).index + 1 >= source.height)
        raiseError(ErrorNumber::SubscriptOutOfRange);

    struct Column {
        int offset;       // 3 x ix
        double left;      // 1 - dx
        double right;     // dx
    };
    std::vector<Column> columns(static_cast<size_t>(target.width));
    int lastPixel = 0;
    for (int x = 0; x < target.width; ++x) {
        const Step step = stepAt(xScale, x);
        columns[static_cast<size_t>(x)] = Column{3 * step.index, 1.0 - step.weight, step.weight};
        lastPixel = step.index + 1;
    }

    // The two-row blend of a source pixel is the same for every target pixel that uses it in a
    // row, so it is formed once per row for the span of pixels the row reaches.
    const int blendBytes = 3 * (lastPixel + 1);
    std::vector<double> blended(static_cast<size_t>(blendBytes));

    for (int y = 0; y < target.height; ++y) {
        const Step row = stepAt(yScale, y);
        const uint8_t* upper = source.bits + source.stride * row.index;
        const uint8_t* lower = upper + source.stride;
        const double top = 1.0 - row.weight;
        const double bottom = row.weight;
        double* v = blended.data();
        for (int c = 0; c < blendBytes; ++c)
            v[c] = roundEven(top * upper[c] + bottom * lower[c]);

        uint8_t* out = target.bits + target.stride * y;
        const Column* column = columns.data();
        for (int x = 0; x < target.width; ++x, out += 3, ++column) {
            const double* l = v + column->offset;
            const double wl = column->left;
            const double wr = column->right;
            out[0] = toByte(roundEven(wl * l[0] + wr * l[3]));
            out[1] = toByte(roundEven(wl * l[1] + wr * l[4]));
            out[2] = toByte(roundEven(wl * l[2] + wr * l[5]));
        }
    }
}

} // namespace didev
