#include "viewer/PrintedDocument.h"

#include "common/Twips.h"

#include <QPainter>
#include <QPrinter>

namespace didev {

namespace {

struct CommandPainter {
    QPainter& painter;

    void operator()(const PrintedText& text) const
    {
        painter.setFont(text.font);
        painter.drawText(text.box, text.flags, text.text);
    }
    void operator()(const PrintedPicture& picture) const
    {
        const QImage image = picture.picture.image();
        if (!image.isNull())
            painter.drawImage(picture.box, image);
    }
};

} // namespace

PrintedPage& PrintedDocument::addPage(QPointF origin)
{
    return pages_.emplace_back(PrintedPage{origin, {}});
}

PrintedPage& PrintedDocument::currentPage()
{
    return pages_.empty() ? addPage({}) : pages_.back();
}

bool PrintedDocument::render(QPrinter& printer) const
{
    // Origins are measured from the paper's corner, not from the printer's own margins.
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Qt::black);
    const double scaleX = printer.logicalDpiX() / static_cast<double>(kTwipsPerInch);
    const double scaleY = printer.logicalDpiY() / static_cast<double>(kTwipsPerInch);
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (i > 0 && !printer.newPage())
            return false;
        painter.save();
        painter.scale(scaleX, scaleY);
        painter.translate(pages_[i].origin);
        for (const PrintCommand& command : pages_[i].commands)
            std::visit(CommandPainter{painter}, command);
        painter.restore();
    }
    return painter.end();
}

size_t PrintedDocument::retainedPictureBytes() const noexcept
{
    size_t bytes = 0;
    for (const PrintedPage& page : pages_) {
        for (const PrintCommand& command : page.commands) {
            if (const auto* picture = std::get_if<PrintedPicture>(&command))
                bytes += picture->picture.retainedBytes();
        }
    }
    return bytes;
}

} // namespace didev
