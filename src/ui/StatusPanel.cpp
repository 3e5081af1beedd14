#include "ui/StatusPanel.h"

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
    QLabel::mousePressEvent(event);
    // Last: the click may open a menu whose loop outlives this panel.
    if (event->button() == Qt::LeftButton)
        emit clicked(index_);
}

} // namespace didev
