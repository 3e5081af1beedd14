#include "capture/VideoView.h"

#include "capture/CaptureControl.h"
#include "capture/CaptureLog.h"
#include "capture/X11PictureOutput.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <atomic>
#include <mutex>

namespace didev {

// What the view shows, reached by the UI thread and, while pictures go out past the backing
// store, by the streaming threads too. One lock keeps them to one picture at a time; it is
// recursive, as a handler of framePainted on a streaming thread may ask what is shown.
class VideoView::Screen final : public FrameOutput {
public:
    explicit Screen(VideoView* view)
        : view(view)
    {
    }

    // Streaming thread: `frame` put when it fits the view as it is now. A frame made for the
    // size before a resize is left to the UI thread, which scales it.
    bool show(const VideoFramePtr& frame) override
    {
        std::lock_guard lock(mutex);
        if (!view || !visible || !output)
            return false;
        const QRect area(QPoint(), size);
        const QRect target = fittedRect(QSize(frame->width(), frame->height()), area);
        if (target.isEmpty() || frame->view().size() != target.size())
            return false;
        if (!put(frame->view(), frame->viewMemory(), target, leftToClear(target, area) - target))
            return false;
        // Under the lock, so that the view cannot go while it is told.
        if (noteShown(*frame))
            emit view->framePainted();
        return true;
    }

    // `image`, a frame's picture or a copy of it scaled, put at `target`. Lock held.
    bool put(const QImage& image, std::shared_ptr<const ViewMemory> memory, QRect target,
             const QRegion& black)
    {
        if (!output->put(image, std::move(memory), target.topLeft(), black))
            return false;
        pictureRect = target;
        return true;
    }

    // What a picture put at `target` leaves to be cleared in `area`: all of it when the picture
    // moves or changes size, else nothing. Lock held.
    QRegion leftToClear(QRect target, QRect area) const { return target != pictureRect ? QRegion(area) : QRegion(); }

    void showNone()
    {
        pictureRect = QRect();
        pictureShown = QImage();
    }

    // Counts `frame` and its latency; true when it was not shown before. Lock held.
    bool noteShown(const VideoFrame& frame)
    {
        pictureShown = frame.view();
        if (frame.sequence() == lastSequence)
            return false;
        lastSequence = frame.sequence();
        framesShown.fetch_add(1, std::memory_order_relaxed);
        if (frame.sourceTime() != GST_CLOCK_TIME_NONE) {
            if (!clock)
                clock.reset(gst_system_clock_obtain());
            const GstClockTime now = gst_clock_get_time(clock.get());
            if (now >= frame.sourceTime())
                lastLatency.store(static_cast<int64_t>(now - frame.sourceTime()), std::memory_order_relaxed);
        }
        return true;
    }

    std::recursive_mutex mutex;
    VideoView* view;   // null once the view is gone
    std::unique_ptr<X11PictureOutput> output;   // made with the view's window
    bool visible = false;
    // The view's size in the screen's pixels, which the window and the pictures have.
    QSize size;
    // Where the picture is: in the screen's pixels while the view puts pictures, else the view's.
    QRect pictureRect;
    QImage pictureShown;
    uint64_t lastSequence = 0;
    GstObjectPtr<GstClock> clock;   // for the latency, taken at the first frame
    std::atomic<uint64_t> framesShown{0};
    std::atomic<int64_t> lastLatency{-1};   // nanoseconds; -1 before the first
};

VideoView::VideoView(CaptureControl& control, QWidget* parent)
    : QWidget(parent)
    , control_(control)
    , screen_(std::make_shared<Screen>(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    if (X11PictureOutput::available()) {
        // A window of its own, which Qt leaves to the view to paint; its parents stay as they are.
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    connect(&control_, &CaptureControl::frameArrived, this, &VideoView::showNewFrame);
}

VideoView::~VideoView()
{
    // The control may be gone already; it keeps the screen, which no longer shows anything.
    std::lock_guard lock(screen_->mutex);
    screen_->view = nullptr;
    screen_->output.reset();
}

QPaintEngine* VideoView::paintEngine() const
{
    return putsPicturesDirectly() ? nullptr : QWidget::paintEngine();
}

QRect VideoView::pictureRect() const
{
    std::lock_guard lock(screen_->mutex);
    const QRect picture = screen_->pictureRect;
    if (!putsPicturesDirectly())
        return picture;
    return {picture.topLeft() / devicePixelRatio(), picture.size() / devicePixelRatio()};
}

QImage VideoView::pictureShown() const
{
    std::lock_guard lock(screen_->mutex);
    return screen_->pictureShown;
}

uint64_t VideoView::framesShown() const
{
    return screen_->framesShown.load(std::memory_order_relaxed);
}

std::optional<std::chrono::nanoseconds> VideoView::lastLatency() const
{
    const int64_t latency = screen_->lastLatency.load(std::memory_order_relaxed);
    if (latency < 0)
        return std::nullopt;
    return std::chrono::nanoseconds(latency);
}

bool VideoView::event(QEvent* event)
{
    if (event->type() == QEvent::WinIdChange) {
        // Made again for the new window at the next paint.
        std::lock_guard lock(screen_->mutex);
        screen_->output.reset();
    }
    return QWidget::event(event);
}

void VideoView::showNewFrame()
{
    if (putsPicturesDirectly()) {
        if (!isVisible() || !testAttribute(Qt::WA_WState_Created))
            return;
        QRect target;
        const VideoFramePtr frame = frameToShow(screenArea(), target);
        QRegion exposed;
        {
            std::lock_guard lock(screen_->mutex);
            exposed = screen_->leftToClear(target, screenArea());
        }
        putDirectly(frame, target, exposed);
        return;
    }
    // Painted now rather than from a posted request: one frame, one paint, no extra turn of
    // the event loop.
    const QRect picture = pictureRect();
    if (picture.isEmpty())
        update();
    else
        repaint(picture);
}

QRect VideoView::fittedRect(QSize picture, QRect area)
{
    if (picture.isEmpty() || area.isEmpty())
        return {};
    const QSize fitted = ViewScaler::fittedSize(picture, area.size());
    return {area.left() + (area.width() - fitted.width()) / 2, area.top() + (area.height() - fitted.height()) / 2,
            fitted.width(), fitted.height()};
}

QRect VideoView::screenArea() const
{
    return {QPoint(), size() * devicePixelRatio()};
}

QRegion VideoView::inScreenPixels(const QRegion& region) const
{
    const int ratio = qRound(devicePixelRatio());
    if (ratio == 1)
        return region;
    QRegion scaled;
    for (const QRect& part : region)
        scaled += QRect(part.topLeft() * ratio, part.size() * ratio);
    return scaled;
}

VideoFramePtr VideoView::frameToShow(QRect area, QRect& target) const
{
    // Without a video device the last picture would pass for live video: the area is cleared.
    VideoFramePtr frame = control_.videoDevices().selectedIndex() == -1 ? nullptr : control_.newestFrame();
    target = frame && !frame->view().isNull() ? fittedRect(QSize(frame->width(), frame->height()), area) : QRect();
    if (target.isEmpty())
        frame = nullptr;
    return frame;
}

void VideoView::paintEvent(QPaintEvent* event)
{
    QRect target;
    // A paint into something else than the screen (QWidget::grab) goes through a painter.
    if (putsPicturesDirectly() && !redirected(nullptr)) {
        const VideoFramePtr frame = frameToShow(screenArea(), target);
        putDirectly(frame, target, inScreenPixels(event->region()));
        return;
    }
    const VideoFramePtr frame = frameToShow(rect(), target);
    paintWithPainter(event, frame, target);
}

void VideoView::putDirectly(const VideoFramePtr& frame, QRect target, const QRegion& exposed)
{
    bool put = false;
    bool shownFirst = false;
    {
        std::lock_guard lock(screen_->mutex);
        Screen& screen = *screen_;
        if (!screen.output && onWholeScreenPixels()) {
            screen.output = X11PictureOutput::forWindow(static_cast<uint32_t>(winId()));
            if (screen.output)
                control_.setFrameOutput(screen_);
        }
        put = screen.output != nullptr;
        if (put && !frame) {
            screen.output->fill(exposed);
            screen.showNone();
        } else if (put) {
            // A frame made for the size before a resize is scaled here, until frames of the new size come.
            const QImage& view = frame->view();
            const bool fits = view.size() == target.size();
            const QImage shown = fits ? view : view.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            put = screen.put(shown, fits ? frame->viewMemory() : nullptr, target, exposed - target);
            shownFirst = put && screen.noteShown(*frame);
        }
    }
    if (!put)
        paintThroughBackingStore();
    // Told with the lock let go: a handler may stop the stream, whose thread may be waiting for it.
    if (shownFirst)
        emit framePainted();
}

bool VideoView::onWholeScreenPixels() const
{
    const qreal ratio = devicePixelRatio();
    return ratio >= 1 && qFuzzyCompare(ratio, qreal(qRound(ratio)));
}

void VideoView::paintThroughBackingStore()
{
    if (!onWholeScreenPixels())
        qCInfo(captureLog) << "the screen has" << devicePixelRatio() << "device pixels per pixel: Qt paints the view's pictures";
    else
        qCInfo(captureLog) << "the X server does not take the view's pictures from shared memory: Qt paints them";
    {
        std::lock_guard lock(screen_->mutex);
        screen_->output.reset();
    }
    control_.setFrameOutput(nullptr);
    setAttribute(Qt::WA_PaintOnScreen, false);
    update();
}

void VideoView::paintWithPainter(QPaintEvent* event, const VideoFramePtr& frame, QRect target)
{
    QPainter painter(this);
    std::unique_lock lock(screen_->mutex);
    if (!frame) {
        painter.fillRect(rect(), Qt::black);
        screen_->showNone();
        return;
    }
    const QImage& image = frame->view();
    if (target != screen_->pictureRect) {
        // A frame of another size: what this paint leaves out around the picture is painted next.
        if (!event->rect().contains(rect()))
            update();
        screen_->pictureRect = target;
    }
    // Only the borders around the picture are cleared; the picture covers the rest.
    if (!target.contains(event->rect())) {
        const QRegion borders = event->region() - target;
        for (const QRect& part : borders)
            painter.fillRect(part, Qt::black);
    }

    // A frame made for the size before a resize is scaled here, until frames of the new size come.
    const QSize device = target.size() * devicePixelRatio();
    if (image.size() == device) {
        QImage shown = image;   // shares the pixels; copied only on a high-density screen
        shown.setDevicePixelRatio(devicePixelRatio());
        painter.drawImage(target.topLeft(), shown);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image);
    }
    const bool shownFirst = screen_->noteShown(*frame);
    lock.unlock();
    if (shownFirst)
        emit framePainted();
}

void VideoView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    {
        std::lock_guard lock(screen_->mutex);
        screen_->size = screenArea().size();
    }
    control_.setViewArea(screenArea().size());
}

void VideoView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    std::lock_guard lock(screen_->mutex);
    screen_->visible = true;
}

void VideoView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    std::lock_guard lock(screen_->mutex);
    screen_->visible = false;
}

void VideoView::mousePressEvent(QMouseEvent* event)
{
    control_.reportPointer(event->position());
}

void VideoView::mouseMoveEvent(QMouseEvent* event)
{
    control_.reportPointer(event->position());
}

} // namespace didev
