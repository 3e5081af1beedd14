#include "viewer/PreviewHost.h"
#include "support/TextFiles.h"
#include "support/AutomationErrors.h"

#include "PdfContents.h"

#include "common/AutomationError.h"
#include "ui/InteractionSeam.h"
#include "viewer/PreviewPrinter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPrinter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace didev;

namespace {

const QString kHeader = QStringLiteral("Kelvara Didev Evivod: Frame Capture");
constexpr int kRenderDpi = 36;   // 40 twips per rendered pixel

QColor colourAtTwips(const QImage& page, const PrintedPage& printed, QPointF twips)
{
    const QPointF onPaper = (twips + printed.origin) * kRenderDpi / 1440.0;
    return page.pixelColor(static_cast<int>(onPaper.x()), static_cast<int>(onPaper.y()));
}

bool near(const QColor& actual, Qt::GlobalColor expected)
{
    const QColor e(expected);
    return std::abs(actual.red() - e.red()) < 40 && std::abs(actual.green() - e.green()) < 40
        && std::abs(actual.blue() - e.blue()) < 40;
}

class PreviewHostTest : public ::testing::Test {
protected:
    void SetUp() override { InteractionSeam::instance().setUnattended(true); }
    void TearDown() override { InteractionSeam::instance().setUnattended(false); }

    QTemporaryDir folder;
};

// A page with a header and a picture of one colour half the page wide, centred under it.
QRectF drawFramePage(PreviewPrinter& printer, int32_t headerAlignment, Qt::GlobalColor colour)
{
    printer.setCurrentY(720);
    printer.setTextAlign(headerAlignment);
    printer.setText(kHeader);
    QImage frame(640, 480, QImage::Format_RGB32);
    frame.fill(colour);
    double top = 720 + 2 * std::round(printer.textHeight("X"));
    double width = std::round(printer.PageWidth() / 2);
    const double left = printer.PageWidth() / 2 - width / 2;
    const double height = frame.height() * (width / frame.width());
    printer.DrawPicture(frame, left, top, width, height, 10);
    return QRectF(left, top, width, height);
}

} // namespace

TEST_F(PreviewHostTest, UnattendedRunWritesEveryPageAsPdfIntoTheReportDirectory)
{
    PreviewHost host;
    const QString reportDirectory = folder.filePath("reports/new");   // created on demand
    host.SetReportDirectory(reportDirectory);
    std::shared_ptr<PreviewPrinter> printer;
    host.ProvidePrinter(printer);
    ASSERT_TRUE(printer);
    printer->setMarginLeft(1440);
    printer->setMarginTop(720);
    printer->setMarginRight(0);
    printer->setMarginBottom(-1);

    printer->StartDoc();
    printer->setFontName("Arial");
    printer->setFontSize(QStringLiteral("11"));
    const QRectF first = drawFramePage(*printer, 1, Qt::red);
    printer->NewPage();
    const QRectF second = drawFramePage(*printer, 7, Qt::blue);
    printer->EndDoc();

    const QString pdf = host.PresentDocument();
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_EQ(QFileInfo(pdf).absolutePath(), QFileInfo(reportDirectory).absoluteFilePath());

    // The picture lies where it was drawn, half the page wide and centred; beside it is paper.
    const struct { int page; QRectF box; Qt::GlobalColor colour; } pictures[] = {{1, first, Qt::red}, {2, second, Qt::blue}};
    for (const auto& picture : pictures) {
        const QImage rendered = didev::testing::renderedPage(pdf, picture.page, kRenderDpi, folder.path());
        ASSERT_FALSE(rendered.isNull());
        const PrintedPage& printed = printer->document().pages()[picture.page - 1];
        const QRectF inner = picture.box.adjusted(120, 120, -120, -120);
        const QRectF outer = picture.box.adjusted(-120, -120, 120, 120);
        for (const QPointF point : {inner.topLeft(), inner.topRight(), inner.bottomLeft(), inner.bottomRight(), inner.center()})
            EXPECT_TRUE(near(colourAtTwips(rendered, printed, point), picture.colour)) << picture.page;
        for (const QPointF point : {QPointF(outer.left(), inner.top()), QPointF(outer.right(), inner.bottom()),
                 QPointF(inner.center().x(), outer.bottom())})
            EXPECT_TRUE(near(colourAtTwips(rendered, printed, point), Qt::white)) << picture.page;
    }
}

TEST_F(PreviewHostTest, WithoutReportDirectoryThePdfGoesToTheTemporaryFolder)
{
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", folder.path().toLocal8Bit());
    QString pdf;
    {
        PreviewHost host;
        std::shared_ptr<PreviewPrinter> printer;
        host.ProvidePrinter(printer);
        printer->setText(kHeader);
        printer->EndDoc();
        pdf = host.PresentDocument();
        // A second run in the same second gets a name of its own.
        EXPECT_NE(host.PresentDocument(), pdf);
    }
    saved.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", saved);
    EXPECT_EQ(QFileInfo(pdf).absolutePath(), QFileInfo(folder.path()).absoluteFilePath());
    EXPECT_GT(QFileInfo(pdf).size(), 0);
}

TEST_F(PreviewHostTest, UnwritableReportDirectoryIsError75AndAnEmptyDocumentWritesNothing)
{
    ASSERT_TRUE(writeWholeFile(folder.filePath("file"), {}));

    PreviewHost host;
    host.SetReportDirectory(folder.filePath("file/reports"));
    EXPECT_EQ(host.PresentDocument(), QString());   // nothing drawn yet

    std::shared_ptr<PreviewPrinter> printer;
    host.ProvidePrinter(printer);
    printer->setText(kHeader);
    EXPECT_EQ(didev::testing::errorNumberOf([&] { host.PresentDocument(); }), 75);
}

