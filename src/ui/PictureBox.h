#pragma once

#include "common/Picture.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QWidget>

namespace didev {

// A picture box: shows an assigned picture at its top-left and, above it, a persistent drawn
// layer (pictures painted scaled, printed text) that survives repaints until Cls. Geometry,
// the print position and text sizes are in twips; twips per pixel come from screenMetrics().
class PictureBox : public QWidget {
    Q_OBJECT

public:
    enum class BorderStyle { None, FixedSingle };

    explicit PictureBox(QWidget* parent = nullptr);

    // Assigning a picture (or none) clears the drawn layer; with autoSize the box then takes
    // the picture's size. Removing the picture keeps the box's size.
    void setPicture(PicturePtr picture);
    const PicturePtr& picture() const noexcept { return picture_; }
    void setAutoSize(bool autoSize);
    bool autoSize() const noexcept { return autoSize_; }

    void setBorderStyle(BorderStyle style);
    BorderStyle borderStyle() const noexcept { return borderStyle_; }
    void setBackColor(const QColor& color);
    QColor backColor() const { return backColor_; }
    void setForeColor(const QColor& color);
    QColor foreColor() const { return foreColor_; }

    // Clears what was drawn and puts the print position back to (0, 0); the picture stays.
    void Cls();

    // Outer geometry in twips, relative to the parent; sizes snap to whole pixels.
    double Left() const;
    double Top() const;
    double Width() const;
    double Height() const;
    void setLeft(double twips);
    void setTop(double twips);
    void setWidth(double twips);
    void setHeight(double twips);
    // The inner drawing area in twips (the outer size less the border).
    double ScaleWidth() const;
    double ScaleHeight() const;

    double CurrentX() const noexcept { return currentX_; }
    double CurrentY() const noexcept { return currentY_; }
    void setCurrentX(double twips) noexcept { currentX_ = twips; }
    void setCurrentY(double twips) noexcept { currentY_ = twips; }

    // Prints text in the box's font with its top-left at the print position, then moves the
    // position to the start of the next line.
    void print(const QString& text);
    // Size of a text in the box's font, in twips: the widest line, and the line height times
    // the number of lines.
    double textWidth(const QString& text) const;
    double textHeight(const QString& text) const;

    // Paints part of a picture (source rectangle in twips of its pixels) scaled into the
    // destination rectangle (twips of this box). A source of zero size takes the whole picture.
    void PaintPicture(const PicturePtr& picture, const QRectF& destination, const QRectF& source = QRectF());

    // The drawn layer (premultiplied ARGB, transparent where nothing was drawn).
    const QImage& drawnLayer() const noexcept { return layer_; }
    // What the box shows inside its border: back colour, picture and drawn layer.
    QImage composed() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int borderPixels() const noexcept;
    double twipsPerPixelX() const;
    double twipsPerPixelY() const;
    void resizeBox(int width, int height);
    void resizeLayer();
    void composeInto(QPainter& painter) const;

    PicturePtr picture_;
    bool autoSize_ = false;
    BorderStyle borderStyle_ = BorderStyle::None;
    QColor backColor_ = QColor(0xF0, 0xF0, 0xF0);
    QColor foreColor_ = Qt::black;
    QImage layer_;
    double currentX_ = 0;
    double currentY_ = 0;
};

// Clears `target` and paints the whole picture of `source` into it at (0, 0), scaled by `scale`
// (w = source ScaleWidth x scale, h likewise, in twips); the target first takes the size w x h.
void paintScaled(PictureBox& source, PictureBox& target, float scale);

} // namespace didev
