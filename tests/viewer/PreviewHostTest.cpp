#include "viewer/PreviewHost.h"
#include "support/TextFiles.h"
#include "support/AutomationErrors.h"

#include "PdfContents.h"

#include "ui/InteractionSeam.h"
#include "viewer/PreviewPrinter.h"

#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace didev;

namespace {

const QString kHeader = QStringLiteral("Kelvara Didev Evivod: Frame Capture");

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

} // namespace

TEST_F(PreviewHostTest, UnattendedRunWritesThePagesAsPdfIntoTheReportDirectory)
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
    printer->NewPage();   // a later page lies under the same margins as the first
    QImage frame(640, 480, QImage::Format_RGB32);
    frame.fill(Qt::red);
    double top = 2000;
    double width = 4800;
    printer->DrawPicture(frame, 3000, top, width, 3600, 10);
    printer->EndDoc();

    const QString pdf = host.PresentDocument();
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_EQ(QFileInfo(pdf).absolutePath(), QFileInfo(reportDirectory).absoluteFilePath());

    // Drawn at 36 dots per inch, 40 twips a dot: the picture covers 3000..7800 x 2000..5600
    // from the margins' corner, and beside it is paper.
    const QImage page = didev::testing::renderedPage(pdf, 2, 36, folder.path());
    ASSERT_FALSE(page.isNull());
    const auto at = [&page](double x, double y) { return page.pixelColor(int((1440 + x) / 40), int((720 + y) / 40)); };
    EXPECT_TRUE(near(at(3120, 2120), Qt::red));
    EXPECT_TRUE(near(at(7680, 5480), Qt::red));
    EXPECT_TRUE(near(at(2880, 2120), Qt::white));
    EXPECT_TRUE(near(at(7920, 5480), Qt::white));
    EXPECT_TRUE(near(at(5400, 5720), Qt::white));
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

