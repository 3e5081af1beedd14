#include "ui/WidgetPlacedWindow.h"

#include "common/Twips.h"
#include "ui/Screen.h"
#include "ui/WindowFrame.h"

#include <QBasicTimer>
#include <QEvent>
#include <QPointer>
#include <QTimerEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <optional>

namespace didev {

namespace {

// A window of fixed size keeps it fixed at the new size.
void resizeWindow(QWidget& window, QSize client)
{
    if (window.minimumSize() == window.maximumSize())
        window.setFixedSize(client);
    else
        window.resize(client);
}

bool frameKnown(const QWidget& window)
{
    return window.isVisible() && window.windowHandle();
}

// A frame the window manager has drawn. While it is still putting the window into its frame, the
// margins the window system reports can be those of a frame not yet in place: negative ones are.
bool drawnFrame(const QMargins& frame)
{
    return !frame.isNull() && frame.left() >= 0 && frame.top() >= 0 && frame.right() >= 0 && frame.bottom() >= 0;
}

// The outer frame asked for before the window system had drawn a frame. Once the window is
// shown and its real frame is known, the client area is set so the outer frame has that size,
// and the frame is put where it was asked for: without it a stored size would drift by the
// difference on every open and close, and a window placed while shown but not yet framed
// would have its client area, not its frame, at the place (a title bar higher, a border left).
// The frame of a window that cannot be resized often differs from the estimate (no handle).
// The window manager announces the frame in a property of the window, which no event of the
// widget follows, so a shown window is looked at until the frame is there; a window that is
// never framed (no window manager) keeps nothing pending once it is given up on.
class PendingOuterSize final : public QObject {
public:
    static PendingOuterSize& of(QWidget& window)
    {
        auto* pending = find(window);
        if (!pending)
            pending = new PendingOuterSize(window);
        return *pending;
    }

    static void forget(QWidget& window)
    {
        delete find(window);
    }

    // Without a meta-object of its own, findChild<PendingOuterSize*> would match any child.
    static PendingOuterSize* find(QWidget& window)
    {
        for (QObject* child : window.children()) {
            if (auto* pending = dynamic_cast<PendingOuterSize*>(child))
                return pending;
        }
        return nullptr;
    }

    int width = -1;    // pixels, -1 when not asked for
    int height = -1;
    std::optional<QPoint> position;   // of the frame, in pixels

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (watched == window_ && (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize)) {
            if (type == QEvent::Show)
                lookAgain();
            applyWhenFramed();
        }
        return false;
    }

    void timerEvent(QTimerEvent* event) override
    {
        if (event->timerId() != poll_.timerId())
            return;
        if (!window_ || !window_->isVisible() || ++looks_ > kLooks)
            poll_.stop();
        else
            applyWhenFramed();
    }

private:
    // How long a shown window is waited for: 10 s in steps of 20 ms.
    static constexpr int kLookMilliseconds = 20;
    static constexpr int kLooks = 500;

    explicit PendingOuterSize(QWidget& window) : QObject(&window), window_(&window)
    {
        window.installEventFilter(this);
        if (window.isVisible())
            lookAgain();
    }

    void lookAgain()
    {
        looks_ = 0;
        poll_.start(kLookMilliseconds, this);
    }

    bool framedNow() const
    {
        return frameKnown(*window_) && drawnFrame(window_->windowHandle()->frameMargins());
    }

    void applyWhenFramed()
    {
        if (!framedNow())
            return;    // the window manager has not framed the window yet
        const QMargins frame = window_->windowHandle()->frameMargins();
        const QSize client(width < 0 ? window_->width() : std::max(1, width - frame.left() - frame.right()),
            height < 0 ? window_->height() : std::max(1, height - frame.top() - frame.bottom()));
        QWidget* window = window_;
        const std::optional<QPoint> framePosition = position;
        poll_.stop();
        window->removeEventFilter(this);
        // Out of the window's children at once, so what is asked for from now on starts afresh.
        setParent(nullptr);
        deleteLater();
        if (client != window->size())
            resizeWindow(*window, client);
        if (framePosition && window->pos() != *framePosition)
            window->move(*framePosition);
    }

    QPointer<QWidget> window_;
    QBasicTimer poll_;
    int looks_ = 0;
};


} // namespace

QSize WidgetPlacedWindow::frameExtent() const
{
    if (frameKnown(window_)) {
        const QMargins frame = window_.windowHandle()->frameMargins();
        if (frame.isNull() || drawnFrame(frame))
            return {frame.left() + frame.right(), frame.top() + frame.bottom()};
    }
    const ScreenMetrics screen = screenMetrics();
    const WindowMetrics metrics = currentWindowMetrics();
    return {twipsToPixels(metrics.sizingFrameWidth + metrics.borderWidth, screen.twipsPerPixelX),
        twipsToPixels(metrics.captionHeight + metrics.sizingFrameHeight + metrics.borderHeight, screen.twipsPerPixelY)};
}

bool WidgetPlacedWindow::framed() const
{
    if (frameKnown(window_) && drawnFrame(window_.windowHandle()->frameMargins())) {
        PendingOuterSize::forget(window_);
        return true;
    }
    return false;
}

void WidgetPlacedWindow::rememberUntilFramed(int outerWidth, int outerHeight)
{
    // Where no window system draws frames there is nothing to wait for.
    if (framed() || currentWindowMetrics() == WindowMetrics{})
        return;
    PendingOuterSize& pending = PendingOuterSize::of(window_);
    if (outerWidth >= 0)
        pending.width = outerWidth;
    if (outerHeight >= 0)
        pending.height = outerHeight;
}

void WidgetPlacedWindow::rememberPositionUntilFramed()
{
    // Where no window system draws frames there is nothing to wait for.
    if (framed() || currentWindowMetrics() == WindowMetrics{})
        return;
    PendingOuterSize::of(window_).position = window_.pos();
}

// QWidget::x() and y() of a window are the frame's position, also before it is shown.
double WidgetPlacedWindow::left() const
{
    return window_.x() * screenMetrics().twipsPerPixelX;
}

double WidgetPlacedWindow::top() const
{
    return window_.y() * screenMetrics().twipsPerPixelY;
}

double WidgetPlacedWindow::width() const
{
    return (window_.width() + frameExtent().width()) * screenMetrics().twipsPerPixelX;
}

double WidgetPlacedWindow::height() const
{
    return (window_.height() + frameExtent().height()) * screenMetrics().twipsPerPixelY;
}

void WidgetPlacedWindow::setLeft(double twips)
{
    window_.move(twipsToPixels(twips, screenMetrics().twipsPerPixelX), window_.y());
    rememberPositionUntilFramed();
}

void WidgetPlacedWindow::setTop(double twips)
{
    window_.move(window_.x(), twipsToPixels(twips, screenMetrics().twipsPerPixelY));
    rememberPositionUntilFramed();
}

void WidgetPlacedWindow::setWidth(double twips)
{
    const int outer = twipsToPixels(twips, screenMetrics().twipsPerPixelX);
    resizeWindow(window_, {std::max(1, outer - frameExtent().width()), window_.height()});
    rememberUntilFramed(outer, -1);
}

void WidgetPlacedWindow::setHeight(double twips)
{
    const int outer = twipsToPixels(twips, screenMetrics().twipsPerPixelY);
    resizeWindow(window_, {window_.width(), std::max(1, outer - frameExtent().height())});
    rememberUntilFramed(-1, outer);
}

} // namespace didev
