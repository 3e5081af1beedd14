#include "automation/SettingsExchange.h"

#include "automation/NumberText.h"

namespace didev {

namespace {

constexpr int kFormClosedUpperBound = 20;

int32_t readLongEntry(const HostStringArray& passDataArray, int subscript)
{
    return readLong(passDataArray.at(subscript).toStdString());
}

// Four entries from `first` on, Top, Left, Width, Height; each stored as soon as it is read.
void readPlacement(const HostStringArray& passDataArray, int first, WindowPlacement& placement)
{
    placement.Top = readLongEntry(passDataArray, first);
    placement.Left = readLongEntry(passDataArray, first + 1);
    placement.Width = readLongEntry(passDataArray, first + 2);
    placement.Height = readLongEntry(passDataArray, first + 3);
}

QString toQString(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

void ReadShowFormSettings(const HostStringArray& passDataArray, ModuleState& state)
{
    readPlacement(passDataArray, 2, state.captureWindowPlacement);
    readPlacement(passDataArray, 6, state.viewerPlacement);
    state.closeNotifyRequest = passDataArray.at(1);
}

void WriteLiveSettings(HostStringArray& passDataArray, const std::optional<LiveWindowGeometry>& captureWindow,
    const std::optional<LiveWindowGeometry>& viewer)
{
    const std::optional<LiveWindowGeometry> windows[] = {captureWindow, captureWindow ? viewer : std::nullopt};
    int subscript = 1;
    for (const auto& window : windows) {
        if (!window) {
            for (int i = 0; i < 4; ++i)
                passDataArray.set(subscript++, QString());
            continue;
        }
        for (const float value : window->inHostOrder())
            passDataArray.set(subscript++, toQString(singleText(value)));
    }
}

void WritePlacementSettings(HostStringArray& passDataArray, const WindowPlacement& captureWindow,
    const WindowPlacement& viewer)
{
    int subscript = 1;
    for (const WindowPlacement* placement : {&captureWindow, &viewer})
        for (const int32_t value : placement->inHostOrder())
            passDataArray.set(subscript++, toQString(longText(value)));
}

HostStringArray FormClosedSettings(const WindowPlacement& captureWindow, const WindowPlacement& viewer)
{
    HostStringArray passDataArray(0, kFormClosedUpperBound + 1);
    WritePlacementSettings(passDataArray, captureWindow, viewer);
    return passDataArray;
}

bool CloseFormSuppressesEvent(const HostStringArray& passDataArray)
{
    return passDataArray.at(1) == QLatin1String("N");
}

void ApplyProperty(int16_t propID, const QString& propValue, ModuleState& state)
{
    switch (static_cast<PropertyId>(propID)) {
    case PropertyId::UserRegArea:
        state.userRegArea = readLong(propValue.toStdString());
        break;
    case PropertyId::AccumulateFrames:
        state.accumulateFrames = propValue != QLatin1String("N");
        break;
    }
}

} // namespace didev
