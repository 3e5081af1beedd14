// The automation service as a host meets it: started by activation on a private bus, driven
// only over the bus, with the test driver as the person at the screen.
#include "EndToEndFixture.h"
#include "support/TextFiles.h"
#include "SignalRecorder.h"

#include "app/HostCallError.h"
#include "app/HostEventSink.h"
#include "common/DBusNames.h"
#include "common/HostStringArrayDBus.h"
#include "support/NetworkSenders.h"

#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QImage>

#include <limits>

using namespace didev;
using namespace std::chrono_literals;

namespace {

constexpr int16_t kKeyS = 83;
const QString kInstanceInterface = QString::fromLatin1(dbus::kAutomationInterface);

HostStringArray settingsOf(AutomationClient& client)
{
    HostStringArray settings(1, 8);
    client.GetSettings(settings);
    return settings;
}

HostStringArray arrayOf(const QDBusMessage& message, int index = 0)
{
    HostStringArray array;
    qvariant_cast<QDBusArgument>(message.arguments().at(index)) >> array;
    return array;
}

QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const HostCallError& error) {
        return error.name() + QStringLiteral(": ") + error.message();
    }
    return QStringLiteral("no error");
}

} // namespace

TEST_F(EndToEnd, RoadOfAFrame)
{
    AutomationClient client(host);
    client.create();
    SignalRecorder recorder(host);
    HostEventSink sink(host, QStringLiteral("/test/sink"));
    ASSERT_TRUE(sink.exportObject());
    QList<HostStringArray> closedArrays;
    HostStringArray seenFromHandler;
    QList<std::pair<int16_t, int16_t>> keys;
    sink.onFormClosed = [&](HostStringArray& array) {
        seenFromHandler = settingsOf(client);   // re-enters the module while the window unloads
        array.set(20, QStringLiteral("handled"));
        closedArrays.append(array);
    };
    sink.onKeyDown = [&](int16_t& keyCode, int16_t& shift) { keys.append({keyCode, shift}); };
    client.Advise(sink.path());

    // Show: the window takes the host's geometry.
    const int16_t formID = showForm(client, QStringLiteral("Y"));
    const HostStringArray shown = settingsOf(client);
    EXPECT_EQ(shown.elements().mid(0, 4), (QStringList{"1200", "900", "5250", "4320"}));
    EXPECT_EQ(windowState(QStringLiteral("capture")).value(QStringLiteral("loaded")), true);

    // Grab by call, then by the "S" key as a person presses it.
    EXPECT_EQ(client.TakeSnapshot(), 1);
    pressKey("capture", kKeyS);
    EXPECT_EQ(keys, (QList<std::pair<int16_t, int16_t>>{{kKeyS, 0}}));
    ASSERT_EQ(client.GetSnapshotCount(), 2);

    const StoredFrame first = snapshotAt(client, 1);
    const StoredFrame second = snapshotAt(client, 2);
    EXPECT_NE(first.hPicture, second.hPicture);
    EXPECT_GT(first.frameTime, 45000.0);   // an automation date of this century
    EXPECT_LE(first.frameTime, second.frameTime);

    // The picture over the bus is the very bitmap file SaveSnapshot writes; JPEG files are the
    // export test's and the examples'.
    const QByteArray pictureData = client.GetPictureData(first.hPicture);
    const QString bitmapFile = file(QStringLiteral("frame1.bmp"));
    EXPECT_EQ(saveSnapshot(client, 1, bitmapFile, 1), kHostTrue);
    EXPECT_EQ(QImage::fromData(pictureData, "BMP").size(), QSize(640, 480));
    EXPECT_EQ(pictureData, fileBytes(bitmapFile));

    // Mark frame 1 as saved by the logger and purge it: frame 2 moves down.
    int16_t index = 1;
    HostBoolean saved = kHostTrue;
    client.PictureSavedByLogger(index, saved);
    client.ClearSavedSnapshots();
    ASSERT_EQ(client.GetSnapshotCount(), 1);
    EXPECT_EQ(snapshotAt(client, 1).frameID, 2);
    EXPECT_EQ(snapshotAt(client, 1).hPicture, second.hPicture);
    EXPECT_EQ(errorOf([&] { client.GetPictureData(first.hPicture); }),   // its picture is released
        QString::fromLatin1(dbus::kErrorName) + ": Error 9 (KelvaraDidevEvivod): Subscript out of range");

    // Close: FormClosed carries the geometry, to the sink, which still finds the window loaded, and
    // then as a signal with what the sink made of the array.
    closeForm(client, formID);
    EXPECT_EQ(seenFromHandler.elements().mid(0, 4), shown.elements().mid(0, 4));
    ASSERT_EQ(closedArrays.size(), 1);
    EXPECT_EQ(closedArrays[0].lowerBound(), 0);
    EXPECT_EQ(closedArrays[0].upperBound(), 20);
    EXPECT_EQ(closedArrays[0].elements().mid(1, 4), shown.elements().mid(0, 4));
    ASSERT_TRUE(waitFor([&] { return !recorder.named("FormClosed").isEmpty(); }, 5s));
    EXPECT_EQ(arrayOf(recorder.named("FormClosed").at(0)), closedArrays[0]);
    EXPECT_EQ(recorder.named("KeyDown").size(), 1);
    EXPECT_EQ(settingsOf(client).elements(), QStringList(8));
    EXPECT_EQ(windowState(QStringLiteral("capture")).value(QStringLiteral("loaded")), false);

    // The last instance gone, the server goes.
    client.release();
    EXPECT_TRUE(bus->waitUntilServerGone(2s));
}

TEST_F(EndToEnd, ANetworkCameraOfTheUsersConfigurationIsTheCameraAHostGrabsFrom)
{
    const NetworkSenderKind& kind = networkSenderKinds().at(1);   // RTP/JPEG over UDP
    const int port = freePort(kind.portType);
    NetworkSender sender(kind, port);
    ASSERT_TRUE(sender.start());
    // The user's configuration, which the server reads when D-Bus starts it; a bad line is passed over.
    ASSERT_TRUE(writeWholeFile(file(QStringLiteral("config/didev-evivod/network-sources")),
        "no camera here\nNet Cam=" + kind.uri(port).toUtf8() + "\n"));

    AutomationClient client(host);
    client.create();
    const int16_t formID = showForm(client);
    ASSERT_EQ(client.TakeSnapshot(), 1);
    EXPECT_EQ(saveSnapshot(client, 1, file(QStringLiteral("net.bmp")), 1), kHostTrue);
    EXPECT_EQ(QImage(file(QStringLiteral("net.bmp"))).size(), QSize(kind.width, kind.height));
    closeForm(client, formID);
}

TEST_F(EndToEnd, ErrorsArriveNumbered)
{
    AutomationClient client(host);
    client.create();
    const QString automationError = QString::fromLatin1(dbus::kErrorName) + QStringLiteral(": ");
    const QString subscript = automationError + "Error 9 (KelvaraDidevEvivod): Subscript out of range";

    const struct {
        const char* what;
        std::function<void()> call;
        QString expected;
    } cases[] = {
        {"mark an index past the store", [&] { int16_t i = 99; HostBoolean s = kHostTrue; client.PictureSavedByLogger(i, s); },
            subscript},
        {"save an index past the store", [&] { saveSnapshot(client, 3, file("x.bmp"), 1); }, subscript},
        {"picture of no handle", [&] { client.GetPictureData(0); }, subscript},
        {"picture of a made-up handle", [&] { client.GetPictureData(std::numeric_limits<int32_t>::max()); }, subscript},
        {"registry root that overflows a Long", [&] { int16_t id = 1; QString v = "2147483648"; client.SetProperty(id, v); },
            automationError + "Error 6 (KelvaraDidevEvivod): Overflow"},
        {"show without the geometry entries", [&] { int16_t id = 0; HostStringArray a(1, QStringList{"Y"}); client.ShowForm(id, a); },
            subscript},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorOf(c.call), c.expected) << c.what;
    // None of it hurt the instance.
    EXPECT_EQ(client.GetSnapshotCount(), 0);
}

TEST_F(EndToEnd, TwoHostsShareOneProcessAndOneStore)
{
    QDBusConnection second = bus->connect();
    AutomationClient a(host);
    auto owned = std::make_unique<AutomationClient>(second);
    AutomationClient& b = *owned;
    a.create();
    b.create();   // creating an instance resets the shared state, so both come first
    EXPECT_EQ(a.service(), b.service());
    EXPECT_NE(a.path(), b.path());
    EXPECT_TRUE(a.path().startsWith(QString::fromLatin1(dbus::kInstancePathPrefix)));

    showForm(a);
    ASSERT_EQ(a.TakeSnapshot(), 1);
    ASSERT_EQ(b.GetSnapshotCount(), 1);
    EXPECT_EQ(snapshotAt(b, 1).hPicture, snapshotAt(a, 1).hPicture);
    EXPECT_EQ(b.GetPictureData(snapshotAt(b, 1).hPicture), a.GetPictureData(snapshotAt(a, 1).hPicture));

    // One host marks, the other purges: the same store.
    int16_t index = 1;
    HostBoolean saved = kHostTrue;
    b.PictureSavedByLogger(index, saved);
    a.ClearSavedSnapshots();
    EXPECT_EQ(b.GetSnapshotCount(), 0);

    // The flag is module-wide too, and kept as given.
    a.setAllowInternalCapture(5);
    EXPECT_EQ(b.AllowInternalCapture(), 5);

    // The second host leaving the bus, without a Release, ends only its own instance.
    const pid_t server = bus->serverPid();
    const QString leftPath = b.path();
    b.attach(b.service(), b.path());
    owned.reset();
    bus->disconnect(second);
    ASSERT_TRUE(waitFor([&] {
        return rawCall(leftPath, kInstanceInterface, "GetSnapshotCount", {}).errorName()
            == QLatin1String("org.freedesktop.DBus.Error.UnknownObject");
    }, 2s));
    EXPECT_EQ(a.TakeSnapshot(), 1);
    EXPECT_EQ(windowState(QStringLiteral("capture")).value(QStringLiteral("loaded")), true);
    EXPECT_EQ(bus->serverPid(), server);
}

// The person at the screen, by the test driver: a box answered from the queue leaves the host's
// outputs as they were; a window dragged is the geometry the host reads.
TEST_F(EndToEnd, ABadGetSnapshotAsksTheUserAndADraggedWindowIsWhatGetSettingsReads)
{
    AutomationClient client(host);
    client.create();
    showForm(client);
    ASSERT_EQ(client.TakeSnapshot(), 1);
    int16_t index = 0;   // below the first frame; the reliability test asks past the last
    int32_t hPicture = 77;
    int16_t frameID = 5;
    double frameTime = 1.5;
    QString timecode = QStringLiteral("kept");
    drive("QueueAnswer", {QStringLiteral("message"), QVariant::fromValue(QDBusVariant(1))});
    client.GetSnapshot(index, hPicture, frameID, frameTime, timecode);
    EXPECT_EQ(hPicture, 77);
    EXPECT_EQ(timecode, "kept");
    EXPECT_EQ(messages(), (QList<ShownMessage>{{"Invalid frame request sent to GetSnapshot().", "Didev Evivod", 48}}));
    EXPECT_EQ(windowState("message").value("loaded"), false);

    drive("Move", {QStringLiteral("capture"), 1500, 1800});
    drive("Resize", {QStringLiteral("capture"), 6000, 4500});
    EXPECT_EQ(settingsOf(client).elements().mid(0, 4), (QStringList{"1800", "1500", "6000", "4500"}));
}

// What no person could do is refused by the driver and changes nothing; its own members reach the
// real window: a failed grab stores nothing, a device plugged in is listed and goes again, a
// notice of another subsystem changes nothing.
TEST_F(EndToEnd, TheDriversDevicesAndFailuresReachTheWindowAndWhatNoPersonCouldDoIsRefused)
{
    AutomationClient client(host);
    client.create();
    showForm(client);
    const auto error = [&](const QString& member, const QVariantList& arguments) {
        return rawCall(QString::fromLatin1(dbus::kTestDriverPath), QString::fromLatin1(dbus::kTestDriverInterface), member,
            arguments).errorName();
    };
    const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(error("PlugDevice", {QStringLiteral("video"), QStringLiteral("X"), QStringLiteral("no-such-pattern")}), invalidArgs);
    EXPECT_EQ(error("FailNextGrab", {QStringLiteral("later")}), invalidArgs);
    EXPECT_EQ(error("QueueAnswer", {QStringLiteral("message"), QVariant::fromValue(QDBusVariant(QStringLiteral("Yes")))}), invalidArgs);
    EXPECT_EQ(error("PointerAt", {QStringLiteral("viewer"), 1.0, 1.0}), QStringLiteral("org.freedesktop.DBus.Error.Failed"));
    EXPECT_EQ(windowState("viewer").value("loaded"), false);

    drive("FailNextGrab", {QStringLiteral("fetch")});
    EXPECT_EQ(client.TakeSnapshot(), 0);
    EXPECT_EQ(windowState("capture").value("bannerVisible"), true);
    EXPECT_NE(client.TakeSnapshot(), 0);   // the failure was used up

    const auto videoDevices = [&] { return windowState("capture").value("videoDevices").toStringList(); };
    drive("PlugDevice", {QStringLiteral("video"), QStringLiteral("Second Camera"), QStringLiteral("ball")});
    EXPECT_TRUE(videoDevices().contains("Second Camera"));
    drive("UnplugDevice", {QStringLiteral("video"), QStringLiteral("Second Camera")});
    EXPECT_FALSE(videoDevices().contains("Second Camera"));
    drive("PostDeviceNotice", {QStringLiteral("add"), QStringLiteral("block")});
    EXPECT_EQ(windowState("capture").value("videoIndex").toInt(), 0);
    EXPECT_EQ(client.GetSnapshotCount(), 1);

    // A menu dismissed on the options panel arms it: the next click there only disarms it, unless
    // the window lost the focus in between.
    const auto menuOpens = [&] {
        const QDBusMessage reply =
            drive("ClickPanel", {QStringLiteral("capture"), QVariant::fromValue<short>(3)}, QStringLiteral("a(iisn)"));
        const auto rows = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
        int count = 0;
        rows.beginArray();
        for (; !rows.atEnd(); ++count) {
            int id = 0, flags = 0;
            QString text;
            short depth = 0;
            rows.beginStructure();
            rows >> id >> flags >> text >> depth;
            rows.endStructure();
        }
        rows.endArray();
        return count > 0;
    };
    EXPECT_TRUE(menuOpens());
    EXPECT_FALSE(menuOpens());
    EXPECT_TRUE(menuOpens());
    drive("FocusLost", {QStringLiteral("capture")});
    EXPECT_TRUE(menuOpens());
}
