#pragma once

#include "common/DBusTableObject.h"
#include "automation/EventSinkList.h"
#include "automation/cDidevEvivod.h"

#include <QDBusConnection>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QEventLoop;

namespace didev {

class Module;

// One automation instance on the bus: interface _cDidevEvivod with its property, the signals of
// __cDidevEvivod, and the advised sinks. Each method is a few lines over cDidevEvivod. It must not
// be destroyed while busy(): its calls and events run nested event loops (sinks, modal windows).
class AutomationInstance final : public DBusTableObject, private cDidevEvivodEvents {
public:
    // A sink that has not answered after this long is dropped, with every sink of its connection.
    static constexpr std::chrono::milliseconds kSinkTimeout{25000};
    // Whether a connection other than the owner's may call it (one of the owner's process).
    using CallerCheck = std::function<bool(const QString& caller, const QString& owner)>;

    AutomationInstance(Module& module, const QDBusConnection& connection, QString path, QString owner,
        CallerCheck admits = {}, QObject* parent = nullptr);
    ~AutomationInstance() override;

    const QString& path() const noexcept { return path_; }
    // The unique bus name of the host that created it.
    const QString& owner() const noexcept { return owner_; }
    bool busy() const noexcept { return depth_ > 0; }
    void setSinkTimeout(std::chrono::milliseconds timeout) { sinkTimeout_ = timeout; }

    // Leaves the host at once: no call or event reaches it or its sinks from now on, the modal
    // waits opened for it close and its window leaves the screen. Its object and the rest of the
    // destruction sequence wait until destroyable().
    void end();
    // Nothing of it is left on the stack: no call or event of it, no modal wait that may hold it.
    bool destroyable() const;

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
    // them; a sink that fails, answers with other types than its interface file's or stays silent past the timeout is dropped.
    void callSinks(const char* member, const std::function<QVariantList()>& arguments,
        const std::function<void(const QDBusMessage&)>& takeReply);
    // Waits, serving other calls, for the sink's reply; an error when the sink is dropped meanwhile.
    QDBusMessage waitForSink(const EventSinkAddress& sink, const QDBusMessage& call);
    // The sinks of `service` are dropped; waits on them end now.
    void dropSinksOf(const QString& service);
    void emitSignal(const char* member, const QVariantList& arguments);

    struct SinkWait {
        QString service;
        QEventLoop* loop;
    };

    QDBusConnection connection_;
    QString path_;
    QString owner_;
    CallerCheck admits_;
    std::chrono::milliseconds sinkTimeout_ = kSinkTimeout;
    std::vector<SinkWait> sinkWaits_;
    std::unique_ptr<cDidevEvivod> automation_;
    EventSinkList sinks_;
    DBusMethodTable properties_;
    int depth_ = 0;
    bool ending_ = false;
};

} // namespace didev
