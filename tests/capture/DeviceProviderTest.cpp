// Cameras of the module's own provider as its device monitor lists them, streamed through the
// module's video pipeline, the road a selected camera takes (a provider of its own: DeviceMonitorTest).
#include "capture/CaptureDevice.h"
#include "capture/CaptureOptions.h"
#include "capture/DeviceMonitor.h"
#include "capture/VideoPipeline.h"
#include "capture/provider/PluggedDevice.h"

#include <QObject>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

using namespace didev;

namespace {

constexpr int kWait = 10000;

// The camera of that name the module's device monitor lists now.
GstDeviceRef find(const DeviceMonitor& monitor, const QString& name)
{
    for (const CaptureDevice& device : monitor.devices(DeviceKind::Video)) {
        if (device.name == name)
            return device.device;
    }
    return {};
}

// The module's video pipeline on one device, with what it failed of.
struct Streaming {
    QObject context;
    FrameSlot frames;
    QStringList failures;
    VideoPipeline pipeline;

    explicit Streaming(const GstDeviceRef& device)
        : pipeline(deviceEntry(device), frames, {}, &context,
                   [this](uint64_t, const QString& description) { failures.append(description); })
    {
    }

    static CaptureDevice deviceEntry(const GstDeviceRef& device) { return CaptureDevice::fromDevice(device.get()); }
    bool failed() { return QTest::qWaitFor([&] { return !failures.isEmpty(); }, kWait); }
};

PluggedDevice plugVideo(const char* entry)
{
    return PluggedDevice(parseVirtualVideo(QString::fromUtf8(entry)).recipe());
}

struct CameraCase {
    const char* entry;
    const char* name;
    const char* mediaType;
    int width;
    int height;
};

// Raw and JPEG cameras, up to UHD.
const CameraCase kCameras[] = {
    {"Raw Cam:smpte:1920x1080@30", "Raw Cam", "video/x-raw", 1920, 1080},
    {"Jpeg Cam:smpte:1920x1080@30:mjpeg", "Jpeg Cam", "image/jpeg", 1920, 1080},
    {"UHD Cam:smpte:3840x2160@30", "UHD Cam", "video/x-raw", 3840, 2160},
};

} // namespace

class VirtualCamera : public testing::TestWithParam<CameraCase> {};

TEST_P(VirtualCamera, IsListedAndStreamsAtItsOwnSize)
{
    const CameraCase& c = GetParam();
    DeviceMonitor monitor;
    const PluggedDevice plugged = plugVideo(c.entry);
    const GstDeviceRef device = find(monitor, QString::fromUtf8(c.name));
    ASSERT_TRUE(device);
    const GstCapsPtr caps(gst_device_get_caps(device.get()));
    EXPECT_TRUE(gst_structure_has_name(gst_caps_get_structure(caps.get(), 0), c.mediaType));

    Streaming streaming(device);
    QString reason;
    ASSERT_TRUE(streaming.pipeline.play(&reason)) << reason.toStdString();
    const VideoFramePtr frame = streaming.frames.newest(std::chrono::milliseconds(kWait));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width(), c.width);
    EXPECT_EQ(frame->height(), c.height);
    // The left bar of the pattern is light grey, whether sent raw or as JPEG.
    const PicturePtr picture = frame->toPicture();
    const uint8_t* bar = picture->row(c.height / 4) + 3 * (c.width / 14);
    EXPECT_GT(bar[0], 150);
    EXPECT_GT(bar[1], 150);
    EXPECT_GT(bar[2], 150);
    EXPECT_TRUE(streaming.failures.isEmpty()) << streaming.failures.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Kinds, VirtualCamera, testing::ValuesIn(kCameras));

TEST(VirtualDevices, CameraThatVanishesFailsMidStreamAndLeavesTheMonitor)
{
    DeviceMonitor monitor;
    bool removalTold = false;
    QObject::connect(&monitor, &DeviceMonitor::deviceRemoved,
        [&](DeviceKind, const CaptureDevice& device) { removalTold |= device.name == QStringLiteral("Flaky Cam"); });
    const PluggedDevice plugged = plugVideo("Flaky Cam:ball:320x240@25:vanishing");
    Streaming streaming(find(monitor, QStringLiteral("Flaky Cam")));
    ASSERT_TRUE(streaming.pipeline.play(nullptr));
    EXPECT_TRUE(streaming.frames.newest(std::chrono::milliseconds(kWait))) << "it streams before it fails";
    ASSERT_TRUE(streaming.failed());
    EXPECT_TRUE(streaming.failures[0].contains(QStringLiteral("Could not read from resource"))) << streaming.failures[0].toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return removalTold; }, kWait));
    EXPECT_FALSE(find(monitor, QStringLiteral("Flaky Cam")));
}

TEST(VirtualDevices, UnpluggingARunningCameraFailsItsStream)
{
    DeviceMonitor monitor;
    PluggedDevice plugged = plugVideo("Cam:ball:320x240");
    Streaming streaming(find(monitor, QStringLiteral("Cam")));
    ASSERT_TRUE(streaming.pipeline.play(nullptr));
    ASSERT_TRUE(streaming.frames.newest(std::chrono::milliseconds(kWait)));
    plugged = PluggedDevice();
    ASSERT_TRUE(streaming.failed());
    EXPECT_TRUE(streaming.failures[0].contains(QStringLiteral("was unplugged"))) << streaming.failures[0].toStdString();
}
