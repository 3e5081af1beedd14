#include "ViewerTestSupport.h"
#include "support/TextFiles.h"

#include "ui/InteractionSeam.h"
#include "ui/PictureBox.h"
#include "ui/StatusPanel.h"
#include "viewer/ArrowButton.h"
#include "viewer/FrameFit.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace didev {
namespace {

using namespace didev::testing;

constexpr int32_t kGreyed = static_cast<int32_t>(MenuItemFlag::Greyed);
constexpr int32_t kChecked = static_cast<int32_t>(MenuItemFlag::Checked);
constexpr int32_t kSeparator = static_cast<int32_t>(MenuItemFlag::Separator);

// A loaded machine's window manager can be slow to move the focus.
bool becomesActive(QWidget& window)
{
    return QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }, 20000);
}

QString panelText(SnapshotViewer& viewer, int index)
{
    return viewer.panel(index).text();
}

class SnapshotViewerTest : public WindowFixture {};

TEST_F(SnapshotViewerTest, LoadMakesATopmostToolWindowOfTheDefaultSizeAndUnloadStoresItsPlace)
{
    storeFrame(1);
    SnapshotViewer& viewer = testModule().viewer();
    EXPECT_TRUE(testModule().state().viewerShown);
    EXPECT_TRUE(viewer.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(viewer.windowType(), Qt::Tool);
    EXPECT_EQ(&testModule().viewer(), &viewer) << "a second viewer was made";

    viewer.showFrame(1, false);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    viewer.placement().setLeft(1500);
    viewer.placement().setTop(1200);
    testModule().unloadViewer();
    EXPECT_FALSE(testModule().state().viewerShown);
    EXPECT_EQ(testModule().loadedViewer(), nullptr);
    EXPECT_EQ(testModule().state().viewerPlacement, (WindowPlacement{1500, 1200, 5250, 4320}));
    flushDeletes();
}

TEST_F(SnapshotViewerTest, PagingWrapsBothWaysByCallKeyAndButton)
{
    for (int16_t id = 1; id <= 3; ++id)
        storeFrame(id);
    SnapshotViewer& viewer = openViewer(1);

    const struct {
        const char* how;
        int16_t from;
        std::function<void(SnapshotViewer&)> act;
        int16_t expected;
    } cases[] = {
        {"nextFrame past the last", 3, [](SnapshotViewer& v) { v.nextFrame(); }, 1},
        {"previousFrame before the first", 1, [](SnapshotViewer& v) { v.previousFrame(); }, 3},
        {"key Right", 2, [](SnapshotViewer& v) { QTest::keyClick(&v, Qt::Key_Right); }, 3},
        {"key Left", 2, [](SnapshotViewer& v) { QTest::keyClick(&v, Qt::Key_Left); }, 1},
        {"previousButton", 1, [](SnapshotViewer& v) { QTest::mouseClick(&v.previousButton(), Qt::LeftButton); }, 3},
        {"nextButton", 3, [](SnapshotViewer& v) { QTest::mouseClick(&v.nextButton(), Qt::LeftButton); }, 1},
        {"another key", 2, [](SnapshotViewer& v) { QTest::keyClick(&v, Qt::Key_A); }, 2},
    };
    for (const auto& c : cases) {
        viewer.showFrame(c.from, false);
        c.act(viewer);
        EXPECT_EQ(viewer.currentFrame(), c.expected) << c.how;
        EXPECT_EQ(panelText(viewer, 1), QStringLiteral("Frame %1 of 3").arg(c.expected)) << c.how;
    }
}

TEST_F(SnapshotViewerTest, DiscardRemovesTheShownFrameAndKeepsTheOthersInOrder)
{
    const struct {
        const char* fault;
        int count;
        int16_t current;
        int answer;
        std::vector<int16_t> left;
        int16_t shown;
    } cases[] = {
        {"last frame not removed", 4, 4, kYes, {1, 2, 3}, 3},
        {"first frame not removed", 3, 1, kYes, {2, 3}, 1},
        {"No did not stop it", 4, 2, kNo, {1, 2, 3, 4}, 2},
        // A box closed without a button answers 1, which lets the discard go ahead.
        {"close box taken as refusal", 3, 3, 0, {1, 2}, 2},
    };
    for (const auto& c : cases) {
        resetModule();
        for (int16_t id = 1; id <= c.count; ++id)
            storeFrame(id);
        SnapshotViewer& viewer = openViewer(c.current);
        seam.queueAnswer(ModalKind::Message, c.answer);
        QTest::keyClick(&viewer, Qt::Key_Delete);

        const QList<ShownMessage> shown = seam.takeMessages();
        ASSERT_EQ(shown.size(), 1) << c.fault;
        EXPECT_EQ(shown[0].prompt, QStringLiteral("Confirm: Discard current frame?"));

        EXPECT_EQ(storedFrameIDs(), c.left) << c.fault;
        EXPECT_EQ(viewer.currentFrame(), c.shown) << c.fault;
        EXPECT_EQ(panelText(viewer, 1), QStringLiteral("Frame %1 of %2").arg(c.shown).arg(c.left.size())) << c.fault;
        EXPECT_FALSE(seam.hasAnswer(ModalKind::Message));
    }
}

TEST_F(SnapshotViewerTest, DiscardingTheOnlyFrameEmptiesTheStoreAndClosesTheViewer)
{
    storeFrame(5);
    SnapshotViewer& viewer = openViewer(1);
    viewer.placement().setLeft(2250);
    seam.queueAnswer(ModalKind::Message, kYes);
    viewer.discardFrame();
    EXPECT_TRUE(testModule().state().snapshotStore.empty());
    EXPECT_EQ(testModule().state().frameCounter, 0);
    EXPECT_EQ(testModule().loadedViewer(), nullptr);
    EXPECT_FALSE(testModule().state().viewerShown);
    EXPECT_EQ(testModule().state().viewerPlacement.Left, 2250);
    flushDeletes();
}

TEST_F(SnapshotViewerTest, AFrameIsFittedToTheWindowAndCentredThenShownAtItsCaptureSize)
{
    storeFrame(1, 720, 576);
    SnapshotViewer& viewer = openViewer(1);
    setFixedWindowMetrics(WindowMetrics{300, 60, 60, 30, 30});
    viewer.placement().setWidth(5250);
    viewer.placement().setHeight(4320);
    viewer.showFrame(1, false);

    // The arithmetic is FrameFit's (ViewerArithmeticTest); here the window's own sizes reach it
    // and its answer reaches the picture. 10800 x 8640 twips: the height decides.
    const FitWindow window{5250, 4320, viewer.statusBarHeight(), 300, 60};
    const float ratio = FitRatio(window, 10800, 8640);
    ASSERT_LT(ratio, 5250.0f / 10800) << "the window is not the one the case needs";
    const PictureBox& picture = viewer.framePicture();
    EXPECT_NEAR(picture.Width(), 10800 * ratio, 15);
    EXPECT_NEAR(picture.Height(), 8640 * ratio, 15);
    const FramePosition centred = FramePositionIn(window, picture.Width(), picture.Height());
    EXPECT_EQ(QPointF(picture.Left(), picture.Top()), QPointF(centred.left, centred.top));
    EXPECT_EQ(viewer.scalingSource().picture(), nullptr) << "the full-size frame was kept after scaling";
    const uint8_t* framePixel = testModule().state().snapshotStore.at(1).picture->row(0);
    EXPECT_EQ(picture.drawnLayer().pixel(picture.width() / 2, picture.height() / 2) | 0xFF000000u,
        qRgb(framePixel[2], framePixel[1], framePixel[0]));

    viewer.showFrame(1, true);
    EXPECT_EQ(picture.size(), QSize(720, 576));
    EXPECT_EQ(picture.pos(), QPoint(0, 0));
    EXPECT_DOUBLE_EQ(viewer.placement().width(), 10800);
    EXPECT_DOUBLE_EQ(viewer.placement().height(), viewer.statusBarHeight() + 8640 + 300);
    EXPECT_EQ(picture.picture(), testModule().state().snapshotStore.at(1).picture) << "not drawn unscaled";

    // Dragging the border afterwards refits the frame.
    viewer.placement().setWidth(6000);
    EXPECT_LT(picture.width(), 720);
    EXPECT_EQ(picture.picture(), nullptr);
}

class PanelClickTest : public SnapshotViewerTest {
protected:
    // Clicks a panel with a dismissal queued; true when a menu opened (and took it).
    bool clickOpensMenu(SnapshotViewer& viewer, int panel)
    {
        seam.clearAnswers();
        seam.queueAnswer(ModalKind::Menu, 0);
        QTest::mouseClick(&viewer.panel(panel), Qt::LeftButton);
        const bool opened = !seam.hasAnswer(ModalKind::Menu);
        seam.clearAnswers();
        return opened;
    }
};

// The rule itself is the tracker's (PanelMenuTrackerTest); here the viewer's presses and focus reach it.
TEST_F(PanelClickTest, TheNextClickAfterADismissedMenuOnlyClosesItUnlessThePointerOrFocusMovedMeanwhile)
{
    storeFrame(1);
    storeFrame(2);
    const struct {
        const char* fault;
        int panel;
        std::function<void(SnapshotViewer&)> between;
        bool opensAgain;
    } cases[] = {
        {"second click reopened the options menu", 3, [](SnapshotViewer&) {}, false},
        {"a press on the picture was not counted", 3,
            [](SnapshotViewer& v) { QTest::mousePress(&v.framePicture(), Qt::LeftButton, {}, QPoint(5, 5)); }, true},
        {"losing the focus did not count", 3,
            [](SnapshotViewer& v) {
                QWidget other;
                other.show();
                other.activateWindow();
                ASSERT_TRUE(becomesActive(other));
                v.activateWindow();
                ASSERT_TRUE(becomesActive(v));
            },
            true},
    };
    for (const auto& c : cases) {
        SnapshotViewer& viewer = openViewer(1);
        viewer.activateWindow();
        ASSERT_TRUE(becomesActive(viewer)) << c.fault;
        ASSERT_TRUE(clickOpensMenu(viewer, c.panel)) << c.fault;
        EXPECT_EQ(viewer.menuTracker().lastMenuPanel(), c.panel);
        c.between(viewer);
        EXPECT_EQ(clickOpensMenu(viewer, c.panel), c.opensAgain) << c.fault;
        if (!c.opensAgain) {
            EXPECT_EQ(viewer.menuTracker().lastMenuPanel(), 0) << c.fault;
            EXPECT_TRUE(clickOpensMenu(viewer, c.panel)) << "the third click opened nothing: " << c.fault;
        }
        testModule().unloadViewer();
        flushDeletes();
    }
}

TEST_F(PanelClickTest, TheFrameMenuListsEveryFrameWithACheckOnTheOneShownAndAnEmptyStoreMakesEverythingDoNothing)
{
    MenuSpy spy;
    for (int16_t id = 1; id <= 3; ++id)
        storeFrame(id);
    SnapshotViewer& viewer = openViewer(2);
    seam.queueAnswer(ModalKind::Menu, 3);
    QTest::mouseClick(&viewer.panel(1), Qt::LeftButton);
    ASSERT_EQ(spy.menus.size(), 1u);
    EXPECT_EQ(spy.menus[0], (QList<PopupMenuRow>{{1, 0, "1", 0}, {2, kChecked, "2", 0}, {3, 0, "3", 0}}));
    EXPECT_EQ(viewer.currentFrame(), 3) << "the choice was not shown";
    EXPECT_EQ(viewer.menuTracker().lastMenuPanel(), 0);

    // The store emptied under the open viewer: paging, discarding and saving do nothing.
    testModule().state().clearFrames();
    viewer.nextFrame();
    viewer.previousFrame();
    viewer.discardFrame();
    viewer.saveFrame();
    QTest::keyClick(&viewer, Qt::Key_Delete);
    EXPECT_TRUE(seam.takeMessages().isEmpty());
    EXPECT_EQ(viewer.currentFrame(), 3);
    EXPECT_NE(testModule().loadedViewer(), nullptr);
    EXPECT_TRUE(clickOpensMenu(viewer, 1));
    ASSERT_EQ(spy.menus.size(), 2u);
    EXPECT_EQ(spy.menus[1], (QList<PopupMenuRow>{{0, kGreyed, "No Frames", 0}}));
}

TEST_F(PanelClickTest, TheOptionsMenuOffersItsSevenRowsAndRunsTheChoice)
{
    MenuSpy spy;
    storeFrame(1, 720, 576);
    storeFrame(2);
    SnapshotViewer& viewer = openViewer(1);
    seam.queueAnswer(ModalKind::Menu, 4);
    QTest::mouseClick(&viewer.panel(3), Qt::LeftButton);
    ASSERT_EQ(spy.menus.size(), 1u);
    EXPECT_EQ(spy.menus[0], (QList<PopupMenuRow>{{1, 0, "Save Frame...", 0}, {3, 0, "Discard Frame", 0},
                                     {0, kSeparator, "", 0}, {5, 0, "Print All Frames...", 0},
                                     {2, 0, "Print Selected Frame...", 0}, {0, kSeparator, "", 0},
                                     {4, 0, "Show Actual Capture Size", 0}}));
    EXPECT_EQ(viewer.framePicture().size(), QSize(720, 576)) << "Show Actual Capture Size";
    EXPECT_EQ(viewer.menuTracker().lastMenuPanel(), 0);
}

class SaveFrameTest : public SnapshotViewerTest {
protected:
    QTemporaryDir folder_;
};

// The names for every filter and extension are savedFrameName's (ViewerArithmeticTest).
TEST_F(SaveFrameTest, TheChosenFilterDecidesTheExtensionAndTheFormat)
{
    ASSERT_TRUE(folder_.isValid());
    storeFrame(1, 64, 48);
    SnapshotViewer& viewer = openViewer(1);
    const struct {
        const char* typed;
        int filter;
        const char* written;
        const char* magic;
    } cases[] = {
        {"a.jpg", 2, "a.jpg.bmp", "BM"},
        {"shot1", 1, "shot1.jpg", "\xFF\xD8"},
    };
    for (const auto& c : cases) {
        seam.queueAnswer(ModalKind::Save, QVariant::fromValue(SaveAnswer{folder_.filePath(QString::fromLatin1(c.typed)), c.filter}));
        seam.queueAnswer(ModalKind::Message, kOk);
        viewer.saveFrame();
        const QList<ShownMessage> shown = seam.takeMessages();
        ASSERT_EQ(shown.size(), 1) << c.typed;
        EXPECT_EQ(shown[0].prompt, QStringLiteral("Frame successfully saved.")) << c.typed;
        EXPECT_EQ(shown[0].style, 64);
        QFile file(folder_.filePath(QString::fromLatin1(c.written)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.written;
        EXPECT_TRUE(file.read(2) == QByteArray(c.magic, 2)) << c.written;
    }
    EXPECT_EQ(viewer.currentFrame(), 1);
}

TEST_F(SaveFrameTest, CancelSaysNothingAndAFailedWriteWarns)
{
    ASSERT_TRUE(folder_.isValid());
    storeFrame(1);
    SnapshotViewer& viewer = openViewer(1);
    seam.queueAnswer(ModalKind::Save, QVariant::fromValue(SaveAnswer{QString(), 1}));
    viewer.saveFrame();
    EXPECT_TRUE(seam.takeMessages().isEmpty());
    EXPECT_TRUE(QDir(folder_.path()).isEmpty());

    // A read-only file of that name is kept.
    const QString locked = folder_.filePath(QStringLiteral("locked.jpg"));
    ASSERT_TRUE(writeWholeFile(locked, "kept"));
    QFile::setPermissions(locked, QFileDevice::ReadOwner);
    seam.queueAnswer(ModalKind::Save, QVariant::fromValue(SaveAnswer{locked, 1}));
    seam.queueAnswer(ModalKind::Message, kOk);
    viewer.saveFrame();
    const QList<ShownMessage> shown = seam.takeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].prompt, QStringLiteral("Error occured while saving frame."));
    EXPECT_EQ(shown[0].style, 48);
    EXPECT_EQ(QFileInfo(locked).size(), 4);
}

} // namespace
} // namespace didev
