#include "ui/PictureBox.h"

#include "common/Twips.h"
#include "ui/Screen.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace didev {

namespace {

constexpr int kFixedSingleBorderPixels = 2;

// Paints the source part of a picture (top-down coordinates) into the target. The rows are
// wrapped as the picture's bitmap file holds them, bottom-up and uncopied, and painted mirrored.
void drawPicture(QPainter& painter, const QRectF& target, const Picture& picture, const QRectF& source)
{
    const QImage rows(picture.bits(), picture.width(), picture.height(), static_cast<qsizetype>(picture.stride()),
        QImage::Format_BGR888);
    const QRectF mirroredSource(source.x(), picture.height() - source.bottom(), source.width(), source.height());
    painter.save();
    painter.translate(0, target.top() + target.bottom());
    painter.scale(1, -1);
    painter.drawImage(target, rows, mirroredSource);
    painter.restore();
}

int dotsPerMeter(double twipsPerPixel)
{
    return static_cast<int>(std::lround(twipsPerPixel > 0 ? kTwipsPerInch / twipsPerPixel / 0.0254 : 3780));
}

// A 1 x 1 image at the screen's resolution, so text is measured as it is painted on the layer.
QImage measuringImage(double twipsPerPixelX, double twipsPerPixelY)
{
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(dotsPerMeter(twipsPerPixelX));
    image.setDotsPerMeterY(dotsPerMeter(twipsPerPixelY));
    return image;
}

QStringList linesOf(const QString& text)
{
    QString unified = text;
    unified.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return unified.split(QLatin1Char('\n'));
}

} // namespace

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    resizeLayer();
}

void PictureBox::setPicture(PicturePtr picture)
{
    picture_ = std::move(picture);
    if (autoSize_ && picture_)
        resizeBox(picture_->width() + 2 * borderPixels(), picture_->height() + 2 * borderPixels());
    Cls();
}

void PictureBox::setAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    if (autoSize_ && picture_)
        resizeBox(picture_->width() + 2 * borderPixels(), picture_->height() + 2 * borderPixels());
}

void PictureBox::setBorderStyle(BorderStyle style)
{
    borderStyle_ = style;
    resizeLayer();
    update();
}

void PictureBox::setBackColor(const QColor& color)
{
    backColor_ = color;
    update();
}

void PictureBox::setForeColor(const QColor& color)
{
    foreColor_ = color;
}

void PictureBox::Cls()
{
    layer_.fill(Qt::transparent);
    currentX_ = 0;
    currentY_ = 0;
    update();
}

int PictureBox::borderPixels() const noexcept
{
    return borderStyle_ == BorderStyle::FixedSingle ? kFixedSingleBorderPixels : 0;
}

double PictureBox::twipsPerPixelX() const
{
    return screenMetrics().twipsPerPixelX;
}

double PictureBox::twipsPerPixelY() const
{
    return screenMetrics().twipsPerPixelY;
}

double PictureBox::Left() const
{
    return x() * twipsPerPixelX();
}

double PictureBox::Top() const
{
    return y() * twipsPerPixelY();
}

double PictureBox::Width() const
{
    return width() * twipsPerPixelX();
}

double PictureBox::Height() const
{
    return height() * twipsPerPixelY();
}

void PictureBox::setLeft(double twips)
{
    move(twipsToPixels(twips, twipsPerPixelX()), y());
}

void PictureBox::setTop(double twips)
{
    move(x(), twipsToPixels(twips, twipsPerPixelY()));
}

void PictureBox::setWidth(double twips)
{
    resizeBox(std::max(0, twipsToPixels(twips, twipsPerPixelX())), height());
}

void PictureBox::setHeight(double twips)
{
    resizeBox(width(), std::max(0, twipsToPixels(twips, twipsPerPixelY())));
}

double PictureBox::ScaleWidth() const
{
    return std::max(0, width() - 2 * borderPixels()) * twipsPerPixelX();
}

double PictureBox::ScaleHeight() const
{
    return std::max(0, height() - 2 * borderPixels()) * twipsPerPixelY();
}

void PictureBox::print(const QString& text)
{
    const double tppX = twipsPerPixelX();
    const double tppY = twipsPerPixelY();
    if (!layer_.isNull()) {
        QPainter painter(&layer_);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font());
        painter.setPen(foreColor_);
        const QFontMetricsF metrics(font(), &layer_);
        double y = currentY_ / tppY;
        for (const QString& line : linesOf(text)) {
            painter.drawText(QPointF(currentX_ / tppX, y + metrics.ascent()), line);
            y += metrics.height();
        }
    }
    currentY_ += textHeight(text);
    currentX_ = 0;
    update();
}

double PictureBox::textWidth(const QString& text) const
{
    const double tppX = twipsPerPixelX();
    const QImage device = measuringImage(tppX, twipsPerPixelY());
    const QFontMetricsF metrics(font(), &device);
    double widest = 0;
    for (const QString& line : linesOf(text))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest * tppX;
}

double PictureBox::textHeight(const QString& text) const
{
    const double tppY = twipsPerPixelY();
    const QImage device = measuringImage(twipsPerPixelX(), tppY);
    const QFontMetricsF metrics(font(), &device);
    return metrics.height() * static_cast<double>(linesOf(text).size()) * tppY;
}

void PictureBox::PaintPicture(const PicturePtr& picture, const QRectF& destination, const QRectF& source)
{
    if (!picture || picture->width() <= 0 || picture->height() <= 0 || layer_.isNull())
        return;
    const double tppX = twipsPerPixelX();
    const double tppY = twipsPerPixelY();
    const QRectF target(destination.x() / tppX, destination.y() / tppY, destination.width() / tppX,
        destination.height() / tppY);
    const QRectF from = source.isEmpty()
        ? QRectF(0, 0, picture->width(), picture->height())
        : QRectF(source.x() / tppX, source.y() / tppY, source.width() / tppX, source.height() / tppY);
    QPainter painter(&layer_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    drawPicture(painter, target, *picture, from);
    update();
}

QImage PictureBox::composed() const
{
    const int border = borderPixels();
    QImage image(std::max(0, width() - 2 * border), std::max(0, height() - 2 * border), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    composeInto(painter);
    return image;
}

void PictureBox::composeInto(QPainter& painter) const
{
    painter.fillRect(QRect(0, 0, layer_.width(), layer_.height()), backColor_);
    if (picture_)
        drawPicture(painter, QRectF(0, 0, picture_->width(), picture_->height()), *picture_,
            QRectF(0, 0, picture_->width(), picture_->height()));
    painter.drawImage(QPointF(0, 0), layer_);
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int border = borderPixels();
    if (border > 0) {
        painter.fillRect(rect(), backColor_);
        painter.setPen(QColor(0xA0, 0xA0, 0xA0));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.setPen(QColor(0x69, 0x69, 0x69));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
        painter.setClipRect(rect().adjusted(border, border, -border, -border));
    }
    painter.translate(border, border);
    composeInto(painter);
}

void PictureBox::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    resizeLayer();
}

void PictureBox::resizeBox(int width, int height)
{
    resize(width, height);
    // A hidden widget gets its resize event only when shown; the layer must follow at once.
    resizeLayer();
}

void PictureBox::resizeLayer()
{
    const int border = borderPixels();
    const QSize size(std::max(0, width() - 2 * border), std::max(0, height() - 2 * border));
    if (size == layer_.size() && !layer_.isNull())
        return;
    QImage resized(size, QImage::Format_ARGB32_Premultiplied);
    if (!resized.isNull()) {
        resized.setDotsPerMeterX(dotsPerMeter(twipsPerPixelX()));
        resized.setDotsPerMeterY(dotsPerMeter(twipsPerPixelY()));
        resized.fill(Qt::transparent);
        if (!layer_.isNull()) {
            QPainter painter(&resized);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(QPointF(0, 0), layer_);
        }
    }
    layer_ = std::move(resized);
}

void paintScaled(PictureBox& source, PictureBox& target, float scale)
{
    const float width = static_cast<float>(source.ScaleWidth()) * scale;
    const float height = static_cast<float>(source.ScaleHeight()) * scale;
    target.Cls();
    target.setWidth(width);
    target.setHeight(height);
    target.PaintPicture(source.picture(), QRectF(0, 0, width, height),
        QRectF(0, 0, source.ScaleWidth(), source.ScaleHeight()));
}

} // namespace didev
