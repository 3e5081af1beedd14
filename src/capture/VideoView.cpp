#include "capture/VideoView.h"

#include "capture/CaptureControl.h"

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
    connect(&control_, &CaptureControl::frameArrived, this, &VideoView::showNewFrame);
}

void VideoView::showNewFrame()
{
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

void VideoView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    // Without a video device the last picture would pass for live video: the area is cleared.
    const VideoFramePtr frame = control_.videoDevices().selectedIndex() == -1 ? nullptr : control_.newestFrame();
    const QRect target = frame ? fittedRect(QSize(frame->width(), frame->height()), rect()) : QRect();
    const QImage* image = frame ? &frame->view() : nullptr;
    if (target.isEmpty() || image->isNull()) {
        painter.fillRect(rect(), Qt::black);
        pictureRect_ = QRect();
        return;
    }
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
    if (image->size() == device) {
        QImage shown = *image;   // shares the pixels; copied only on a high-density screen
        shown.setDevicePixelRatio(devicePixelRatio());
        painter.drawImage(target.topLeft(), shown);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, *image);
    }

    if (frame->sequence() != lastSequence_) {
        lastSequence_ = frame->sequence();
        ++framesShown_;
        if (frame->sourceTime() != GST_CLOCK_TIME_NONE) {
            if (!clock_)
                clock_.reset(gst_system_clock_obtain());
            const GstClockTime now = gst_clock_get_time(clock_.get());
            if (now >= frame->sourceTime())
                lastLatency_ = std::chrono::nanoseconds(now - frame->sourceTime());
        }
        emit framePainted();
    }
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
