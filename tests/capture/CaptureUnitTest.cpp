#include "capture/CaptureOptions.h"
#include "support/TextFiles.h"
#include "capture/DeviceList.h"
#include "capture/FrameSlot.h"
#include "capture/SourceFormat.h"
#include "capture/VideoFrame.h"
#include "capture/VideoView.h"
#include "capture/VirtualKeys.h"
#include "common/AutomationError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <sys/mman.h>
#include <sys/stat.h>

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

// A YUY2 sample of noise in the given colorimetry.
GstSamplePtr yuy2Sample(int width, int height, const char* colorimetry)
{
    ensureGstreamer();
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "YUY2", "width", G_TYPE_INT, width,
                                        "height", G_TYPE_INT, height, "colorimetry", G_TYPE_STRING, colorimetry,
                                        "framerate", GST_TYPE_FRACTION, 25, 1, nullptr);
    GstVideoInfo info;
    gst_video_info_from_caps(&info, caps);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    uint32_t noise = 12345;
    for (size_t i = 0; i < map.size; ++i)
        map.data[i] = static_cast<uint8_t>((noise = noise * 1664525u + 1013904223u) >> 24);
    gst_buffer_unmap(buffer, &map);
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

TEST(VirtualDeviceLists, SemicolonSeparatedAndTheCommandLineReplacesTheEnvironmentPerKind)
{
    QProcessEnvironment environment;
    environment.insert(QString::fromLatin1(kVirtualVideoVariable), QStringLiteral("Env Cam"));
    environment.insert(QString::fromLatin1(kVirtualAudioVariable), QStringLiteral("Env Mic"));

    const CaptureOptions fromEnvironment = captureOptionsFrom(std::nullopt, std::nullopt, environment);
    ASSERT_EQ(fromEnvironment.virtualVideo.size(), 1);
    EXPECT_EQ(fromEnvironment.virtualVideo[0].name, QStringLiteral("Env Cam"));

    // Entries are separated by semicolons, empty ones skipped.
    const CaptureOptions mixed =
        captureOptionsFrom(QStringList{QStringLiteral("A;B;"), QStringLiteral("C:ball")}, std::nullopt, environment);
    ASSERT_EQ(mixed.virtualVideo.size(), 3);
    EXPECT_EQ(mixed.virtualVideo[2].name, QStringLiteral("C"));
    EXPECT_EQ(mixed.virtualVideo[2].pattern, QStringLiteral("ball"));
    ASSERT_EQ(mixed.virtualAudio.size(), 1);
    EXPECT_EQ(mixed.virtualAudio[0].name, QStringLiteral("Env Mic"));

    EXPECT_TRUE(captureOptionsFrom(std::nullopt, QStringList{QStringLiteral(" ; ")}, environment).virtualAudio.isEmpty());
}

// --- Network sources -----------------------------------------------------------------------

TEST(NetworkSources, EachLineIsASourceOrOneProblemWithItsLineNumber)
{
    const struct {
        const char* line;
        const char* chainHas;   // the source's chain holds this; nullptr: the line is skipped
        const char* problemHas;
    } lines[] = {
        {"# a comment", nullptr, nullptr},
        {"", nullptr, nullptr},
        {"Crane = srt://10.0.0.7:7001", "srtsrc latency=100", nullptr},
        {"Listener=srt://:7002?mode=listener", "uri=\"srt://:7002?mode=listener\"", nullptr},
        {"Steadicam=rtsp://cam.local:8554/live?encoding=JPEG", "location=\"rtsp://cam.local:8554/live\"", nullptr},
        {"Jib=rtsp://cam.local/live", "rtph264depay ! h264parse ! avdec_h264", nullptr},
        {"Wireless=udp://0.0.0.0:5004?encoding=jpeg", "encoding-name=JPEG\" ! rtpjitterbuffer", nullptr},
        {"Drone=udp://239.1.1.1:5006?encoding=H264", "address=\"239.1.1.1\" port=5006", nullptr},
        {"Web=http://cam.local:8080/video?a=\"b\"", "location=\"http://cam.local:8080/video?a=\\\"b\\\"\"", nullptr},
        {"no equals sign", nullptr, "line 10: \"no equals sign\" is not NAME=URI"},
        {"=srt://1.2.3.4:1", nullptr, "line 11: the name is empty"},
        {"File=file:///tmp/a.mov", nullptr, "line 12: \"file:///tmp/a.mov\": scheme \"file\" is not one of"},
        {"Raw=udp://0.0.0.0:5004", nullptr, "line 13: \"udp://0.0.0.0:5004\": say what the stream carries"},
        {"Odd=udp://0.0.0.0:5004?encoding=VP8", nullptr, "line 14: \"udp://0.0.0.0:5004?encoding=VP8\": encoding \"VP8\""},
        {"Portless=srt://10.0.0.7", nullptr, "line 15: \"srt://10.0.0.7\": no port"},
        {"Crane=srt://10.0.0.8:7001", nullptr, "line 16: \"Crane\" names a source already"},
    };
    QStringList file;
    for (const auto& line : lines)
        file.append(QString::fromUtf8(line.line));
    NetworkSourceSettings settings;
    addNetworkSources(file.join(u'\n'), u'\n', QStringLiteral("sources"), settings);

    size_t stream = 0;
    qsizetype problem = 0;
    for (const auto& line : lines) {
        if (line.chainHas) {
            ASSERT_LT(stream, settings.streams.size()) << line.line;
            EXPECT_NE(settings.streams[stream++].chain.find(line.chainHas), std::string::npos) << line.line;
        } else if (line.problemHas) {
            ASSERT_LT(problem, settings.problems.size()) << line.line;
            EXPECT_TRUE(settings.problems[problem].startsWith(QStringLiteral("sources line")));
            EXPECT_TRUE(settings.problems[problem++].contains(QString::fromUtf8(line.problemHas)))
                << settings.problems[problem - 1].toStdString();
        }
    }
    EXPECT_EQ(stream, settings.streams.size());
    EXPECT_EQ(problem, settings.problems.size());
}

TEST(NetworkSources, TheFileComesFirstThenTheCommandLineOrElseTheEnvironment)
{
    QTemporaryDir home;
    ASSERT_TRUE(writeWholeFile(home.filePath(QStringLiteral("didev-evivod/network-sources")),
        "# cameras of the second unit\nB cam=srt://127.0.0.1:7001\n"));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    environment.insert(QString::fromLatin1(kNetworkVideoVariable), QStringLiteral("E=udp://:5004?encoding=JPEG;bad"));

    const NetworkSourceSettings fromEnvironment = networkSourcesFrom(std::nullopt, environment);
    ASSERT_EQ(fromEnvironment.streams.size(), 2u);
    EXPECT_EQ(fromEnvironment.streams[0].name, "B cam");
    EXPECT_EQ(fromEnvironment.streams[1].name, "E");
    EXPECT_EQ(fromEnvironment.problems, QStringList{QStringLiteral("DIDEV_NETWORK_VIDEO entry 2: \"bad\" is not NAME=URI")});

    const NetworkSourceSettings fromArguments =
        networkSourcesFrom(QStringList{QStringLiteral("A cam=rtsp://h/x")}, environment);
    ASSERT_EQ(fromArguments.streams.size(), 2u);
    EXPECT_EQ(fromArguments.streams[1].name, "A cam");
    EXPECT_TRUE(fromArguments.problems.isEmpty());
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

    // Devices of the same name stay two devices.
    present = {named("Cam", 1), named("Cam", 2)};
    list.refresh();
    list.setSelectedIndex(1);
    present = {named("Cam", 2)};
    list.refresh();
    EXPECT_EQ(list.selectedIndex(), 0);
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

// --- Frames -----------------------------------------------------------------------------

TEST(VideoFrame, ShortOrForeignBuffersAreDroppedNotShown)
{
    EXPECT_NE(VideoFrame::fromSample(bgrxSample(16, 8, 0), 0, GST_CLOCK_TIME_NONE), nullptr);
    EXPECT_EQ(VideoFrame::fromSample(bgrxSample(16, 8, 0, 4), 0, GST_CLOCK_TIME_NONE), nullptr);
    EXPECT_EQ(VideoFrame::fromSample(nullptr, 0, GST_CLOCK_TIME_NONE), nullptr);

    for (const char* foreign : {"image/jpeg,width=4,height=4", "video/x-raw,format=I420,width=16,height=16"}) {
        GstSamplePtr sample = bgrxSample(4, 4, 0);
        GstCaps* caps = gst_caps_from_string(foreign);
        gst_sample_set_caps(sample.get(), caps);
        gst_caps_unref(caps);
        EXPECT_EQ(VideoFrame::fromSample(std::move(sample), 0, GST_CLOCK_TIME_NONE), nullptr) << foreign;
    }
}

TEST(VideoFrame, PictureIsACopyOfThePixels)
{
    const auto frame = VideoFrame::fromSample(bgrxSample(5, 3, 0xff336699), 0, GST_CLOCK_TIME_NONE);
    const PicturePtr picture = frame->toPicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width(), 5);
    EXPECT_EQ(picture->height(), 3);
    const uint8_t* last = picture->row(2) + 3 * 4;
    EXPECT_EQ((std::array<int, 3>{last[0], last[1], last[2]}), (std::array<int, 3>{0x99, 0x66, 0x33}));
    EXPECT_NE(picture->handle(), 0u);
}

// The display server maps the view's memory file itself: the file holds exactly the picture's
// rows, and the picture stays whole after the scaler and the frame that made it are gone, for
// YUY2 scaled by our loops, BGRx scaled by the framework's converter and BGRx copied as it is.
TEST(VideoFrame, TheViewsPictureIsItsMemoryFileAndOutlivesItsMakers)
{
    const struct {
        const char* label;
        GstSamplePtr (*sample)();
        QSize area;
    } cases[] = {
        {"yuy2 scaled", [] { return yuy2Sample(64, 8, "bt601"); }, {32, 100}},
        {"bgrx scaled", [] { return bgrxSample(16, 8, 0xff336699); }, {8, 100}},
        {"bgrx as it is", [] { return bgrxSample(16, 8, 0xff336699); }, {}},
    };
    for (const auto& c : cases) {
        std::shared_ptr<VideoFrame> frame;
        {
            ViewScaler scaler;
            frame = VideoFrame::fromSample(c.sample(), 0, GST_CLOCK_TIME_NONE, scaler, c.area);
        }
        ASSERT_NE(frame, nullptr) << c.label;
        ASSERT_NE(frame->viewMemory(), nullptr) << c.label;
        const QImage picture = frame->view();
        const QImage expected = picture.copy();
        const size_t bytes = size_t(picture.sizeInBytes());
        struct stat file {};
        ASSERT_EQ(fstat(frame->viewMemory()->fd(), &file), 0);
        EXPECT_EQ(size_t(file.st_size), bytes) << c.label;
        void* mapped = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, frame->viewMemory()->fd(), 0);
        ASSERT_NE(mapped, MAP_FAILED);
        EXPECT_EQ(std::memcmp(mapped, expected.constBits(), bytes), 0) << c.label;
        munmap(mapped, bytes);
        frame.reset();
        EXPECT_EQ(picture, expected) << c.label;
    }
}

// The grab writes the file's rows straight from YUY2, in vectors of 16 pixels with the rest and
// the last pair done one by one, on row bands; the view at full size converts the same frame
// pixel by pixel into BGRx. Both must give the same bytes, the rows bottom-up in the file.
TEST(VideoFrame, GrabOfYuy2IsTheFullSizeViewInBitmapRows)
{
    const struct {
        int width, height;
        const char* colorimetry;
    } cases[] = {
        {4, 3, "bt601"}, {16, 2, "bt601"}, {18, 5, "bt601"}, {34, 4, "bt709"}, {36, 3, "bt709"},
        {130, 7, "bt601"}, {5, 3, "bt601"}, {20, 2, "1:4:0:0"},   // odd width, full range: the converter
    };
    for (const auto& c : cases) {
        const auto frame = VideoFrame::fromSample(yuy2Sample(c.width, c.height, c.colorimetry), 0, GST_CLOCK_TIME_NONE);
        ASSERT_NE(frame, nullptr);
        const PicturePtr picture = frame->toPicture();
        ASSERT_NE(picture, nullptr);
        ASSERT_EQ(frame->view().size(), QSize(c.width, c.height));
        int differing = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const QRgb seen = frame->view().pixel(x, y);
                const uint8_t* stored = picture->row(y) + 3 * x;
                differing += stored[0] != qBlue(seen) || stored[1] != qGreen(seen) || stored[2] != qRed(seen);
            }
        }
        EXPECT_EQ(differing, 0) << c.width << "x" << c.height << " " << c.colorimetry;
    }
}

// The view scaled from YUY2 by our own loops (vectors of 16 or 8, their bytes shuffled out of
// windows or, when made much smaller, from a window per pixel; the rest one by one) against the
// same linear filter in floating point: both neighbours of each pixel along a row and down a
// column, the chroma pairs sited with their first pixel. Only the roundings of the fixed-point
// steps differ: up to 4 levels where the blend's, the weighing's and the matrix's add up in blue.
TEST(VideoFrame, ScaledViewOfYuy2IsTheLinearFilterOfTheFrame)
{
    const struct {
        int width, height;
        const char* colorimetry;
        QSize area;
    } cases[] = {
        {1920, 1080, "bt709", {1280, 720}}, {64, 6, "bt601", {21, 100}}, {10, 4, "bt601", {37, 100}},
        {130, 7, "bt709", {50, 100}}, {48, 16, "bt601", {48, 4}}, {256, 8, "bt601", {40, 100}}, {64, 8, "bt601", {96, 100}},
        {1920, 1080, "bt601", {352, 198}}, {352, 22, "bt709", {64, 100}},   // rows by any weight, and by quarters
        {1920, 1080, "bt709", {1280, 720}}, {2560, 1440, "bt709", {1280, 720}},   // back, then from a larger frame
        {64, 6, "bt601", {32, 100}}, {64, 16, "bt601", {32, 100}},   // as wide, and taller
    };
    // One scaler for all, as a stream's scaler sees its frames and its view change size: a table
    // kept from the case before would show here.
    ViewScaler scaler;
    for (const auto& c : cases) {
        GstSamplePtr sample = yuy2Sample(c.width, c.height, c.colorimetry);
        GstMapInfo map;
        ASSERT_TRUE(gst_buffer_map(gst_sample_get_buffer(sample.get()), &map, GST_MAP_READ));
        const std::vector<uint8_t> bytes(map.data, map.data + map.size);
        gst_buffer_unmap(gst_sample_get_buffer(sample.get()), &map);
        const auto frame = VideoFrame::fromSample(std::move(sample), 0, GST_CLOCK_TIME_NONE, scaler, c.area);
        ASSERT_NE(frame, nullptr);
        const QImage& view = frame->view();
        ASSERT_EQ(view.size(), ViewScaler::fittedSize({c.width, c.height}, c.area));
        const bool bt709 = std::strcmp(c.colorimetry, "bt709") == 0;
        // The first of the two neighbours of output sample `i` of `out` across `in` samples, and
        // the second's weight in 256ths.
        const auto taps = [](int i, int in, int out, double offset) {
            const double position = std::clamp((i + 0.5) * in / out - 0.5 + offset, 0.0, in - 1.0);
            const int first = std::min(int(position), in - 2);
            return std::pair{first, std::round((position - first) * 256) / 256};
        };
        const int stride = 2 * c.width;
        int worst = 0;
        for (int y = 0; y < view.height(); ++y) {
            const auto [row, down] = taps(y, c.height, view.height(), 0.0);
            const auto at = [&](int byte) { return bytes[row * stride + byte] * (1 - down) + bytes[(row + 1) * stride + byte] * down; };
            for (int x = 0; x < view.width(); ++x) {
                const auto [lumaAt, across] = taps(x, c.width, view.width(), 0.0);
                const auto [pairAt, chromaAcross] = taps(x, c.width / 2, view.width(), 0.25);
                const auto mix = [&](int a, int b, double w) { return at(a) * (1 - w) + at(b) * w; };
                const double l = 1.164 * (mix(2 * lumaAt, 2 * lumaAt + 2, across) - 16);
                const double cb = mix(4 * pairAt + 1, 4 * pairAt + 5, chromaAcross) - 128;
                const double cr = mix(4 * pairAt + 3, 4 * pairAt + 7, chromaAcross) - 128;
                const double expected[] = {l + (bt709 ? 1.793 : 1.596) * cr,
                                           l - (bt709 ? 0.213 : 0.392) * cb - (bt709 ? 0.533 : 0.813) * cr,
                                           l + (bt709 ? 2.112 : 2.017) * cb};
                const QRgb seen = view.pixel(x, y);
                const int channels[] = {qRed(seen), qGreen(seen), qBlue(seen)};
                for (int k = 0; k < 3; ++k)
                    worst = std::max(worst, int(std::abs(channels[k] - std::clamp(expected[k], 0.0, 255.0)) + 0.5));
            }
        }
        EXPECT_LE(worst, 4) << c.width << "x" << c.height << " into " << view.width() << "x" << view.height();
    }
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

    // A frame offered by another thread while someone waits ends the wait (a lost wake-up hangs
    // here until ctest's timeout).
    std::thread waiter([&] { EXPECT_NE(slot.newest(std::chrono::hours(24)), nullptr); });
    slot.offer(frameOf(0));
    waiter.join();

    // A frame is there: no wait at all (a regression hangs here until ctest's timeout).
    EXPECT_NE(slot.newest(std::chrono::hours(24)), nullptr);
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

// The codes of real key presses, with their shift states, are checked through the X server
// (KeyboardLayoutTest); here every code the test driver sends maps back to itself.
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
