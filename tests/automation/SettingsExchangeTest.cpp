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

TEST(ReadShowFormSettings, StoresTopLeftWidthHeightOfBothWindowsAndTheCloseRequest)
{
    for (const int32_t lowerBound : {0, 1, -3}) {
        HostStringArray array(lowerBound, QStringList(1 - lowerBound, "unused") + kShowFormEntries);
        ModuleState state;
        ReadShowFormSettings(array, state);
        EXPECT_EQ(state.captureWindowPlacement, (WindowPlacement{.Left = 240, .Top = 120, .Width = 5250, .Height = 0}));
        EXPECT_EQ(state.viewerPlacement, (WindowPlacement{.Left = 16, .Top = 1500, .Width = 2, .Height = 4}));
        EXPECT_EQ(state.closeNotifyRequest, "Y");
    }
}

TEST(ReadShowFormSettings, FailureKeepsWhatWasStoredBefore)
{
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

TEST(WriteLiveSettings, SingleTextOfTheLiveWindowsAndEmptyForWindowsNotThere)
{
    const LiveWindowGeometry capture{.Left = 240, .Top = -15, .Width = 5250, .Height = 4320.5f};
    const LiveWindowGeometry viewer{.Left = 1e8f, .Top = 1.0f / 3, .Width = 5250, .Height = 4320};
    const struct { std::optional<LiveWindowGeometry> capture, viewer; QStringList expected; } cases[] = {
        {capture, viewer, {"-15", "240", "5250", "4320.5", "0.3333333", "1E+08", "5250", "4320"}},
        {capture, std::nullopt, {"-15", "240", "5250", "4320.5", "", "", "", ""}},
        {std::nullopt, viewer, QStringList(8)},   // no capture window: the viewer is not read
    };
    for (const auto& c : cases) {
        HostStringArray array(0, QStringList(21, "old"));
        WriteLiveSettings(array, c.capture, c.viewer);
        EXPECT_EQ(array.elements(), QStringList{"old"} + c.expected + QStringList(12, "old"));
    }

    // Entries are written in order up to the first missing one.
    HostStringArray four(1, QStringList(4, "old"));
    EXPECT_EQ(errorNumberOf([&] { WriteLiveSettings(four, capture, std::nullopt); }), 9);
    EXPECT_EQ(four.elements(), (QStringList{"-15", "240", "5250", "4320.5"}));
}
