// Reading the interface files: the element served for introspection and the methods the service
// checks calls against.
#include "common/DBusInterfaceXml.h"
#include "common/DBusMethodTable.h"
#include "common/DBusNames.h"

#include <gtest/gtest.h>

using namespace didev;

TEST(DBusInterfaceXml, ElementIsCutExactlyAndItsMethodsReadInArgumentOrder)
{
    const QString file = R"(<node><interface name="a.B"><method name="X"/></interface>)"
                         R"x(<interface name="a.C"><method name="Y"><arg type="n" direction="in"/>)x"
                         R"x(<arg type="(ias)" direction="out"/><arg type="s"/></method></interface></node>)x";
    EXPECT_EQ(interfaceElement(file, "a.B"), R"(<interface name="a.B"><method name="X"/></interface>)");
    EXPECT_TRUE(interfaceElement("<node><broken", "a.B").isEmpty());
    EXPECT_EQ(methodsOf(interfaceElement(file, "a.C")), (InterfaceMethods{{"Y", {"ns", "(ias)"}}}));
    EXPECT_EQ(methodsOf(interfaceElement(file, "a.B")), (InterfaceMethods{{"X", {}}}));
    EXPECT_TRUE(interfaceMethods("org.kelvara.Nothing").empty());
}

TEST(DBusInterfaceXmlDeathTest, AHandlerForAMemberTheFileLacksStopsTheStart)
{
    EXPECT_DEATH(DBusMethodTable(QString::fromLatin1(dbus::kSinkInterface)).add("KeyUp", {}),
        "KeyUp is not a method of org.kelvara.DidevEvivod.EventSink");
}
