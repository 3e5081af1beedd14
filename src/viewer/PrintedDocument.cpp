#include "viewer/PrintedDocument.h"

#include "common/Twips.h"

#include <QPageLayout>
#include <QPaintEngine>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace didev {

namespace {

struct CommandPainter {
    QPainter& painter;
    double previewDotsPerTwip = 0;   // 0 on a real printer: pictures at their recorded size

    void operator()(const PrintedText& text) const
    {
        painter.setFont(text.font);
        painter.drawText(text.box, text.flags, text.text);
    }
    void operator()(const PrintedPicture& picture) const
    {
        QSize largest;
        if (previewDotsPerTwip > 0) {
            const QSizeF dots = picture.box.size() * previewDotsPerTwip;
            largest = QSize(std::max(1, static_cast<int>(std::ceil(dots.width()))), std::max(1, static_cast<int>(std::ceil(dots.height()))));
        }
        const QImage image = picture.picture.image(largest);
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

bool PrintedDocument::render(QPagedPaintDevice& printer) const
{
    // Origins are measured from the paper's corner, not from the printer's own margins.
    if (auto* systemPrinter = dynamic_cast<QPrinter*>(&printer)) {
        systemPrinter->setFullPage(true);
    } else {
        QPageLayout layout = printer.pageLayout();
        layout.setMode(QPageLayout::FullPageMode);
        printer.setPageLayout(layout);
    }
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Qt::black);
    const double scaleX = printer.logicalDpiX() / static_cast<double>(kTwipsPerInch);
    const double scaleY = printer.logicalDpiY() / static_cast<double>(kTwipsPerInch);
    // The preview records pages as pictures held in memory rather than sending them anywhere.
    const bool preview = painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Picture;
    const CommandPainter draw{painter, preview ? kPreviewResolution / static_cast<double>(kTwipsPerInch) : 0};
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (i > 0 && !printer.newPage())
            return false;
        painter.save();
        painter.scale(scaleX, scaleY);
        painter.translate(pages_[i].origin);
        for (const PrintCommand& command : pages_[i].commands)
            std::visit(draw, command);
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
