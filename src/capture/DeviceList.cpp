#include "capture/DeviceList.h"

#include "capture/CaptureError.h"

#include <algorithm>

namespace didev {

DeviceList::DeviceList(DeviceKind kind, Enumerate enumerate, SelectionChanged selectionChanged)
    : kind_(kind)
    , enumerate_(std::move(enumerate))
    , selectionChanged_(std::move(selectionChanged))
{
}

void DeviceList::checkIndex(int index, int lowest, const char* call) const
{
    if (index < lowest || index >= count()) {
        raiseCaptureError(CaptureErrorNumber::SubscriptOutOfRange, call,
                          QStringLiteral("index %1 is outside %2 .. %3 of the %4 device list")
                              .arg(index)
                              .arg(lowest)
                              .arg(count() - 1)
                              .arg(kind_ == DeviceKind::Video ? QStringLiteral("video") : QStringLiteral("audio")));
    }
}

QString DeviceList::itemName(int index) const
{
    return item(index).name;
}

const CaptureDevice& DeviceList::item(int index) const
{
    checkIndex(index, 0, "DeviceList.Item");
    return entries_[index];
}

void DeviceList::setSelectedIndex(int index)
{
    checkIndex(index, -1, "DeviceList.SelectedIndex");
    if (index == selected_)
        return;
    selected_ = index;
    if (selectionChanged_)
        selectionChanged_();
}

const CaptureDevice* DeviceList::selected() const
{
    return selected_ < 0 ? nullptr : &entries_[selected_];
}

namespace {

// The same device object: a camera plugged back in is a new one, even under the same key.
bool sameDevice(const CaptureDevice& a, const CaptureDevice& b)
{
    return a.key == b.key && a.device == b.device;
}

} // namespace

void DeviceList::markFailed(int index)
{
    if (index >= 0 && index < count() && !hasFailed(index))
        failed_.append(entries_[index]);
}

void DeviceList::markWorking(int index)
{
    if (index >= 0 && index < count())
        failed_.removeIf([&](const CaptureDevice& device) { return sameDevice(device, entries_[index]); });
}

bool DeviceList::hasFailed(int index) const
{
    return std::any_of(failed_.begin(), failed_.end(), [&](const CaptureDevice& device) { return sameDevice(device, entries_[index]); });
}

int DeviceList::firstUsable() const
{
    for (int i = 0; i < count(); ++i) {
        if (!hasFailed(i))
            return i;
    }
    return -1;
}

void DeviceList::refresh()
{
    const QString selectedKey = selected_ < 0 ? QString() : entries_[selected_].key;
    entries_ = enumerate_ ? enumerate_() : QList<CaptureDevice>{};
    failed_.removeIf([&](const CaptureDevice& device) {
        return std::none_of(entries_.begin(), entries_.end(), [&](const CaptureDevice& entry) { return sameDevice(entry, device); });
    });
    if (selectedKey.isEmpty())
        return;
    for (int i = 0; i < count(); ++i) {
        if (entries_[i].key == selectedKey) {
            selected_ = i;
            return;
        }
    }
    selected_ = -1;
    if (selectionChanged_)
        selectionChanged_();
}

} // namespace didev
