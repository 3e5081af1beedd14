#include "capture/DeviceList.h"

#include "capture/CaptureError.h"

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

void DeviceList::refresh()
{
    const QString selectedKey = selected_ < 0 ? QString() : entries_[selected_].key;
    entries_ = enumerate_ ? enumerate_() : QList<CaptureDevice>{};
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

void DeviceList::append(const CaptureDevice& device)
{
    entries_.append(device);
}

bool DeviceList::remove(const QString& key)
{
    for (int i = 0; i < count(); ++i) {
        if (entries_[i].key != key)
            continue;
        entries_.removeAt(i);
        if (selected_ == i) {
            selected_ = -1;
            if (selectionChanged_)
                selectionChanged_();
        } else if (selected_ > i) {
            --selected_;
        }
        return true;
    }
    return false;
}

} // namespace didev
