#include "ui/StatusPanel.h"

#include "common/Rounding.h"
#include "ui/Screen.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace didev {

StatusPanel::StatusPanel(int index, const QString& text, QWidget* parent)
    : QLabel(text, parent)
    , index_(index)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setObjectName(QStringLiteral("Panel%1").arg(index));
    setToolTip(text);
}

void StatusPanel::setText(const QString& text)
{
    QLabel::setText(text);
    setToolTip(text);
}

QSize StatusPanel::minimumSizeHint() const
{
    const QMargins frame = contentsMargins();
    return {frame.left() + frame.right() + 2 * margin() + fontMetrics().horizontalAdvance(QStringLiteral("…")),
        QLabel::minimumSizeHint().height()};
}

void StatusPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().marginsRemoved(QMargins(margin(), margin(), margin(), margin()));
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
        isEnabled(), shown, foregroundRole());
}

StatusPanelClick StatusPanel::click() const
{
    const ScreenMetrics screen = screenMetrics();
    StatusPanelClick click;
    click.index = static_cast<int16_t>(index_);
    click.left = roundToLong(x() * screen.twipsPerPixelX);
    click.width = roundToLong(width() * screen.twipsPerPixelX);
    click.text = text();
    return click;
}

void StatusPanel::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void StatusPanel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    // Last: the click may open a menu whose loop outlives this panel.
    if (click)
        emit clicked(index_);
}

} // namespace didev
