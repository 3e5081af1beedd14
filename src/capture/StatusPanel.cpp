#include "capture/StatusPanel.h"

#include <QMouseEvent>

namespace didev {

StatusPanel::StatusPanel(int index, const QString& text, QWidget* parent)
    : QLabel(text, parent)
    , index_(index)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setMargin(1);
    setTextInteractionFlags(Qt::NoTextInteraction);
}

void StatusPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(index_);
    QLabel::mousePressEvent(event);
}

} // namespace didev
