#include "capture/CaptureOptions.h"
#include "capture/DeviceList.h"
#include "capture/FrameSlot.h"
#include "capture/SourceFormat.h"
#include "capture/VideoFrame.h"
#include "capture/VideoView.h"
#include "capture/VirtualKeys.h"
#include "common/AutomationError.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <thread>

using namespace didev;

namespace {

// A BGRx sample of one colour; `shortBy` bytes missing makes it a corrupt frame.
GstSamplePtr bgrxSample(int width, int height, uint32_t colour, size_t shortBy = 0)
{
    ensureGstreamer();
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 4 - shortBy;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    for (size_t i = 0; i + 4 <= size; i += 4)
        std::memcpy(map.data + i, &colour, 4);
    gst_buffer_unmap(buffer, &map);
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, width,
                                        "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, 25, 1, nullptr);
    GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
    gst_buffer_unref(buffer);
    gst_caps_unref(caps);
    return GstSamplePtr(sample);
}

std::shared_ptr<VideoFrame> frameOf(int stage, uint32_t colour = 0xff102030)
{
    return VideoFrame::fromSample(bgrxSample(8, 4, colour), stage, GST_CLOCK_TIME_NONE);
}

} // namespace

// --- Virtual device configuration -------------------------------------------------------

struct VideoEntryCase {
    const char* text;
    const char* name;
    const char* pattern;
    VideoFormat format;
    VirtualCameraKind kind = VirtualCameraKind::Raw;
};

class VirtualVideoEntry : public testing::TestWithParam<VideoEntryCase> {};

TEST_P(VirtualVideoEntry, ParsesNamePatternAndSize)
{
    const VideoEntryCase& c = GetParam();
    const VirtualVideoDevice device = parseVirtualVideo(QString::fromUtf8(c.text));
    EXPECT_EQ(device.name, QString::fromUtf8(c.name));
    EXPECT_EQ(device.pattern, QString::fromUtf8(c.pattern));
    EXPECT_EQ(device.format, c.format);
    EXPECT_EQ(device.kind, c.kind);
}

INSTANTIATE_TEST_SUITE_P(Entries, VirtualVideoEntry,
                         testing::Values(VideoEntryCase{"Test Pattern", "Test Pattern", "smpte", {}},
                                         VideoEntryCase{"Cam:ball", "Cam", "ball", {}},
                                         VideoEntryCase{"Cam::320x240", "Cam", "smpte", {320, 240, 25}},
                                         VideoEntryCase{"Cam:red:1920x1080@25", "Cam", "red", {1920, 1080, 25}},
                                         VideoEntryCase{" Cam : snow ", "Cam", "snow", {}},
                                         VideoEntryCase{"Cam:ball:1280x720@60:mjpeg", "Cam", "ball", {1280, 720, 60},
                                                        VirtualCameraKind::Mjpeg},
                                         VideoEntryCase{"Cam:::broken", "Cam", "smpte", {}, VirtualCameraKind::Broken},
                                         VideoEntryCase{"Cam::320x240:vanishing", "Cam", "smpte", {320, 240, 25},
                                                        VirtualCameraKind::Vanishing}));

TEST(VirtualVideoEntry, RejectsWhatNoTestSourceCanMake)
{
    for (const char* bad : {"", ":smpte", "Cam:no-such-pattern", "Cam:smpte:wide", "Cam:smpte:8x8",
                            "Cam:smpte:640x480@0", "Cam:smpte:640x480:extra", "Cam:smpte:640x480:raw:more",
                            "Cam:smpte::Mjpeg"}) {
        EXPECT_THROW(parseVirtualVideo(QString::fromUtf8(bad)), std::invalid_argument) << bad;
    }
}

TEST(VirtualDeviceLists, SemicolonSeparatedAndEmptyMeansNone)
{
    EXPECT_TRUE(parseVirtualVideoList(QString()).isEmpty());
    EXPECT_TRUE(parseVirtualAudioList(QStringLiteral(" ; ")).isEmpty());
    const QList<VirtualVideoDevice> video = parseVirtualVideoList(QStringLiteral("A;B:ball;"));
    ASSERT_EQ(video.size(), 2);
    EXPECT_EQ(video[1].pattern, QStringLiteral("ball"));
    EXPECT_EQ(parseVirtualAudioList(QStringLiteral("Mic 1;Mic 2")).size(), 2);
}

TEST(VirtualDeviceLists, CommandLineReplacesTheEnvironmentPerKind)
{
    QProcessEnvironment environment;
    environment.insert(QString::fromLatin1(kVirtualVideoVariable), QStringLiteral("Env Cam"));
    environment.insert(QString::fromLatin1(kVirtualAudioVariable), QStringLiteral("Env Mic"));

    const CaptureOptions fromEnvironment = captureOptionsFrom(std::nullopt, std::nullopt, environment);
    ASSERT_EQ(fromEnvironment.virtualVideo.size(), 1);
    EXPECT_EQ(fromEnvironment.virtualVideo[0].name, QStringLiteral("Env Cam"));

    const CaptureOptions mixed =
        captureOptionsFrom(QStringList{QStringLiteral("A;B"), QStringLiteral("C:ball")}, std::nullopt, environment);
    ASSERT_EQ(mixed.virtualVideo.size(), 3);
    EXPECT_EQ(mixed.virtualVideo[2].name, QStringLiteral("C"));
    ASSERT_EQ(mixed.virtualAudio.size(), 1);
    EXPECT_EQ(mixed.virtualAudio[0].name, QStringLiteral("Env Mic"));

    EXPECT_TRUE(captureOptionsFrom(std::nullopt, QStringList{QString()}, environment).virtualAudio.isEmpty());
}

// --- Format asked of a device ------------------------------------------------------------

struct FormatCase {
    const char* offered;
    const char* chosen;   // nullptr: nothing can be shown
};

const FormatCase kFormats[] = {
    // A webcam: raw 1080p only at 5 fps, JPEG at 30: the JPEG is the largest fast enough.
    {"video/x-raw,format=YUY2,width=1920,height=1080,framerate=5/1; "
     "image/jpeg,width=1920,height=1080,framerate={15/1,30/1}; video/x-raw,format=YUY2,width=640,height=480,framerate=30/1",
     "image/jpeg 1920x1080 at 30 fps"},
    {"image/jpeg,width=1280,height=720,framerate=30/1; video/x-raw,format=NV12,width=1280,height=720,framerate=30/1",
     "video/x-raw NV12 1280x720 at 30 fps"},
    {"video/x-raw,format={NV12,BGRx,I420},width=640,height=480,framerate=25/1", "video/x-raw BGRx 640x480 at 25 fps"},
    {"video/x-raw,format=UYVY,width=1920,height=1080,framerate=30/1; video/x-raw,format=UYVY,width=1920,height=1080,framerate=60/1",
     "video/x-raw UYVY 1920x1080 at 60 fps"},
    {"video/x-raw,format=YUY2,width=1920,height=1080,framerate=30000/1001", "video/x-raw YUY2 1920x1080 at 30000/1001 fps"},
    // Nothing fast enough: the fastest, then the largest.
    {"video/x-raw,format=YUY2,width=1920,height=1080,framerate=10/1; video/x-raw,format=YUY2,width=640,height=480,framerate=15/1",
     "video/x-raw YUY2 640x480 at 15 fps"},
    // Open sizes and rates, as a sound server offers them.
    {"video/x-raw,format=I420,width=[1,1920],height=[1,1080],framerate=[0/1,60/1]", "video/x-raw I420 1920x1080 at 30 fps"},
    {"video/x-raw,format=I420,width=[1,8192],height=[1,8192],framerate=[1/1,15/1]", "video/x-raw I420 3840x2160 at 15 fps"},
    {"video/x-raw,format=YUY2", "video/x-raw YUY2 at any size at any rate"},
    // Unusable, and left so: encoded video, memory the converters cannot read, unknown formats.
    {"video/x-h264,width=1920,height=1080,framerate=30/1", nullptr},
    {"video/x-raw(memory:DMABuf),format=NV12,width=1920,height=1080,framerate=30/1", nullptr},
    {"video/x-raw,format=NOPE,width=640,height=480,framerate=30/1; video/x-bayer,width=640,height=480", nullptr},
    {"EMPTY", nullptr},
    {"ANY", nullptr},
};

class SourceFormatChoice : public testing::TestWithParam<FormatCase> {};

TEST_P(SourceFormatChoice, TakesTheLargestFastEnoughPictureTheModuleCanShow)
{
    const FormatCase& c = GetParam();
    ensureGstreamer();
    const GstCapsPtr offered(gst_caps_from_string(c.offered));
    ASSERT_TRUE(offered) << c.offered;
    const std::optional<SourceFormat> format = SourceFormat::choose(offered.get());
    if (!c.chosen) {
        EXPECT_FALSE(format) << format->text().toStdString();
        return;
    }
    ASSERT_TRUE(format);
    EXPECT_EQ(format->text().toStdString(), c.chosen);
    // What is asked of the device is what it offered.
    const GstCapsPtr asked(format->caps());
    EXPECT_TRUE(gst_caps_can_intersect(asked.get(), offered.get()));
}

INSTANTIATE_TEST_SUITE_P(Offers, SourceFormatChoice, testing::ValuesIn(kFormats));

// --- Device list ------------------------------------------------------------------------

namespace {

CaptureDevice named(const char* name, int id)
{
    return CaptureDevice{QString::fromUtf8(name), QStringLiteral("test:%1").arg(id), nullptr};
}

} // namespace

class DeviceListTest : public testing::Test {
protected:
    QList<CaptureDevice> present{named("A", 1), named("B", 2), named("C", 3)};
    int changes = 0;
    DeviceList list{DeviceKind::Audio, [this] { return present; }, [this] { ++changes; }};

    void SetUp() override { list.refresh(); }
};

TEST_F(DeviceListTest, IndexesOutsideTheListAreErrorNine)
{
    for (int bad : {-2, 3, 100}) {
        try {
            list.setSelectedIndex(bad);
            ADD_FAILURE() << bad;
        } catch (const AutomationError& error) {
            EXPECT_EQ(error.number(), 9);
            EXPECT_EQ(error.description().rfind("DeviceList.SelectedIndex:", 0), 0u) << error.description();
        }
    }
    EXPECT_THROW(list.itemName(-1), AutomationError);
    EXPECT_THROW(list.itemName(3), AutomationError);
    EXPECT_EQ(list.selectedIndex(), -1);
    EXPECT_EQ(changes, 0);
}

TEST_F(DeviceListTest, WritingTheIndexInUseChangesNothing)
{
    list.setSelectedIndex(1);
    list.setSelectedIndex(1);
    EXPECT_EQ(changes, 1);
    list.setSelectedIndex(-1);
    list.setSelectedIndex(-1);
    EXPECT_EQ(changes, 2);
}

TEST_F(DeviceListTest, RefreshFollowsTheSelectedDeviceOrDropsIt)
{
    list.setSelectedIndex(2);   // C
    present = {named("C", 3), named("A", 1)};
    list.refresh();
    EXPECT_EQ(list.selectedIndex(), 0);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(changes, 1) << "a device still present keeps running";

    present = {named("A", 1)};
    list.refresh();
    EXPECT_EQ(list.selectedIndex(), -1);
    EXPECT_EQ(changes, 2) << "a vanished device has to be stopped";
}

TEST_F(DeviceListTest, FailedDevicesArePassedOverUntilListedAnew)
{
    list.markFailed(0);
    list.markFailed(1);
    EXPECT_EQ(list.firstUsable(), 2);
    list.markWorking(1);
    EXPECT_EQ(list.firstUsable(), 1) << "a failed device that starts after all is usable again";

    present = {named("B", 2), named("C", 3)};
    list.refresh();
    present = {named("A", 1), named("B", 2), named("C", 3)};
    list.refresh();
    EXPECT_EQ(list.firstUsable(), 0) << "a device pulled out and plugged back in is tried again";
    EXPECT_FALSE(list.hasFailed(0));

    for (int i = 0; i < 3; ++i)
        list.markFailed(i);
    EXPECT_EQ(list.firstUsable(), -1);
}

TEST_F(DeviceListTest, SameNamesStayTwoDevices)
{
    present = {named("Cam", 1), named("Cam", 2)};
    list.refresh();
    list.setSelectedIndex(1);
    present = {named("Cam", 2)};
    list.refresh();
    EXPECT_EQ(list.selectedIndex(), 0);
}

// --- Frames -----------------------------------------------------------------------------

TEST(VideoFrame, ShortOrForeignBuffersAreDroppedNotShown)
{
    EXPECT_NE(VideoFrame::fromSample(bgrxSample(16, 8, 0), 0, GST_CLOCK_TIME_NONE), nullptr);
    EXPECT_EQ(VideoFrame::fromSample(bgrxSample(16, 8, 0, 4), 0, GST_CLOCK_TIME_NONE), nullptr);
    EXPECT_EQ(VideoFrame::fromSample(nullptr, 0, GST_CLOCK_TIME_NONE), nullptr);

    GstSamplePtr sample = bgrxSample(4, 4, 0);
    GstCaps* i420 = gst_caps_from_string("video/x-raw,format=I420,width=4,height=4");
    gst_sample_set_caps(sample.get(), i420);
    gst_caps_unref(i420);
    EXPECT_EQ(VideoFrame::fromSample(std::move(sample), 0, GST_CLOCK_TIME_NONE), nullptr);
}

TEST(VideoFrame, PictureIsACopyOfThePixels)
{
    const auto frame = VideoFrame::fromSample(bgrxSample(5, 3, 0xff336699), 0, GST_CLOCK_TIME_NONE);
    const PicturePtr picture = frame->toPicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width(), 5);
    EXPECT_EQ(picture->height(), 3);
    uint32_t last;
    std::memcpy(&last, picture->row(2) + 4 * 4, 4);
    EXPECT_EQ(last, 0xff336699u);
    EXPECT_NE(picture->handle(), 0u);
}

TEST(FrameSlot, KeepsOnlyTheNewestAndCountsTheRestAsDropped)
{
    FrameSlot slot;
    EXPECT_TRUE(slot.offer(frameOf(0)));
    EXPECT_FALSE(slot.offer(frameOf(0))) << "one notice outstanding is enough";
    EXPECT_FALSE(slot.offer(frameOf(0, 0xffffffff)));
    EXPECT_EQ(slot.framesReceived(), 3u);
    EXPECT_EQ(slot.framesDropped(), 2u);
    const VideoFramePtr newest = slot.newest();
    EXPECT_EQ(newest->sequence(), 3u);

    slot.noticeTaken();
    EXPECT_TRUE(slot.offer(frameOf(0)));
    EXPECT_EQ(slot.framesDropped(), 2u) << "a frame that was looked at is not a dropped one";
}

TEST(FrameSlot, TakesOnlyTheStageOnShow)
{
    FrameSlot slot;
    slot.show(2);
    EXPECT_FALSE(slot.offer(frameOf(0)));
    EXPECT_EQ(slot.newest(), nullptr);
    EXPECT_TRUE(slot.offer(frameOf(2)));
    slot.show(1);
    EXPECT_EQ(slot.newest(), nullptr) << "a stage switch must not leave the old stage's frame";
    slot.show(FrameSlot::kNoStage);
    slot.noticeTaken();
    EXPECT_FALSE(slot.offer(frameOf(1)));
    EXPECT_EQ(slot.newest(), nullptr);
}

TEST(FrameSlot, WaitsOnlyWhenNoFrameHasCome)
{
    FrameSlot slot;
    EXPECT_EQ(slot.newest(std::chrono::milliseconds(20)), nullptr);

    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        slot.offer(frameOf(0));
    });
    EXPECT_NE(slot.newest(std::chrono::milliseconds(5000)), nullptr);
    producer.join();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(slot.newest(std::chrono::milliseconds(5000)), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}

// --- Picture fitting --------------------------------------------------------------------

TEST(VideoViewFit, KeepsTheAspectAndCentres)
{
    struct Case {
        QSize picture;
        QRect area;
        QRect expected;
    };
    const Case cases[] = {
        {{640, 480}, {0, 0, 320, 240}, {0, 0, 320, 240}},
        {{640, 480}, {0, 0, 400, 240}, {40, 0, 320, 240}},      // pillar-box
        {{1920, 1080}, {0, 0, 320, 320}, {0, 70, 320, 180}},    // letter-box
        {{100, 100}, {10, 20, 50, 30}, {20, 20, 30, 30}},
        {{0, 0}, {0, 0, 50, 50}, {}},
        {{640, 480}, {0, 0, 0, 0}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VideoView::fittedRect(c.picture, c.area), c.expected) << c.picture.width() << "x" << c.picture.height();
}

// --- Key codes --------------------------------------------------------------------------

TEST(VirtualKeys, QtKeysMapToTheHostsCodes)
{
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        int16_t code;
    } cases[] = {
        {Qt::Key_A, Qt::NoModifier, 65},        {Qt::Key_S, Qt::ShiftModifier, 83},
        {Qt::Key_Z, Qt::NoModifier, 90},        {Qt::Key_0, Qt::NoModifier, 48},
        {Qt::Key_9, Qt::NoModifier, 57},        {Qt::Key_0, Qt::KeypadModifier, 96},
        {Qt::Key_9, Qt::KeypadModifier, 105},   {Qt::Key_Backspace, Qt::NoModifier, 8},
        {Qt::Key_Tab, Qt::NoModifier, 9},       {Qt::Key_Return, Qt::NoModifier, 13},
        {Qt::Key_Enter, Qt::KeypadModifier, 13}, {Qt::Key_Escape, Qt::NoModifier, 27},
        {Qt::Key_Space, Qt::NoModifier, 32},    {Qt::Key_PageUp, Qt::NoModifier, 33},
        {Qt::Key_PageDown, Qt::NoModifier, 34}, {Qt::Key_End, Qt::NoModifier, 35},
        {Qt::Key_Home, Qt::NoModifier, 36},     {Qt::Key_Left, Qt::NoModifier, 37},
        {Qt::Key_Up, Qt::NoModifier, 38},       {Qt::Key_Right, Qt::NoModifier, 39},
        {Qt::Key_Down, Qt::NoModifier, 40},     {Qt::Key_Insert, Qt::NoModifier, 45},
        {Qt::Key_Delete, Qt::NoModifier, 46},   {Qt::Key_F1, Qt::NoModifier, 112},
        {Qt::Key_F12, Qt::NoModifier, 123},     {Qt::Key_Shift, Qt::ShiftModifier, 16},
        {Qt::Key_Control, Qt::ControlModifier, 17}, {Qt::Key_Alt, Qt::AltModifier, 18},
        {Qt::Key_Plus, Qt::KeypadModifier, 107}, {Qt::Key_Plus, Qt::NoModifier, 187},
        {Qt::Key_Minus, Qt::KeypadModifier, 109}, {Qt::Key_Comma, Qt::NoModifier, 188},
        {Qt::Key_unknown, Qt::NoModifier, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(virtualKeyCode(c.key, c.modifiers), c.code) << std::hex << c.key;
}

TEST(VirtualKeys, ShiftStateIsShiftOneCtrlTwoAltFour)
{
    EXPECT_EQ(shiftState(Qt::NoModifier), 0);
    EXPECT_EQ(shiftState(Qt::ShiftModifier), 1);
    EXPECT_EQ(shiftState(Qt::ControlModifier), 2);
    EXPECT_EQ(shiftState(Qt::AltModifier), 4);
    EXPECT_EQ(shiftState(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::KeypadModifier), 7);
    EXPECT_EQ(shiftState(Qt::MetaModifier), 0);
}

TEST(VirtualKeys, EveryCodeThatNamesAKeyComesBackFromItsPress)
{
    int named = 0;
    for (int code = 1; code < 256; ++code) {
        for (int16_t shift = 0; shift < 8; shift += 3) {
            const QtKeyPress press = qtKeyPress(static_cast<int16_t>(code), shift);
            if (press.key == Qt::Key_unknown)
                continue;
            ++named;
            EXPECT_EQ(virtualKeyCode(press.key, press.modifiers), code) << code;
            EXPECT_EQ(shiftState(press.modifiers), shift) << code;
        }
    }
    EXPECT_GT(named, 3 * 90) << "letters, digits, keypad, function and named keys";
}
