#include "viewer/ArrowButton.h"

#include <QPainter>
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

    // A solid arrow head of whole-pixel columns, tallest at the back: crisp at any button size.
    const QRect area = rect().adjusted(1, 1, -1, -1);
    // As large as the button allows, for a hand in a hurry: at 13 pixels nine pixels tall.
    const int columns = std::max(2, (std::min(area.width(), area.height()) + 1) / 2 - 1);
    const int shift = isDown() ? 1 : 0;
    const int centreY = area.top() + area.height() / 2 + shift;
    const int left = area.left() + (area.width() - columns) / 2 + shift;
    painter.setPen(Qt::NoPen);
    painter.setBrush(isEnabled() ? palette().color(QPalette::ButtonText) : palette().color(QPalette::Disabled, QPalette::ButtonText));
    for (int k = 0; k < columns; ++k) {
        // Column k from the tip has 2k + 1 pixels.
        const int height = 2 * k + 1;
        const int x = direction_ == Direction::Left ? left + k : left + columns - 1 - k;
        painter.drawRect(QRect(x, centreY - k, 1, height));
    }
}

} // namespace didev
