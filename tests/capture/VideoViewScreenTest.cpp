// The live picture as the X server has it. On a server that maps memory files the view puts the
// scaler's pictures on a window of its own; on one that does not, or over a connection that cannot
// pass them (the runs with DIDEV_X_SHM=0), Qt paints them. Either way, and also where each of
// the view's pixels is four of the screen's (the run with QT_SCALE_FACTOR=2), the screen holds
// the picture of the frame shown last, byte for byte, centred, with black around it, and a grab
// of the view paints the same.
#include "capture/VideoView.h"
#include "support/ProcessResources.h"
#include "support/WindowFixture.h"

#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace didev;
using namespace didev::testing;

namespace {

constexpr int kWait = 5000;
constexpr QSize kSource(640, 360);

// Whether the view puts its pictures itself: on a server that maps memory files.
bool putsDirectly()
{
    return qEnvironmentVariable("DIDEV_X_SHM") != QLatin1String("0");
}

// `rect` of the view in the screen's pixels.
QRect inDevicePixels(QRect rect, const QWidget& view)
{
    const qreal ratio = view.devicePixelRatio();
    return {rect.topLeft() * ratio, rect.size() * ratio};
}

// The pixels of `region` that are not black.
int notBlack(const QImage& image, const QRegion& region)
{
    int count = 0;
    for (const QRect& part : region) {
        for (int y = part.top(); y <= part.bottom(); ++y) {
            for (int x = part.left(); x <= part.right(); ++x)
                count += (image.pixel(x, y) & 0xffffff) != 0;
        }
    }
    return count;
}

class VideoViewScreenTest : public WindowFixture {
protected:
    // The view's pixels as the X server has them, read from the top-level window, in the
    // screen's pixels.
    QImage onScreen(const VideoView& view)
    {
        const QPoint at = view.mapTo(window.get(), QPoint());
        return window->screen()
            ->grabWindow(window->winId(), at.x(), at.y(), view.width(), view.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
};

} // namespace

TEST_F(VideoViewScreenTest, TheScreenHoldsThePictureShownCentredWithBlackAround)
{
    openWindow(virtualDevices(QStringLiteral("Cam"), QStringLiteral("Mic"), {kSource.width(), kSource.height(), 25}));
    VideoView& view = window->videoView();

    const struct {
        const char* label;
        QSize area;
    } cases[] = {{"letterboxed", {480, 400}}, {"pillarboxed", {700, 260}}, {"filled", {640, 360}}};
    for (const auto& c : cases) {
        window->resize(c.area.width(), c.area.height() + window->statusBar().height());
        // Frames made for the view's new size, and two more after them.
        const QRect area = inDevicePixels(view.rect(), view);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return view.pictureShown().size() == VideoView::fittedRect(kSource, area).size();
        }, kWait)) << c.label;
        const uint64_t shown = view.framesShown();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.framesShown() >= shown + 2; }, kWait)) << c.label;
        EXPECT_EQ(view.putsPicturesDirectly(), putsDirectly()) << c.label;

        EXPECT_EQ(view.pictureRect(), VideoView::fittedRect(kSource, view.rect())) << c.label;
        const QRect picture = VideoView::fittedRect(kSource, area);
        // The X server may not have done the last put when the screen is read, and a frame may
        // come in between: the screen is read until it shows the frame shown then.
        const auto screenShowsThePicture = [&] {
            const QImage screen = onScreen(view);
            return screen.size() == area.size()
                   && screen.copy(picture) == view.pictureShown().convertToFormat(QImage::Format_RGB32)
                   && notBlack(screen, QRegion(area) - picture) == 0
                   && notBlack(screen, picture) > picture.width() * picture.height() / 2;
        };
        EXPECT_TRUE(QTest::qWaitFor(screenShowsThePicture, kWait)) << c.label;

        // Painted into a pixmap, as a screenshot of the window is: the frame it painted, unless
        // the streaming thread showed the next one in between.
        const auto grabShowsThePicture = [&] {
            const QImage grabbed = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
            return grabbed.copy(picture) == view.pictureShown().convertToFormat(QImage::Format_RGB32)
                   && notBlack(grabbed, QRegion(area) - picture) == 0;
        };
        EXPECT_TRUE(QTest::qWaitFor(grabShowsThePicture, kWait)) << c.label;
    }
}

// Put past the backing store, frames go from the streaming thread to the screen without a
// notice to the UI thread; painted by Qt, each comes with one.
TEST_F(VideoViewScreenTest, PutFramesNeedNoNoticeToTheUiThread)
{
    openWindow(virtualDevices(QStringLiteral("Cam"), QStringLiteral("Mic"), {kSource.width(), kSource.height(), 25}));
    VideoView& view = window->videoView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.framesShown() >= 3; }, kWait));
    QSignalSpy notices(&window->captureControl(), &CaptureControl::frameArrived);
    const uint64_t shown = view.framesShown();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.framesShown() >= shown + 10; }, kWait));
    if (putsDirectly())
        EXPECT_EQ(notices.count(), 0);
    else
        EXPECT_GE(notices.count(), 5);
}

// Each window's connection to the X server, memory files and segments go with it.
TEST_F(VideoViewScreenTest, WindowsOpenedAndClosedLeaveNoDescriptorBehind)
{
    const auto showAndClose = [&] {
        openWindow(virtualDevices(QStringLiteral("Cam"), QStringLiteral("Mic"), {kSource.width(), kSource.height(), 25}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->videoView().framesShown() >= 3; }, kWait));
        window.reset();
        flushDeletes();
    };
    // The first window makes what the process keeps for good.
    showAndClose();
    const int descriptors = openDescriptorCount();
    for (int i = 0; i < 10; ++i)
        showAndClose();
    EXPECT_TRUE(QTest::qWaitFor([&] { return openDescriptorCount() <= descriptors + 2; }, kWait))
        << descriptors << " -> " << openDescriptorCount();
}
