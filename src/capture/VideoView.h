#pragma once

#include "capture/VideoFrame.h"

#include <QWidget>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace didev {

class CaptureControl;

// The live picture: shows the capture control's newest frame fitted to its area with the
// aspect kept, black around it, and reports presses and moves of the pointer to the control.
// It tells the control its size, so frames come already scaled and showing one only copies it.
// On an X server that maps memory files the view is a window of its own, and the streaming
// thread puts each picture on it from the scaler's memory as the frame comes, past Qt's backing
// store and the UI thread (see X11PictureOutput). Elsewhere Qt paints the view.
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

    // Where the picture shown last is; empty when the view showed none.
    QRect pictureRect() const;
    // The picture of the frame shown last, as the frame brought it.
    QImage pictureShown() const;
    // Distinct frames shown so far. Any thread.
    uint64_t framesShown() const;
    // From the source making the newest shown frame to its showing. Any thread.
    std::optional<std::chrono::nanoseconds> lastLatency() const;

signals:
    // After the view showed a frame it had not shown before; on the streaming thread when that
    // thread put it.
    void framePainted();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    class Screen;

    // A frame the streaming thread did not show: Qt repaints only the picture's rectangle while
    // it keeps its place, the borders stay as they were painted.
    void showNewFrame();
    // The frame to show and where in `area`; a null frame when none is.
    VideoFramePtr frameToShow(QRect area, QRect& target) const;
    // The view in the screen's pixels, which its window and the pictures made for it have.
    QRect screenArea() const;
    QRegion inScreenPixels(const QRegion& region) const;
    // Whether each of the view's pixels is a whole number of the screen's, one or more each way:
    // pictures are put only then, as Qt would round the window's size at any other ratio.
    bool onWholeScreenPixels() const;
    // `frame` put at `target` past the backing store, `exposed` outside it black, both in the
    // screen's pixels.
    void putDirectly(const VideoFramePtr& frame, QRect target, const QRegion& exposed);
    void paintWithPainter(QPaintEvent* event, const VideoFramePtr& frame, QRect target);
    // When the X server refuses the pictures, or the view's pixels are not whole screen pixels:
    // Qt paints the view from then on.
    void paintThroughBackingStore();

    CaptureControl& control_;
    std::shared_ptr<Screen> screen_;   // shared with the control while it puts frames
};

} // namespace didev
