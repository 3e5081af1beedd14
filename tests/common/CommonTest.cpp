#include "common/AutomationDate.h"
#include "common/AutomationError.h"
#include "common/BitmapLayout.h"
#include "common/Picture.h"
#include "common/Rounding.h"

#include "support/AutomationErrors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace didev;
using didev::testing::errorNumberOf;

TEST(RoundToLong, HalvesGoToTheEvenNeighbourAndOutsideTheRangeIsOverflow)
{
    const struct { double in; int32_t out; } cases[] = {
        {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {0.49999999, 0},
        {-2147483648.5, std::numeric_limits<int32_t>::min()}, {2147483647.4, 2147483647},
    };
    for (const auto& c : cases)
        EXPECT_EQ(roundToLong(c.in), c.out) << c.in;
    for (double value : {2147483647.5, -2147483649.0, -HUGE_VAL, std::nan("")})
        EXPECT_EQ(errorNumberOf([&] { roundToLong(value); }), 6) << value;
    // The Integer's sixteen bits.
    EXPECT_EQ(roundToInteger(-32768.5), -32768);
    EXPECT_EQ(errorNumberOf([] { roundToInteger(32767.5); }), 6);
}

// Sources such as the bitmap writer's begin with the program's name.
TEST(AutomationError, ExecutableNameIsTheProgramsName)
{
    EXPECT_EQ(executableName(), "common_test");
}

TEST(AutomationDate, DaysSince1899WithTimeOfDay)
{
    const struct { int y, mo, d, h, mi, s; double expected; } cases[] = {
        {1899, 12, 30, 0, 0, 0, 0.0},
        {1899, 12, 29, 6, 0, 0, -1.25},   // before the epoch the time still moves away from it
        {2026, 12, 5, 18, 0, 0, 46361.75},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(automationDate(c.y, c.mo, c.d, c.h, c.mi, c.s), c.expected) << c.y << "-" << c.mo << "-" << c.d;
}

TEST(Picture, HoldsItsBitmapFileWithTheRowsBottomUpAndPadded)
{
    // Narrow rows, and rows wide enough for the sixteen-pixel steps, from rows of another stride.
    for (const int width : {1, 2, 5, 16, 35}) {
        constexpr int kHeight = 3;
        const std::ptrdiff_t stride = 4 * width + 8;
        std::vector<uint8_t> source(static_cast<size_t>(stride * kHeight));
        for (size_t i = 0; i < source.size(); ++i)
            source[i] = static_cast<uint8_t>(i * 7 + 1);
        const auto picture = Picture::fromBgrx(width, kHeight, source.data(), stride);

        const auto headers = bitmapFileHeader(width, kHeight);
        std::vector<uint8_t> expected(headers.begin(), headers.end());
        for (int y = kHeight - 1; y >= 0; --y) {
            for (int x = 0; x < width; ++x)
                expected.insert(expected.end(), &source[stride * y + 4 * x], &source[stride * y + 4 * x + 3]);
            expected.resize(expected.size() + (4 - 3 * width % 4) % 4, 0);
        }
        EXPECT_EQ(std::vector<uint8_t>(picture->fileBytes(), picture->fileBytes() + picture->fileSize()), expected)
            << width;
    }
}
