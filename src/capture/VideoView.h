#pragma once

#include "capture/VideoFrame.h"

#include <QWidget>

#include <chrono>
#include <cstdint>
#include <optional>

namespace didev {

class CaptureControl;

// The live picture: paints the capture control's newest frame fitted to its area with the
// aspect kept, black around it, and reports presses and moves of the pointer to the control.
// It tells the control its size, so frames come already scaled and a paint only copies them.
class VideoView : public QWidget {
    Q_OBJECT

public:
    explicit VideoView(CaptureControl& control, QWidget* parent = nullptr);

    // The largest rectangle of the picture's aspect that fits `area`, centred in it.
    static QRect fittedRect(QSize picture, QRect area);

    // Distinct frames painted so far.
    uint64_t framesShown() const { return framesShown_; }
    // From the source making the newest painted frame to its paint.
    std::optional<std::chrono::nanoseconds> lastLatency() const { return lastLatency_; }

signals:
    // After a paint that showed a frame not painted before.
    void framePainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // A new frame repaints only the picture's rectangle while it keeps its place; the borders
    // stay as they were painted.
    void showNewFrame();

    CaptureControl& control_;
    QRect pictureRect_;   // where the last paint put the picture; empty when it showed none
    GstObjectPtr<GstClock> clock_;   // for the latency, taken at the first frame
    uint64_t lastSequence_ = 0;
    uint64_t framesShown_ = 0;
    std::optional<std::chrono::nanoseconds> lastLatency_;
};

} // namespace didev
