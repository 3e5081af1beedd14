#include "capture/StatusPanel.h"

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
    setMargin(1);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setToolTip(text);
}

void StatusPanel::setCaption(const QString& text)
{
    setText(text);
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

void StatusPanel::mousePressEvent(QMouseEvent* event)
{
    QLabel::mousePressEvent(event);
    // Last: the click may open a menu whose loop outlives this panel.
    if (event->button() == Qt::LeftButton)
        emit clicked(index_);
}

} // namespace didev
