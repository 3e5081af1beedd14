#include "common/AutomationDate.h"
#include "common/AutomationError.h"
#include "common/BitmapLayout.h"
#include "common/Picture.h"
#include "common/Rounding.h"

#include "support/AutomationErrors.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <functional>
#include <set>
#include <vector>

using namespace didev;
using didev::testing::errorNumberOf;

TEST(RoundToLong, HalvesGoToTheEvenNeighbourAndOutsideTheRangeIsOverflow)
{
    const struct { double in; int32_t out; } cases[] = {
        {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {0.49999999, 0}, {5250.4, 5250}, {5250.5, 5250},
        {5251.5, 5252}, {-2147483648.0, std::numeric_limits<int32_t>::min()},
        {-2147483648.5, std::numeric_limits<int32_t>::min()}, {2147483647.0, 2147483647}, {2147483647.4, 2147483647},
    };
    for (const auto& c : cases)
        EXPECT_EQ(roundToLong(c.in), c.out) << c.in;
    for (double value : {2147483647.5, 2147483648.0, -2147483649.0, 1e300, -HUGE_VAL, std::nan("")})
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
        {1899, 12, 31, 12, 0, 0, 1.5},
        {1900, 1, 1, 6, 0, 0, 2.25},
        {1899, 12, 29, 6, 0, 0, -1.25},   // before the epoch the time still moves away from it
        {2000, 1, 1, 0, 0, 0, 36526.0},
        {2026, 12, 5, 18, 0, 0, 46361.75},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(automationDate(c.y, c.mo, c.d, c.h, c.mi, c.s), c.expected) << c.y << "-" << c.mo << "-" << c.d;
}

TEST(Picture, HandleNamesThePictureOnlyWhileItLives)
{
    PictureHandle handle = 0;
    int descriptor = -1;
    {
        const auto picture = Picture::create(3, 2, [](uint8_t* bits, std::ptrdiff_t stride) {
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 12; ++x)
                    bits[y * stride + x] = static_cast<uint8_t>(y * 12 + x);
        });
        handle = picture->handle();
        ASSERT_NE(handle, 0u);
        EXPECT_EQ(Picture::fromHandle(handle), picture);
        EXPECT_EQ(picture->stride(), 12);
        EXPECT_EQ(picture->row(1)[0], 12);
        descriptor = picture->descriptor();
        ASSERT_GE(descriptor, 0);
    }
    EXPECT_EQ(Picture::fromHandle(handle), nullptr);
    EXPECT_EQ(Picture::fromHandle(0), nullptr);
    // Its file goes back to the system in the background, soon after.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::fcntl(descriptor, F_GETFD) != -1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(::fcntl(descriptor, F_GETFD), -1) << "the descriptor of a picture that went stays open";
}

TEST(Picture, HandlesAreDistinctAcrossThreads)
{
    std::vector<PicturePtr> pictures(400);
    std::thread other([&] {
        for (size_t i = 0; i < 200; ++i)
            pictures[i] = Picture::create(1, 1, nullptr);
    });
    for (size_t i = 200; i < 400; ++i)
        pictures[i] = Picture::create(1, 1, nullptr);
    other.join();
    std::set<PictureHandle> handles;
    for (const auto& picture : pictures)
        handles.insert(picture->handle());
    EXPECT_EQ(handles.size(), pictures.size());
    EXPECT_FALSE(handles.contains(0));
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
