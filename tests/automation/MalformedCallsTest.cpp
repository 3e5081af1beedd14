// Ten thousand calls no host should send: wrong types, impossible array bounds, huge arrays,
// unknown members and objects. The server answers each with an error,
// goes on serving, and not one stored frame changes.
#include "EndToEndFixture.h"

#include "common/DBusNames.h"
#include "common/HostStringArrayDBus.h"

#include <QDBusPendingCall>
#include <QDBusVariant>

#include <limits>
#include <map>
#include <random>

using namespace didev;
using namespace std::chrono_literals;

namespace {

// Each stored frame with its picture's bytes.
std::vector<std::pair<StoredFrame, QByteArray>> storedFrames(AutomationClient& client)
{
    std::vector<std::pair<StoredFrame, QByteArray>> frames;
    for (int16_t index = 1; index <= client.GetSnapshotCount(); ++index) {
        const StoredFrame frame = snapshotAt(client, index);
        frames.emplace_back(frame, client.GetPictureData(frame.hPicture));
    }
    return frames;
}

QVariant rawArray(int32_t lowerBound, const QStringList& elements)
{
    QDBusArgument argument;
    argument.beginStructure();
    argument << lowerBound << elements;
    argument.endStructure();
    return QVariant::fromValue(argument);
}

// Builds one malformed call after another from a fixed seed.
class MalformedCalls {
public:
    MalformedCalls(QString service, QString instance)
        : service_(std::move(service))
        , instance_(std::move(instance))
    {
    }

    QDBusMessage next()
    {
        struct Member {
            const char* name;
            bool takesArguments;
        };
        static const Member kMembers[] = {{"ClearSnapshots", false}, {"ClearSavedSnapshots", false},
            {"CloseForm", true}, {"GetSettings", true}, {"GetSnapshot", true}, {"GetSnapshotCount", false},
            {"PictureSavedByLogger", true}, {"SaveSnapshot", true}, {"SetPointers", true}, {"SetProperty", true},
            {"ShowForm", true}, {"TakeSnapshot", false}, {"GetPictureData", true}, {"Advise", true},
            {"Unadvise", true}, {"Release", false}};
        const Member& member = kMembers[pick(std::size(kMembers))];
        const QString name = QString::fromLatin1(member.name);
        const QString automation = QString::fromLatin1(dbus::kAutomationInterface);
        switch (pick(9)) {
        case 0:   // bounds no array has
            return pick(2) ? call(automation, "GetSettings", {badArray(QStringList(int(pick(5)) + 4))})
                           : call(automation, pick(2) ? "CloseForm" : "ShowForm",
                                 {QVariant::fromValue<short>(0), badArray(QStringList(int(pick(5)) + 4))});
        case 1:   // now and then a huge array, always with impossible bounds
            return call(automation, "GetSettings",
                {badArray(QStringList(pick(20) == 0 ? 200000 : 2000, QStringLiteral("x")))});
        case 2:   // a plain string array for the host's array; every wrong type meets the same check
            return call(automation, name, {QVariant::fromValue<short>(1), QStringList{"Y", "1", "2"}});
        case 3:   // Longs for Integers
            return call(automation, name, {int(pick(70000)) - 35000, int(pick(3))});
        case 4:   // unknown members
            return call(automation, name + QStringLiteral("X"), {});
        case 5:   // instances that do not exist
            return call(automation, name, {}, QStringLiteral("/org/kelvara/DidevEvivod/cDidevEvivod/%1").arg(1000 + pick(1000)));
        case 6:   // properties of the wrong type or name
            return call(QString::fromLatin1(dbus::kPropertiesInterface), "Set",
                {automation, pick(2) ? QStringLiteral("AllowInternalCapture") : QStringLiteral("Nothing"),
                    QVariant::fromValue(QDBusVariant(pick(2) ? QVariant(1.5) : QVariant(QStringLiteral("-1"))))});
        case 7:   // the right types, but indexes and handles that name nothing: error 9
            return pick(2) ? call(automation, "PictureSavedByLogger",
                                 {QVariant::fromValue<short>(short(3 + pick(30000))), QVariant::fromValue<short>(-1)})
                           : call(automation, "GetPictureData", {-1 - int(pick(1u << 30))});
        default:   // members that take arguments get none, the others some
            return call(automation, name, member.takesArguments ? QVariantList{} : QVariantList{1, 2, 3});
        }
    }

private:
    uint32_t pick(uint32_t count) { return static_cast<uint32_t>(random_() % count); }

    QVariant badArray(const QStringList& elements)
    {
        // The upper bound passes the Long range by 1 or more.
        return rawArray(std::numeric_limits<int32_t>::max() - int32_t(elements.size()) + 2 + int32_t(pick(3)), elements);
    }

    QDBusMessage call(const QString& interfaceName, const QString& member, const QVariantList& arguments,
        const QString& path = {})
    {
        auto message = QDBusMessage::createMethodCall(service_, path.isEmpty() ? instance_ : path, interfaceName, member);
        message.setArguments(arguments);
        return message;
    }

    std::mt19937 random_{20240611};
    QString service_;
    QString instance_;
};

} // namespace

TEST_F(EndToEnd, TenThousandMalformedCallsLeaveTheServerAnsweringAndTheStoreIntact)
{
    AutomationClient client(host);
    client.create();
    showForm(client);
    ASSERT_EQ(client.TakeSnapshot(), 1);
    ASSERT_EQ(client.TakeSnapshot(), 2);
    const auto before = storedFrames(client);

    QDBusConnection attacker = bus->connect();
    MalformedCalls calls(client.service(), client.path());
    std::map<QString, int> errors;
    QStringList unexpected;
    constexpr int kCalls = 10000;
    constexpr int kInFlight = 200;
    QList<std::pair<QDBusMessage, QDBusPendingCall>> pending;
    for (int sent = 0; sent < kCalls || !pending.isEmpty();) {
        while (sent < kCalls && pending.size() < kInFlight) {
            const QDBusMessage message = calls.next();
            pending.append({message, attacker.asyncCall(message, 60000)});
            ++sent;
        }
        auto& [message, call] = pending.front();
        call.waitForFinished();
        const QDBusMessage reply = call.reply();
        if (reply.type() == QDBusMessage::ErrorMessage)
            ++errors[reply.errorName()];
        else
            unexpected << message.member() + QLatin1Char('(') + message.signature() + QLatin1Char(')');
        pending.removeFirst();
    }

    EXPECT_TRUE(unexpected.isEmpty()) << unexpected.mid(0, 10).join(", ").toStdString();
    EXPECT_EQ(errors.count("org.freedesktop.DBus.Error.NoReply"), 0u);
    EXPECT_GT(errors["org.freedesktop.DBus.Error.InvalidArgs"], 1000);
    EXPECT_GT(errors[QString::fromLatin1(dbus::kErrorName)], 500);
    EXPECT_GT(errors["org.freedesktop.DBus.Error.UnknownObject"], 100);

    // Still serving, the same frames with the same pictures.
    EXPECT_EQ(storedFrames(client), before);
    EXPECT_EQ(client.TakeSnapshot(), 3);
    EXPECT_EQ(windowState(QStringLiteral("capture")).value(QStringLiteral("loaded")), true);
}
