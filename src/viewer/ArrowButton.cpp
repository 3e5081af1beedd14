#include "viewer/ArrowButton.h"

#include <QPainter>
#include <QPolygonF>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace didev {

ArrowButton::ArrowButton(Direction direction, QWidget* parent)
    : QPushButton(parent)
    , direction_(direction)
{
    // The arrow keys belong to the window, which pages with them.
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(direction == Direction::Left ? QStringLiteral("Previous frame") : QStringLiteral("Next frame"));
}

QSize ArrowButton::sizeHint() const
{
    return {13, 13};
}

void ArrowButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    // The bevel alone: at 13 pixels the style's label margins would leave no room for the arrow.
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    const double side = std::max(3.0, std::min(area.width(), area.height()) * 0.5);
    const QPointF centre = area.center() + (isDown() ? QPointF(0.5, 0.5) : QPointF());
    const double half = side / 2;
    // A triangle as wide as half its height, so it reads as an arrow head.
    const double reach = half * 0.5;
    QPolygonF triangle;
    if (direction_ == Direction::Left)
        triangle << QPointF(centre.x() - reach, centre.y()) << QPointF(centre.x() + reach, centre.y() - half)
                 << QPointF(centre.x() + reach, centre.y() + half);
    else
        triangle << QPointF(centre.x() + reach, centre.y()) << QPointF(centre.x() - reach, centre.y() - half)
                 << QPointF(centre.x() - reach, centre.y() + half);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isEnabled() ? palette().color(QPalette::ButtonText) : palette().color(QPalette::Disabled, QPalette::ButtonText));
    painter.drawPolygon(triangle);
}

} // namespace didev
