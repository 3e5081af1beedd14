#include "state/ModuleState.h"
#include "ui/WindowFrame.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

using namespace didev;

// Runs under an X server with no window manager, so no window ever gets a frame.

TEST(BareX11, NoFrameBeforeAWindowIsShown)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    moduleState().windowMetrics.captionHeight = 999;
    ReadWindowMetrics();
    EXPECT_EQ(moduleState().windowMetrics, WindowMetrics{});
}

TEST(BareX11, NoFrameOnAShownWindow)
{
    QWidget window;
    window.show();
    QApplication::processEvents();
    moduleState().windowMetrics.captionHeight = 999;
    ReadWindowMetrics();
    EXPECT_EQ(window.windowHandle()->frameMargins(), QMargins());
    EXPECT_EQ(moduleState().windowMetrics, WindowMetrics{});
}
