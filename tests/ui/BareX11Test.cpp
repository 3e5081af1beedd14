#include "ui/WindowFrame.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

using namespace didev;

// Runs under an X server with no window manager, so no window ever gets a frame.

TEST(BareX11, NoFrameBeforeOrAfterAWindowIsShown)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    EXPECT_EQ(currentWindowMetrics(), WindowMetrics{});
    QWidget window;
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.windowHandle()->frameMargins(), QMargins());
    EXPECT_EQ(currentWindowMetrics(), WindowMetrics{});
}
