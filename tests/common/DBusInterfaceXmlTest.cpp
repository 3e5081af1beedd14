// The served methods match the interface files (DBusWireTest); a handler the files lack is a mistake
// found at the start.
#include "common/DBusMethodTable.h"
#include "common/DBusNames.h"

#include <gtest/gtest.h>

using namespace didev;

TEST(DBusInterfaceXmlDeathTest, AHandlerForAMemberTheFileLacksStopsTheStart)
{
    EXPECT_DEATH(DBusMethodTable(QString::fromLatin1(dbus::kSinkInterface)).add("KeyUp", {}),
        "KeyUp is not a method of org.kelvara.DidevEvivod.EventSink");
}
