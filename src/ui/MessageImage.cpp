#include "ui/MessageImage.h"

#include <QPainter>

namespace didev {

MessageImage::MessageImage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("messageText"));
}

void MessageImage::printLines(const QStringList& lines, const QList<int>& tops)
{
    lines_ = lines;
    tops_ = tops;
    update();
}

void MessageImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const int ascent = painter.fontMetrics().ascent();
    for (qsizetype i = 0; i < lines_.size() && i < tops_.size(); ++i)
        painter.drawText(0, tops_[i] + ascent, lines_[i]);
}

} // namespace didev
