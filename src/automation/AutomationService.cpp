#include "automation/AutomationService.h"

#include "automation/AutomationInstance.h"
#include "common/DBusNames.h"

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>

#include <algorithm>

namespace didev {

namespace {

using namespace std::chrono_literals;

// How often an instance that has ended looks again whether a modal window that may hold it
// (one a person opened) has closed.
constexpr auto kModalRetry = 50ms;

} // namespace

AutomationService::AutomationService(Module& module, const QDBusConnection& connection, QObject* parent)
    : DBusTableObject(QString::fromLatin1(dbus::kFactoryInterface), parent)
    , module_(module)
    , connection_(connection)
    , ownerWatcher_(QString(), connection, QDBusServiceWatcher::WatchForUnregistration)
    , peers_(connection)
    , sinkTimeout_(AutomationInstance::kSinkTimeout)
{
    methods_.add("CreateInstance", [this](const QDBusMessage& call) {
        return QVariantList{QVariant::fromValue(QDBusObjectPath(createInstance(call.service())))};
    });
    connect(&ownerWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, &AutomationService::endInstancesOf);

    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        if (!everCreated_)
            finishWhenEmpty();
    });
    reapTimer_.setSingleShot(true);
    connect(&reapTimer_, &QTimer::timeout, this, &AutomationService::reapEndedInstances);
    // Without a bus nobody can reach the server or tell it to go.
    connectionTimer_.setInterval(1s);
    connect(&connectionTimer_, &QTimer::timeout, this, &AutomationService::checkConnection);
    connectionTimer_.start();
}

AutomationService::~AutomationService()
{
    connection_.unregisterObject(QString::fromLatin1(dbus::kFactoryPath));
    for (auto& [number, instance] : instances_)
        connection_.unregisterObject(instance->path());
    instances_.clear();
    ending_.clear();
}

bool AutomationService::exportFactory()
{
    return connection_.registerVirtualObject(QString::fromLatin1(dbus::kFactoryPath), this);
}

void AutomationService::startIdleTimeout(std::chrono::milliseconds timeout)
{
    idleTimer_.start(timeout);
}

QString AutomationService::createInstance(const QString& owner)
{
    if (finished_) {
        if (!connection_.isConnected() || !onRevived || !onRevived())
            throw DBusCallError(QDBusError::ServiceUnknown, QStringLiteral("The server is stopping; ask again"));
        finished_ = false;
        connectionTimer_.start();
    }
    const int number = nextNumber_++;
    const QString path = QString::fromLatin1(dbus::kInstancePathPrefix) + QString::number(number);
    // A host may serve its sinks on a second connection: its calls come from there too.
    auto instance = std::make_unique<AutomationInstance>(module_, connection_, path, owner,
        [this](const QString& caller, const QString& ownerName) { return peers_.sameProcess(caller, ownerName); });
    AutomationInstance* raw = instance.get();
    raw->setSinkTimeout(sinkTimeout_);
    raw->onReleaseRequested = [this, raw] { endInstance(raw); };
    raw->onIdle = [this] {
        if (!ending_.empty())
            reapTimer_.start(0ms);
    };
    if (!connection_.registerVirtualObject(path, raw))
        throw DBusCallError(QDBusError::Failed, QStringLiteral("Cannot export %1").arg(path));
    instances_.emplace(number, std::move(instance));
    everCreated_ = true;

    ownerWatcher_.addWatchedService(owner);
    // The owner may have left between its call and the watch.
    if (!connection_.interface()->isServiceRegistered(owner).value())
        QTimer::singleShot(0, this, [this, owner] { endInstancesOf(owner); });
    return path;
}

void AutomationService::endInstance(AutomationInstance* instance)
{
    const auto found = std::find_if(instances_.begin(), instances_.end(),
        [&](const auto& entry) { return entry.second.get() == instance; });
    if (found == instances_.end())
        return;
    const QString owner = instance->owner();
    connection_.unregisterObject(instance->path());
    ending_.push_back(std::move(found->second));
    instances_.erase(found);
    const bool ownerHasMore = std::any_of(instances_.begin(), instances_.end(),
        [&](const auto& entry) { return entry.second->owner() == owner; });
    if (!ownerHasMore)
        ownerWatcher_.removeWatchedService(owner);
    ending_.back()->end();
    // Never inside the call that asked for the end: its reply goes out first.
    reapTimer_.start(0ms);
}

void AutomationService::endInstancesOf(const QString& owner)
{
    std::vector<AutomationInstance*> owned;
    for (const auto& [number, instance] : instances_)
        if (instance->owner() == owner)
            owned.push_back(instance.get());
    for (AutomationInstance* instance : owned)
        endInstance(instance);
}

void AutomationService::reapEndedInstances()
{
    // Destroying one may run nested loops in which another ends: take them one at a time.
    while (true) {
        const auto done = std::find_if(ending_.begin(), ending_.end(), [](const auto& instance) { return instance->destroyable(); });
        if (done == ending_.end())
            break;
        std::unique_ptr<AutomationInstance> instance = std::move(*done);
        ending_.erase(done);
        instance.reset();
    }
    // A busy one says when it is idle; one held by a person's modal window is looked at again.
    if (std::any_of(ending_.begin(), ending_.end(), [](const auto& instance) { return !instance->busy(); }))
        reapTimer_.start(kModalRetry);
    finishWhenEmpty();
}

void AutomationService::finishWhenEmpty()
{
    if (finished_ || !instances_.empty() || !ending_.empty())
        return;
    finish();
}

void AutomationService::finish()
{
    finished_ = true;
    connectionTimer_.stop();
    if (onFinished)
        onFinished();
}

void AutomationService::checkConnection()
{
    if (!connection_.isConnected())
        finish();
}

} // namespace didev
