#include "automation/AutomationInstance.h"

#include "common/AutomationError.h"
#include "common/DBusInterfaceXml.h"
#include "common/DBusNames.h"
#include "common/HostStringArrayDBus.h"
#include "snapshots/SealedBitmapFile.h"
#include "ui/InteractionSeam.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>

#include <algorithm>
#include <tuple>
#include <type_traits>
#include <utility>

namespace didev {

namespace {

template <typename T>
T argumentAt(const QDBusMessage& call, int index)
{
    return qvariant_cast<T>(call.arguments().at(index));
}

template <>
HostStringArray argumentAt<HostStringArray>(const QDBusMessage& call, int index)
{
    HostStringArray array;
    argumentAt<QDBusArgument>(call, index) >> array;
    return array;
}

QVariant arrayValue(const HostStringArray& array)
{
    return QVariant::fromValue(array);
}

QVariant integerValue(int16_t value)
{
    return QVariant::fromValue<short>(value);
}

template <typename... Args, size_t... Index>
std::tuple<Args...> argumentsOf(const QDBusMessage& call, std::index_sequence<Index...>)
{
    return {argumentAt<Args>(call, static_cast<int>(Index))...};
}

// A method served by a member of the automation class: the call's arguments are its arguments,
// in order, and the reply is its result (unless it has none) followed by the by-reference
// arguments at the positions `Out`, as the member left them.
template <size_t... Out, typename Result, typename... Args>
DBusMethodTable::Handler memberHandler(cDidevEvivod& automation, Result (cDidevEvivod::*member)(Args&...))
{
    return [&automation, member](const QDBusMessage& call) {
        auto arguments = argumentsOf<Args...>(call, std::index_sequence_for<Args...>());
        const auto invoke = [&] {
            return std::apply([&](Args&... values) { return (automation.*member)(values...); }, arguments);
        };
        QVariantList reply;
        if constexpr (std::is_void_v<Result>)
            invoke();
        else
            reply.append(QVariant::fromValue(invoke()));
        (reply.append(QVariant::fromValue(std::get<Out>(arguments))), ...);
        return reply;
    };
}

bool namesThisInterface(const QString& interfaceName)
{
    return interfaceName.isEmpty() || interfaceName == QLatin1String(dbus::kAutomationInterface);
}

bool isIntrospection(const QDBusMessage& message)
{
    return message.interface() == QLatin1String("org.freedesktop.DBus.Introspectable");
}

bool timedOut(const QDBusMessage& reply)
{
    const QDBusError::ErrorType type = QDBusError(reply).type();
    return type == QDBusError::NoReply || type == QDBusError::Timeout || type == QDBusError::TimedOut;
}

} // namespace

// Counts the calls and events of this instance on the stack; the modal waits they open are its.
class AutomationInstance::Depth {
public:
    explicit Depth(AutomationInstance& instance)
        : instance_(instance)
        , owner_(&instance)
    {
        ++instance_.depth_;
    }
    ~Depth()
    {
        if (--instance_.depth_ == 0 && instance_.onIdle)
            instance_.onIdle();
    }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;

private:
    AutomationInstance& instance_;
    InteractionSeam::OwnerScope owner_;
};

AutomationInstance::AutomationInstance(Module& module, const QDBusConnection& connection, QString path,
    QString owner, CallerCheck admits, QObject* parent)
    : DBusTableObject(QString::fromLatin1(dbus::kAutomationInterface), parent)
    , connection_(connection)
    , path_(std::move(path))
    , owner_(std::move(owner))
    , admits_(std::move(admits))
    , automation_(std::make_unique<cDidevEvivod>(module))
    , properties_(QString::fromLatin1(dbus::kPropertiesInterface))
{
    registerHostStringArrayType();
    automation_->addEventSink(this);
    addMethods();
    addPropertyMethods();
}

AutomationInstance::~AutomationInstance()
{
    // The destruction sequence closes an open window; nothing reaches the host meanwhile.
    end();
    automation_.reset();
}

void AutomationInstance::end()
{
    ending_ = true;
    sinks_.clear();
    for (const SinkWait& wait : sinkWaits_)
        wait.loop->quit();
    InteractionSeam::instance().closeModalsOf(this);
    if (automation_)
        automation_->hideWindows();
}

bool AutomationInstance::destroyable() const
{
    return !busy() && !InteractionSeam::instance().modalMayHold(this);
}

void AutomationInstance::addMethods()
{
    cDidevEvivod& a = *automation_;
    methods_.add("ClearSnapshots", memberHandler(a, &cDidevEvivod::ClearSnapshots));
    methods_.add("ClearSavedSnapshots", memberHandler(a, &cDidevEvivod::ClearSavedSnapshots));
    methods_.add("CloseForm", memberHandler<1>(a, &cDidevEvivod::CloseForm));
    methods_.add("GetSettings", memberHandler<0>(a, &cDidevEvivod::GetSettings));
    methods_.add("GetSnapshot", memberHandler<1, 2, 3, 4>(a, &cDidevEvivod::GetSnapshot));
    methods_.add("GetSnapshotCount", memberHandler(a, &cDidevEvivod::GetSnapshotCount));
    methods_.add("PictureSavedByLogger", memberHandler(a, &cDidevEvivod::PictureSavedByLogger));
    methods_.add("SaveSnapshot", memberHandler(a, &cDidevEvivod::SaveSnapshot));
    methods_.add("SetPointers", memberHandler(a, &cDidevEvivod::SetPointers));
    methods_.add("SetProperty", memberHandler(a, &cDidevEvivod::SetProperty));
    methods_.add("ShowForm", memberHandler<1>(a, &cDidevEvivod::ShowForm));
    methods_.add("TakeSnapshot", memberHandler(a, &cDidevEvivod::TakeSnapshot));
    methods_.add("GetPictureData", [](const QDBusMessage& call) {
        const PicturePtr picture = Picture::fromHandle(static_cast<PictureHandle>(argumentAt<int32_t>(call, 0)));
        if (!picture)
            raiseError(ErrorNumber::SubscriptOutOfRange);
        const SealedBitmapFile file = SealedBitmapFile::fromPicture(picture);
        return QVariantList{QVariant::fromValue(QDBusUnixFileDescriptor(file.descriptor()))};
    });
    methods_.add("Advise", [this](const QDBusMessage& call) {
        const auto cookie = sinks_.advise(call.service(), argumentAt<QDBusObjectPath>(call, 0).path());
        if (!cookie)
            throw DBusCallError(QDBusError::LimitsExceeded,
                QStringLiteral("An instance takes at most %1 event sinks").arg(EventSinkList::kMaxSinks));
        return QVariantList{*cookie};
    });
    methods_.add("Unadvise", [this](const QDBusMessage& call) {
        const auto cookie = argumentAt<uint32_t>(call, 0);
        if (!sinks_.unadvise(cookie))
            raiseInvalidArguments(QStringLiteral("No sink is advised with cookie %1").arg(cookie));
        return QVariantList{};
    });
    methods_.add("Release", [this](const QDBusMessage&) {
        if (onReleaseRequested)
            onReleaseRequested();
        return QVariantList{};
    });
}

void AutomationInstance::addPropertyMethods()
{
    const auto requireProperty = [](const QString& interfaceName, const QString& name) {
        if (!namesThisInterface(interfaceName))
            throw DBusCallError(QDBusError::UnknownInterface, QStringLiteral("No interface %1 here").arg(interfaceName));
        if (name != QLatin1String(dbus::kAllowInternalCaptureProperty))
            throw DBusCallError(QDBusError::UnknownProperty, QStringLiteral("No property %1").arg(name));
    };
    cDidevEvivod& a = *automation_;
    properties_.add("Get", [&a, requireProperty](const QDBusMessage& call) {
        requireProperty(argumentAt<QString>(call, 0), argumentAt<QString>(call, 1));
        return QVariantList{QVariant::fromValue(QDBusVariant(integerValue(a.AllowInternalCapture())))};
    });
    properties_.add("Set", [&a, requireProperty](const QDBusMessage& call) {
        requireProperty(argumentAt<QString>(call, 0), argumentAt<QString>(call, 1));
        const QVariant value = argumentAt<QDBusVariant>(call, 2).variant();
        if (value.metaType() != QMetaType::fromType<short>())
            raiseInvalidArguments(QStringLiteral("AllowInternalCapture is of type n"));
        a.setAllowInternalCapture(value.value<short>());
        return QVariantList{};
    });
    properties_.add("GetAll", [&a](const QDBusMessage& call) {
        QVariantMap values;
        if (namesThisInterface(argumentAt<QString>(call, 0)))
            values.insert(QString::fromLatin1(dbus::kAllowInternalCaptureProperty), integerValue(a.AllowInternalCapture()));
        return QVariantList{values};
    });
}

QString AutomationInstance::introspect(const QString& path) const
{
    return DBusTableObject::introspect(path) + dbusInterfaceXml(QString::fromLatin1(dbus::kEventsInterface));
}

bool AutomationInstance::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (ending_)
        return false;
    // The description is the installed interface files' and the same for every instance; the
    // bus library answers Peer for the whole connection. Everything else is the owner's.
    if (isIntrospection(message))
        return false;
    if (message.service() != owner_ && !(admits_ && admits_(message.service(), owner_))) {
        sendReply(connection, message,
            message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("%1 belongs to another host").arg(path_)));
        return true;
    }
    const Depth depth(*this);
    return methods_.dispatch(message, connection) || properties_.dispatch(message, connection);
}

void AutomationInstance::FormClosed(HostStringArray& passDataArray)
{
    deliverArrayEvent("FormClosed", passDataArray);
}

void AutomationInstance::SettingsChanged(HostStringArray& passDataArray)
{
    deliverArrayEvent("SettingsChanged", passDataArray);
}

void AutomationInstance::deliverArrayEvent(const char* member, HostStringArray& passDataArray)
{
    if (ending_)
        return;
    const Depth depth(*this);
    callSinks(member, [&] { return QVariantList{arrayValue(passDataArray)}; },
        [&](const QDBusMessage& reply) { passDataArray = argumentAt<HostStringArray>(reply, 0); });
    emitSignal(member, {arrayValue(passDataArray)});
}

void AutomationInstance::KeyDown(int16_t& KeyCode, int16_t& Shift)
{
    if (ending_)
        return;
    const Depth depth(*this);
    callSinks("KeyDown", [&] { return QVariantList{integerValue(KeyCode), integerValue(Shift)}; },
        [&](const QDBusMessage& reply) {
            KeyCode = argumentAt<int16_t>(reply, 0);
            Shift = argumentAt<int16_t>(reply, 1);
        });
    emitSignal("KeyDown", {integerValue(KeyCode), integerValue(Shift)});
}

void AutomationInstance::callSinks(const char* member, const std::function<QVariantList()>& arguments,
    const std::function<void(const QDBusMessage&)>& takeReply)
{
    const QString& replySignature =
        interfaceMethods(QString::fromLatin1(dbus::kSinkInterface)).at(QString::fromLatin1(member)).out;
    for (const EventSinkAddress& sink : sinks_.sinks()) {
        if (!sinks_.contains(sink.cookie))   // unadvised while an earlier sink ran
            continue;
        auto call = QDBusMessage::createMethodCall(sink.service, sink.path, QString::fromLatin1(dbus::kSinkInterface),
            QString::fromLatin1(member));
        call.setArguments(arguments());
        const QDBusMessage reply = waitForSink(sink, call);
        if (ending_)
            return;
        if (timedOut(reply)) {
            // Its connection has not answered for the whole timeout: it will not answer the
            // next event either, on any of its sinks.
            dropSinksOf(sink.service);
            continue;
        }
        bool answered = reply.type() == QDBusMessage::ReplyMessage && reply.signature() == replySignature;
        if (answered) {
            try {
                takeReply(reply);
            } catch (const AutomationError&) {
                answered = false;   // an array with bounds no array has
            }
        }
        if (!answered)
            sinks_.unadvise(sink.cookie);
    }
}

QDBusMessage AutomationInstance::waitForSink(const EventSinkAddress& sink, const QDBusMessage& call)
{
    QDBusPendingCallWatcher watcher(connection_.asyncCall(call, static_cast<int>(sinkTimeout_.count())));
    // Other calls are served meanwhile, as a blocking call with the GUI would.
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    sinkWaits_.push_back({sink.service, &loop});
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    sinkWaits_.erase(std::find_if(sinkWaits_.begin(), sinkWaits_.end(), [&](const SinkWait& wait) { return wait.loop == &loop; }));
    if (!watcher.isFinished())
        return call.createErrorReply(QDBusError::NoReply, QStringLiteral("The sink was dropped"));
    return watcher.reply();
}

void AutomationInstance::dropSinksOf(const QString& service)
{
    sinks_.unadviseService(service);
    for (const SinkWait& wait : sinkWaits_)
        if (wait.service == service)
            wait.loop->quit();
}

void AutomationInstance::emitSignal(const char* member, const QVariantList& arguments)
{
    if (ending_)
        return;
    auto signal = QDBusMessage::createSignal(path_, QString::fromLatin1(dbus::kEventsInterface), QString::fromLatin1(member));
    signal.setArguments(arguments);
    connection_.send(signal);
}

} // namespace didev
