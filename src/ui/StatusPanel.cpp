#include "ui/StatusPanel.h"

#include "common/Rounding.h"
#include "ui/Screen.h"

#include <QMouseEvent>

namespace didev {

StatusPanel::StatusPanel(int index, const QString& text, QWidget* parent)
    : QLabel(text, parent)
    , index_(index)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setObjectName(QStringLiteral("Panel%1").arg(index));
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
