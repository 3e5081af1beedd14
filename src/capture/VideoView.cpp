#include "capture/VideoView.h"

#include "capture/CaptureControl.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace didev {

VideoView::VideoView(CaptureControl& control, QWidget* parent)
    : QWidget(parent)
    , control_(control)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    connect(&control_, &CaptureControl::frameArrived, this, qOverload<>(&QWidget::update));
}

QRect VideoView::fittedRect(QSize picture, QRect area)
{
    if (picture.isEmpty() || area.isEmpty())
        return {};
    const QSize fitted = picture.scaled(area.size(), Qt::KeepAspectRatio);
    return {area.left() + (area.width() - fitted.width()) / 2, area.top() + (area.height() - fitted.height()) / 2,
            fitted.width(), fitted.height()};
}

void VideoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Without a video device the last picture would pass for live video: the area is cleared.
    const VideoFramePtr frame = control_.videoDevices().selectedIndex() == -1 ? nullptr : control_.newestFrame();
    if (!frame) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QRect target = fittedRect(QSize(frame->width(), frame->height()), rect());
    const VideoFrame::Mapping mapping(*frame);
    if (target.isEmpty() || !mapping.valid()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Only the borders around the picture are cleared; the picture covers the rest.
    const QRegion borders = QRegion(rect()) - target;
    for (const QRect& part : borders)
        painter.fillRect(part, Qt::black);

    const QImage image(mapping.bits(), frame->width(), frame->height(), mapping.stride(), QImage::Format_RGB32);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);

    if (frame->sequence() != lastSequence_) {
        lastSequence_ = frame->sequence();
        ++framesShown_;
        if (frame->sourceTime() != GST_CLOCK_TIME_NONE) {
            const GstObjectPtr<GstClock> clock(gst_system_clock_obtain());
            const GstClockTime now = gst_clock_get_time(clock.get());
            if (now >= frame->sourceTime())
                lastLatency_ = std::chrono::nanoseconds(now - frame->sourceTime());
        }
        emit framePainted();
    }
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
