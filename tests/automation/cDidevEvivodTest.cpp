#include "automation/NumberText.h"
#include "automation/cDidevEvivod.h"
#include "automation/FrameRoad.h"
#include "capture/CaptureWindow.h"
#include "capture/VideoView.h"
#include "common/AutomationError.h"
#include "support/TestModule.h"
#include "support/AutomationErrors.h"
#include "ui/Screen.h"
#include "viewer/SnapshotViewer.h"
#include "viewer/ViewerTestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace didev;
using didev::testing::errorNumberOf;
using didev::testing::storedFrameIDs;

namespace {

constexpr int kWait = 5000;

// The host's side: records every event and may call back from inside it.
struct Host final : cDidevEvivodEvents {
    std::vector<HostStringArray> closed;
    std::vector<std::pair<int16_t, int16_t>> keys;
    std::function<void(HostStringArray&)> onFormClosed;
    std::function<void(int16_t&, int16_t&)> onKeyDown;

    void FormClosed(HostStringArray& passDataArray) override
    {
        closed.push_back(passDataArray);
        if (onFormClosed)
            onFormClosed(passDataArray);
    }
    void SettingsChanged(HostStringArray&) override {}
    void KeyDown(int16_t& KeyCode, int16_t& Shift) override
    {
        keys.emplace_back(KeyCode, Shift);
        if (onKeyDown)
            onKeyDown(KeyCode, Shift);
    }
};

// ShowForm's array: entry 1 the close-notify request, 2 to 9 the geometry.
HostStringArray showFormArray(const QString& closeNotify, const QStringList& geometry = {})
{
    HostStringArray array(1, 9);
    array.set(1, closeNotify);
    for (int i = 0; i < geometry.size(); ++i)
        array.set(i + 2, geometry.at(i));
    return array;
}

QString text(double value)
{
    return QString::fromStdString(singleText(static_cast<float>(value)));
}

class AutomationClass : public ::testing::Test {
protected:
    TestModule owner;
    std::unique_ptr<cDidevEvivod> automation;
    Host host;

    void SetUp() override
    {
        didev::testing::fixTheScreen();
        CaptureOptions options;
        options.systemDevices = false;
        options.virtualVideo = {VirtualVideoDevice{QStringLiteral("Cam"), QStringLiteral("smpte"), {320, 240, 25}}};
        options.virtualAudio = {VirtualAudioDevice{QStringLiteral("Mic")}};
        testModule().setCaptureOptions(options);
        didev::testing::resetModule();
        automation = std::make_unique<cDidevEvivod>(testModule());
        automation->addEventSink(&host);
    }

    void TearDown() override
    {
        automation.reset();
        // Released windows go with the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        testModule().setCaptureOptions(std::nullopt);
        setFixedScreenMetrics(std::nullopt);
    }

    void showForm(HostStringArray array)
    {
        int16_t formID = 0;
        ASSERT_EQ(automation->ShowForm(formID, array), kHostTrue);
        ASSERT_NE(window(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window()));
    }

    void closeForm(const QString& entry)
    {
        int16_t formID = 0;
        HostStringArray array(1, QStringList{entry});
        automation->CloseForm(formID, array);
    }

    HostStringArray settings()
    {
        HostStringArray array(1, 8);
        automation->GetSettings(array);
        return array;
    }

    CaptureWindow* window() const { return automation->captureWindow(); }

    // The first grab needs a frame of the live picture.
    void waitForPicture()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return window()->videoView().framesShown() > 0; }, kWait));
    }

    int16_t grab()
    {
        const int16_t frameID = automation->TakeSnapshot();
        EXPECT_NE(frameID, 0) << "the grab failed";
        return frameID;
    }

    // Frames as a grab leaves them: IDs 1..count, each with its own picture and timecode.
    static void storeFrames(int count)
    {
        for (int i = 1; i <= count; ++i)
            didev::testing::storeFrame(static_cast<int16_t>(i), 4, 3);
    }
};

} // namespace

TEST_F(AutomationClass, AWindowLeftLoadedWhenAnotherInstanceResetTheFlagsClosesSilently)
{
    showForm(showFormArray(QStringLiteral("Y")));
    QPointer<CaptureWindow> first = window();
    cDidevEvivod other(testModule());
    EXPECT_FALSE(testModule().state().captureWindowLoaded);

    showForm(showFormArray(QStringLiteral("Y"), {"1200", "1500", "6000", "4500"}));
    EXPECT_NE(window(), first.data());
    EXPECT_TRUE(host.closed.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(testModule().state().captureWindowLoaded) << "the old window's end leaves the new one loaded";
    EXPECT_EQ(testModule().state().captureWindowPlacement, (WindowPlacement{1500, 1200, 6000, 4500}));
}

TEST_F(AutomationClass, ASecondShowFormOnlyShowsTheWindowAgainAndReadsNothing)
{
    showForm(showFormArray(QStringLiteral("Y"), {"1200", "1500", "6000", "4500"}));
    CaptureWindow* first = window();
    storeFrames(2);
    const WindowPlacement placement = testModule().state().captureWindowPlacement;
    first->hide();

    // An array without the subscripts ShowForm reads would fail if it were read.
    HostStringArray unreadable(40, QStringList{QStringLiteral("N")});
    int16_t formID = 7;
    EXPECT_EQ(automation->ShowForm(formID, unreadable), kHostTrue);
    EXPECT_EQ(window(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(automation->GetSnapshotCount(), 2);
    EXPECT_EQ(testModule().state().captureWindowPlacement, placement);
}

TEST_F(AutomationClass, AfterTheUserClosedTheWindowShowFormStartsAfresh)
{
    showForm(showFormArray(QStringLiteral("Y")));
    CaptureWindow* first = window();
    first->close();   // the close box; what it tells the host is the next test's
    storeFrames(3);
    showForm(showFormArray(QStringLiteral("Y"), {"1200", "1500", "6000", "4500"}));
    EXPECT_NE(window(), first);
    EXPECT_EQ(automation->GetSnapshotCount(), 0);
    EXPECT_DOUBLE_EQ(window()->placement().left(), 1500);
    EXPECT_TRUE(testModule().state().captureWindowLoaded);
}

TEST_F(AutomationClass, FormClosedOnlyWhenShowFormAskedWithYAndCloseFormDidNotSayN)
{
    struct Case {
        const char* showEntry;
        const char* closeEntry;
        bool event;
    };
    const Case cases[] = {
        {"Y", "", true},
        {"Y", "N", false},
        {"Y", "n", true},
        {"Y", "NO", true},
        {"y", "", false},
        {"Y ", "", false},
    };
    for (const Case& c : cases) {
        host.closed.clear();
        showForm(showFormArray(QString::fromLatin1(c.showEntry)));
        closeForm(QString::fromLatin1(c.closeEntry));
        EXPECT_EQ(host.closed.size(), c.event ? 1u : 0u) << "ShowForm '" << c.showEntry << "', CloseForm '" << c.closeEntry << "'";
        EXPECT_EQ(window(), nullptr);
        EXPECT_FALSE(testModule().state().captureWindowLoaded);
    }
}

TEST_F(AutomationClass, CloseFormBeforeAnyShowFormOnlyReadsItsArray)
{
    closeForm(QStringLiteral("N"));
    EXPECT_TRUE(host.closed.empty());
    int16_t formID = 0;
    HostStringArray empty;
    EXPECT_EQ(errorNumberOf([&] { automation->CloseForm(formID, empty); }), 9);
}

// From inside FormClosed (by CloseForm or by the close box) the host finds the store already
// empty and may close the window again without a second event; the geometry it reads there is
// the end-to-end test's.
TEST_F(AutomationClass, AHostCallingBackFromInsideFormClosedFindsTheStoreEmptyAndGetsOneEvent)
{
    for (const bool byCloseBox : {false, true}) {
        host.closed.clear();
        showForm(showFormArray(QStringLiteral("Y")));
        QPointer<CaptureWindow> closing = window();
        int16_t countInside = -1;
        host.onFormClosed = [&](HostStringArray&) {
            countInside = automation->GetSnapshotCount();
            closeForm(QString());
            closing->close();
        };
        storeFrames(1);
        if (byCloseBox)
            closing->close();
        else
            closeForm(QString());
        host.onFormClosed = nullptr;
        EXPECT_EQ(host.closed.size(), 1u) << "close box: " << byCloseBox;
        EXPECT_EQ(countInside, 0) << "the store is emptied before the event";
        EXPECT_EQ(settings(), HostStringArray(1, 8)) << "and cleared after it";
        EXPECT_FALSE(testModule().state().captureWindowLoaded);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(closing.isNull());
    }
}

TEST_F(AutomationClass, ClosingTakesTheViewerAlongAndFormClosedCarriesBothPlacements)
{
    showForm(showFormArray(QStringLiteral("Y")));
    EXPECT_DOUBLE_EQ(window()->placement().width(), 5250);
    waitForPicture();
    grab();
    window()->move(20, 10);
    window()->resize(500, 400);
    // The outer frame, as the user dragged it.
    const QString width = QString::number(window()->frameGeometry().width() * 15);
    const QString height = QString::number(window()->frameGeometry().height() * 15);
    ASSERT_GE(width.toInt(), 7500);
    SnapshotViewer* viewer = testModule().loadedViewer();
    ASSERT_NE(viewer, nullptr);
    viewer->move(100, 200);
    const QString viewerWidth = QString::number(static_cast<int32_t>(viewer->placement().width()));
    closeForm(QStringLiteral("n"));

    EXPECT_EQ(testModule().loadedViewer(), nullptr);
    EXPECT_FALSE(testModule().state().viewerShown);
    ASSERT_EQ(host.closed.size(), 1u);
    // The array's bounds are the end-to-end test's; here the live values of both windows reach it.
    EXPECT_EQ(host.closed.front().elements().mid(1, 7), (QStringList{"150", "300", width, height, "3000", "1500", viewerWidth}));
}

TEST_F(AutomationClass, GetSettingsReportsTheOpenViewerAndClearSnapshotsClosesIt)
{
    showForm(showFormArray(QStringLiteral("Y"), {"600", "900", "6000", "4500"}));
    waitForPicture();
    grab();
    grab();
    SnapshotViewer* viewer = testModule().loadedViewer();
    ASSERT_NE(viewer, nullptr);
    viewer->move(200, 500);

    const HostStringArray live = settings();
    EXPECT_EQ(live.elements().mid(4), (QStringList{"7500", "3000", text(viewer->placement().width()),
                                          text(viewer->placement().height())}));

    automation->ClearSnapshots();
    EXPECT_EQ(testModule().loadedViewer(), nullptr);
    EXPECT_EQ(settings().elements().mid(4), QStringList(4, QString()));
    EXPECT_EQ(grab(), 1) << "numbering starts again";
}

TEST_F(AutomationClass, AfterClearSavedSnapshotsTheNextGrabIsNumberedFromTheFramesKept)
{
    showForm(showFormArray(QStringLiteral("Y")));
    waitForPicture();
    for (int i = 1; i <= 5; ++i)
        grab();
    // Only exactly true counts as saved: frame 1 is marked with 1 and stays.
    for (const auto& [index, setting] : {std::pair<int16_t, HostBoolean>{2, kHostTrue}, {3, kHostTrue}, {1, 1}}) {
        int16_t i = index;
        HostBoolean flag = setting;
        automation->PictureSavedByLogger(i, flag);
    }
    automation->ClearSavedSnapshots();
    EXPECT_EQ(storedFrameIDs(), (std::vector<int16_t>{1, 4, 5}));
    EXPECT_NE(testModule().loadedViewer(), nullptr) << "frames are left: the viewer stays";
    EXPECT_EQ(grab(), 4) << "three kept, so the next is 4 although 4 and 5 are stored";
    EXPECT_EQ(storedFrameIDs(), (std::vector<int16_t>{1, 4, 5, 4}));

    for (int i = 1; i <= 4; ++i)
        testModule().state().snapshotStore.at(i).savedByLogger = true;
    automation->ClearSavedSnapshots();
    EXPECT_EQ(automation->GetSnapshotCount(), 0);
    EXPECT_EQ(testModule().loadedViewer(), nullptr) << "nothing left: the viewer goes";
}

TEST_F(AutomationClass, SetPropertyReadsOnlyItsTwoIdentifiers)
{
    struct Case {
        int16_t propID;
        const char* value;
        int error;
        int32_t userRegArea;
        bool accumulate;
    };
    const Case cases[] = {
        {1, "-2147483648", 0, INT32_MIN, true},
        {1, "2147483648", 6, INT32_MIN, true},
        {3, "n", 0, INT32_MIN, true},
        {3, "N", 0, INT32_MIN, false},
        {2, "0", 0, INT32_MIN, false},
    };
    for (const Case& c : cases) {
        int16_t propID = c.propID;
        QString propValue = QString::fromLatin1(c.value);
        EXPECT_EQ(errorNumberOf([&] { automation->SetProperty(propID, propValue); }), c.error) << c.propID << " " << c.value;
        EXPECT_EQ(testModule().state().userRegArea, c.userRegArea) << c.propID << " " << c.value;
        EXPECT_EQ(testModule().state().accumulateFrames, c.accumulate) << c.propID << " " << c.value;
    }
}

TEST_F(AutomationClass, KeyDownReachesEverySinkWithTheSameVariables)
{
    Host second;
    automation->addEventSink(&second);
    automation->addEventSink(&host);   // a sink added twice is told once
    host.onKeyDown = [](int16_t& KeyCode, int16_t& Shift) {
        KeyCode = 999;
        Shift = 7;
    };
    showForm(showFormArray(QStringLiteral("Y")));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, QStringLiteral("A"));
    QApplication::sendEvent(window(), &press);
    ASSERT_EQ(host.keys.size(), 1u);
    EXPECT_EQ(host.keys.front(), (std::pair<int16_t, int16_t>{65, 1}));
    ASSERT_EQ(second.keys.size(), 1u);
    EXPECT_EQ(second.keys.front(), (std::pair<int16_t, int16_t>{999, 7})) << "by reference: the first sink's change is seen";

    // A sink removed by another's handler is not told any more.
    host.onFormClosed = [&](HostStringArray&) { automation->removeEventSink(&second); };
    closeForm(QString());
    EXPECT_EQ(host.closed.size(), 1u);
    EXPECT_TRUE(second.closed.empty());
}
