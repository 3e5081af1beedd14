// The interface files against the contract: every member with its in and out signatures, so a
// slip in an argument type cannot reach a host through introspection.
#include "common/DBusInterfaceXml.h"
#include "common/DBusNames.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>

using namespace didev;

namespace {

struct Signatures {
    QString in;
    QString out;
    bool operator==(const Signatures&) const = default;
};

std::map<QString, Signatures> methodsOf(const QString& interfaceXml)
{
    std::map<QString, Signatures> methods;
    QXmlStreamReader reader(interfaceXml);
    QString method;
    while (reader.readNextStartElement() || !reader.atEnd()) {
        if (reader.isStartElement() && reader.name() == QStringLiteral("method"))
            method = reader.attributes().value(QStringLiteral("name")).toString(), methods[method];
        else if (reader.isStartElement() && reader.name() == QStringLiteral("arg") && !method.isEmpty()) {
            const auto attributes = reader.attributes();
            auto& signatures = methods[method];
            (attributes.value(QStringLiteral("direction")) == QStringLiteral("out") ? signatures.out : signatures.in) +=
                attributes.value(QStringLiteral("type"));
        } else if (reader.isEndElement() && reader.name() == QStringLiteral("method"))
            method.clear();
        else if (!reader.isStartElement())
            reader.readNext();
    }
    return methods;
}

} // namespace

TEST(DBusInterfaceXml, AutomationInterfaceHasEveryMemberWithTheContractsTypes)
{
    const std::map<QString, Signatures> contract = {
        {"ClearSnapshots", {"", ""}},
        {"ClearSavedSnapshots", {"", ""}},
        {"CloseForm", {"n(ias)", "(ias)"}},
        {"GetSettings", {"(ias)", "(ias)"}},
        {"GetSnapshot", {"ninds", "inds"}},
        {"GetSnapshotCount", {"", "n"}},
        {"PictureSavedByLogger", {"nn", ""}},
        {"SaveSnapshot", {"nsnnn", "n"}},
        {"SetPointers", {"ssssi", ""}},
        {"SetProperty", {"ns", ""}},
        {"ShowForm", {"n(ias)", "n(ias)"}},
        {"TakeSnapshot", {"", "n"}},
        {"GetPictureData", {"i", "h"}},
        {"Advise", {"o", "u"}},
        {"Unadvise", {"u", ""}},
        {"Release", {"", ""}},
    };
    const QString xml = dbusInterfaceXml(dbus::kAutomationInterface);
    ASSERT_FALSE(xml.isEmpty());
    EXPECT_EQ(methodsOf(xml), contract);
    EXPECT_TRUE(xml.contains(R"(<property name="AllowInternalCapture" type="n" access="readwrite")"));
}

TEST(DBusInterfaceXml, EventsSinkFactoryAndDriverInterfaces)
{
    const QString events = dbusInterfaceXml(dbus::kEventsInterface);
    for (const char* signal : {R"(<signal name="FormClosed">)", R"(<signal name="SettingsChanged">)", R"(<signal name="KeyDown">)"})
        EXPECT_TRUE(events.contains(signal)) << signal;
    const std::map<QString, Signatures> sink = {
        {"FormClosed", {"(ias)", "(ias)"}},
        {"SettingsChanged", {"(ias)", "(ias)"}},
        {"KeyDown", {"nn", "nn"}},
    };
    EXPECT_EQ(methodsOf(dbusInterfaceXml(dbus::kSinkInterface)), sink);
    EXPECT_EQ(methodsOf(dbusInterfaceXml(dbus::kFactoryInterface)),
        (std::map<QString, Signatures>{{"CreateInstance", {"", "o"}}}));
    const std::map<QString, Signatures> driver = {
        {"PlugDevice", {"sss", ""}},
        {"UnplugDevice", {"ss", ""}},
        {"PostDeviceNotice", {"ss", ""}},
        {"FailNextGrab", {"s", ""}},
        {"PressKey", {"snn", ""}},
        {"CloseWindow", {"s", ""}},
        {"PointerAt", {"sdd", ""}},
        {"FocusLost", {"s", ""}},
        {"Resize", {"sii", ""}},
        {"Move", {"sii", ""}},
        {"ClickPanel", {"sn", "a(iisn)"}},
        {"QueueAnswer", {"sv", ""}},
        {"Messages", {"", "a(ssn)"}},
        {"WindowState", {"s", "a{sv}"}},
        {"Screen", {"", "a{sv}"}},
    };
    EXPECT_EQ(methodsOf(dbusInterfaceXml(dbus::kTestDriverInterface)), driver);
    EXPECT_TRUE(dbusInterfaceXml("org.kelvara.Nothing").isEmpty());
}

TEST(DBusInterfaceXml, ElementIsCutExactlyFromTheFileText)
{
    const QString file = R"(<node><interface name="a.B"><method name="X"/></interface>)"
                         R"(<interface name="a.C"><signal name="Y"/></interface></node>)";
    EXPECT_EQ(interfaceElement(file, "a.C"), R"(<interface name="a.C"><signal name="Y"/></interface>)");
    EXPECT_EQ(interfaceElement(file, "a.B"), R"(<interface name="a.B"><method name="X"/></interface>)");
    EXPECT_TRUE(interfaceElement("<node><broken", "a.B").isEmpty());
}
