#pragma once

#include "capture/VideoFrame.h"

#include <QWidget>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace didev {

class CaptureControl;
class X11PictureOutput;

// The live picture: paints the capture control's newest frame fitted to its area with the
// aspect kept, black around it, and reports presses and moves of the pointer to the control.
// It tells the control its size, so frames come already scaled and a paint only copies them.
// On an X server that maps memory files the view is a window of its own, and the pictures go
// to it from the scaler's memory, past Qt's backing store (see X11PictureOutput).
class VideoView : public QWidget {
    Q_OBJECT

public:
    explicit VideoView(CaptureControl& control, QWidget* parent = nullptr);
    ~VideoView() override;

    // Whether pictures go to the screen past the backing store.
    bool putsPicturesDirectly() const { return testAttribute(Qt::WA_PaintOnScreen); }
    // None while they do: Qt paints nothing of the view then.
    QPaintEngine* paintEngine() const override;

    // The largest rectangle of the picture's aspect that fits `area`, centred in it.
    static QRect fittedRect(QSize picture, QRect area);

    // Where the last paint put the picture; empty when it showed none.
    QRect pictureRect() const { return pictureRect_; }
    // The picture of the frame shown last, as the frame brought it.
    const QImage& pictureShown() const { return pictureShown_; }
    // Distinct frames painted so far.
    uint64_t framesShown() const { return framesShown_; }
    // From the source making the newest painted frame to its paint.
    std::optional<std::chrono::nanoseconds> lastLatency() const { return lastLatency_; }

signals:
    // After a paint that showed a frame not painted before.
    void framePainted();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // A new frame repaints only the picture's rectangle while it keeps its place; the borders
    // stay as they were painted.
    void showNewFrame();
    // The frame to show and where, in this view; a null frame when none is.
    VideoFramePtr frameToShow(QRect& target) const;
    // `frame` put at `target` past the backing store, `exposed` outside it black. False when
    // the X server refused: from then on the view paints through the backing store.
    bool putDirectly(const VideoFramePtr& frame, QRect target, const QRegion& exposed);
    void paintWithPainter(QPaintEvent* event, const VideoFramePtr& frame, QRect target);
    // Counts `frame` when it was not shown before, and its latency.
    void noteShown(const VideoFrame& frame);

    CaptureControl& control_;
    std::unique_ptr<X11PictureOutput> output_;   // made with the view's window
    QRect pictureRect_;
    QImage pictureShown_;
    GstObjectPtr<GstClock> clock_;   // for the latency, taken at the first frame
    uint64_t lastSequence_ = 0;
    uint64_t framesShown_ = 0;
    std::optional<std::chrono::nanoseconds> lastLatency_;
};

} // namespace didev
