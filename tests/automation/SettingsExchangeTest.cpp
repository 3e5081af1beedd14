#include "automation/SettingsExchange.h"
#include "common/AutomationError.h"

#include "support/AutomationErrors.h"

#include <gtest/gtest.h>

#include <functional>

using namespace didev;
using didev::testing::errorNumberOf;

namespace {

const QStringList kShowFormEntries = {"Y", "120", "240", "5250", "", "1 500", "&H10", "2.5", "3.5"};

} // namespace

// Entries 1 to 9 whatever the lower bound is HostStringArrayTest's.
TEST(ReadShowFormSettings, StoresBothWindowsAndTheCloseRequestAndAFailureKeepsWhatWasStoredBefore)
{
    ModuleState stored;
    ReadShowFormSettings(HostStringArray(1, kShowFormEntries), stored);
    EXPECT_EQ(stored.captureWindowPlacement, (WindowPlacement{.Left = 240, .Top = 120, .Width = 5250, .Height = 0}));
    EXPECT_EQ(stored.viewerPlacement, (WindowPlacement{.Left = 16, .Top = 1500, .Width = 2, .Height = 4}));
    EXPECT_EQ(stored.closeNotifyRequest, "Y");

    // Entry 9 missing: entries 2 to 8 are stored, the close request is not read.
    ModuleState state;
    state.viewerPlacement.Height = 77;
    EXPECT_EQ(errorNumberOf([&] { ReadShowFormSettings(HostStringArray(1, kShowFormEntries.mid(0, 8)), state); }), 9);
    EXPECT_EQ(state.viewerPlacement, (WindowPlacement{.Left = 16, .Top = 1500, .Width = 2, .Height = 77}));
    EXPECT_EQ(state.closeNotifyRequest, "");

    // Entry 4 overflows: Top and Left are stored, nothing after.
    ModuleState overflowed;
    QStringList entries = kShowFormEntries;
    entries[3] = "2147483648";
    EXPECT_EQ(errorNumberOf([&] { ReadShowFormSettings(HostStringArray(1, entries), overflowed); }), 6);
    EXPECT_EQ(overflowed.captureWindowPlacement, (WindowPlacement{.Left = 240, .Top = 120}));
    EXPECT_EQ(overflowed.viewerPlacement, WindowPlacement{});
}

// The live windows' texts are the automation class's GetSettings test; here an array too short.
TEST(WriteLiveSettings, EntriesAreWrittenInOrderUpToTheFirstMissingOne)
{
    const LiveWindowGeometry capture{.Left = 240, .Top = -15, .Width = 5250, .Height = 4320.5f};
    HostStringArray four(1, QStringList(4, "old"));
    EXPECT_EQ(errorNumberOf([&] { WriteLiveSettings(four, capture, std::nullopt); }), 9);
    EXPECT_EQ(four.elements(), (QStringList{"-15", "240", "5250", "4320.5"}));
}
