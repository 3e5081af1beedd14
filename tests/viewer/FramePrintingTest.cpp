#include "PdfContents.h"
#include "support/TextFiles.h"
#include "ViewerTestSupport.h"

#include "ui/PictureBox.h"
#include "ui/StatusPanel.h"
#include "ui/WindowFrame.h"
#include "viewer/FramePrinting.h"
#include "viewer/PreviewPrinter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>
#include <malloc.h>

#include <cmath>
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

    // Prints with the print dialog accepted and returns the one printout written, which lasts
    // until the next print.
    QString print(int16_t frame)
    {
        for (const QString& path : printouts())
            QFile::remove(path);
        seam.queueAnswer(ModalKind::Print, true);
        testModule().printer().printFrames(frame, hidden_);
        const QStringList written = printouts();
        return written.size() == 1 ? written.first() : QString();
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
        printer.setMarginBottom(-1);   // the printer's own; the other margins are 0
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
        const QStringList pages = pageTexts(pdf);
        ASSERT_EQ(pages.size(), 1);
        EXPECT_EQ(pages[0], kHeader);
        EXPECT_EQ(imagesIn(pdf).size(), 1u);
    }
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

TEST_F(FramePrintingTest, NoFramesAndACancelledDialogPrintNothing)
{
    seam.queueAnswer(ModalKind::Message, kOk);
    testModule().printer().printFrames(0, hidden_);
    const QList<ShownMessage> shown = seam.takeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].prompt, QStringLiteral("There are no frames to print."));
    EXPECT_EQ(shown[0].style, 48);

    storeFrame(1);
    seam.queueAnswer(ModalKind::Print, false);
    testModule().printer().printFrames(1, hidden_);
    EXPECT_TRUE(seam.takeMessages().isEmpty()) << "a cancelled print dialog said something";
    EXPECT_TRUE(printouts().isEmpty());
    EXPECT_EQ(testModule().printer().previewPrinter(), nullptr);
}

TEST_F(FramePrintingTest, TheViewersPrintItemsPrintTheFrameOnShowOrAllWithTheDialogsInFrontOfTheViewer)
{
    storeFrame(1, 200, 150);
    storeFrame(2, 160, 120);
    SnapshotViewer& viewer = openViewer(2);
    ASSERT_TRUE(viewer.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    seam.setUnattended(false);
    const struct { const char* fault; int command; bool viewerOnTop; std::vector<int> widths; } cases[] = {
        {"Print Selected Frame, with dialogs behind the always-on-top viewer", 2, true, {160}},
        {"Print All Frames, with dialogs kept on top over a normal window", 5, false, {200, 160}},
    };
    for (const auto& c : cases) {
        keepOnTop(viewer, c.viewerOnTop);
        std::vector<int> widths;
        DialogWatch watch([&](QDialog&) {
            for (const PrintedPage& page : testModule().printer().previewPrinter()->document().pages()) {
                for (const auto& command : page.commands) {
                    if (const auto* picture = std::get_if<PrintedPicture>(&command))
                        widths.push_back(picture->picture.size().width());
                }
            }
        });
        seam.queueAnswer(ModalKind::Menu, c.command);
        seam.queueAnswer(ModalKind::Message, kYes);
        seam.queueAnswer(ModalKind::Print, true);
        QTest::mouseClick(&viewer.panel(3), Qt::LeftButton);
        EXPECT_EQ(widths, c.widths) << c.fault;
        ASSERT_GE(watch.seen().size(), 2u) << c.fault;
        const std::vector<DialogWatch::Seen> printing(watch.seen().end() - 2, watch.seen().end());
        EXPECT_EQ(printing[0].kind, QStringLiteral("print")) << c.fault;
        EXPECT_EQ(printing[1].kind, QStringLiteral("preview")) << c.fault;
        for (const DialogWatch::Seen& dialog : printing) {
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
    });
    seam.queueAnswer(ModalKind::Message, kYes);
    seam.queueAnswer(ModalKind::Print, true);
    testModule().printer().printFrames(0, hidden_);
    ASSERT_EQ(watch.seen().size(), 3u);   // the question, the print dialog, the preview
    EXPECT_EQ(watch.seen().back().kind, QStringLiteral("preview"));
}

} // namespace
} // namespace didev
