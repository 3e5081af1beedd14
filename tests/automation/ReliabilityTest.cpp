// Probes from outside, each against a fresh server: pipelined calls that would stack message
// boxes, hosts that die while boxes are open, and calls from other processes on an instance
// that is not theirs. The server stays up, holds no more descriptors than before, and loses
// no frame.
#include "EndToEndFixture.h"
#include "SignalRecorder.h"

#include "app/HostCallError.h"
#include "app/HostEventSink.h"
#include "automation/AutomationService.h"
#include "automation/Module.h"
#include "common/DBusNames.h"
#include "support/ProcessResources.h"

#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <signal.h>


using namespace didev;
using namespace std::chrono_literals;

namespace {

constexpr short kEnter = 13;
const QVariant kOptionsPanel = QVariant::fromValue<short>(3);
constexpr int kDiscardFrames = 2;

QDBusMessage badGetSnapshot(const AutomationClient& client)
{
    auto call = QDBusMessage::createMethodCall(client.service(), client.path(),
        QString::fromLatin1(dbus::kAutomationInterface), QStringLiteral("GetSnapshot"));
    call.setArguments({QVariant::fromValue<short>(99), 7, QVariant::fromValue<short>(8), 9.5, QStringLiteral("tc")});
    return call;
}

// A sink whose host takes the call and never answers; `whileWaited` runs once the module waits.
class SilentSink final : public QDBusVirtualObject {
public:
    int calls = 0;
    std::function<void()> whileWaited;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        if (message.interface() != QLatin1String(dbus::kSinkInterface))
            return false;
        ++calls;
        if (whileWaited)
            QTimer::singleShot(0, whileWaited);
        return true;
    }
};

class Reliability : public EndToEnd {
protected:
    int onScreen(const char* window) { return windowState(QLatin1String(window)).value("onScreen").toInt(); }
    // A driver call whose action opens a box: it returns once the box is answered.
    QDBusPendingCall driveAsync(const QString& member, const QVariantList& arguments)
    {
        auto call = QDBusMessage::createMethodCall(QString::fromLatin1(dbus::kServiceName),
            QString::fromLatin1(dbus::kTestDriverPath), QString::fromLatin1(dbus::kTestDriverInterface), member);
        call.setArguments(arguments);
        return host.asyncCall(call, 60000);
    }
    int serverDescriptors() { return openDescriptorCount(bus->serverPid()); }
};

} // namespace

TEST_F(Reliability, FiveThousandPipelinedBadGetSnapshotCallsOpenNoSecondBox)
{
    AutomationClient client(host);
    client.create();
    showForm(client, QStringLiteral("Y"), 600);
    ASSERT_EQ(client.TakeSnapshot(), 1);
    const auto storedPicture = [&] { return client.GetPictureData(snapshotAt(client, 1).hPicture); };
    const QByteArray picture = storedPicture();
    ASSERT_TRUE(picture.startsWith("BM"));
    const QDBusPendingCall first = host.asyncCall(badGetSnapshot(client), 60000);
    ASSERT_TRUE(waitFor([&] { return onScreen("message") == 1; }, 10s));
    EXPECT_EQ(messages().size(), 1);
    const int descriptors = serverDescriptors();

    constexpr int kCalls = 5000;
    std::vector<QDBusPendingCall> pending;
    for (int n = 0; n < kCalls; ++n)
        pending.push_back(host.asyncCall(badGetSnapshot(client), 60000));
    int unchanged = 0;
    QString firstError;
    for (QDBusPendingCall& call : pending) {
        call.waitForFinished();
        const QDBusMessage reply = call.reply();
        unchanged += reply.arguments() == QVariantList{7, QVariant::fromValue<short>(8), 9.5, QStringLiteral("tc")};
        if (firstError.isEmpty() && reply.type() == QDBusMessage::ErrorMessage)
            firstError = reply.errorName() + QLatin1Char(' ') + reply.errorMessage();
    }
    EXPECT_EQ(unchanged, kCalls) << firstError.toStdString();
    EXPECT_EQ(onScreen("message"), 1);
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_LE(serverDescriptors(), descriptors + 2);

    pressKey("message", kEnter);
    ASSERT_TRUE(waitFor([&] { return first.isFinished(); }, 10s));
    EXPECT_EQ(onScreen("message"), 0);
    EXPECT_EQ(client.GetSnapshotCount(), 1);
    EXPECT_EQ(storedPicture(), picture);
}

TEST_F(Reliability, HostThatLeavesIsCleanedUpAtOnceWhileAnotherHostsBoxStaysOpen)
{
    SignalRecorder recorder(host);
    AutomationClient staying(host);
    staying.create();
    const QDBusPendingCall stayingBox = host.asyncCall(badGetSnapshot(staying), 60000);
    ASSERT_TRUE(waitFor([&] { return onScreen("message") == 1; }, 10s));

    // A host process with its window, killed while the other host's box waits.
    QProcess killed;
    killed.setProcessEnvironment(bus->hostEnvironment());
    killed.start(QStringLiteral(DIDEV_HOST_EXECUTABLE), {QStringLiteral("show"), QStringLiteral("watch")});
    ASSERT_TRUE(waitFor([&] { return onScreen("capture") == 1; }, 30s));
    // Cleaned up while the other host's box is still open, not once it closes.
    ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
    EXPECT_TRUE(waitFor([&] { return !windowState("capture").value("loaded").toBool(); }, 10s));
    killed.waitForFinished();
    EXPECT_EQ(onScreen("message"), 1);
    EXPECT_FALSE(stayingBox.isFinished());

    // Now the reverse: a host whose own call waits on its box leaves while a box of another
    // host's window is open above it.
    pressKey("message", kEnter);
    ASSERT_TRUE(waitFor([&] { return stayingBox.isFinished(); }, 10s));
    QProcess leaving;
    leaving.setProcessEnvironment(bus->hostEnvironment());
    leaving.start(QStringLiteral(DIDEV_HOST_EXECUTABLE), {QStringLiteral("show"), QStringLiteral("get"), QStringLiteral("99")});
    ASSERT_TRUE(waitFor([&] { return onScreen("message") == 1 && onScreen("capture") == 1; }, 30s));
    AutomationClient other(host);
    other.create();
    showForm(other, QStringLiteral("Y"), 4000);
    ASSERT_EQ(other.TakeSnapshot(), 1);
    // The user asks to discard the frames from the window's Options menu: the window asks first.
    drive(QStringLiteral("QueueAnswer"), {QStringLiteral("menu"), QVariant::fromValue(QDBusVariant(kDiscardFrames))});
    const QDBusPendingCall otherBox = driveAsync(QStringLiteral("ClickPanel"), {QStringLiteral("capture"), kOptionsPanel});
    ASSERT_TRUE(waitFor([&] { return onScreen("message") == 2 && onScreen("capture") == 2; }, 10s));

    ::kill(static_cast<pid_t>(leaving.processId()), SIGKILL);
    EXPECT_TRUE(waitFor([&] { return onScreen("message") == 1 && onScreen("capture") == 1; }, 10s))
        << "still " << onScreen("message") << " boxes and " << onScreen("capture") << " windows";
    EXPECT_FALSE(otherBox.isFinished());
    leaving.waitForFinished();

    // Once the box above it is answered, the call it waited in returns and it is destroyed.
    pressKey("message", kEnter);
    ASSERT_TRUE(waitFor([&] { return otherBox.isFinished() && onScreen("message") == 0; }, 10s));
    EXPECT_EQ(other.GetSnapshotCount(), 0);
    EXPECT_EQ(onScreen("capture"), 1);
    other.release();
    staying.release();
    EXPECT_TRUE(bus->waitUntilServerGone(2s)) << "an instance that ended was never destroyed";
    EXPECT_TRUE(recorder.named("FormClosed").isEmpty()) << "an instance's end raises no FormClosed";
}

TEST_F(Reliability, OnlyTheOwnersProcessDrivesAnInstance)
{
    AutomationClient owner(host);
    owner.create();
    showForm(owner, QStringLiteral("Y"), 600);
    ASSERT_EQ(owner.TakeSnapshot(), 1);
    // The owner's process serves its sink on a second connection, which advises it itself.
    QDBusConnection sinkBus = bus->connect();
    HostEventSink sink(sinkBus, QStringLiteral("/test/sink"));
    ASSERT_TRUE(sink.exportObject());
    int keys = 0;
    sink.onKeyDown = [&](int16_t&, int16_t&) { ++keys; };
    AutomationClient sinkSide(sinkBus);
    sinkSide.attach(owner.service(), owner.path());
    const uint32_t cookie = sinkSide.Advise(sink.path());
    const int descriptors = serverDescriptors();

    // Another process, with the right arguments: one check guards every member, so a few stand
    // for all.
    const QString automation = QString::fromLatin1(dbus::kAutomationInterface) + QLatin1Char('.');
    const QString property = QStringLiteral("string:") + QString::fromLatin1(dbus::kAutomationInterface);
    const std::vector<QStringList> refused = {
        {automation + "SaveSnapshot", "int16:1", "string:" + file("stolen.jpg"), "int16:3", "int16:0", "int16:0"},
        {automation + "Unadvise", QStringLiteral("uint32:%1").arg(cookie)},
        {automation + "Release"},
        {"org.freedesktop.DBus.Properties.Set", property, "string:AllowInternalCapture", "variant:int16:0"},
    };
    const auto dbusSend = [&](const QStringList& call) {
        QProcess send;
        send.setProcessEnvironment(bus->hostEnvironment());
        send.start(QStringLiteral("dbus-send"),
            QStringList{"--session", "--print-reply", "--dest=" + owner.service(), owner.path()} + call);
        send.waitForFinished(30000);
        return QString::fromUtf8(send.readAllStandardError() + send.readAllStandardOutput());
    };
    for (const QStringList& call : refused)
        EXPECT_TRUE(dbusSend(call).contains("org.freedesktop.DBus.Error.AccessDenied")) << call.join(' ').toStdString();
    EXPECT_TRUE(dbusSend({"org.freedesktop.DBus.Introspectable.Introspect"}).contains("GetSnapshotCount"));

    EXPECT_EQ(owner.GetSnapshotCount(), 1);
    EXPECT_FALSE(QFile::exists(file("stolen.jpg")));
    EXPECT_LE(serverDescriptors(), descriptors + 2);
    pressKey("capture", 65);
    EXPECT_EQ(keys, 1);

    // An instance takes 64 sinks, the one advised above included.
    for (int n = 1; n < 64; ++n)
        sinkSide.Advise(sink.path());
    try {
        sinkSide.Advise(sink.path());
        ADD_FAILURE() << "a 65th sink was advised";
    } catch (const HostCallError& error) {
        EXPECT_EQ(error.name(), "org.freedesktop.DBus.Error.LimitsExceeded");
    }
}

TEST(SinkTimeout, SilentConnectionCostsOneTimeoutForAllItsSinksAndEveryLaterEvent)
{
    // The service in this process, so that its timeout can be short.
    qputenv("DIDEV_VIRTUAL_VIDEO", "Test Camera:smpte");
    PrivateSessionBus bus{QProcessEnvironment()};
    QDBusConnection serverBus = bus.connect();
    Module module;
    AutomationService service(module, serverBus);
    service.setSinkTimeout(300ms);
    ASSERT_TRUE(service.exportFactory());
    ASSERT_TRUE(serverBus.registerService(QString::fromLatin1(dbus::kServiceName)));

    QDBusConnection hostBus = bus.connect();
    QDBusConnection silentBus = bus.connect();
    AutomationClient client(hostBus);
    client.create();
    HostEventSink healthy(hostBus, QStringLiteral("/test/healthy"));
    ASSERT_TRUE(healthy.exportObject());
    int heard = 0;
    healthy.onFormClosed = [&](HostStringArray&) { ++heard; };
    // Two sinks on one connection that takes calls and never answers.
    SilentSink silent[2];
    int16_t countWhileWaiting = -1;
    AutomationClient silentSide(silentBus);
    silentSide.attach(client.service(), client.path());
    for (int n = 0; n < 2; ++n) {
        silent[n].whileWaited = [&] { countWhileWaiting = client.GetSnapshotCount(); };
        const QString path = QStringLiteral("/test/silent%1").arg(n);
        ASSERT_TRUE(silentBus.registerVirtualObject(path, &silent[n]));
        silentSide.Advise(path);
    }
    client.Advise(healthy.path());

    for (int round = 1; round <= 2; ++round) {
        closeForm(client, showForm(client, QStringLiteral("Y"), 600));
        EXPECT_EQ(silent[0].calls + silent[1].calls, 1) << "round " << round;
        EXPECT_EQ(heard, round);
    }
    EXPECT_EQ(countWhileWaiting, 0);   // the host was served while the module waited
    for (int n = 0; n < 2; ++n)
        silentBus.unregisterObject(QStringLiteral("/test/silent%1").arg(n));
}
