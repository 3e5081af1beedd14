#include "automation/SettingsExchange.h"
#include "common/AutomationError.h"

#include <gtest/gtest.h>

#include <functional>

using namespace didev;

namespace {

int32_t errorNumberOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const AutomationError& error) {
        return error.number();
    }
    return 0;
}

// A ShowForm array with the given lower bound holding entries 1..9 (lower bound 0: entry 0 unused).
HostStringArray showFormArray(int32_t lowerBound, QStringList entries)
{
    QStringList elements;
    for (int64_t subscript = lowerBound; subscript < 1; ++subscript)
        elements << "unused";
    elements << entries;
    return HostStringArray(lowerBound, elements);
}

const QStringList kShowFormEntries = {"Y", "120", "240", "5250", "4320", "1 500", "&H10", "2.5", "3.5"};

} // namespace

TEST(ReadShowFormSettings, StoresTopLeftWidthHeightOfBothWindowsAndTheCloseRequest)
{
    for (const int32_t lowerBound : {0, 1, -3}) {
        ModuleState state;
        ReadShowFormSettings(showFormArray(lowerBound, kShowFormEntries), state);
        EXPECT_EQ(state.captureWindowPlacement, (WindowPlacement{.Left = 240, .Top = 120, .Width = 5250, .Height = 4320}));
        EXPECT_EQ(state.viewerPlacement, (WindowPlacement{.Left = 16, .Top = 1500, .Width = 2, .Height = 4}));
        EXPECT_EQ(state.closeNotifyRequest, "Y");
    }
}

TEST(ReadShowFormSettings, FailureKeepsWhatWasStoredBefore)
{
    // Entry 9 missing: everything up to entry 8 is stored, the close request is not read.
    ModuleState state;
    state.viewerPlacement.Height = 77;
    state.closeNotifyRequest = "before";
    QStringList eightEntries = kShowFormEntries.mid(0, 8);
    EXPECT_EQ(errorNumberOf([&] { ReadShowFormSettings(HostStringArray(1, eightEntries), state); }), 9);
    EXPECT_EQ(state.captureWindowPlacement.Height, 4320);
    EXPECT_EQ(state.viewerPlacement.Width, 2);
    EXPECT_EQ(state.viewerPlacement.Height, 77);
    EXPECT_EQ(state.closeNotifyRequest, "before");

    // Entry 4 overflows: Top and Left are stored, Width and the rest are not.
    ModuleState overflowed;
    QStringList entries = kShowFormEntries;
    entries[3] = "2147483648";
    EXPECT_EQ(errorNumberOf([&] { ReadShowFormSettings(HostStringArray(1, entries), overflowed); }), 6);
    EXPECT_EQ(overflowed.captureWindowPlacement, (WindowPlacement{.Left = 240, .Top = 120}));
    EXPECT_EQ(overflowed.viewerPlacement, WindowPlacement{});
    EXPECT_TRUE(overflowed.closeNotifyRequest.isEmpty());
}

TEST(ReadShowFormSettings, EmptyOrUnreadableEntriesGiveZero)
{
    ModuleState state;
    state.captureWindowPlacement = {1, 2, 3, 4};
    ReadShowFormSettings(HostStringArray(1, QStringList{"", "", "abc", "", "", "", "", "", ""}), state);
    EXPECT_EQ(state.captureWindowPlacement, WindowPlacement{});
    EXPECT_EQ(state.closeNotifyRequest, "");
}

TEST(WriteLiveSettings, SingleTextOfTheLiveWindowsAndEmptyForWindowsNotThere)
{
    const LiveWindowGeometry capture{.Left = 240, .Top = -15, .Width = 5250, .Height = 4320.5f};
    const LiveWindowGeometry viewer{.Left = 1e8f, .Top = 1.0f / 3, .Width = 5250, .Height = 4320};
    const struct { std::optional<LiveWindowGeometry> capture, viewer; QStringList expected; } cases[] = {
        {capture, viewer, {"-15", "240", "5250", "4320.5", "0.3333333", "1E+08", "5250", "4320"}},
        {capture, std::nullopt, {"-15", "240", "5250", "4320.5", "", "", "", ""}},
        {std::nullopt, viewer, {"", "", "", "", "", "", "", ""}},   // no capture window: the viewer is not read
    };
    for (const auto& c : cases) {
        HostStringArray array(0, QStringList(21, "old"));
        WriteLiveSettings(array, c.capture, c.viewer);
        EXPECT_EQ(array.elements().mid(1, 8), c.expected);
        EXPECT_EQ(array.at(0), "old");
        EXPECT_EQ(array.at(9), "old");
    }

    // Entries are written in order up to the first missing one.
    HostStringArray short4(1, QStringList(4, "old"));
    EXPECT_EQ(errorNumberOf([&] { WriteLiveSettings(short4, capture, std::nullopt); }), 9);
    EXPECT_EQ(short4.elements(), (QStringList{"-15", "240", "5250", "4320.5"}));
}

TEST(FormClosedSettings, SubscriptsZeroToTwentyWithThePlacementsInOneToEight)
{
    const HostStringArray array = FormClosedSettings({.Left = 240, .Top = -15, .Width = 7500, .Height = 6000},
        {.Left = 0, .Top = 2147483647, .Width = 5250, .Height = 4320});
    EXPECT_EQ(array.lowerBound(), 0);
    EXPECT_EQ(array.upperBound(), 20);
    QStringList expected(21);
    for (const auto& [subscript, text] : {std::pair{1, "-15"}, {2, "240"}, {3, "7500"}, {4, "6000"},
             {5, "2147483647"}, {6, "0"}, {7, "5250"}, {8, "4320"}})
        expected[subscript] = text;
    EXPECT_EQ(array.elements(), expected);

    HostStringArray tooShort(1, 7);
    EXPECT_EQ(errorNumberOf([&] { WritePlacementSettings(tooShort, {}, {}); }), 9);
}

TEST(CloseFormSuppressesEvent, OnlyExactlyN)
{
    for (const auto& [text, suppresses] : {std::pair{"N", true}, {"n", false}, {"", false}, {" N", false},
             {"N ", false}, {"No", false}})
        EXPECT_EQ(CloseFormSuppressesEvent(HostStringArray(1, QStringList{text})), suppresses) << text;
    EXPECT_EQ(errorNumberOf([] { CloseFormSuppressesEvent(HostStringArray(2, QStringList{"N"})); }), 9);
}

TEST(ApplyProperty, RegistryRootAndAccumulation)
{
    ModuleState state;
    ApplyProperty(1, "1 500", state);
    EXPECT_EQ(state.userRegArea, 1500);
    ApplyProperty(1, "-2147483648", state);
    EXPECT_EQ(state.userRegArea, -2147483647 - 1);
    EXPECT_EQ(errorNumberOf([&] { ApplyProperty(1, "2147483648", state); }), 6);
    EXPECT_EQ(state.userRegArea, -2147483647 - 1);

    for (const auto& [text, accumulate] : {std::pair{"N", false}, {"n", true}, {"", true}, {"N", false}, {"Y", true}}) {
        ApplyProperty(3, text, state);
        EXPECT_EQ(state.accumulateFrames, accumulate) << text;
    }

    ApplyProperty(2, "N", state);
    ApplyProperty(-1, "99", state);
    EXPECT_EQ(state.userRegArea, -2147483647 - 1);
    EXPECT_TRUE(state.accumulateFrames);
}
