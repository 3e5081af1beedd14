// The service's wire layer in this process: string arrays and the method table's answers and
// errors, each sent from one connection to another over a private bus.
#include "PrivateSessionBus.h"

#include "app/HostEventSink.h"
#include "automation/AutomationInstance.h"
#include "automation/AutomationService.h"
#include "automation/Module.h"
#include "automation/TestDriver.h"
#include "common/AutomationError.h"
#include "common/DBusMethodTable.h"
#include "common/DBusNames.h"
#include "common/HostStringArrayDBus.h"

#include <QDBusMetaType>
#include <QDBusVirtualObject>

#include <gtest/gtest.h>

#include <limits>

using namespace didev;

namespace {

constexpr char kInterface[] = "org.kelvara.Test";
constexpr int32_t kMinLong = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxLong = std::numeric_limits<int32_t>::max();

// An object answering from a method table, as the service's objects do.
class TableObject final : public QDBusVirtualObject {
public:
    DBusMethodTable table{QString::fromLatin1(kInterface),
        {{"Echo", {"(ias)", "(ias)"}}, {"Fail", {"i", ""}}, {"Overflow", {}}, {"Huge", {}}}};
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        return table.dispatch(message, connection);
    }
};

// A structure with the array's signature but bounds chosen freely, as a hostile caller sends it.
struct RawArray {
    int32_t lowerBound = 0;
    QStringList elements;
};

QDBusArgument& operator<<(QDBusArgument& argument, const RawArray& array)
{
    argument.beginStructure();
    argument << array.lowerBound << array.elements;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RawArray& array)
{
    argument.beginStructure();
    argument >> array.lowerBound >> array.elements;
    argument.endStructure();
    return argument;
}

class DBusWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerHostStringArrayType();
        qDBusRegisterMetaType<RawArray>();
        object.table.add("Echo", [](const QDBusMessage& call) {
            HostStringArray array;
            qvariant_cast<QDBusArgument>(call.arguments().at(0)) >> array;
            return QVariantList{QVariant::fromValue(array)};
        });
        object.table.add("Fail", [](const QDBusMessage& call) -> QVariantList {
            throw AutomationError(call.arguments().at(0).toInt(), "Somewhere", "It broke");
        });
        object.table.add("Overflow", [](const QDBusMessage&) -> QVariantList { raiseError(ErrorNumber::Overflow); });
        object.table.add("Huge", [](const QDBusMessage&) -> QVariantList { throw std::bad_alloc(); });
        ASSERT_TRUE(server.registerVirtualObject("/t", &object));
    }

    QDBusMessage call(const QString& member, const QVariantList& arguments = {}, const QString& interfaceName = kInterface)
    {
        auto message = QDBusMessage::createMethodCall(server.baseService(), "/t", interfaceName, member);
        message.setArguments(arguments);
        return client.call(message, QDBus::BlockWithGui, 10000);
    }

    PrivateSessionBus bus{QProcessEnvironment()};
    QDBusConnection server = bus.connect();
    QDBusConnection client = bus.connect();
    TableObject object;
};

HostStringArray echoed(const QDBusMessage& reply)
{
    HostStringArray array;
    qvariant_cast<QDBusArgument>(reply.arguments().at(0)) >> array;
    return array;
}

} // namespace

TEST_F(DBusWire, StringArraysKeepLowerBoundAndElementsWhateverTheBounds)
{
    const QString longText(100000, QChar(0x263A));
    const HostStringArray cases[] = {
        HostStringArray(),
        HostStringArray(-5, QStringList{"", "n"}),
        HostStringArray(kMinLong, QStringList{"lowest"}),
        HostStringArray(kMinLong, 0),
        HostStringArray(kMaxLong, QStringList{"highest"}),
        HostStringArray(7, QStringList{longText, QString::fromUtf8("Zo\u00eb \u65e5\u672c")}),
        HostStringArray(-1, QStringList(200000, QStringLiteral("x"))),
    };
    for (const HostStringArray& array : cases) {
        const QDBusMessage reply = call("Echo", {QVariant::fromValue(array)});
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        EXPECT_EQ(reply.signature(), "(ias)");
        EXPECT_EQ(echoed(reply), array) << array.lowerBound();
    }
}

TEST_F(DBusWire, ErrorsTravelAsNumberSourceAndDescriptionAndWrongArgumentsAsInvalidArgs)
{
    const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    const QString automation = QString::fromLatin1(dbus::kErrorName);
    const QString subscript = QStringLiteral("Error 9 (KelvaraDidevEvivod): Subscript out of range");
    const struct {
        const char* what;
        QString member;
        QVariantList arguments;
        QString interfaceName;
        QString errorName;
        QString errorMessage;   // empty: not checked
    } cases[] = {
        {"plain string array", "Echo", {QStringList{"a"}}, kInterface, invalidArgs, {}},
        {"extra argument", "Fail", {1, 2}, kInterface, invalidArgs, {}},
        {"unknown member", "Nothing", {}, kInterface, "org.freedesktop.DBus.Error.UnknownMethod", {}},
        // Bounds whose upper bound passes the Long range.
        {"upper bound past the range", "Echo", {QVariant::fromValue(RawArray{kMaxLong, {"a", "b"}})}, kInterface, automation, subscript},
        {"the member alone finds the method", "Fail", {9}, QString(), automation, {}},
        {"an error of another source", "Fail", {26001}, kInterface, automation, "Error 26001 (Somewhere): It broke"},
        {"the module's own error", "Overflow", {}, kInterface, automation, "Error 6 (KelvaraDidevEvivod): Overflow"},
        {"out of memory", "Huge", {}, kInterface, "org.freedesktop.DBus.Error.NoMemory", {}},
    };
    for (const auto& c : cases) {
        const QDBusMessage reply = call(c.member, c.arguments, c.interfaceName);
        EXPECT_EQ(reply.errorName(), c.errorName) << c.what;
        if (!c.errorMessage.isEmpty()) {
            EXPECT_EQ(reply.errorMessage(), c.errorMessage) << c.what;
        }
    }
    // The object goes on answering after every failure.
    EXPECT_EQ(call("Echo", {QVariant::fromValue(HostStringArray(3, QStringList{"k"}))}).type(), QDBusMessage::ReplyMessage);
}

// Together with add() refusing a member the interface file lacks: the files and the handlers agree.
TEST(ServedInterfaces, EveryMethodOfTheInterfaceFilesHasAHandler)
{
    const QDBusConnection noBus(QStringLiteral("none"));
    Module module;
    const AutomationService factory(module, noBus);
    const AutomationInstance instance(module, noBus, QStringLiteral("/i"), QStringLiteral(":1.1"));
    const TestDriver driver(noBus);
    const HostEventSink sink(noBus, QStringLiteral("/s"));
    for (const DBusMethodTable* table : {&factory.methodTable(), &instance.methodTable(), &driver.methodTable(),
             &sink.methodTable()}) {
        QStringList declared;
        for (const auto& [member, signature] : interfaceMethods(table->interfaceName()))
            declared << member;
        EXPECT_FALSE(declared.isEmpty()) << table->interfaceName().toStdString();
        EXPECT_EQ(table->members().join(' ').toStdString(), declared.join(' ').toStdString());
    }
}
