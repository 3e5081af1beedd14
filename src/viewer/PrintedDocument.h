#pragma once

#include "viewer/RecordedPicture.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <variant>
#include <vector>

class QPagedPaintDevice;

namespace didev {

// Alignment codes of the print-preview printer's TextAlign, for the text printed after it.
enum class TextAlignment : int32_t {
    LeftTop = 0,          // left edge at CurrentX, top at CurrentY (the default)
    CentredLine = 1,      // one line centred across the printable width, top at CurrentY
    LeftMiddle = 6,       // left edge at CurrentX, vertically centred on CurrentY
    CentredWrapped = 7,   // centred across the printable width and wrapped to it, top at CurrentY
};

// Text as printed: the box it was laid out in (twips, from the page's printable origin).
struct PrintedText {
    QRectF box;
    QString text;
    QFont font;           // pixel size in twips
    int flags = 0;        // Qt::AlignmentFlag | Qt::TextFlag
    TextAlignment alignment = TextAlignment::LeftTop;
};

// A picture as printed, scaled into its box (twips).
struct PrintedPicture {
    QRectF box;
    RecordedPicture picture;
};

using PrintCommand = std::variant<PrintedText, PrintedPicture>;

// One page: where its printable area starts on the paper (twips) and what was drawn on it.
struct PrintedPage {
    QPointF origin;
    std::vector<PrintCommand> commands;
};

// Dots per inch of paper at which pictures are shown in the print preview: sharp up to about
// one and a half times life size on a common screen.
inline constexpr int kPreviewResolution = 150;

// The recorded pages of one print document, in twips, so that the same document can be shown
// in the preview, printed, or written as PDF.
class PrintedDocument {
public:
    bool empty() const noexcept { return pages_.empty(); }
    const std::vector<PrintedPage>& pages() const noexcept { return pages_; }

    void clear() { pages_.clear(); }
    PrintedPage& addPage(QPointF origin);
    // The page being drawn on; starts one at the paper's corner when there is none.
    PrintedPage& currentPage();

    // Replays every page onto the printer (or a PDF writer), one page each, from the paper's
    // corner. Pictures are decoded one at a time as they are drawn; a preview, which keeps every
    // page's pictures, gets them at kPreviewResolution. False when the printer could not be
    // opened (no file, no printer).
    bool render(QPagedPaintDevice& printer) const;

    // Memory held by the recorded pictures of every page.
    size_t retainedPictureBytes() const noexcept;

private:
    std::vector<PrintedPage> pages_;
};

} // namespace didev
