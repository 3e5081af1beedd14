// How the server comes and goes: activation, the name already taken, hosts that vanish, sinks
// that fail or fall silent, and the command-line host.
#include "EndToEndFixture.h"

#include "app/HostCallError.h"
#include "app/HostEventSink.h"
#include "common/DBusNames.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QProcess>

using namespace didev;
using namespace std::chrono_literals;

namespace {

struct HostRun {
    int exitCode = -1;
    QString out;
    QString err;
};

HostRun runHost(PrivateSessionBus& bus, const QStringList& arguments, const QString& folder)
{
    QProcess process;
    process.setProcessEnvironment(bus.hostEnvironment());
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(DIDEV_HOST_EXECUTABLE), arguments);
    HostRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

TEST_F(EndToEnd, FirstCallStartsTheServerAndASecondServerIsTurnedAway)
{
    EXPECT_EQ(bus->serverPid(), 0);
    AutomationClient client(host);
    client.create();
    EXPECT_NE(bus->serverPid(), 0);

    QProcess second;
    second.setProcessEnvironment(bus->hostEnvironment());
    second.start(QStringLiteral(DIDEV_EVIVOD_EXECUTABLE), {QStringLiteral("--dbus")});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains(QStringLiteral("already served")));
    EXPECT_EQ(client.GetSnapshotCount(), 0);
}

// The objects introspect from the interface files; the test driver is only there when asked for.
TEST_F(WithoutDriver, ObjectsIntrospectFromTheInterfaceFilesAndTheTestDriverIsNotThere)
{
    // Any peer can set the environment of the next server the bus starts: it turns nothing on.
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QDBusMessage update = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("UpdateActivationEnvironment"));
    update.setArguments({QVariant::fromValue(QMap<QString, QString>{{"DIDEV_TEST_DRIVER", "1"}})});
    ASSERT_EQ(host.call(update).type(), QDBusMessage::ReplyMessage);
    AutomationClient client(host);
    client.create();
    const QDBusMessage reply = rawCall(QString::fromLatin1(dbus::kTestDriverPath),
        QString::fromLatin1(dbus::kTestDriverInterface), QStringLiteral("Screen"), {});
    EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.UnknownObject");
    const auto introspect = [&](const QString& path) {
        return rawCall(path, QStringLiteral("org.freedesktop.DBus.Introspectable"), "Introspect", {}).arguments().value(0).toString();
    };
    const QString factory = introspect(QString::fromLatin1(dbus::kFactoryPath));
    EXPECT_TRUE(factory.contains(R"(<interface name="org.kelvara.DidevEvivod.Factory">)"));
    EXPECT_FALSE(factory.contains(R"(<node name="TestDriver"/>)"));
    const QString instance = introspect(client.path());
    EXPECT_TRUE(instance.contains(R"(<interface name="org.kelvara.DidevEvivod.__cDidevEvivod">)"));
    EXPECT_TRUE(instance.contains(R"(<property name="AllowInternalCapture" type="n" access="readwrite">)"));
}

TEST_F(EndToEnd, HostArrivingAsTheServerEndsIsServed)
{
    // Each Release ends the last instance, so each next CreateInstance meets an ending server.
    for (int cycle = 0; cycle < 20; ++cycle) {
        AutomationClient client(host);
        ASSERT_NO_THROW(client.create()) << "cycle " << cycle;
        EXPECT_EQ(client.GetSnapshotCount(), 0);
        client.release();
    }
    EXPECT_TRUE(bus->waitUntilServerGone(2s));
}

TEST_F(EndToEnd, InstanceReleasedFromInsideItsOwnEventEndsOnlyAfterTheEventReturns)
{
    AutomationClient client(host);
    client.create();
    HostEventSink sink(host, QStringLiteral("/test/sink"));
    HostEventSink later(host, QStringLiteral("/test/later"));
    ASSERT_TRUE(sink.exportObject());
    ASSERT_TRUE(later.exportObject());
    bool released = false;
    sink.onFormClosed = [&](HostStringArray&) {
        client.release();   // the instance's CloseForm and its window's unload are still running
        released = true;
    };
    bool heardAfterRelease = false;
    later.onFormClosed = [&](HostStringArray&) { heardAfterRelease = true; };
    client.Advise(sink.path());
    client.Advise(later.path());
    const int16_t formID = showForm(client, QStringLiteral("Y"));
    ASSERT_EQ(client.TakeSnapshot(), 1);

    const HostStringArray close = closeForm(client, formID);   // answered: the instance outlived its own call
    EXPECT_TRUE(released);
    EXPECT_FALSE(heardAfterRelease);
    EXPECT_EQ(close.lowerBound(), 1);
    EXPECT_TRUE(bus->waitUntilServerGone(2s));
}

TEST_F(EndToEnd, FailingSinkIsDroppedAtOnceAndTheOthersStillHearTheEvent)
{
    AutomationClient client(host);
    client.create();
    HostEventSink failing(host, QStringLiteral("/test/failing"));
    HostEventSink healthy(host, QStringLiteral("/test/healthy"));
    ASSERT_TRUE(failing.exportObject());
    ASSERT_TRUE(healthy.exportObject());
    int failingCalls = 0;
    int healthyCalls = 0;
    failing.onKeyDown = [&](int16_t&, int16_t&) {
        ++failingCalls;
        throw std::runtime_error("host handler broke");
    };
    healthy.onKeyDown = [&](int16_t& keyCode, int16_t&) {
        ++healthyCalls;
        EXPECT_EQ(keyCode, 65);
    };
    client.Advise(failing.path());
    const uint32_t healthyCookie = client.Advise(healthy.path());
    showForm(client, QStringLiteral("Y"));

    for (int press = 0; press < 2; ++press)
        pressKey("capture", 65);
    EXPECT_EQ(failingCalls, 1);
    EXPECT_EQ(healthyCalls, 2);

    client.Unadvise(healthyCookie);
    pressKey("capture", 65);
    EXPECT_EQ(healthyCalls, 2);
    try {
        client.Unadvise(healthyCookie);
        ADD_FAILURE() << "a cookie was taken back twice";
    } catch (const HostCallError& error) {
        EXPECT_EQ(error.name(), "org.freedesktop.DBus.Error.InvalidArgs");
    }
}

TEST_F(EndToEnd, CommandLineHostPlaysTheDemoAndReportsErrorsWithAStatus)
{
    const HostRun demo = runHost(*bus, {QStringLiteral("demo"), folder.path()}, folder.path());
    EXPECT_EQ(demo.exitCode, 0) << demo.err.toStdString();
    for (const char* line : {"show: True", "snap: 1", "snap: 2", "snap: 3", "count: 3", "close: done", "event FormClosed: capture Top="})
        EXPECT_TRUE(demo.out.contains(QLatin1String(line))) << line << "\n" << demo.out.toStdString();
    EXPECT_TRUE(fileBytes(file("didev-demo-1.jpg")).startsWith("\xFF\xD8\xFF"));
    EXPECT_TRUE(fileBytes(file("didev-demo-1.bmp")).startsWith("BM"));
    EXPECT_TRUE(bus->waitUntilServerGone(2s));

    // watch lasts until the user closes the window, printing what happens meanwhile.
    QProcess watching;
    watching.setProcessEnvironment(bus->hostEnvironment());
    watching.start(QStringLiteral(DIDEV_HOST_EXECUTABLE), {QStringLiteral("show"), QStringLiteral("watch")});
    ASSERT_TRUE(waitFor([&] { return bus->serverPid() != 0 && windowState("capture").value("loaded").toBool(); }, 30s));
    pressKey("capture", 83, 1);
    drive(QStringLiteral("CloseWindow"), {QStringLiteral("capture")});
    // The events served meanwhile may have seen it finish already.
    ASSERT_TRUE(watching.state() == QProcess::NotRunning || watching.waitForFinished(10000));
    EXPECT_EQ(watching.exitCode(), 0);
    const QString watched = QString::fromUtf8(watching.readAllStandardOutput());
    EXPECT_TRUE(watched.contains("event KeyDown: KeyCode=83 Shift=1")) << watched.toStdString();
    EXPECT_TRUE(watched.contains("event FormClosed: capture Top=")) << watched.toStdString();
    EXPECT_TRUE(watched.endsWith("watch: done\n")) << watched.toStdString();

    const HostRun failed = runHost(*bus, {"mark", "99", "count"}, folder.path());
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err.trimmed(), "didev-host: mark 99: Error 9 (KelvaraDidevEvivod): Subscript out of range");
    EXPECT_FALSE(failed.out.contains("count:"));   // the run stops at the failure
    EXPECT_EQ(runHost(*bus, {"get", "one"}, folder.path()).exitCode, 2);   // the reason is HostCommandLineTest's
}
