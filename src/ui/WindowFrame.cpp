#include "ui/WindowFrame.h"

#include "common/Rounding.h"
#include "ui/Screen.h"

#include <QApplication>
#include <QGuiApplication>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <algorithm>

#ifdef DIDEV_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace didev {

namespace {

int32_t toTwips(int pixels, double twipsPerPixel)
{
    return roundToLong(pixels * twipsPerPixel);
}

// Normal windows and dialogs first: a tool window's frame is often thinner.
int framePreference(const QWindow& window)
{
    switch (window.type()) {
    case Qt::Window:
    case Qt::Dialog:
        return 0;
    case Qt::Tool:
        return 1;
    default:
        return -1;
    }
}

#ifdef DIDEV_HAVE_XCB
// True when a window manager announces itself on the root window of the X display.
bool x11WindowManagerRunning()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    if (!screen)
        return false;

    static constexpr char kCheckAtom[] = "_NET_SUPPORTING_WM_CHECK";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom{
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof kCheckAtom - 1, kCheckAtom), nullptr),
        &std::free};
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> property{
        xcb_get_property_reply(connection,
            xcb_get_property(connection, 0, screen->root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr),
        &std::free};
    return property && property->type == XCB_ATOM_WINDOW && xcb_get_property_value_length(property.get()) >= 4;
}
#endif

// False where no window system frame is ever drawn.
bool windowSystemDrawsFrames()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("minimal") || platform == QLatin1String("vnc"))
        return false;
#ifdef DIDEV_HAVE_XCB
    if (platform == QLatin1String("xcb"))
        return x11WindowManagerRunning();
#endif
    return true;
}

} // namespace

WindowMetrics windowMetricsFromFrame(const QMargins& framePixels, double twipsPerPixelX, double twipsPerPixelY)
{
    const int side = std::max(0, std::min(framePixels.left(), framePixels.right()));
    const int bottom = std::max(0, framePixels.bottom());
    const int caption = std::max(0, framePixels.top() - bottom);
    const int borderX = std::min(side, 1);
    const int borderY = std::min(bottom, 1);

    WindowMetrics metrics;
    metrics.captionHeight = toTwips(caption, twipsPerPixelY);
    metrics.sizingFrameWidth = 2 * toTwips(side - borderX, twipsPerPixelX);
    metrics.sizingFrameHeight = 2 * toTwips(bottom - borderY, twipsPerPixelY);
    metrics.borderWidth = 2 * toTwips(borderX, twipsPerPixelX);
    metrics.borderHeight = 2 * toTwips(borderY, twipsPerPixelY);
    return metrics;
}

std::optional<QMargins> shownWindowFrame()
{
    const QWindow* best = nullptr;
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (!window->isVisible() || !window->handle() || framePreference(*window) < 0)
            continue;
        if (!best || framePreference(*window) < framePreference(*best))
            best = window;
    }
    if (!best)
        return std::nullopt;
    return best->frameMargins();
}

QMargins estimatedWindowFrame()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || !windowSystemDrawsFrames())
        return {};
    const QStyle* style = QApplication::style();
    const int frame = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    const int caption = style->pixelMetric(QStyle::PM_TitleBarHeight);
    return {frame, caption + frame, frame, frame};
}

// Set only by tests; plain values, so it is ready before any code runs.
static std::optional<WindowMetrics> fixedWindowMetrics;

WindowMetrics currentWindowMetrics()
{
    if (fixedWindowMetrics)
        return *fixedWindowMetrics;
    const ScreenMetrics screen = screenMetrics();
    const QMargins frame = shownWindowFrame().value_or(estimatedWindowFrame());
    return windowMetricsFromFrame(frame, screen.twipsPerPixelX, screen.twipsPerPixelY);
}

void setFixedWindowMetrics(std::optional<WindowMetrics> metrics)
{
    fixedWindowMetrics = metrics;
}

void keepOnTop(QWidget& window, bool onTop)
{
    const Qt::WindowFlags flags = onTop ? window.windowFlags() | Qt::WindowStaysOnTopHint
                                        : window.windowFlags() & ~Qt::WindowStaysOnTopHint;
    QWindow* handle = window.windowHandle();
    if (!handle) {
        // Not created yet: the flag is taken along when the window is first shown.
        window.setWindowFlags(flags);
        return;
    }
    // QWidget::setWindowFlags would recreate the native window and hide it.
    const QRect frame = window.frameGeometry();
    handle->setFlag(Qt::WindowStaysOnTopHint, onTop);
    window.overrideWindowFlags(flags);
    if (window.frameGeometry() != frame)
        window.move(frame.topLeft());
}

} // namespace didev
