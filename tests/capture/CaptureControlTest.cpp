#include "capture/CaptureControl.h"
#include "capture/CaptureError.h"
#include "capture/VideoView.h"
#include "common/AutomationError.h"
#include "support/AutomationErrors.h"
#include "support/WindowFixture.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace didev;
using didev::testing::errorNumberOf;
using didev::testing::virtualDevices;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kWait = 5000;

struct Rgb {
    int r, g, b;
};

Rgb pixel(const Picture& picture, int x, int y)
{
    const uint8_t* p = picture.row(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

// Mean absolute difference per channel over the rows above the burnt-in clock.
double meanDifference(const Picture& a, const Picture& b)
{
    double sum = 0;
    const int rows = a.height() * 6 / 10;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < a.width() * 3; ++x)
            sum += std::abs(int(a.row(y)[x]) - int(b.row(y)[x]));
    }
    return sum / (double(rows) * a.width() * 3);
}

PicturePtr grab(CaptureControl& control)
{
    control.startCapture(CaptureControl::kStillMode);
    PicturePtr picture = control.fetchStill(kWait);
    control.stopCapture();
    return picture;
}

// A control with the preview on and the first video device running.
class RunningCapture : public ::testing::Test {
protected:
    CaptureControl control{virtualDevices(QStringLiteral("Bars;Red:red;Green:green"), QStringLiteral("Tone"))};

    void SetUp() override
    {
        control.stillSetup(CaptureControl::kStillMode);
        control.setPreview(true);
        control.videoDevices().setSelectedIndex(0);
        ASSERT_TRUE(control.videoRunning());
    }

    // The next frame of the stage on show, not one already seen.
    void waitForNewFrames(uint64_t count = 2)
    {
        const uint64_t start = control.frames().framesReceived();
        ASSERT_TRUE(QTest::qWaitFor([&] { return control.frames().framesReceived() >= start + count; }, kWait));
    }
};

} // namespace

TEST(CaptureDevices, VirtualDevicesGivenToTwoControlsStayWhileOneLives)
{
    auto first = std::make_unique<CaptureControl>(virtualDevices(QStringLiteral("Shared;Shared"), QString()));
    CaptureControl second(virtualDevices(QStringLiteral("Shared;Shared"), QString()));
    EXPECT_EQ(second.videoDevices().count(), 2) << "alike entries are two devices, shared by both controls";
    second.setPreview(true);
    second.videoDevices().setSelectedIndex(0);
    ASSERT_TRUE(second.videoRunning());

    first.reset();
    EXPECT_EQ(second.videoDevices().count(), 2);
    const uint64_t start = second.frames().framesReceived();
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.frames().framesReceived() >= start + 2; }, kWait))
        << "the other control going pulled out the camera in use";
    EXPECT_TRUE(second.videoRunning());
}

TEST_F(RunningCapture, StillIsThePatternAtItsOwnSize)
{
    const PicturePtr bars = grab(control);
    ASSERT_NE(bars, nullptr);
    EXPECT_EQ(bars->width(), kWidth);
    EXPECT_EQ(bars->height(), kHeight);
    // The seven bars from the left: grey, yellow, cyan, green, magenta, red, blue.
    const char* expected[] = {"RGB", "RG", "GB", "G", "RB", "R", "B"};
    for (int bar = 0; bar < 7; ++bar) {
        const Rgb p = pixel(*bars, kWidth * (2 * bar + 1) / 14, kHeight / 4);
        const std::string lit = expected[bar];
        EXPECT_EQ(p.r > 150, lit.find('R') != std::string::npos) << "bar " << bar;
        EXPECT_EQ(p.g > 150, lit.find('G') != std::string::npos) << "bar " << bar;
        EXPECT_EQ(p.b > 150, lit.find('B') != std::string::npos) << "bar " << bar;
    }
}

TEST_F(RunningCapture, CompressorStageShowsJpegArtefactsCloseToTheSource)
{
    const PicturePtr source = grab(control);
    control.setPreviewStage(static_cast<int32_t>(PreviewStage::Processors));
    const PicturePtr processed = grab(control);
    control.setPreviewStage(static_cast<int32_t>(PreviewStage::Compressor));
    const PicturePtr compressed = grab(control);
    ASSERT_TRUE(source && processed && compressed);
    ASSERT_EQ(compressed->width(), kWidth);

    EXPECT_LT(meanDifference(*source, *processed), 0.01) << "progressive bars pass the processors unchanged";
    const double artefacts = meanDifference(*source, *compressed);
    EXPECT_GT(artefacts, 0.05) << "the compressor stage has to show the compression";
    EXPECT_LT(artefacts, 5.0) << "quality 90 stays close to the source";
    EXPECT_EQ(control.previewStage(), 2);
}

TEST_F(RunningCapture, InputModeSwitchesTheRunningPipeline)
{
    waitForNewFrames();
    control.audioDevices().setSelectedIndex(0);

    control.setInputMode(static_cast<int32_t>(InputMode::AudioOnly));
    EXPECT_TRUE(control.videoRunning());
    EXPECT_EQ(control.newestFrame(), nullptr);
    EXPECT_EQ(control.frames().stageOnShow(), FrameSlot::kNoStage) << "no video flows in audio-only mode";
    const uint64_t before = control.frames().framesReceived();
    EXPECT_FALSE(control.isReadyForStill(CaptureControl::kStillMode));
    EXPECT_EQ(errorNumberOf([&] { control.startCapture(CaptureControl::kStillMode); }),
              static_cast<int32_t>(CaptureErrorNumber::NoVideoSource));

    EXPECT_EQ(control.frames().framesReceived(), before);

    control.setInputMode(static_cast<int32_t>(InputMode::VideoOnly));
    waitForNewFrames();
    EXPECT_TRUE(control.audioRunning());
    EXPECT_TRUE(control.isReadyForStill(CaptureControl::kStillMode));

    control.setInputMode(static_cast<int32_t>(InputMode::AudioAndVideo));
    EXPECT_NE(grab(control), nullptr);

    EXPECT_EQ(errorNumberOf([&] { control.setInputMode(3); }), static_cast<int32_t>(CaptureErrorNumber::InvalidArgument));
    EXPECT_EQ(errorNumberOf([&] { control.setPreviewStage(-1); }), static_cast<int32_t>(CaptureErrorNumber::InvalidArgument));
    EXPECT_EQ(control.inputMode(), 0);
    EXPECT_EQ(control.previewStage(), 0);
}

TEST_F(RunningCapture, ReadinessAndStartNeedTheStillModeAndARunningSource)
{
    EXPECT_TRUE(control.isReadyForStill(CaptureControl::kStillMode));
    EXPECT_FALSE(control.isReadyForStill(5));
    EXPECT_EQ(errorNumberOf([&] { control.startCapture(5); }), static_cast<int32_t>(CaptureErrorNumber::InvalidArgument));
    EXPECT_EQ(errorNumberOf([&] { control.fetchStill(10); }), static_cast<int32_t>(CaptureErrorNumber::NotCapturing));

    control.stillSetup(0);
    EXPECT_FALSE(control.isReadyForStill(CaptureControl::kStillMode));
    control.stillSetup(CaptureControl::kStillMode);

    control.setPreview(false);
    EXPECT_FALSE(control.isReadyForStill(CaptureControl::kStillMode));
    try {
        control.startCapture(CaptureControl::kStillMode);
        ADD_FAILURE() << "start capture without a source";
    } catch (const AutomationError& error) {
        EXPECT_EQ(error.number(), static_cast<int32_t>(CaptureErrorNumber::NoVideoSource));
        EXPECT_EQ(error.description().rfind("StartCapture:", 0), 0u) << error.description();
        EXPECT_EQ(error.source(), captureErrorSource());
    }
}

TEST_F(RunningCapture, UnpluggingTheDeviceInUseEndsItsSource)
{
    control.videoDevices().setSelectedIndex(2);   // Green
    EXPECT_TRUE(control.unplugVirtualVideo(QStringLiteral("Bars")));
    EXPECT_EQ(control.videoDevices().selectedIndex(), 1) << "the device in use moved up";
    EXPECT_TRUE(control.videoRunning());

    EXPECT_TRUE(control.unplugVirtualVideo(QStringLiteral("Green")));
    EXPECT_EQ(control.videoDevices().selectedIndex(), -1);
    EXPECT_FALSE(control.videoRunning());
    EXPECT_FALSE(control.unplugVirtualVideo(QStringLiteral("Green")));
}

TEST_F(RunningCapture, ViewPaintsTheNewestFrameFittedAndReportsThePointer)
{
    control.videoDevices().setSelectedIndex(1);   // Red
    VideoView view(control);
    view.resize(400, 400);
    view.show();
    QSignalSpy painted(&view, &VideoView::framePainted);
    ASSERT_TRUE(painted.wait(kWait));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.framesShown() >= 3; }, kWait));
    ASSERT_TRUE(view.lastLatency().has_value());
    EXPECT_LT(*view.lastLatency(), std::chrono::seconds(2));

    const QImage shot = view.grab().toImage();
    // 320 x 240 fitted into 400 x 400: 400 x 300 from y = 50, black bands above and below.
    EXPECT_EQ(QColor(shot.pixel(200, 20)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(200, 380)), QColor(Qt::black));
    const QColor inside(shot.pixel(200, 120));
    EXPECT_GT(inside.red(), 240);
    EXPECT_LT(inside.green(), 16);
    EXPECT_EQ(control.newestFrame()->view().size(), QSize(400, 300)) << "frames come made for the view's size";

    // Narrower: 160 x 120 from y = 140. Frames follow the new size; a grab keeps the source's.
    view.resize(160, 400);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const VideoFramePtr frame = control.newestFrame();
        return frame && frame->view().size() == QSize(160, 120);
    }, kWait));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QColor(view.grab().toImage().pixel(80, 150)).red() > 240; }, kWait));
    EXPECT_EQ(QColor(view.grab().toImage().pixel(80, 130)), QColor(Qt::black));
    const PicturePtr still = grab(control);
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(QSize(still->width(), still->height()), QSize(kWidth, kHeight));

    QSignalSpy pointer(&control, &CaptureControl::pointerEvent);
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(30, 40));
    QTest::mouseMove(&view, QPoint(60, 70));
    ASSERT_GE(pointer.count(), 2);
    EXPECT_FLOAT_EQ(pointer[0][0].toFloat(), 30.0f);
    EXPECT_FLOAT_EQ(pointer[0][1].toFloat(), 40.0f);
    EXPECT_FLOAT_EQ(pointer.last()[0].toFloat(), 60.0f);
    EXPECT_FLOAT_EQ(pointer.last()[1].toFloat(), 70.0f);
}
