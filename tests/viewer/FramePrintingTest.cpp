#include "PdfContents.h"
#include "support/TextFiles.h"
#include "ViewerTestSupport.h"

#include "common/AutomationError.h"
#include "ui/PictureBox.h"
#include "ui/Registry.h"
#include "ui/StatusPanel.h"
#include "ui/WindowFrame.h"
#include "viewer/FramePrinting.h"
#include "viewer/PreviewHost.h"
#include "viewer/PreviewPrinter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>
#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <functional>

namespace didev {
namespace {

using namespace didev::testing;

constexpr int32_t kCurrentUser = 0x80000001;

// Bytes handed out by malloc, mapped blocks included.
size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Every dialog as it opens: who owns it and whether it is kept on top. A preview is closed
// right after `whenPreview` has looked at it, as a person would.
class DialogWatch : public QObject {
public:
    struct Seen {
        QString kind;
        const QWidget* parent = nullptr;
        const QWindow* transientParent = nullptr;
        bool onTop = false;
    };

    explicit DialogWatch(std::function<void(QDialog&)> whenPreview = {})
        : whenPreview_(std::move(whenPreview))
    {
        qApp->installEventFilter(this);
    }
    ~DialogWatch() override { qApp->removeEventFilter(this); }

    const std::vector<Seen>& seen() const noexcept { return seen_; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* dialog = qobject_cast<QDialog*>(object);
        if (!dialog || event->type() != QEvent::Show)
            return false;
        const bool preview = qobject_cast<QPrintPreviewDialog*>(dialog) != nullptr;
        seen_.push_back({preview ? QStringLiteral("preview") : qobject_cast<QPrintDialog*>(dialog) ? QStringLiteral("print")
                                                                                                   : QStringLiteral("other"),
            dialog->parentWidget(), dialog->windowHandle() ? dialog->windowHandle()->transientParent() : nullptr,
            dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint)});
        if (preview) {
            QTimer::singleShot(0, dialog, [this, dialog] {
                if (whenPreview_)
                    whenPreview_(*dialog);
                dialog->close();
            });
        }
        return false;
    }

private:
    std::function<void(QDialog&)> whenPreview_;
    std::vector<Seen> seen_;
};

class FramePrintingTest : public ::testing::Test {
protected:
    TestModule owner;
    void SetUp() override
    {
        fixTheScreen();
        resetModule();
        ASSERT_TRUE(root_.isValid());
        QDir(root_.path()).mkpath(QStringLiteral("tmp"));
        ASSERT_TRUE(writeWholeFile(root_.filePath(QStringLiteral("registry/HKEY_CURRENT_USER.reg")),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Halvern Pictures\\Kelvara Suite]\r\n\"ReportDir\"=\""
                + reportDir().toUtf8() + "\"\r\n"));
        qputenv("DIDEV_REGISTRY_DIR", root_.filePath(QStringLiteral("registry")).toUtf8());
        testModule().state().userRegArea = kCurrentUser;
        testModule().state().tmpPath = root_.filePath(QStringLiteral("tmp")) + QLatin1Char('/');
        seam.setUnattended(true);
        hidden_.setAutoSize(true);
    }

    void TearDown() override
    {
        seam.setUnattended(false);
        qunsetenv("DIDEV_REGISTRY_DIR");
        resetModule();
    }

    QString reportDir() const { return root_.filePath(QStringLiteral("reports")); }

    QStringList printouts() const
    {
        QStringList paths;
        for (const QString& name : QDir(reportDir()).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name))
            paths.append(QDir(reportDir()).filePath(name));
        return paths;
    }

    // Prints with the print dialog accepted and returns the one printout written.
    QString print(int16_t frame)
    {
        seam.queueAnswer(ModalKind::Print, true);
        testModule().printer().printFrames(frame, hidden_);
        const QStringList written = printouts();
        const QString kept = root_.filePath(QStringLiteral("printout.pdf"));
        QFile::remove(kept);
        if (written.size() == 1)
            QFile::rename(written.first(), kept);
        for (const QString& path : printouts())
            QFile::remove(path);
        return written.size() == 1 ? kept : QString();
    }

    // Prints every frame, Yes to the question first.
    QString printAll()
    {
        seam.queueAnswer(ModalKind::Message, kYes);
        return print(0);
    }

    // The page geometry a print run works with, in printer units.
    struct Page {
        double width = 0;
        double height = 0;
        int32_t firstTop = 0;    // top of the first frame under the header
    };
    static Page page()
    {
        PreviewPrinter printer;
        printer.setMarginRight(0);
        printer.setMarginLeft(0);
        printer.setMarginTop(0);
        printer.setMarginBottom(-1);
        printer.setFontName(QStringLiteral("Arial"));
        printer.setFontSize(QStringLiteral("11"));
        const auto lineHeight = static_cast<int32_t>(std::lround(printer.textHeight(QStringLiteral("X"))));
        return {printer.PageWidth(), printer.PageHeight(), 720 + 2 * lineHeight};
    }

    QTemporaryDir root_;
    PictureBox hidden_;
    InteractionSeam& seam = InteractionSeam::instance();
};

const QString kHeader = QStringLiteral("Kelvara Didev Evivod: Frame Capture");

TEST_F(FramePrintingTest, OneFrameOfOnePrintsWithoutTheQuestionAndWithoutNumbers)
{
    storeFrame(1, 200, 150);
    for (int16_t asked : {0, 1}) {
        const QString pdf = print(asked);
        ASSERT_FALSE(pdf.isEmpty()) << asked;
        EXPECT_TRUE(seam.takeMessages().isEmpty()) << asked;
        EXPECT_EQ(pageCount(pdf), 1);
        const QStringList pages = pageTexts(pdf);
        ASSERT_EQ(pages.size(), 1);
        EXPECT_EQ(pages[0], kHeader);
        EXPECT_EQ(imagesIn(pdf).size(), 1u);
    }
    EXPECT_FALSE(QFileInfo::exists(testModule().state().tmpPath + QStringLiteral("temp.jpg")));
    EXPECT_EQ(testModule().printer().previewPrinter(), nullptr);
}

TEST_F(FramePrintingTest, SeveralFramesAskFirstAndNoPrintsNothing)
{
    for (int16_t id = 1; id <= 3; ++id)
        storeFrame(id, 200, 150);
    seam.queueAnswer(ModalKind::Message, kNo);
    seam.queueAnswer(ModalKind::Print, true);
    testModule().printer().printFrames(0, hidden_);
    const QList<ShownMessage> shown = seam.takeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].prompt, QStringLiteral("Print 3 frames?"));
    EXPECT_EQ(shown[0].style, 36);
    EXPECT_TRUE(printouts().isEmpty());
    EXPECT_TRUE(seam.hasAnswer(ModalKind::Print)) << "the print dialog was shown after No";
    EXPECT_NE(testModule().printer().previewPrinter(), nullptr) << "a declined run keeps its printer object";
}

TEST_F(FramePrintingTest, ANewPageStartsExactlyWhenTheNextFramePlus720WouldPassThePageHeight)
{
    const Page geometry = page();
    // The tallest frame (whole pixels of 15 units) of which three fit on a page.
    const int fitting = static_cast<int>((geometry.height - 720 - geometry.firstTop - 2 * 50) / 3 / 15);
    ASSERT_GT(fitting, 20);
    const struct {
        const char* fault;
        int frameHeight;
        int frames;
        std::vector<QList<int>> numbersPerPage;
    } cases[] = {
        {"an empty last page after a full one", fitting, 3, {{1, 1, 2, 2, 3, 3}}},
        {"the fourth frame not on a new page", fitting, 4, {{1, 1, 2, 2, 3, 3}, {4, 4}}},
        {"a full second page followed by an empty one", fitting, 6, {{1, 1, 2, 2, 3, 3}, {4, 4, 5, 5, 6, 6}}},
        {"a frame one pixel too tall still the third on the page", fitting + 1, 3, {{1, 1, 2, 2}, {3, 3}}},
    };
    // Each frame's number stands to its left and to its right.
    for (const auto& c : cases) {
        testModule().state().clearFrames();
        for (int16_t id = 1; id <= c.frames; ++id)
            storeFrame(id, 200, c.frameHeight);
        const QString pdf = printAll();
        ASSERT_FALSE(pdf.isEmpty()) << c.fault;
        const QStringList pages = pageTexts(pdf);
        ASSERT_EQ(pages.size(), static_cast<qsizetype>(c.numbersPerPage.size())) << c.fault;
        for (size_t p = 0; p < c.numbersPerPage.size(); ++p) {
            EXPECT_TRUE(pages[p].startsWith(kHeader)) << c.fault << ", page " << p + 1;
            EXPECT_EQ(numbersOn(pages[p]), c.numbersPerPage[p]) << c.fault << ", page " << p + 1;
        }
        EXPECT_EQ(pageCount(pdf), static_cast<int>(c.numbersPerPage.size())) << c.fault;
        seam.takeMessages();
    }
}

TEST_F(FramePrintingTest, ANarrowFrameKeepsItsWidthAndAWideOneTakesHalfThePage)
{
    const Page geometry = page();
    storeFrame(1, 200, 150);
    storeFrame(2, 1920, 1080);
    const QString pdf = printAll();
    ASSERT_FALSE(pdf.isEmpty());
    const std::vector<PdfImage> images = imagesIn(pdf);
    ASSERT_EQ(images.size(), 2u);
    // 15 units per pixel is 96 pixels per inch at the frame's own size.
    EXPECT_EQ(images[0].width, 200);
    EXPECT_NEAR(images[0].ppiX, 96, 1);
    EXPECT_EQ(images[1].width, 1920);
    EXPECT_NEAR(images[1].ppiX, 1920 / (std::round(geometry.width / 2) / 1440), 1);
}

TEST_F(FramePrintingTest, AFrameTheWriterCannotWriteIsPrintedAsNotAvailable)
{
    storeFrame(1, 200, 150);
    storeFrame(2, 200, 150);
    testModule().state().tmpPath = root_.filePath(QStringLiteral("no-such-folder")) + QLatin1Char('/');
    const QString pdf = printAll();
    ASSERT_FALSE(pdf.isEmpty());
    const QStringList pages = pageTexts(pdf);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0].count(QStringLiteral("Frame not available")), 2);
    EXPECT_EQ(numbersOn(pages[0]), (QList<int>{1, 1, 2, 2}));
    EXPECT_TRUE(imagesIn(pdf).empty());

    // A frame printed alone says so where its picture would be.
    const QString single = print(2);
    ASSERT_FALSE(single.isEmpty());
    EXPECT_EQ(pageTexts(single), QStringList{kHeader + QStringLiteral(" Frame not available")});

    // A frame stored without a picture cannot be written either.
    testModule().state().tmpPath = root_.filePath(QStringLiteral("tmp")) + QLatin1Char('/');
    testModule().state().snapshotStore.at(1).picture.reset();
    const QString mixed = printAll();
    ASSERT_FALSE(mixed.isEmpty());
    const QStringList mixedPages = pageTexts(mixed);
    ASSERT_EQ(mixedPages.size(), 1);
    EXPECT_EQ(mixedPages[0].count(QStringLiteral("Frame not available")), 1);
    EXPECT_EQ(numbersOn(mixedPages[0]), (QList<int>{1, 1, 2, 2}));
    EXPECT_EQ(imagesIn(mixed).size(), 1u);
}

TEST_F(FramePrintingTest, TheTemporaryFileReplacesALinkAtItsNameAndIsGoneAfterwards)
{
    const QString victim = root_.filePath(QStringLiteral("victim.txt"));
    ASSERT_TRUE(writeWholeFile(victim, "keep me"));
    const QString temp = testModule().state().tmpPath + QStringLiteral("temp.jpg");
    ASSERT_TRUE(QFile::link(victim, temp));
    storeFrame(1, 200, 150);
    storeFrame(2, 200, 150);
    const QString pdf = printAll();
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_EQ(imagesIn(pdf).size(), 2u);
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo(temp).exists() || QFileInfo(temp).isSymLink());
    EXPECT_TRUE(QDir(testModule().state().tmpPath).isEmpty());
}

TEST_F(FramePrintingTest, NoFramesACancelledDialogAndAnUnusablePrinterPrintNothing)
{
    seam.queueAnswer(ModalKind::Message, kOk);
    testModule().printer().printFrames(0, hidden_);
    QList<ShownMessage> shown = seam.takeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].prompt, QStringLiteral("There are no frames to print."));
    EXPECT_EQ(shown[0].style, 48);

    storeFrame(1);
    seam.queueAnswer(ModalKind::Print, false);
    testModule().printer().printFrames(1, hidden_);
    EXPECT_TRUE(seam.takeMessages().isEmpty()) << "a cancelled print dialog said something";
    EXPECT_TRUE(printouts().isEmpty());
    EXPECT_EQ(testModule().printer().previewPrinter(), nullptr);

    // Without a printer object the probe fails: the platform's box says so and no dialog opens.
    testModule().printer().previewPrinter().reset();
    seam.queueAnswer(ModalKind::Message, kOk);
    seam.queueAnswer(ModalKind::Print, true);
    EXPECT_FALSE(testModule().printer().ConfirmPrinter());
    shown = seam.takeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].prompt,
        QStringLiteral("Internal error in Printer Confirmation.  Try restarting the program and trying again.\n")
            + QString::fromStdString(standardErrorText(ErrorNumber::ObjectNotSet)));
    EXPECT_EQ(shown[0].style, 16);
    EXPECT_TRUE(seam.hasAnswer(ModalKind::Print)) << "the print dialog was shown after a failed probe";
}

TEST_F(FramePrintingTest, TheViewersPrintItemsPrintTheFrameOnShowOrAll)
{
    storeFrame(1, 200, 150);
    storeFrame(2, 160, 120);
    SnapshotViewer& viewer = openViewer(2);
    const struct {
        int command;
        std::vector<int> widths;
    } cases[] = {{2, {160}}, {5, {200, 160}}};
    for (const auto& c : cases) {
        seam.queueAnswer(ModalKind::Menu, c.command);
        seam.queueAnswer(ModalKind::Message, kYes);
        seam.queueAnswer(ModalKind::Print, true);
        QTest::mouseClick(&viewer.panel(3), Qt::LeftButton);
        const QStringList written = printouts();
        ASSERT_EQ(written.size(), 1) << c.command;
        std::vector<int> widths;
        for (const PdfImage& image : imagesIn(written.first()))
            widths.push_back(image.width);
        EXPECT_EQ(widths, c.widths) << c.command;
        QFile::remove(written.first());
        seam.clearAnswers();
    }
}

TEST_F(FramePrintingTest, PrintingFromTheViewerOpensTheDialogsInFrontOfIt)
{
    storeFrame(1, 200, 150);
    SnapshotViewer& viewer = openViewer(1);
    ASSERT_TRUE(viewer.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    seam.setUnattended(false);
    const struct { const char* fault; bool viewerOnTop; } cases[] = {
        {"a dialog behind the always-on-top viewer", true},
        {"a dialog kept on top over a normal window", false},
    };
    for (const auto& c : cases) {
        keepOnTop(viewer, c.viewerOnTop);
        DialogWatch watch;
        seam.queueAnswer(ModalKind::Menu, 2);   // Print Selected Frame...
        seam.queueAnswer(ModalKind::Print, true);
        QTest::mouseClick(&viewer.panel(3), Qt::LeftButton);
        ASSERT_EQ(watch.seen().size(), 2u) << c.fault;
        EXPECT_EQ(watch.seen()[0].kind, QStringLiteral("print")) << c.fault;
        EXPECT_EQ(watch.seen()[1].kind, QStringLiteral("preview")) << c.fault;
        for (const DialogWatch::Seen& dialog : watch.seen()) {
            EXPECT_EQ(dialog.parent, &viewer) << c.fault << ", " << dialog.kind.toStdString();
            EXPECT_EQ(dialog.transientParent, viewer.windowHandle()) << c.fault << ", " << dialog.kind.toStdString();
            EXPECT_EQ(dialog.onTop, c.viewerOnTop) << c.fault << ", " << dialog.kind.toStdString();
        }
        seam.clearAnswers();
    }
}

TEST_F(FramePrintingTest, TenFullHdFramesKeepTheDocumentAndItsPreviewSmall)
{
    constexpr size_t kFrameBytes = size_t{1920} * 1080 * 4;
    for (int16_t id = 1; id <= 10; ++id)
        storeFrame(id, 1920, 1080);
    seam.setUnattended(false);
    malloc_trim(0);
    const size_t before = heapInUse();
    DialogWatch watch([&](QDialog& preview) {
        const size_t during = heapInUse();
        const size_t retained = testModule().printer().previewPrinter()->document().retainedPictureBytes();
        const int pages = static_cast<int>(testModule().printer().previewPrinter()->document().pages().size());
        const auto* shown = preview.findChild<QPrintPreviewWidget*>();
        EXPECT_GT(pages, 2);
        EXPECT_EQ(shown ? shown->pageCount() : 0, pages) << "the preview shows every page";
        // Decoded frames would take ten times kFrameBytes in the document, and as much again in
        // the preview's pages.
        EXPECT_GT(retained, 0u);
        EXPECT_LT(retained, kFrameBytes / 4);
        EXPECT_LT(during - before, 3 * kFrameBytes);
        std::printf("document %zu bytes, heap %+.1f MB with the preview open\n", retained, (double(during) - double(before)) / 1048576);
    });
    seam.queueAnswer(ModalKind::Message, kYes);
    seam.queueAnswer(ModalKind::Print, true);
    testModule().printer().printFrames(0, hidden_);
    ASSERT_EQ(watch.seen().size(), 3u);   // the question, the print dialog, the preview
    EXPECT_EQ(watch.seen().back().kind, QStringLiteral("preview"));
}

} // namespace
} // namespace didev
