#pragma once

#include "automation/FrameRoad.h"
#include "capture/CaptureWindow.h"
#include "support/TestModule.h"
#include "ui/InteractionSeam.h"
#include "ui/Screen.h"
#include "ui/WindowFrame.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace didev::testing {

// Pixels of the fixed screen are this many twips.
inline constexpr double kTwips = 15;

// The screen the geometry tests assume: 1280 x 1024 pixels at 15 twips per pixel.
inline void fixTheScreen()
{
    setFixedScreenMetrics(ScreenMetrics{1280 * kTwips, 1024 * kTwips, kTwips, kTwips});
}

inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The state every test starts from: no frames, no viewer, the test's module as a new automation
// instance leaves it, no close notice asked for, the real window metrics, no queued answers or
// recorded messages.
inline void resetModule()
{
    testModule().unloadViewer();
    flushDeletes();
    testModule().reset();
    testModule().state().closeNotifyRequest.clear();
    setFixedWindowMetrics(std::nullopt);
    InteractionSeam::instance().clearAnswers();
    InteractionSeam::instance().takeMessages();
}

// Virtual devices only: the video devices of a list such as "Cam;Broken" at `format`, and the
// microphones of `audio`.
inline CaptureOptions virtualDevices(const QString& video, const QString& audio, VideoFormat format = {320, 240, 25})
{
    CaptureOptions options;
    options.systemDevices = false;
    for (VirtualVideoDevice& device : parseVirtualVideoList(video)) {
        device.format = format;
        options.virtualVideo.append(device);
    }
    options.virtualAudio = parseVirtualAudioList(audio);
    return options;
}

// Whether the control's video list names a device `name`.
inline bool listsVideo(CaptureControl& capture, const QString& name)
{
    const DeviceList& video = capture.videoDevices();
    for (int i = 0; i < video.count(); ++i) {
        if (video.itemName(i) == name)
            return true;
    }
    return false;
}

// A fixed screen, a module of its own, and a capture window wired as the automation class wires it.
class WindowFixture : public ::testing::Test {
protected:
    TestModule owner;
    std::unique_ptr<CaptureWindow> window;
    InteractionSeam& seam = InteractionSeam::instance();

    void SetUp() override
    {
        fixTheScreen();
        resetModule();
    }

    void TearDown() override
    {
        window.reset();
        resetModule();
        setFixedScreenMetrics(std::nullopt);
    }

    // Creates, loads and shows the window; its grabs, frames and viewer go the frame road.
    void openWindow(CaptureOptions options)
    {
        window = std::make_unique<CaptureWindow>(testModule().state(), std::move(options));
        ConnectFrameRoad(testModule(), *window);
        window->load();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
};

} // namespace didev::testing
