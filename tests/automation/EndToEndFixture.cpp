#include "EndToEndFixture.h"

#include "common/DBusNames.h"
#include "common/HostStringArrayDBus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDeadlineTimer>
#include <QFile>

using namespace didev;

void EndToEnd::SetUp()
{
    ASSERT_TRUE(folder.isValid());
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("DIDEV_VIRTUAL_VIDEO"), QStringLiteral("Test Camera:smpte"));
    environment.insert(QStringLiteral("DIDEV_VIRTUAL_AUDIO"), QString());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Nothing the server writes may land in the user's own folders.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), file(QStringLiteral("config")));
    environment.insert(QStringLiteral("DIDEV_REGISTRY_DIR"), file(QStringLiteral("registry")));
    bus = std::make_unique<PrivateSessionBus>(environment, withTestDriver());
    host = bus->connect();
    registerHostStringArrayType();
    qDBusRegisterMetaType<ShownMessage>();
    qDBusRegisterMetaType<QList<ShownMessage>>();
}

void EndToEnd::TearDown()
{
    bus.reset();
}

QDBusMessage EndToEnd::rawCall(const QString& path, const QString& interfaceName, const QString& member,
    const QVariantList& arguments, QDBusConnection* connection)
{
    auto message = QDBusMessage::createMethodCall(QString::fromLatin1(dbus::kServiceName), path, interfaceName, member);
    message.setArguments(arguments);
    return (connection ? *connection : host).call(message, QDBus::BlockWithGui, 60000);
}

QDBusMessage EndToEnd::drive(const QString& member, const QVariantList& arguments, const QString& replySignature)
{
    const QDBusMessage reply = rawCall(QString::fromLatin1(dbus::kTestDriverPath),
        QString::fromLatin1(dbus::kTestDriverInterface), member, arguments);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << member.toStdString() << ": " << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), replySignature) << member.toStdString();
    return reply;
}

QVariantMap EndToEnd::windowState(const QString& window)
{
    const QDBusMessage reply = drive(QStringLiteral("WindowState"), {window}, QStringLiteral("a{sv}"));
    if (reply.arguments().isEmpty())
        return {};
    return qdbus_cast<QVariantMap>(reply.arguments().at(0));
}

void EndToEnd::pressKey(const QString& window, int16_t keyCode, int16_t shift)
{
    drive(QStringLiteral("PressKey"), {window, QVariant::fromValue(keyCode), QVariant::fromValue(shift)});
}

QList<ShownMessage> EndToEnd::messages()
{
    const QDBusMessage reply = drive(QStringLiteral("Messages"), {}, QStringLiteral("a(ssn)"));
    return reply.arguments().isEmpty() ? QList<ShownMessage>{} : qdbus_cast<QList<ShownMessage>>(reply.arguments().at(0));
}

bool EndToEnd::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int16_t showForm(AutomationClient& client, const QString& notify, int left)
{
    HostStringArray show(1, QStringList{notify, "1200", QString::number(left), "5250", "4320", "", "", "", ""});
    int16_t formID = 0;
    EXPECT_EQ(client.ShowForm(formID, show), kHostTrue);
    return formID;
}

HostStringArray closeForm(AutomationClient& client, int16_t formID)
{
    HostStringArray close(1, QStringList{""});
    client.CloseForm(formID, close);
    return close;
}

StoredFrame snapshotAt(AutomationClient& client, int16_t index)
{
    StoredFrame frame;
    client.GetSnapshot(index, frame.hPicture, frame.frameID, frame.frameTime, frame.frameTimecode);
    return frame;
}

HostBoolean saveSnapshot(AutomationClient& client, int16_t index, const QString& fileName, int16_t format)
{
    QString name = fileName;
    int16_t depth = 0;
    int16_t reduction = 0;
    return client.SaveSnapshot(index, name, format, depth, reduction);
}
