#include "viewer/PreviewPrinter.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageLayout>
#include <QPrinter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace didev;

// The sheet as a whole is checked in printed PDFs (FramePrintingTest, PreviewHostTest,
// PrintQueueTest), its memory with ten full HD frames (FramePrintingTest); here what a PDF
// cannot tell: the page and the text in twips, and files that are no picture.

namespace {

std::unique_ptr<QPrinter> pdfPrinter()
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setPageSize(QPageSize(QPageSize::A4));
    return printer;
}

std::unique_ptr<PreviewPrinter> startedPrinter()
{
    auto printer = std::make_unique<PreviewPrinter>(pdfPrinter());
    printer->StartDoc();
    printer->setFontName("Arial");
    printer->setFontSize(QStringLiteral("11"));
    return printer;
}

template <typename Command>
const Command& lastCommand(const PreviewPrinter& printer)
{
    return std::get<Command>(printer.document().pages().back().commands.back());
}

} // namespace

TEST(PreviewPrinter, PageSizeIsThePaperInsideTheMarginsInTwips)
{
    const struct { QMarginsF minimum; int16_t left, top, right, bottom; double width, height; } cases[] = {
        {{}, 0, 0, 0, -1, 595 * 20, 842 * 20},
        {{10, 20, 30, 40}, 0, -1, -1, -1, 595 * 20 - 600, 842 * 20 - 400 - 800},   // -1: the printer's minimum
    };
    for (const auto& c : cases) {
        auto qprinter = pdfPrinter();
        QPageLayout layout = qprinter->pageLayout();
        layout.setUnits(QPageLayout::Point);
        layout.setMinimumMargins(c.minimum);
        qprinter->setPageLayout(layout);
        PreviewPrinter printer(std::move(qprinter));
        printer.setMarginLeft(c.left);
        printer.setMarginTop(c.top);
        printer.setMarginRight(c.right);
        printer.setMarginBottom(c.bottom);
        EXPECT_DOUBLE_EQ(printer.PageWidth(), c.width);
        EXPECT_DOUBLE_EQ(printer.PageHeight(), c.height);
        printer.StartDoc();
        EXPECT_EQ(printer.document().pages().front().origin, QPointF(c.left, c.top == -1 ? 400 : c.top));
    }
}

TEST(PreviewPrinter, TextIsMeasuredInTwipsOfTheCurrentFont)
{
    auto printer = startedPrinter();
    const double line = printer->textHeight("X");
    EXPECT_GT(line, 11 * 20);   // an 11-point line is a little over 220 twips high
    EXPECT_LT(line, 11 * 20 * 1.3);
    printer->setFontSize(22.0);
    EXPECT_NEAR(printer->textHeight("X"), 2 * line, 2);
}

// The header is centred on the page (wrapped to it on later pages), the frame numbers centred
// on the middle of their frame.
TEST(PreviewPrinter, AlignmentPlacesTheTextAroundThePositionAndMovesBelowIt)
{
    const QString header = "Kelvara Didev Evivod: Frame Capture";
    for (const auto alignment : {TextAlignment::CentredLine, TextAlignment::LeftMiddle, TextAlignment::CentredWrapped}) {
        const auto code = static_cast<int32_t>(alignment);
        auto printer = startedPrinter();
        printer->setTextAlign(code);
        printer->setCurrentX(1000);
        printer->setCurrentY(2000);
        printer->setText(header);
        const QRectF box = lastCommand<PrintedText>(*printer).box;
        if (alignment == TextAlignment::LeftMiddle) {
            EXPECT_DOUBLE_EQ(box.left(), 1000);
            EXPECT_DOUBLE_EQ(box.center().y(), 2000);
        } else {
            EXPECT_DOUBLE_EQ(box.center().x(), printer->PageWidth() / 2) << code;
            EXPECT_DOUBLE_EQ(box.top(), 2000) << code;
        }
        EXPECT_EQ(printer->CurrentY(), box.bottom()) << code;
    }
}

TEST(PreviewPrinter, BytesThatAreNoPictureAreNotDrawnAndACutFileDrawsWhatItHas)
{
    // Detail everywhere, so that the picture does not compress to almost nothing.
    QImage frame(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x)
            frame.setPixel(x, y, qRgb(x & 0xFF, (2 * y) & 0xFF, (x ^ y) & 0xFF));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(QImageWriter(&buffer, "jpeg").write(frame));

    const struct { const char* what; QByteArray bytes; bool recorded; } cases[] = {
        {"no bytes", {}, false},
        {"text", "not a picture at all", false},
        {"a JPEG cut where its scan starts", bytes.left(bytes.indexOf(QByteArray("\xFF\xDA", 2)) + 20), true},
        {"a JPEG cut in half", bytes.left(bytes.size() / 2), true},
    };
    for (const auto& c : cases) {
        const RecordedPicture picture = RecordedPicture::fromEncoded(c.bytes);
        EXPECT_EQ(!picture.isNull(), c.recorded) << c.what;
        auto printer = startedPrinter();
        double top = 0;
        double width = 2000;
        printer->DrawPicture(picture, 0, top, width, 1500, 10);
        EXPECT_EQ(printer->document().pages().back().commands.size(), c.recorded ? 1u : 0u) << c.what;
        QTemporaryDir folder;
        QPrinter pdf(QPrinter::HighResolution);
        pdf.setOutputFormat(QPrinter::PdfFormat);
        pdf.setOutputFileName(folder.filePath("cut.pdf"));
        EXPECT_TRUE(printer->document().render(pdf)) << c.what;
    }
}
