#include "app/HostEventSink.h"

#include "common/DBusNames.h"
#include "common/HostStringArrayDBus.h"

namespace didev {

namespace {

HostStringArray arrayArgument(const QDBusMessage& call)
{
    HostStringArray array;
    qvariant_cast<QDBusArgument>(call.arguments().at(0)) >> array;
    return array;
}

} // namespace

HostEventSink::HostEventSink(const QDBusConnection& bus, QString path, QObject* parent)
    : DBusTableObject(QString::fromLatin1(dbus::kSinkInterface), parent)
    , bus_(bus)
    , path_(std::move(path))
{
    registerHostStringArrayType();
    methods_.add("FormClosed", [this](const QDBusMessage& call) {
        HostStringArray passDataArray = arrayArgument(call);
        if (onFormClosed)
            onFormClosed(passDataArray);
        return QVariantList{QVariant::fromValue(passDataArray)};
    });
    methods_.add("SettingsChanged", [this](const QDBusMessage& call) {
        HostStringArray passDataArray = arrayArgument(call);
        if (onSettingsChanged)
            onSettingsChanged(passDataArray);
        return QVariantList{QVariant::fromValue(passDataArray)};
    });
    methods_.add("KeyDown", [this](const QDBusMessage& call) {
        auto keyCode = qvariant_cast<int16_t>(call.arguments().at(0));
        auto shift = qvariant_cast<int16_t>(call.arguments().at(1));
        if (onKeyDown)
            onKeyDown(keyCode, shift);
        return QVariantList{QVariant::fromValue<short>(keyCode), QVariant::fromValue<short>(shift)};
    });
}

HostEventSink::~HostEventSink()
{
    if (exported_)
        bus_.unregisterObject(path_);
}

bool HostEventSink::exportObject()
{
    exported_ = bus_.registerVirtualObject(path_, this);
    return exported_;
}

} // namespace didev
