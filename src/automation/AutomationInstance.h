#pragma once

#include "automation/DBusMethodTable.h"
#include "automation/EventSinkList.h"
#include "automation/cDidevEvivod.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <chrono>
#include <functional>
#include <memory>

namespace didev {

// One automation instance on the bus: interface _cDidevEvivod with its property, the signals of
// __cDidevEvivod, and the advised sinks. Each method is a few lines over cDidevEvivod. It must not
// be destroyed while busy(): its calls and events run nested event loops (sinks, modal windows).
class AutomationInstance final : public QDBusVirtualObject, private cDidevEvivodEvents {
public:
    // A sink that has not answered after this long is dropped.
    static constexpr std::chrono::milliseconds kSinkTimeout{25000};

    AutomationInstance(const QDBusConnection& connection, QString path, QString owner, QObject* parent = nullptr);
    ~AutomationInstance() override;

    const QString& path() const noexcept { return path_; }
    // The unique bus name of the host that created it.
    const QString& owner() const noexcept { return owner_; }
    bool busy() const noexcept { return depth_ > 0; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // Release was called.
    std::function<void()> onReleaseRequested;
    // The outermost call or event on the stack returned.
    std::function<void()> onIdle;

private:
    class Depth;

    void FormClosed(HostStringArray& passDataArray) override;
    void SettingsChanged(HostStringArray& passDataArray) override;
    void KeyDown(int16_t& KeyCode, int16_t& Shift) override;

    void addMethods();
    void addPropertyMethods();
    void deliverArrayEvent(const char* member, HostStringArray& passDataArray);
    // Each advised sink in turn gets the arguments as they stand and its reply is read back into
    // them; a sink that fails, answers with other types or stays silent past the timeout is dropped.
    void callSinks(const char* member, const std::function<QVariantList()>& arguments, const char* replySignature,
        const std::function<void(const QDBusMessage&)>& takeReply);
    void emitSignal(const char* member, const QVariantList& arguments);

    QDBusConnection connection_;
    QString path_;
    QString owner_;
    std::unique_ptr<cDidevEvivod> automation_;
    EventSinkList sinks_;
    DBusMethodTable methods_;
    DBusMethodTable properties_;
    int depth_ = 0;
    bool ending_ = false;
};

} // namespace didev
