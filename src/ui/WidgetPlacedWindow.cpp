#include "ui/WidgetPlacedWindow.h"

#include "common/Twips.h"
#include "state/ModuleState.h"
#include "ui/Screen.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace didev {

namespace {

// The outer size asked for before the window system had drawn a frame. Once the window is
// shown and its real frame is known, the client area is set so the outer frame has that size;
// without it a stored size would drift by the difference on every open and close.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (watched == window_ && (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize))
            applyWhenFramed();
        return false;
    }

private:
    explicit PendingOuterSize(QWidget& window) : QObject(&window), window_(&window)
    {
        window.installEventFilter(this);
    }

    void applyWhenFramed()
    {
        QWindow* handle = window_->windowHandle();
        if (!window_->isVisible() || !handle)
            return;
        const QMargins frame = handle->frameMargins();
        if (frame.isNull())
            return;    // the window manager has not framed the window yet
        const QSize client(width < 0 ? window_->width() : std::max(1, width - frame.left() - frame.right()),
            height < 0 ? window_->height() : std::max(1, height - frame.top() - frame.bottom()));
        QWidget* window = window_;
        deleteLater();
        window->removeEventFilter(this);
        if (client != window->size())
            window->resize(client);
    }

    QPointer<QWidget> window_;
};

bool frameKnown(const QWidget& window)
{
    return window.isVisible() && window.windowHandle();
}

} // namespace

QSize WidgetPlacedWindow::frameExtent() const
{
    if (frameKnown(window_)) {
        const QMargins frame = window_.windowHandle()->frameMargins();
        return {frame.left() + frame.right(), frame.top() + frame.bottom()};
    }
    const ScreenMetrics screen = screenMetrics();
    const WindowMetrics& metrics = moduleState().windowMetrics;
    return {twipsToPixels(metrics.sizingFrameWidth + metrics.borderWidth, screen.twipsPerPixelX),
        twipsToPixels(metrics.captionHeight + metrics.sizingFrameHeight + metrics.borderHeight, screen.twipsPerPixelY)};
}

void WidgetPlacedWindow::rememberUntilFramed(int outerWidth, int outerHeight)
{
    if (frameKnown(window_) && !window_.windowHandle()->frameMargins().isNull()) {
        PendingOuterSize::forget(window_);
        return;
    }
    PendingOuterSize& pending = PendingOuterSize::of(window_);
    if (outerWidth >= 0)
        pending.width = outerWidth;
    if (outerHeight >= 0)
        pending.height = outerHeight;
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
}

void WidgetPlacedWindow::setTop(double twips)
{
    window_.move(window_.x(), twipsToPixels(twips, screenMetrics().twipsPerPixelY));
}

void WidgetPlacedWindow::setWidth(double twips)
{
    const int outer = twipsToPixels(twips, screenMetrics().twipsPerPixelX);
    window_.resize(std::max(1, outer - frameExtent().width()), window_.height());
    rememberUntilFramed(outer, -1);
}

void WidgetPlacedWindow::setHeight(double twips)
{
    const int outer = twipsToPixels(twips, screenMetrics().twipsPerPixelY);
    window_.resize(window_.width(), std::max(1, outer - frameExtent().height()));
    rememberUntilFramed(-1, outer);
}

} // namespace didev
