#include "viewer/PreviewPrinter.h"

#include "common/AutomationError.h"
#include "common/Twips.h"
#include "ui/InteractionSeam.h"
#include "viewer/DialogOwner.h"

#include <QDir>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <cmath>

namespace didev {

namespace {

constexpr double kTwipsPerPoint = kTwipsPerInch / 72.0;
constexpr double kMinimumFontPoints = 1;
constexpr double kMaximumFontPoints = 2048;

QPageSize::PageSizeId localePaper()
{
    return QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4;
}

std::unique_ptr<QPrinter> systemPrinter()
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (QPrinterInfo::defaultPrinter().isNull()) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setPageSize(QPageSize(localePaper()));
    }
    return printer;
}

double finiteTwips(double value)
{
    if (!std::isfinite(value))
        raiseError(ErrorNumber::InvalidPropertyValue);
    return value;
}

QPageLayout layoutInPoints(const QPrinter& printer)
{
    QPageLayout layout = printer.pageLayout();
    layout.setUnits(QPageLayout::Point);
    return layout;
}

} // namespace

PreviewPrinter::PreviewPrinter()
    : PreviewPrinter(systemPrinter())
{
}

PreviewPrinter::PreviewPrinter(std::unique_ptr<QPrinter> printer)
    : printer_(std::move(printer))
    , font_(QStringLiteral("Arial"))
{
    printer_->setFullPage(true);
    // Text is measured and drawn at sizes in twips; hinting at that scale would only distort it.
    font_.setHintingPreference(QFont::PreferNoHinting);
    setFontSize(fontPoints_);
}

PreviewPrinter::~PreviewPrinter() = default;

void PreviewPrinter::requireUsablePrinter() const
{
    if (!printer_->isValid())
        raiseError(ErrorNumber::PrinterError);
}

void PreviewPrinter::setMargin(int16_t& margin, int16_t twips)
{
    requireUsablePrinter();
    if (twips < -1)
        raiseError(ErrorNumber::InvalidPropertyValue);
    margin = twips;
}

void PreviewPrinter::setMarginBottom(int16_t twips) { setMargin(marginBottom_, twips); }
void PreviewPrinter::setMarginTop(int16_t twips) { setMargin(marginTop_, twips); }
void PreviewPrinter::setMarginLeft(int16_t twips) { setMargin(marginLeft_, twips); }
void PreviewPrinter::setMarginRight(int16_t twips) { setMargin(marginRight_, twips); }

QMarginsF PreviewPrinter::marginsInTwips() const
{
    const QMarginsF minimum = layoutInPoints(*printer_).minimumMargins() * kTwipsPerPoint;
    const auto side = [](int16_t margin, double printerMinimum) {
        return margin == -1 ? printerMinimum : static_cast<double>(margin);
    };
    return {side(marginLeft_, minimum.left()), side(marginTop_, minimum.top()), side(marginRight_, minimum.right()),
        side(marginBottom_, minimum.bottom())};
}

QSizeF PreviewPrinter::paperInTwips() const
{
    return layoutInPoints(*printer_).fullRect(QPageLayout::Point).size() * kTwipsPerPoint;
}

double PreviewPrinter::PageWidth() const
{
    const QMarginsF margins = marginsInTwips();
    return paperInTwips().width() - margins.left() - margins.right();
}

double PreviewPrinter::PageHeight() const
{
    const QMarginsF margins = marginsInTwips();
    return paperInTwips().height() - margins.top() - margins.bottom();
}

bool PreviewPrinter::PrintDialog(int16_t options)
{
    // Printing to a file needs a name before the dialog accepts; the preview writes its own copy.
    if (printer_->outputFormat() == QPrinter::PdfFormat && printer_->outputFileName().isEmpty())
        printer_->setOutputFileName(QDir::temp().filePath(QStringLiteral("frame-capture.pdf")));
    QPrintDialog dialog(printer_.get(), dialogOwner_);
    keepInFrontOfOwner(dialog, dialogOwner_);
    if (options == 1) {
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    }
    const bool accepted = InteractionSeam::instance().execPrintDialog(dialog);
    printer_->setFullPage(true);
    return accepted;
}

void PreviewPrinter::startPage()
{
    const QMarginsF margins = marginsInTwips();
    document_.addPage({margins.left(), margins.top()});
    currentX_ = 0;
    currentY_ = 0;
}

void PreviewPrinter::StartDoc()
{
    document_.clear();
    started_ = true;
    ended_ = false;
    startPage();
}

void PreviewPrinter::EndDoc()
{
    if (!started_)
        StartDoc();
    ended_ = true;
}

void PreviewPrinter::NewPage()
{
    if (!started_ || ended_)
        StartDoc();
    startPage();
}

PrintedPage& PreviewPrinter::page()
{
    if (!started_ || ended_) {
        // Started by drawing: the position set for that drawing stays.
        const double x = currentX_;
        const double y = currentY_;
        StartDoc();
        currentX_ = x;
        currentY_ = y;
    }
    return document_.currentPage();
}

void PreviewPrinter::setFontName(const QString& name)
{
    if (name.trimmed().isEmpty())
        raiseError(ErrorNumber::InvalidPropertyValue);
    font_.setFamily(name);
}

void PreviewPrinter::setFontSize(double points)
{
    if (!(points >= kMinimumFontPoints && points <= kMaximumFontPoints))
        raiseError(ErrorNumber::InvalidPropertyValue);
    fontPoints_ = points;
    font_.setPixelSize(static_cast<int>(std::lround(points * kTwipsPerPoint)));
}

void PreviewPrinter::setFontSize(const QString& points)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(points.trimmed(), &ok);
    if (!ok)
        raiseError(ErrorNumber::InvalidPropertyValue);
    setFontSize(value);
}

double PreviewPrinter::textHeight(const QString& text) const
{
    const QFontMetricsF metrics(font_);
    return metrics.height() + static_cast<double>(text.count(QLatin1Char('\n'))) * metrics.lineSpacing();
}

double PreviewPrinter::textWidth(const QString& text) const
{
    const QFontMetricsF metrics(font_);
    double width = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        width = std::max(width, metrics.horizontalAdvance(line));
    return width;
}

void PreviewPrinter::setCurrentX(double twips)
{
    currentX_ = finiteTwips(twips);
}

void PreviewPrinter::setCurrentY(double twips)
{
    currentY_ = finiteTwips(twips);
}

void PreviewPrinter::setTextAlign(int32_t code)
{
    switch (static_cast<TextAlignment>(code)) {
    case TextAlignment::LeftTop:
    case TextAlignment::CentredLine:
    case TextAlignment::LeftMiddle:
    case TextAlignment::CentredWrapped:
        alignment_ = static_cast<TextAlignment>(code);
        return;
    }
    raiseError(ErrorNumber::InvalidPropertyValue);
}

void PreviewPrinter::setText(const QString& text)
{
    PrintedPage& target = page();
    const double width = textWidth(text);
    const double height = textHeight(text);
    PrintedText printed{.box = {}, .text = text, .font = font_, .flags = Qt::AlignLeft | Qt::AlignTop, .alignment = alignment_};
    switch (alignment_) {
    case TextAlignment::LeftTop:
        printed.box = QRectF(currentX_, currentY_, width, height);
        break;
    case TextAlignment::CentredLine:
        printed.box = QRectF((PageWidth() - width) / 2, currentY_, width, height);
        printed.flags = Qt::AlignHCenter | Qt::AlignTop;
        break;
    case TextAlignment::LeftMiddle:
        printed.box = QRectF(currentX_, currentY_ - height / 2, width, height);
        break;
    case TextAlignment::CentredWrapped: {
        const double pageWidth = std::max(PageWidth(), 0.0);
        printed.flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
        const QRectF bounds = QFontMetricsF(font_).boundingRect(QRectF(0, 0, pageWidth, 1e7), printed.flags, text);
        printed.box = QRectF(0, currentY_, pageWidth, std::max(bounds.height(), height));
        break;
    }
    }
    currentY_ = printed.box.bottom();
    if (!text.isEmpty())
        target.commands.emplace_back(std::move(printed));
}

void PreviewPrinter::TextBox(const QString& text, double left, double top, double width, double height)
{
    const QRectF box(finiteTwips(left), finiteTwips(top), finiteTwips(width), finiteTwips(height));
    PrintedPage& target = page();
    if (text.isEmpty() || width <= 0 || height <= 0)
        return;
    target.commands.emplace_back(PrintedText{.box = box, .text = text, .font = font_,
        .flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap, .alignment = alignment_});
}

QRectF PreviewPrinter::pictureBox(QSize picture, double left, double& top, double& width, double height, int16_t fit)
{
    QRectF box(finiteTwips(left), finiteTwips(top), finiteTwips(width), finiteTwips(height));
    page();
    if (picture.isEmpty() || width <= 0 || height <= 0)
        return {};
    if (static_cast<PictureFit>(fit) != PictureFit::Stretch) {
        const QSizeF fitted = QSizeF(picture).scaled(box.size(), Qt::KeepAspectRatio);
        box = QRectF(left + (width - fitted.width()) / 2, top + (height - fitted.height()) / 2, fitted.width(), fitted.height());
        top = box.top();
        width = box.width();
    }
    return box;
}

QSize PreviewPrinter::printedPixels(const QRectF& box) const
{
    const double dotsPerTwip = std::max(printer_->resolution(), kPdfResolution) / static_cast<double>(kTwipsPerInch);
    const auto dots = [dotsPerTwip](double twips) {
        return static_cast<int>(std::clamp(std::ceil(twips * dotsPerTwip), 1.0, 1e9));
    };
    return {dots(box.width()), dots(box.height())};
}

void PreviewPrinter::DrawPicture(const QImage& picture, double left, double& top, double& width, double height, int16_t fit)
{
    const QRectF box = pictureBox(picture.size(), left, top, width, height, fit);
    if (!box.isEmpty())
        page().commands.emplace_back(PrintedPicture{box, RecordedPicture::fromImage(picture, printedPixels(box))});
}

void PreviewPrinter::DrawPicture(const Picture& picture, double left, double& top, double& width, double height, int16_t fit)
{
    const QRectF box = pictureBox({picture.width(), picture.height()}, left, top, width, height, fit);
    if (box.isEmpty())
        return;
    // A view of the shared rows, bottom-up; only what is kept of them is copied, upright.
    const QImage rows(picture.bits(), picture.width(), picture.height(), picture.stride(), QImage::Format_BGR888);
    const QSize kept = rows.size().boundedTo(printedPixels(box));
    QImage pixels = (kept == rows.size() ? rows : rows.scaled(kept, Qt::IgnoreAspectRatio, Qt::SmoothTransformation))
                        .convertToFormat(QImage::Format_RGB32);
    pixels.mirror(false, true);
    page().commands.emplace_back(PrintedPicture{box, RecordedPicture::fromImage(pixels)});
}

void PreviewPrinter::DrawPicture(const RecordedPicture& picture, double left, double& top, double& width, double height, int16_t fit)
{
    const QRectF box = pictureBox(picture.size(), left, top, width, height, fit);
    if (!box.isEmpty())
        page().commands.emplace_back(PrintedPicture{box, picture});
}

} // namespace didev
