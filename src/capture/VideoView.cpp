#include "capture/VideoView.h"

#include "capture/CaptureControl.h"

#include "capture/X11PictureOutput.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace didev {

VideoView::VideoView(CaptureControl& control, QWidget* parent)
    : QWidget(parent)
    , control_(control)
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

VideoView::~VideoView() = default;

QPaintEngine* VideoView::paintEngine() const
{
    return putsPicturesDirectly() ? nullptr : QWidget::paintEngine();
}

bool VideoView::event(QEvent* event)
{
    if (event->type() == QEvent::WinIdChange)
        output_.reset();
    return QWidget::event(event);
}

void VideoView::showNewFrame()
{
    if (putsPicturesDirectly()) {
        if (!isVisible() || !testAttribute(Qt::WA_WState_Created))
            return;
        QRect target;
        const VideoFramePtr frame = frameToShow(target);
        // A picture of another size or place leaves the rest of the view to be cleared.
        putDirectly(frame, target, target != pictureRect_ ? QRegion(rect()) : QRegion());
        return;
    }
    // Painted now rather than from a posted request: one frame, one paint, no extra turn of
    // the event loop.
    if (pictureRect_.isEmpty())
        update();
    else
        repaint(pictureRect_);
}

QRect VideoView::fittedRect(QSize picture, QRect area)
{
    if (picture.isEmpty() || area.isEmpty())
        return {};
    const QSize fitted = ViewScaler::fittedSize(picture, area.size());
    return {area.left() + (area.width() - fitted.width()) / 2, area.top() + (area.height() - fitted.height()) / 2,
            fitted.width(), fitted.height()};
}

VideoFramePtr VideoView::frameToShow(QRect& target) const
{
    // Without a video device the last picture would pass for live video: the area is cleared.
    VideoFramePtr frame = control_.videoDevices().selectedIndex() == -1 ? nullptr : control_.newestFrame();
    target = frame && !frame->view().isNull() ? fittedRect(QSize(frame->width(), frame->height()), rect()) : QRect();
    if (target.isEmpty())
        frame = nullptr;
    return frame;
}

void VideoView::paintEvent(QPaintEvent* event)
{
    QRect target;
    const VideoFramePtr frame = frameToShow(target);
    // A paint into something else than the screen (QWidget::grab) goes through a painter.
    if (putsPicturesDirectly() && !redirected(nullptr)) {
        putDirectly(frame, target, event->region());
        return;
    }
    paintWithPainter(event, frame, target);
}

bool VideoView::putDirectly(const VideoFramePtr& frame, QRect target, const QRegion& exposed)
{
    if (!output_)
        output_ = X11PictureOutput::forWindow(static_cast<uint32_t>(winId()));
    bool put = output_ != nullptr && devicePixelRatio() == 1;
    if (put && !frame) {
        output_->fill(exposed);
        pictureRect_ = QRect();
        pictureShown_ = QImage();
    } else if (put) {
        // A frame made for the size before a resize is scaled here, until frames of the new size come.
        const QImage& view = frame->view();
        const bool fits = view.size() == target.size();
        const QImage shown = fits ? view : view.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        put = output_->put(shown, fits ? frame->viewMemory() : nullptr, target.topLeft(), exposed - target);
        pictureRect_ = target;
        if (put)
            noteShown(*frame);
    }
    if (!put) {
        // The X server will not take them: Qt paints the view from now on.
        output_.reset();
        setAttribute(Qt::WA_PaintOnScreen, false);
        update();
    }
    return put;
}

void VideoView::paintWithPainter(QPaintEvent* event, const VideoFramePtr& frame, QRect target)
{
    QPainter painter(this);
    if (!frame) {
        painter.fillRect(rect(), Qt::black);
        pictureRect_ = QRect();
        pictureShown_ = QImage();
        return;
    }
    const QImage& image = frame->view();
    if (target != pictureRect_) {
        // A frame of another size: what this paint leaves out around the picture is painted next.
        if (!event->rect().contains(rect()))
            update();
        pictureRect_ = target;
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
    noteShown(*frame);
}

void VideoView::noteShown(const VideoFrame& frame)
{
    pictureShown_ = frame.view();
    if (frame.sequence() == lastSequence_)
        return;
    lastSequence_ = frame.sequence();
    ++framesShown_;
    if (frame.sourceTime() != GST_CLOCK_TIME_NONE) {
        if (!clock_)
            clock_.reset(gst_system_clock_obtain());
        const GstClockTime now = gst_clock_get_time(clock_.get());
        if (now >= frame.sourceTime())
            lastLatency_ = std::chrono::nanoseconds(now - frame.sourceTime());
    }
    emit framePainted();
}

void VideoView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    control_.setViewArea(size() * devicePixelRatio());
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
