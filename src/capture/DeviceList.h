#pragma once

#include "capture/CaptureDevice.h"

#include <QList>

#include <functional>

namespace didev {

// The video or the audio device list of the capture control: count, item names, the selected
// index (-1 = none) and refresh. Writing the selection starts or stops that kind's source
// through the owner's callback.
class DeviceList {
public:
    using Enumerate = std::function<QList<CaptureDevice>()>;
    using SelectionChanged = std::function<void()>;

    DeviceList(DeviceKind kind, Enumerate enumerate, SelectionChanged selectionChanged);

    DeviceKind kind() const { return kind_; }
    int count() const { return static_cast<int>(entries_.size()); }
    // Name of the device at a zero-based index; error 9 outside the list.
    QString itemName(int index) const;
    const CaptureDevice& item(int index) const;

    int selectedIndex() const { return selected_; }
    // -1 deselects and stops the source; writing the index in use changes nothing; error 9
    // for an index outside -1 .. count - 1.
    void setSelectedIndex(int index);
    // The selected device, or nothing.
    const CaptureDevice* selected() const;

    // Lists the devices present now; a selected device still present stays selected (at its
    // new place), a selected device that is gone is deselected.
    void refresh();

    // Drops the selection without telling the owner (its source has already ended).
    void clearSelection() { selected_ = -1; }

    // A device whose source failed is passed over by firstUsable() until it is listed anew
    // (pulled out and plugged back in) or starts after all; indexes outside the list are ignored.
    void markFailed(int index);
    void markWorking(int index);
    bool hasFailed(int index) const;
    // The first device not known to fail, or -1.
    int firstUsable() const;

private:
    void checkIndex(int index, int lowest, const char* call) const;

    DeviceKind kind_;
    Enumerate enumerate_;
    SelectionChanged selectionChanged_;
    QList<CaptureDevice> entries_;
    QList<CaptureDevice> failed_;
    int selected_ = -1;
};

} // namespace didev
