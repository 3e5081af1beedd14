#include "capture/CaptureMenus.h"
#include "automation/FrameRoad.h"
#include "capture/CaptureWindow.h"
#include "capture/DeviceWatch.h"
#include "capture/VideoView.h"
#include "support/TestModule.h"
#include "support/WindowFixture.h"
#include "ui/InteractionSeam.h"
#include "ui/PictureBox.h"
#include "ui/Screen.h"
#include "ui/StatusPanel.h"
#include "ui/SyntheticInput.h"
#include "viewer/SnapshotViewer.h"
#include "viewer/ViewerTestSupport.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

using namespace didev;
using namespace didev::testing;

namespace didev {
void PrintTo(const PopupMenuRow& row, std::ostream* out)
{
    *out << "(" << row.id << ", 0x" << std::hex << row.flags << std::dec << ", \"" << row.text.toStdString() << "\", "
         << row.depth << ")";
}
} // namespace didev

namespace {

constexpr int kWait = 5000;
constexpr int32_t kChecked = 0x8;
constexpr int32_t kGreyed = 0x1;

int32_t flagsOf(const QList<PopupMenuRow>& rows, int32_t id)
{
    for (const PopupMenuRow& row : rows) {
        if (row.id == id)
            return row.flags;
    }
    ADD_FAILURE() << "no item " << id;
    return -1;
}

class StatusBarMenus : public WindowFixture {
protected:
    void open(const QString& video, const QString& audio = QStringLiteral("Mic"))
    {
        openWindow(virtualDevices(video, audio, {160, 120, 25}));
    }

    // Clicks a panel with `answer` queued for its menu (0 = Escape): the rows of the menu that
    // opened, nothing when none did.
    std::optional<QList<PopupMenuRow>> click(int index, int answer = 0)
    {
        seam.queueAnswer(ModalKind::Menu, answer);
        std::optional<QList<PopupMenuRow>> shown;
        const auto connection = QObject::connect(&window->menus(), &CaptureMenus::menuShown,
            [&](int panel, const QList<PopupMenuRow>& rows) {
                EXPECT_EQ(panel, index);
                shown = rows;
            });
        clickCentre(window->panel(index));
        QObject::disconnect(connection);
        if (!shown) {
            EXPECT_TRUE(seam.takeAnswer(ModalKind::Menu)) << "no menu took the answer";
        }
        return shown;
    }

    static void storeFrames(int count)
    {
        for (int16_t id = 1; id <= count; ++id)
            storeFrame(id, 160, 120);
    }

    CaptureControl& capture() { return window->captureControl(); }
    QString panelText(int index) { return window->panel(index).text(); }
};

} // namespace

TEST_F(StatusBarMenus, DeviceMenusCheckEveryDeviceOfTheShownName)
{
    open(QString(), QStringLiteral("Mic;Mic;Mic 2"));
    EXPECT_EQ(click(1), QList<PopupMenuRow>({{kNoDeviceCommand, kChecked, QStringLiteral("None"), 0}}));
    EXPECT_EQ(click(2), QList<PopupMenuRow>({{kNoDeviceCommand, 0, QStringLiteral("None"), 0},
                            {1, kChecked, QStringLiteral("Mic"), 0}, {2, kChecked, QStringLiteral("Mic"), 0},
                            {3, 0, QStringLiteral("Mic 2"), 0}}));
}

TEST_F(StatusBarMenus, ChoosingTheDeviceInUseRestartsItsPreview)
{
    open(QStringLiteral("Cam A;Cam B"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture().videoRunning(); }, kWait));
    // A start is announced through the event queue: delivering the posted events hands over every
    // announcement of what has been started so far, with no clock involved.
    const auto announced = [&] { QCoreApplication::sendPostedEvents(&capture(), QEvent::MetaCall); };
    QSignalSpy started(&capture(), &CaptureControl::sourceStarted);
    announced();
    started.clear();
    auto videoStarts = [&] {
        return std::count_if(started.begin(), started.end(),
            [](const QList<QVariant>& args) { return args[0].value<DeviceKind>() == DeviceKind::Video; });
    };

    ASSERT_TRUE(click(1, 1));
    announced();
    EXPECT_EQ(videoStarts(), 1);
    EXPECT_EQ(capture().videoDevices().selectedIndex(), 0);
    EXPECT_TRUE(capture().preview());
    EXPECT_EQ(window->menuTracker().lastMenuPanel(), 0) << "a command clears the panel";

    ASSERT_TRUE(click(1, 2));
    EXPECT_EQ(panelText(1), QStringLiteral("Cam B"));
    EXPECT_TRUE(capture().videoRunning());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    announced();
    EXPECT_EQ(videoStarts(), 2);

    // Audio: only the selection changes; the video goes on untouched.
    announced();
    started.clear();
    ASSERT_TRUE(click(2, kNoDeviceCommand));
    EXPECT_EQ(panelText(2), QStringLiteral("No Audio"));
    EXPECT_FALSE(capture().audioRunning());
    EXPECT_TRUE(capture().videoRunning());
    announced();
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(StatusBarMenus, NoneKeepsThePreviewOffThroughAReconnection)
{
    open(QStringLiteral("Cam"));
    std::optional<Qt::CursorShape> cursorWhileSwitching;
    struct LogoWatch final : QObject {
        std::optional<Qt::CursorShape>& seen;
        explicit LogoWatch(std::optional<Qt::CursorShape>& s) : seen(s) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Show && QGuiApplication::overrideCursor())
                seen = QGuiApplication::overrideCursor()->shape();
            return false;
        }
    } watch(cursorWhileSwitching);
    window->logo().installEventFilter(&watch);

    ASSERT_TRUE(click(1, kNoDeviceCommand));
    EXPECT_EQ(cursorWhileSwitching, Qt::WaitCursor) << "the hourglass while the logo comes up";
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(panelText(1), QStringLiteral("No Video"));
    EXPECT_TRUE(window->logo().isVisible());
    EXPECT_FALSE(capture().preview());

    window->deviceWatch()->postNotice(QStringLiteral("add"), QStringLiteral("video4linux"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture().videoDevices().selectedIndex() == 0; }, 3500));
    EXPECT_EQ(panelText(1), QStringLiteral("Cam"));
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(capture().preview());
    EXPECT_FALSE(capture().videoRunning()) << "a reconnection selects but does not switch on";

    ASSERT_TRUE(click(1, 1));
    EXPECT_TRUE(capture().videoRunning());
}

// Each row chooses an input mode or stage, then opens the menu again.
TEST_F(StatusBarMenus, OptionsMenuGreysFromTheStoreAndTheCaptureSwitchAndChecksTheModeAndStageInUse)
{
    open(QStringLiteral("Cam"));
    const struct {
        int frames;
        HostBoolean allow;
        int chosen;
        int32_t inputMode, stage;
        int32_t frameFlags, captureFlags;
    } cases[] = {{0, kHostTrue, 5, 1, 0, kGreyed, 0}, {0, kHostFalse, 9, 1, 2, kGreyed, kGreyed},
        {2, kHostFalse, 4, 2, 2, 0, kGreyed}, {1, kHostTrue, 8, 2, 1, 0, 0},
        {1, HostBoolean(1), 6, 0, 1, 0, kGreyed},   // as for the "S" key, only exactly -1 allows the grab
        {1, kHostTrue, 7, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        testModule().state().clearFrames();
        storeFrames(c.frames);
        testModule().state().AllowInternalCapture = c.allow;
        ASSERT_TRUE(click(3, c.chosen));
        EXPECT_EQ(capture().inputMode(), c.inputMode) << c.chosen;
        EXPECT_EQ(capture().previewStage(), c.stage) << c.chosen;
        const auto rows = click(3);
        ASSERT_TRUE(rows);
        EXPECT_EQ(flagsOf(*rows, c.chosen), kChecked) << c.chosen;
        EXPECT_EQ(flagsOf(*rows, 1), c.frameFlags) << c.frames;
        EXPECT_EQ(flagsOf(*rows, 2), c.frameFlags) << c.frames;
        EXPECT_EQ(flagsOf(*rows, 3), c.captureFlags) << c.allow;
        EXPECT_FALSE(click(3)) << "the dismissed menu's second click";
    }
}

TEST_F(StatusBarMenus, ShowCapturedFramesOpensFrameOneUnderTheWindowOrSwitchesTheShownViewer)
{
    open(QStringLiteral("Cam"));
    window->move(100, 50);
    storeFrames(3);
    testModule().state().viewerPlacement = {9000, 9000, 4000, 3000};   // not looked at
    ASSERT_TRUE(click(3, 1));
    SnapshotViewer* viewer = testModule().loadedViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->currentFrame(), 1);
    EXPECT_DOUBLE_EQ(viewer->placement().left(), window->placement().left());
    EXPECT_DOUBLE_EQ(viewer->placement().top(), window->placement().top() + window->placement().height());

    viewer->showFrame(3, false);
    // Where a window manager draws frames, the person moves the viewer once it has one.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        (void)QTest::qWaitFor([&] { return !viewer->windowHandle()->frameMargins().isNull(); }, 5000);
    viewer->move(400, 400);
    const QRect placed = viewer->frameGeometry();
    ASSERT_TRUE(click(3, 1));
    EXPECT_EQ(testModule().loadedViewer(), viewer) << "the shown viewer is reused";
    EXPECT_EQ(viewer->currentFrame(), 1);
    EXPECT_EQ(viewer->frameGeometry(), placed) << "a shown viewer stays where it is";
}

TEST_F(StatusBarMenus, DiscardAsksFirstAndNoKeepsEverything)
{
    open(QStringLiteral("Cam"));
    storeFrames(3);
    ASSERT_TRUE(click(3, 1));
    ASSERT_NE(testModule().loadedViewer(), nullptr);
    seam.takeMessages();

    seam.queueAnswer(ModalKind::Message, 7);
    ASSERT_TRUE(click(3, 2));
    const QList<ShownMessage> asked = seam.takeMessages();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].prompt, QStringLiteral("Confirm: Discard captured frames?"));
    EXPECT_EQ(asked[0].caption, QStringLiteral("Didev Evivod"));
    EXPECT_EQ(asked[0].style, 36);
    EXPECT_EQ(testModule().state().snapshotStore.upperBound(), 3);
    EXPECT_EQ(testModule().state().frameCounter, 3);
    ASSERT_NE(testModule().loadedViewer(), nullptr);
    EXPECT_TRUE(testModule().loadedViewer()->isVisible());

    seam.queueAnswer(ModalKind::Message, 6);
    ASSERT_TRUE(click(3, 2));
    EXPECT_EQ(testModule().loadedViewer(), nullptr);
    EXPECT_EQ(testModule().state().snapshotStore.upperBound(), 0);
    EXPECT_EQ(testModule().state().frameCounter, 0);
}

// The grab and the focus coming back after it are the "S" key's (FrameRoadTest).
TEST_F(StatusBarMenus, CaptureCurrentFrameGrabs)
{
    open(QStringLiteral("Cam"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture().newestFrame() != nullptr; }, kWait));
    ASSERT_TRUE(click(3, 3));
    ASSERT_EQ(testModule().state().snapshotStore.upperBound(), 1);
    EXPECT_EQ(testModule().state().snapshotStore.at(1).frameTimecode, QString());
    ASSERT_NE(testModule().loadedViewer(), nullptr);
}
