#include "ui/InteractionSeam.h"
#include "support/TextFiles.h"

#include <QDialog>
#include <QFileDialog>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace didev;

namespace {

// A status-bar style menu: two plain items, a submenu of devices, a separator, a greyed item.
struct DeviceMenu {
    QMenu top;
    QMenu devices{QStringLiteral("Video Device")};
    int triggered = 0;        // ids of real item activations, summed
    int submenuShown = 0;

    DeviceMenu()
    {
        add(top, "Capture Current Frame", 1);
        add(top, "Show Frames", 2);
        top.addMenu(&devices);
        add(devices, "Camera A", 11);
        add(devices, "Camera B", 12);
        top.addSeparator();
        add(top, "Discard Captured Frames", 5)->setEnabled(false);
        QObject::connect(&devices, &QMenu::aboutToShow, [this] { ++submenuShown; });
    }

    QAction* add(QMenu& menu, const char* text, int id)
    {
        QAction* action = menu.addAction(QString::fromLatin1(text));
        action->setData(id);
        QObject::connect(action, &QAction::triggered, [this, id] { triggered += id; });
        return action;
    }
};

class Seam : public ::testing::Test {
protected:
    void SetUp() override { seam.clearAnswers(); }
    void TearDown() override { seam.clearAnswers(); }

    InteractionSeam& seam = InteractionSeam::instance();
};

} // namespace

// The windows' menu tests choose top-level items and dismiss menus with 0.
TEST_F(Seam, MenuOpensAboveThePointAndAnswersGoThroughTheRealItems)
{
    const struct { const char* fault; int answer; int result; int triggered; bool submenuOpened; } cases[] = {
        {"a submenu item is reached through its parent item", 12, 12, 12, true},
        {"a greyed item cannot be chosen", 5, 0, 0, false},
        {"an id the menu lacks chooses nothing", 99, 0, 0, false},
    };
    for (const auto& c : cases) {
        DeviceMenu menu;
        QRect shownAt;
        QObject::connect(&menu.top, &QMenu::aboutToShow, [&] {
            QMetaObject::invokeMethod(&menu.top, [&] { shownAt = menu.top.geometry(); }, Qt::QueuedConnection);
        });
        seam.queueAnswer(ModalKind::Menu, c.answer);
        EXPECT_EQ(seam.execMenu(menu.top, QPoint(100, 500)), c.result) << c.fault;
        EXPECT_EQ(shownAt.bottomLeft() + QPoint(0, 1), QPoint(100, 500)) << "the bottom-left corner at the point";
        EXPECT_EQ(menu.triggered, c.triggered) << c.fault;
        EXPECT_EQ(menu.submenuShown > 0, c.submenuOpened) << c.fault;
        EXPECT_FALSE(menu.top.isVisible()) << c.fault;
        EXPECT_FALSE(menu.devices.isVisible()) << c.fault;
    }
}

// Full paths, the second filter and Cancel are typed into the viewer's dialog (SnapshotViewerTest).
TEST_F(Seam, SaveDialogTakesANameInItsFolderAndReplacesAFileAfterTheQuestion)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(writeWholeFile(dir.filePath(QStringLiteral("taken.jpg")), {}));
    // Relative names land in the dialog's folder.
    const struct { const char* fault; const char* name; } cases[] = {
        {"a new name", "frame1.jpg"},
        {"an existing file is replaced after the question", "taken.jpg"},
    };
    for (const auto& c : cases) {
        QFileDialog dialog(nullptr, QStringLiteral("Save Frame As"), dir.path());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({QStringLiteral("JPEG Files (*.jpg)"), QStringLiteral("Bitmap Files (*.bmp)")});
        seam.queueAnswer(ModalKind::Save, QVariant::fromValue(SaveAnswer{QString::fromLatin1(c.name), 1}));
        const std::optional<SaveAnswer> chosen = seam.execSaveDialog(dialog);
        ASSERT_TRUE(chosen.has_value()) << c.fault;
        EXPECT_EQ(chosen->fileName, dir.filePath(QString::fromLatin1(c.name))) << c.fault;
        EXPECT_EQ(chosen->filterIndex, 1) << c.fault;
        EXPECT_EQ(dialog.selectedNameFilter(), dialog.nameFilters().at(0)) << c.fault;
    }
}

// OK and Cancel of the print dialog are answered in FramePrintingTest.
TEST_F(Seam, ARefusedOkOfThePrintDialogEndsAsCancel)
{
    // The dialog refuses a folder as the output file; the script must not hang on its notice.
    QTemporaryDir dir;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.path());
    QPrintDialog dialog(&printer);
    seam.queueAnswer(ModalKind::Print, true);
    EXPECT_FALSE(seam.execPrintDialog(dialog));
}

TEST_F(Seam, ModalWaitsBelongToWhoOpenedThemAndCloseWithThem)
{
    const int hostA = 0;
    const int hostB = 0;
    QDialog hosts;
    QDialog persons;
    QTimer::singleShot(0, [&] {
        // Inside host A's wait: only A may be held by it.
        EXPECT_TRUE(seam.modalMayHold(&hostA));
        EXPECT_FALSE(seam.modalMayHold(&hostB));
        const InteractionSeam::OwnerScope person(nullptr);
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(seam.modalMayHold(&hostB)) << "a person's wait may hold anyone";
            seam.closeModalsOf(&hostA);
            EXPECT_FALSE(hosts.isVisible());
            EXPECT_TRUE(persons.isVisible());
            persons.close();
        });
        seam.execDialog(persons, ModalKind::Message, {});
    });
    {
        const InteractionSeam::OwnerScope owner(&hostA);
        seam.execDialog(hosts, ModalKind::Message, {});
    }
    EXPECT_FALSE(seam.modalOpen());
    EXPECT_EQ(seam.currentOwner(), nullptr);
}

TEST_F(Seam, MessagesAreRecordedOnlyWhenAskedAndOnlyTheNewest)
{
    seam.takeMessages();
    seam.setRecordingMessages(false);
    seam.recordMessage({QStringLiteral("unseen"), QString(), 0});
    seam.setRecordingMessages(true);
    for (int n = 0; n < 300; ++n)
        seam.recordMessage({QString::number(n), QString(), 0});
    const QList<ShownMessage> shown = seam.takeMessages();
    ASSERT_EQ(shown.size(), InteractionSeam::kMaxRecordedMessages);
    EXPECT_EQ(shown.back().prompt, QStringLiteral("299"));
}
