#pragma once

#include "common/Picture.h"
#include "viewer/PrintedDocument.h"

#include <QFont>
#include <QImage>
#include <QMarginsF>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

class QPrinter;

namespace didev {

// How DrawPicture fits a picture into its rectangle.
enum class PictureFit : int16_t {
    Stretch = 10,   // fills the rectangle exactly; the caller keeps the aspect ratio
    // Any other value keeps the picture's aspect ratio, centred in the rectangle.
};

// Dots per inch of the PDF the document is written to when nobody is there to see the preview.
inline constexpr int kPdfResolution = 1200;

// The printer object of the print-preview component. It draws in twips with QPainter commands
// recorded per page, so the finished document can be previewed, printed or written as PDF.
// Positions are measured from the top-left corner of the printable area inside the margins.
//
// Errors: 380 for a property value it cannot take, 482 when the printer cannot be used.
class PreviewPrinter {
public:
    // A printer on the system's default print queue with its default paper, or a PDF printer
    // with A4 or Letter paper by the locale when the system has no print queue.
    PreviewPrinter();
    explicit PreviewPrinter(std::unique_ptr<QPrinter> printer);
    ~PreviewPrinter();
    PreviewPrinter(const PreviewPrinter&) = delete;
    PreviewPrinter& operator=(const PreviewPrinter&) = delete;

    // Margins in twips; -1 stands for the printer's minimum margin on that side.
    int16_t MarginBottom() const noexcept { return marginBottom_; }
    int16_t MarginTop() const noexcept { return marginTop_; }
    int16_t MarginLeft() const noexcept { return marginLeft_; }
    int16_t MarginRight() const noexcept { return marginRight_; }
    void setMarginBottom(int16_t twips);
    void setMarginTop(int16_t twips);
    void setMarginLeft(int16_t twips);
    void setMarginRight(int16_t twips);

    // Shows the print dialog; true when the user confirmed a printer. Option 1 offers the
    // printer and its paper only, without a page range (the pages do not exist yet).
    bool PrintDialog(int16_t options);
    // The window the print dialog opens in front of; none by default.
    void setDialogOwner(QWidget* owner) { dialogOwner_ = owner; }
    QWidget* dialogOwner() const noexcept { return dialogOwner_; }

    // StartDoc begins an empty document with its first page; EndDoc finishes it. NewPage
    // starts the next page; both put the current position back to the top-left corner.
    // Drawing without a started document (or after EndDoc) starts one at the current position.
    void StartDoc();
    void EndDoc();
    void NewPage();
    bool documentEnded() const noexcept { return ended_; }

    QString fontName() const { return font_.family(); }
    void setFontName(const QString& name);
    // Points, 1 to 2048, also as decimal text ("11"); error 380 otherwise.
    double fontSize() const noexcept { return fontPoints_; }
    void setFontSize(double points);
    void setFontSize(const QString& points);

    // Size of a text in the current font, twips; lines are separated by line feeds.
    double textHeight(const QString& text) const;
    double textWidth(const QString& text) const;

    double CurrentX() const noexcept { return currentX_; }
    double CurrentY() const noexcept { return currentY_; }
    // Error 380 for a position that is not a finite number.
    void setCurrentX(double twips);
    void setCurrentY(double twips);

    // One of the TextAlignment codes; error 380 for others.
    int32_t TextAlign() const noexcept { return static_cast<int32_t>(alignment_); }
    void setTextAlign(int32_t code);

    // Prints the text at the current position with the current alignment; CurrentY then
    // stands below it, CurrentX where it was.
    void setText(const QString& text);
    // Prints the text centred in the box, wrapped to its width; the position does not move.
    void TextBox(const QString& text, double left, double top, double width, double height);

    // Draws the picture into the rectangle. top and width come back as the drawn picture's
    // (changed only when the picture keeps its aspect ratio). A null picture draws nothing.
    // Pixels are kept no larger than they print at the printer's resolution or the PDF's;
    // a recorded picture (the bytes of a picture file) is kept as it is.
    void DrawPicture(const QImage& picture, double left, double& top, double& width, double height, int16_t fit);
    void DrawPicture(const Picture& picture, double left, double& top, double& width, double height, int16_t fit);
    void DrawPicture(const RecordedPicture& picture, double left, double& top, double& width, double height, int16_t fit);

    // The printable area inside the margins, twips.
    double PageWidth() const;
    double PageHeight() const;

    const PrintedDocument& document() const noexcept { return document_; }
    QPrinter& printer() noexcept { return *printer_; }

private:
    void setMargin(int16_t& margin, int16_t twips);
    void requireUsablePrinter() const;
    QMarginsF marginsInTwips() const;
    QSizeF paperInTwips() const;
    PrintedPage& page();
    void startPage();
    // The picture's box for the rectangle, with top and width updated as DrawPicture returns them;
    // empty when nothing is to be drawn.
    QRectF pictureBox(QSize picture, double left, double& top, double& width, double height, int16_t fit);
    // Pixels that a box is printed at, at the highest resolution the document is drawn at.
    QSize printedPixels(const QRectF& box) const;

    std::unique_ptr<QPrinter> printer_;
    PrintedDocument document_;
    QPointer<QWidget> dialogOwner_;
    bool started_ = false;
    bool ended_ = false;

    int16_t marginLeft_ = 0;
    int16_t marginTop_ = 0;
    int16_t marginRight_ = 0;
    int16_t marginBottom_ = 0;

    QFont font_;
    double fontPoints_ = 10;
    TextAlignment alignment_ = TextAlignment::LeftTop;
    double currentX_ = 0;
    double currentY_ = 0;
};

} // namespace didev
