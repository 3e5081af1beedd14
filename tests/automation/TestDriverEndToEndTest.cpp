// The test driver as the person at the screen: menus opened by clicks on status-bar panels,
// message boxes answered from the queue or by a key, devices plugged in and out, the window
// moved and resized; every effect read back over the bus.
#include "EndToEndFixture.h"

#include "app/HostCallError.h"
#include "common/DBusNames.h"

#include <QDBusVariant>

using namespace didev;
using namespace std::chrono_literals;

namespace {

constexpr int kChecked = 0x8;
constexpr int16_t kAnswerYes = 6;
constexpr int16_t kAnswerOk = 1;

class DriverEndToEnd : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        client = std::make_unique<AutomationClient>(host);
        client->create();
        showForm(*client);
    }

    QList<PopupMenuRow> clickPanel(const QString& window, int16_t index)
    {
        const QDBusMessage reply = drive("ClickPanel", {window, QVariant::fromValue<short>(index)}, "a(iisn)");
        return reply.arguments().isEmpty() ? QList<PopupMenuRow>{} : qdbus_cast<QList<PopupMenuRow>>(reply.arguments().at(0));
    }

    void queueAnswer(const QString& kind, const QVariant& answer)
    {
        drive("QueueAnswer", {kind, QVariant::fromValue(QDBusVariant(answer))});
    }

    std::unique_ptr<AutomationClient> client;
};

} // namespace

TEST_F(DriverEndToEnd, ViewerMenusOpenFromItsPanelsAndAreAnsweredThroughTheirItems)
{
    ASSERT_EQ(client->TakeSnapshot(), 1);
    ASSERT_EQ(client->TakeSnapshot(), 2);
    QVariantMap viewer = windowState("viewer");
    ASSERT_EQ(viewer.value("loaded"), true);
    EXPECT_EQ(viewer.value("currentFrame").toInt(), 2);
    EXPECT_EQ(viewer.value("panels").toStringList().size(), 4);
    EXPECT_GT(viewer.value("pictureWidth").toDouble(), 0);

    // The frame menu's rows come back and its first item is chosen.
    queueAnswer("menu", 1);
    EXPECT_EQ(clickPanel("viewer", 1), (QList<PopupMenuRow>{{1, 0, "1", 0}, {2, kChecked, "2", 0}}));
    EXPECT_EQ(windowState("viewer").value("currentFrame").toInt(), 1);

    // Options, Discard Frame, and Yes to the question: frame 1 goes.
    queueAnswer("menu", 3);
    queueAnswer("message", kAnswerYes);
    EXPECT_EQ(clickPanel("viewer", 3).size(), 7);
    EXPECT_EQ(client->GetSnapshotCount(), 1);
    EXPECT_EQ(messages(), (QList<ShownMessage>{{"Confirm: Discard current frame?", "Didev Evivod", 36}}));
    EXPECT_TRUE(messages().isEmpty());   // taken by the last call
}

// A box answered by a key on it, inside the host's call, is the reliability test's.
TEST_F(DriverEndToEnd, MessageBoxTakesAQueuedAnswerAndLeavesTheOutputsAsTheyWere)
{
    ASSERT_EQ(client->TakeSnapshot(), 1);
    int16_t index = 0;   // below the first frame; the reliability test asks past the last
    int32_t hPicture = 77;
    int16_t frameID = 5;
    double frameTime = 1.5;
    QString timecode = QStringLiteral("kept");
    queueAnswer("message", kAnswerOk);
    client->GetSnapshot(index, hPicture, frameID, frameTime, timecode);
    EXPECT_EQ(hPicture, 77);
    EXPECT_EQ(timecode, "kept");
    EXPECT_EQ(messages(), (QList<ShownMessage>{{"Invalid frame request sent to GetSnapshot().", "Didev Evivod", 48}}));
    EXPECT_EQ(windowState("message").value("loaded"), false);
}

TEST_F(DriverEndToEnd, CaptureWindowDevicesGrabFailuresAndGeometry)
{
    // A failed grab stores nothing and shows the banner.
    drive("FailNextGrab", {QStringLiteral("fetch")});
    EXPECT_EQ(client->TakeSnapshot(), 0);
    EXPECT_EQ(windowState("capture").value("bannerVisible"), true);
    EXPECT_EQ(client->GetSnapshotCount(), 0);
    EXPECT_NE(client->TakeSnapshot(), 0);   // the failure was used up
    EXPECT_EQ(client->GetSnapshotCount(), 1);

    drive("PlugDevice", {QStringLiteral("video"), QStringLiteral("Second Camera"), QStringLiteral("ball")});
    EXPECT_TRUE(windowState("capture").value("videoDevices").toStringList().contains("Second Camera"));
    drive("UnplugDevice", {QStringLiteral("video"), QStringLiteral("Second Camera")});
    EXPECT_FALSE(windowState("capture").value("videoDevices").toStringList().contains("Second Camera"));
    drive("PostDeviceNotice", {QStringLiteral("add"), QStringLiteral("block")});
    EXPECT_EQ(windowState("capture").value("videoIndex").toInt(), 0);

    // Dragged by the user: the host reads the new geometry.
    drive("Move", {QStringLiteral("capture"), 1500, 1800});
    drive("Resize", {QStringLiteral("capture"), 6000, 4500});
    const QVariantMap capture = windowState("capture");
    EXPECT_EQ(capture.value("left").toDouble(), 1500);
    EXPECT_EQ(capture.value("top").toDouble(), 1800);
    EXPECT_EQ(capture.value("width").toDouble(), 6000);
    EXPECT_EQ(capture.value("height").toDouble(), 4500);
    HostStringArray settings(1, 8);
    client->GetSettings(settings);
    EXPECT_EQ(settings.elements().mid(0, 4), (QStringList{"1800", "1500", "6000", "4500"}));

    const QDBusMessage screen = drive("Screen", {}, "a{sv}");
    const auto metrics = qdbus_cast<QVariantMap>(screen.arguments().value(0));
    EXPECT_GT(metrics.value("twipsPerPixelX").toDouble(), 0);
    EXPECT_GT(metrics.value("width").toDouble(), 6000);
}

TEST_F(DriverEndToEnd, DriverRefusesWhatNoPersonCouldDo)
{
    const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    const auto error = [&](const QString& member, const QVariantList& arguments) {
        return rawCall(QString::fromLatin1(dbus::kTestDriverPath), QString::fromLatin1(dbus::kTestDriverInterface), member,
            arguments).errorName();
    };
    EXPECT_EQ(error("PressKey", {QStringLiteral("desktop"), QVariant::fromValue<short>(65), QVariant::fromValue<short>(0)}), invalidArgs);
    EXPECT_EQ(error("PressKey", {QStringLiteral("capture"), QVariant::fromValue<short>(-7), QVariant::fromValue<short>(0)}), invalidArgs);
    EXPECT_EQ(error("PlugDevice", {QStringLiteral("video"), QStringLiteral("X"), QStringLiteral("no-such-pattern")}), invalidArgs);
    EXPECT_EQ(error("PlugDevice", {QStringLiteral("radio"), QStringLiteral("X"), QString()}), invalidArgs);
    EXPECT_EQ(error("FailNextGrab", {QStringLiteral("later")}), invalidArgs);
    EXPECT_EQ(error("QueueAnswer", {QStringLiteral("message"), QVariant::fromValue(QDBusVariant(QStringLiteral("Yes")))}), invalidArgs);
    EXPECT_EQ(error("QueueAnswer", {QStringLiteral("dream"), QVariant::fromValue(QDBusVariant(1))}), invalidArgs);
    EXPECT_EQ(error("ClickPanel", {QStringLiteral("capture"), QVariant::fromValue<short>(9)}), invalidArgs);
    EXPECT_EQ(error("PointerAt", {QStringLiteral("viewer"), 1.0, 1.0}), QStringLiteral("org.freedesktop.DBus.Error.Failed"));
    EXPECT_EQ(error("Resize", {QStringLiteral("capture"), -50, 100}), invalidArgs);
    EXPECT_EQ(windowState("viewer").value("loaded"), false);
    EXPECT_EQ(client->GetSnapshotCount(), 0);
}
