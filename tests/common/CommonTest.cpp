#include "common/AutomationDate.h"
#include "common/AutomationError.h"
#include "common/BitmapLayout.h"
#include "common/Picture.h"
#include "common/Rounding.h"

#include "support/AutomationErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Pictures made back to back, each asking for its successor's file: the next one finds its file
// ready, half made (handed over by the thread that makes them) or not begun, and a change of size
// sends the files made ahead back. Every picture holds exactly its rows and zero padding.
TEST(Picture, BackToBackPicturesHoldTheirRowsWhateverStateTheirFileWasIn)
{
    const auto patterned = [](int width, int height, int seed) {
        return Picture::make(width, height, [=](uint8_t* rows, std::ptrdiff_t stride, int first, int end) {
            for (int r = first; r < end; ++r)
                for (int x = 0; x < 3 * width; ++x)
                    rows[stride * (r - first) + x] = static_cast<uint8_t>(x * 31 + r * 7 + seed);
        });
    };
    const auto holdsPattern = [](const Picture& picture, int seed) {
        const int width = picture.width();
        const auto headers = bitmapFileHeader(width, picture.height());
        const uint8_t* bytes = picture.fileBytes();
        if (!std::equal(headers.begin(), headers.end(), bytes))
            return false;
        const std::ptrdiff_t stride = (3 * width + 3) & ~3;
        for (int r = 0; r < picture.height(); ++r)
            for (int x = 0; x < stride; ++x)
                if (bytes[headers.size() + stride * r + x] != (x < 3 * width ? static_cast<uint8_t>(x * 31 + r * 7 + seed) : 0))
                    return false;
        return true;
    };
    std::vector<std::pair<PicturePtr, int>> kept;
    for (int i = 0; i < 24; ++i) {
        const int width = i % 8 < 6 ? 1001 : 640;
        const int height = i % 8 < 6 ? 700 : 480;
        kept.emplace_back(patterned(width, height, i), i);
        Picture::prepareNext(width, height);
        if (i % 3 == 1)
            kept.erase(kept.begin());   // a frame let go while the next files are made
        ASSERT_TRUE(holdsPattern(*kept.back().first, i)) << i;
    }
    // The files let go are handed back and the next ones made; the kept pictures stay as they were.
    Picture::settleFiles();
    for (const auto& [picture, seed] : kept)
        EXPECT_TRUE(holdsPattern(*picture, seed)) << seed;
}
