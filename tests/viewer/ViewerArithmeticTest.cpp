#include "viewer/FrameFit.h"
#include "viewer/SavedFrameName.h"

#include <gtest/gtest.h>

namespace didev {
namespace {

// A 720 x 576 frame at 15 twips per pixel.
constexpr double kFrameWidth = 10800;
constexpr double kFrameHeight = 8640;

TEST(FitRatio, WidthDecidesUnlessTheScaledHeightLacksRoom)
{
    const struct {
        const char* fault;
        FitWindow window;
        float expected;
    } cases[] = {
        {"height ignored when the scaled frame is too tall", {5250, 4320, 300, 0, 0}, 4020.0f / 8640},
        {"width ignored when there is room", {5250, 6000, 300, 0, 0}, 5250.0f / 10800},
        {"caption not taken from the room", {5250, 4320, 300, 285, 0}, 3735.0f / 8640},
        // The room is a whole number of twips, halves to even: 4027.5 -> 4028.
        {"room not rounded as a Long", {5250, 4320, 292.5, 0, 0}, 4028.0f / 8640},
        {"sizing frame taken from the width", {5250, 6000, 300, 0, 120}, 5250.0f / 10800},
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(FitRatio(c.window, kFrameWidth, kFrameHeight), c.expected) << c.fault;
}

TEST(FramePositionIn, CentresWhereThereIsRoomAndKeepsTheOddFrameAllowance)
{
    const struct {
        const char* fault;
        FitWindow window;
        double shownWidth;
        double shownHeight;
        double left;
        double top;
    } cases[] = {
        {"no room below: top 0; centred across", {5250, 4320, 300, 0, 0}, 5025, 4020, 112.5, 0},
        {"centred in the room above the status bar", {5250, 6000, 300, 0, 0}, 5250, 4200, 0, 750},
        {"caption not taken from the room", {5250, 6000, 300, 300, 0}, 5000, 4200, 125, 600},
        {"frame allowance subtracted once in the centring", {5250, 4320, 300, 0, 60}, 5025, 4020, 82.5, 0},
        {"frame allowance subtracted twice in the test", {5250, 4320, 300, 0, 120}, 5025, 4020, 0, 0},
        {"equal height is not room", {5250, 4320, 300, 0, 0}, 5250, 4020, 0, 0},
    };
    for (const auto& c : cases) {
        const FramePosition position = FramePositionIn(c.window, c.shownWidth, c.shownHeight);
        EXPECT_DOUBLE_EQ(position.left, c.left) << c.fault;
        EXPECT_DOUBLE_EQ(position.top, c.top) << c.fault;
    }
}

// A name without an extension and a JPEG name saved as a bitmap are typed into the viewer's
// dialog (SnapshotViewerTest).
TEST(SavedFrameName, TheFilterDecidesTheExtensionOverTheLastFourCharacters)
{
    const struct {
        const char* chosen;
        int filter;
        const char* fileName;   // nullptr: a filter index that names no filter saves nothing
        PictureFormat format;
    } cases[] = {
        {"SHOT1.JPG", 1, "SHOT1.JPG", PictureFormat::Jpeg},
        {"a.BMP", 2, "a.BMP", PictureFormat::Bitmap},
        {"b.bmp", 1, "b.bmp.jpg", PictureFormat::Jpeg},
        {"x.jpeg", 1, "x.jpeg.jpg", PictureFormat::Jpeg},
        {"jpg", 1, "jpg.jpg", PictureFormat::Jpeg},
        {"shot1", 0, nullptr, {}}, {"shot1", 3, nullptr, {}},
    };
    for (const auto& c : cases) {
        const auto name = savedFrameName(QString::fromLatin1(c.chosen), c.filter);
        ASSERT_EQ(name.has_value(), c.fileName != nullptr) << c.chosen << " " << c.filter;
        if (!name)
            continue;
        EXPECT_EQ(name->fileName, QString::fromLatin1(c.fileName)) << c.chosen;
        EXPECT_EQ(name->format, c.format) << c.chosen;
    }
}

} // namespace
} // namespace didev
