#include "viewer/StatusBarPanel.h"

#include <QMouseEvent>

namespace didev {

StatusBarPanel::StatusBarPanel(int index, const QString& text, QWidget* parent)
    : QLabel(text, parent)
    , index_(index)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setIndent(3);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setObjectName(QStringLiteral("Panel%1").arg(index));
}

void StatusBarPanel::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void StatusBarPanel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        emit clicked(index_);
}

} // namespace didev
