#include "viewer/PreviewPrinter.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageLayout>
#include <QPrinter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace didev;

namespace {

std::unique_ptr<QPrinter> pdfPrinter(QPageSize::PageSizeId paper = QPageSize::A4)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setPageSize(QPageSize(paper));
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
    const struct { QPageSize::PageSizeId paper; QMarginsF minimum; int16_t left, top, right, bottom; double width, height; } cases[] = {
        {QPageSize::A4, {}, 0, 0, 0, -1, 595 * 20, 842 * 20},
        {QPageSize::Letter, {}, 0, 0, 0, -1, 612 * 20, 792 * 20},
        {QPageSize::A4, {}, 720, 360, 1440, 720, 595 * 20 - 2160, 842 * 20 - 1080},
        {QPageSize::A4, {10, 20, 30, 40}, 0, -1, -1, -1, 595 * 20 - 600, 842 * 20 - 400 - 800},   // -1: the printer's minimum
    };
    for (const auto& c : cases) {
        auto qprinter = pdfPrinter(c.paper);
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
    EXPECT_GT(printer->textHeight("a\nb\nc"), 2.9 * line);
    EXPECT_NEAR(printer->textWidth("XX"), 2 * printer->textWidth("X"), 0.5);
    EXPECT_DOUBLE_EQ(printer->textWidth("ab\ncdef"), printer->textWidth("cdef"));
    printer->setFontSize(22.0);
    EXPECT_NEAR(printer->textHeight("X"), 2 * line, 2);
}

TEST(PreviewPrinter, AlignmentCodesPlaceTheTextAndMoveBelowIt)
{
    const QString header = "Kelvara Didev Evivod: Frame Capture";
    for (const int32_t code : {0, 1, 6, 7}) {
        auto printer = startedPrinter();
        printer->setTextAlign(code);
        printer->setCurrentX(1000);
        printer->setCurrentY(2000);
        printer->setText(header);
        const double w = printer->textWidth(header);
        const double h = printer->textHeight(header);
        const double page = printer->PageWidth();
        const QRectF expected = code == 0 ? QRectF(1000, 2000, w, h)
            : code == 1                   ? QRectF((page - w) / 2, 2000, w, h)
            : code == 6                   ? QRectF(1000, 2000 - h / 2, w, h)
                                          : QRectF(0, 2000, page, h);
        const auto& text = lastCommand<PrintedText>(*printer);
        EXPECT_EQ(text.box, expected) << code;
        EXPECT_EQ(static_cast<int32_t>(text.alignment), code);
        EXPECT_EQ(printer->CurrentY(), expected.bottom()) << code;
        EXPECT_EQ(printer->CurrentX(), 1000);
    }

    auto printer = startedPrinter();
    printer->setTextAlign(7);
    printer->setText(QString("frame ").repeated(200));
    EXPECT_GT(lastCommand<PrintedText>(*printer).box.height(), 3 * printer->textHeight("X"));   // wrapped
    printer->TextBox("Frame not available", 4000, 3000, 2000, 300);
    EXPECT_EQ(lastCommand<PrintedText>(*printer).box, QRectF(4000, 3000, 2000, 300));
}

TEST(PreviewPrinter, PicturesAreScaledIntoTheirRectangle)
{
    QImage landscape(640, 480, QImage::Format_RGB32);
    landscape.fill(Qt::red);
    const QImage portrait = landscape.copy(0, 0, 100, 400);
    const struct { const QImage* image; int16_t fit; QRectF rect; QRectF drawn; } cases[] = {
        {&landscape, 10, {1000, 2000, 3000, 1000}, {1000, 2000, 3000, 1000}},   // stretched as given
        {&landscape, 0, {1000, 2000, 3000, 3000}, {1000, 2375, 3000, 2250}},    // aspect kept, centred
        {&portrait, 0, {0, 0, 1000, 1000}, {375, 0, 250, 1000}},
    };
    for (const auto& c : cases) {
        auto printer = startedPrinter();
        double top = c.rect.top();
        double width = c.rect.width();
        printer->DrawPicture(*c.image, c.rect.left(), top, width, c.rect.height(), c.fit);
        EXPECT_EQ(lastCommand<PrintedPicture>(*printer).box, c.drawn);
        EXPECT_EQ(QRectF(c.drawn.left(), top, width, c.drawn.height()), c.drawn);
    }

    auto printer = startedPrinter();
    double top = 0;
    double width = 1000;
    printer->DrawPicture(QImage(), 0, top, width, 1000, 10);
    EXPECT_TRUE(printer->document().pages().back().commands.empty());
    const auto frame = Picture::create(2, 1, [](uint8_t* bits, std::ptrdiff_t) {
        const uint8_t pixels[] = {0x10, 0x20, 0x30, 0, 0x40, 0x50, 0x60, 0};
        std::copy(std::begin(pixels), std::end(pixels), bits);
    });
    printer->DrawPicture(*frame, 0, top, width, 500, 10);
    EXPECT_EQ(lastCommand<PrintedPicture>(*printer).picture.image().pixel(1, 0), qRgb(0x60, 0x50, 0x40));
}

namespace {

constexpr int kFullHdWidth = 1920;
constexpr int kFullHdHeight = 1080;

// A frame with detail everywhere, so that it does not compress to almost nothing.
QImage fullHdFrame(int seed)
{
    QImage frame(kFullHdWidth, kFullHdHeight, QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(frame.scanLine(y));
        for (int x = 0; x < frame.width(); ++x)
            row[x] = qRgb((x + seed) & 0xFF, (2 * y + seed) & 0xFF, ((x ^ y) + seed) & 0xFF);
    }
    return frame;
}

QByteArray jpegOf(const QImage& image, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return bytes;
}

int largestChannelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

TEST(PreviewPrinter, PicturesAreKeptNoLargerThanTheyPrint)
{
    const QImage frame = fullHdFrame(0);
    const auto stored = Picture::fromBgrx(frame.width(), frame.height(), frame.constBits(), frame.bytesPerLine());
    const RecordedPicture encoded = RecordedPicture::fromEncoded(jpegOf(frame));
    enum class Source { Image, StoredPicture, Encoded };
    // A PDF is drawn at 1200 dots per inch: 720 twips are 600 dots.
    const struct { const char* fault; Source source; QSizeF box; QSize kept; bool compressed; } cases[] = {
        {"a frame enlarged to the print resolution", Source::Image, {6000, 3375}, {1920, 1080}, false},
        {"a small print keeping every pixel", Source::Image, {720, 405}, {600, 338}, false},
        {"a stored picture kept whole for a small print", Source::StoredPicture, {720, 405}, {600, 338}, false},
        {"a stored picture not copied out of the store", Source::StoredPicture, {6000, 3375}, {1920, 1080}, false},
        {"a squeezed print keeping the wider side", Source::Image, {720, 3375}, {600, 1080}, false},
        {"file bytes decoded when drawn small", Source::Encoded, {720, 405}, {1920, 1080}, true},
    };
    for (const auto& c : cases) {
        auto printer = startedPrinter();
        double top = 0;
        double width = c.box.width();
        switch (c.source) {
        case Source::Image: printer->DrawPicture(frame, 0, top, width, c.box.height(), 10); break;
        case Source::StoredPicture: printer->DrawPicture(*stored, 0, top, width, c.box.height(), 10); break;
        case Source::Encoded: printer->DrawPicture(encoded, 0, top, width, c.box.height(), 10); break;
        }
        const RecordedPicture& kept = lastCommand<PrintedPicture>(*printer).picture;
        EXPECT_EQ(kept.size(), c.kept) << c.fault;
        EXPECT_EQ(kept.isEncoded(), c.compressed) << c.fault;
        const size_t pixelBytes = size_t(c.kept.width()) * size_t(c.kept.height()) * 4;
        EXPECT_EQ(kept.retainedBytes() == pixelBytes, !c.compressed) << c.fault;
        const QImage drawn = kept.image();
        EXPECT_EQ(drawn.size(), c.kept) << c.fault;
        // The top-left pixel survives scaling: the pattern is dark and smooth there.
        EXPECT_LE(largestChannelDifference(drawn.pixel(0, 0), frame.pixel(0, 0)), 24) << c.fault;
    }
    EXPECT_EQ(stored.use_count(), 1) << "the document holds on to the store's picture";
}

TEST(PreviewPrinter, PreviewSizedPicturesAndBytesThatAreNoPicture)
{
    const QImage frame = fullHdFrame(7);
    const QByteArray bytes = jpegOf(frame);
    const RecordedPicture encoded = RecordedPicture::fromEncoded(bytes);
    const RecordedPicture pixels = RecordedPicture::fromImage(frame);
    for (const RecordedPicture* picture : {&encoded, &pixels}) {
        EXPECT_EQ(picture->image(QSize(620, 349)).size(), QSize(620, 349));
        EXPECT_EQ(picture->image(QSize(4000, 300)).size(), QSize(1920, 300));   // never enlarged
        EXPECT_EQ(picture->image().size(), frame.size());
    }

    // Nothing that is not a picture is recorded or drawn; a cut-off file still draws what it has.
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
        printer->DrawPicture(picture, 0, top, width, 1125, 10);
        EXPECT_EQ(printer->document().pages().back().commands.size(), c.recorded ? 1u : 0u) << c.what;
        QTemporaryDir folder;
        QPrinter pdf(QPrinter::HighResolution);
        pdf.setOutputFormat(QPrinter::PdfFormat);
        pdf.setOutputFileName(folder.filePath("cut.pdf"));
        EXPECT_TRUE(printer->document().render(pdf)) << c.what;
    }
}
