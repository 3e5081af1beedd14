#include "app/AutomationClient.h"

#include "app/HostCallError.h"
#include "common/DBusNames.h"
#include "common/HostStringArrayDBus.h"

#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace didev {

namespace {

template <typename T>
T replyAt(const QDBusMessage& reply, int index)
{
    return qvariant_cast<T>(reply.arguments().at(index));
}

HostStringArray arrayAt(const QDBusMessage& reply, int index)
{
    HostStringArray array;
    replyAt<QDBusArgument>(reply, index) >> array;
    return array;
}

constexpr int kCreateRetries = 3;

bool isDisconnected(const QDBusMessage& reply)
{
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")
        && reply.errorMessage().contains(QLatin1String("disconnected"));
}

bool isStoppingServer(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    return reply.type() == QDBusMessage::ErrorMessage
        && (isDisconnected(reply)
            || (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
                && reply.errorMessage().contains(QLatin1String("stopping"))));
}

QVariant integer(int16_t value)
{
    return QVariant::fromValue<short>(value);
}

[[noreturn]] void raiseSystem(const char* call)
{
    throw HostCallError(QStringLiteral("system"), QStringLiteral("%1: %2").arg(QLatin1String(call), QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

AutomationClient::AutomationClient(const QDBusConnection& bus, int timeoutMs)
    : bus_(bus)
    , timeoutMs_(timeoutMs)
{
    registerHostStringArrayType();
}

AutomationClient::~AutomationClient()
{
    if (owned_ && bus_.isConnected()) {
        auto message = QDBusMessage::createMethodCall(service_, path_, QString::fromLatin1(dbus::kAutomationInterface),
            QStringLiteral("Release"));
        bus_.call(message, QDBus::BlockWithGui, 5000);
    }
}

void AutomationClient::create()
{
    auto message = QDBusMessage::createMethodCall(QString::fromLatin1(dbus::kServiceName),
        QString::fromLatin1(dbus::kFactoryPath), QString::fromLatin1(dbus::kFactoryInterface),
        QStringLiteral("CreateInstance"));
    // The first call waits while D-Bus starts the server.
    const int timeoutMs = std::max(timeoutMs_, kStartTimeoutMs);
    QDBusMessage reply = bus_.call(message, QDBus::BlockWithGui, timeoutMs);
    // A server that is just ending turns the call away or drops it; the next call starts a new one.
    for (int retry = 0; retry < kCreateRetries && isStoppingServer(reply); ++retry) {
        QThread::msleep(100);
        reply = bus_.call(message, QDBus::BlockWithGui, timeoutMs);
    }
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw callError(reply, timeoutMs);
    if (reply.signature() != QLatin1String("o"))
        throw HostCallError(QStringLiteral("reply"), QStringLiteral("CreateInstance answered (%1)").arg(reply.signature()));
    service_ = reply.service();
    path_ = replyAt<QDBusObjectPath>(reply, 0).path();
    owned_ = true;
}

void AutomationClient::attach(const QString& service, const QString& path)
{
    service_ = service;
    path_ = path;
    owned_ = false;
}

void AutomationClient::release()
{
    call(QStringLiteral("Release"), {}, QString());
    owned_ = false;
}

HostCallError AutomationClient::callError(const QDBusMessage& reply, int timeoutMs)
{
    // The bus's own text for a call that timed out lists every cause it could have.
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") && !isDisconnected(reply))
        return HostCallError(QString::fromLatin1(kTimeoutError), QStringLiteral("no answer within %1 s").arg(timeoutMs / 1000));
    return HostCallError(reply.errorName(), reply.errorMessage());
}

QDBusMessage AutomationClient::callInterface(const QString& interfaceName, const QString& member,
    const QVariantList& arguments, const QString& replySignature)
{
    auto message = QDBusMessage::createMethodCall(service_, path_, interfaceName, member);
    message.setArguments(arguments);
    const QDBusMessage reply = bus_.call(message, QDBus::BlockWithGui, timeoutMs_);
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw callError(reply, timeoutMs_);
    if (reply.signature() != replySignature)
        throw HostCallError(QStringLiteral("reply"),
            QStringLiteral("%1 answered (%2), not (%3)").arg(member, reply.signature(), replySignature));
    return reply;
}

QDBusMessage AutomationClient::call(const QString& member, const QVariantList& arguments, const QString& replySignature)
{
    return callInterface(QString::fromLatin1(dbus::kAutomationInterface), member, arguments, replySignature);
}

void AutomationClient::ClearSnapshots()
{
    call(QStringLiteral("ClearSnapshots"), {}, QString());
}

void AutomationClient::ClearSavedSnapshots()
{
    call(QStringLiteral("ClearSavedSnapshots"), {}, QString());
}

void AutomationClient::CloseForm(int16_t& formID, HostStringArray& passDataArray)
{
    const auto reply = call(QStringLiteral("CloseForm"), {integer(formID), QVariant::fromValue(passDataArray)}, "(ias)");
    passDataArray = arrayAt(reply, 0);
}

void AutomationClient::GetSettings(HostStringArray& passDataArray)
{
    const auto reply = call(QStringLiteral("GetSettings"), {QVariant::fromValue(passDataArray)}, "(ias)");
    passDataArray = arrayAt(reply, 0);
}

void AutomationClient::GetSnapshot(int16_t& index, int32_t& hPicture, int16_t& frameID, double& frameTime,
    QString& frameTimecode)
{
    const auto reply = call(QStringLiteral("GetSnapshot"),
        {integer(index), hPicture, integer(frameID), frameTime, frameTimecode}, "inds");
    hPicture = replyAt<int32_t>(reply, 0);
    frameID = replyAt<int16_t>(reply, 1);
    frameTime = replyAt<double>(reply, 2);
    frameTimecode = replyAt<QString>(reply, 3);
}

int16_t AutomationClient::GetSnapshotCount()
{
    return replyAt<int16_t>(call(QStringLiteral("GetSnapshotCount"), {}, "n"), 0);
}

void AutomationClient::PictureSavedByLogger(int16_t& index, HostBoolean& setting)
{
    call(QStringLiteral("PictureSavedByLogger"), {integer(index), integer(setting)}, QString());
}

HostBoolean AutomationClient::SaveSnapshot(int16_t& index, QString& fileName, int16_t& format, int16_t& colorDepth,
    int16_t& colorReduction)
{
    const auto reply = call(QStringLiteral("SaveSnapshot"),
        {integer(index), fileName, integer(format), integer(colorDepth), integer(colorReduction)}, "n");
    return replyAt<int16_t>(reply, 0);
}

void AutomationClient::SetPointers(QString& appMainWindow, QString& apPath, QString& wkPath, QString& tmpPath,
    int32_t& userRegArea)
{
    call(QStringLiteral("SetPointers"), {appMainWindow, apPath, wkPath, tmpPath, userRegArea}, QString());
}

void AutomationClient::SetProperty(int16_t& propID, QString& propValue)
{
    call(QStringLiteral("SetProperty"), {integer(propID), propValue}, QString());
}

HostBoolean AutomationClient::ShowForm(int16_t& formID, HostStringArray& passDataArray)
{
    const auto reply = call(QStringLiteral("ShowForm"), {integer(formID), QVariant::fromValue(passDataArray)}, "n(ias)");
    passDataArray = arrayAt(reply, 1);
    return replyAt<int16_t>(reply, 0);
}

int16_t AutomationClient::TakeSnapshot()
{
    return replyAt<int16_t>(call(QStringLiteral("TakeSnapshot"), {}, "n"), 0);
}

HostBoolean AutomationClient::AllowInternalCapture()
{
    const auto reply = callInterface(QString::fromLatin1(dbus::kPropertiesInterface), QStringLiteral("Get"),
        {QString::fromLatin1(dbus::kAutomationInterface), QString::fromLatin1(dbus::kAllowInternalCaptureProperty)}, "v");
    const QVariant value = replyAt<QDBusVariant>(reply, 0).variant();
    if (value.metaType() != QMetaType::fromType<short>())
        throw HostCallError(QStringLiteral("reply"), QStringLiteral("AllowInternalCapture is not of type n"));
    return value.value<short>();
}

void AutomationClient::setAllowInternalCapture(HostBoolean value)
{
    callInterface(QString::fromLatin1(dbus::kPropertiesInterface), QStringLiteral("Set"),
        {QString::fromLatin1(dbus::kAutomationInterface), QString::fromLatin1(dbus::kAllowInternalCaptureProperty),
            QVariant::fromValue(QDBusVariant(integer(value)))},
        QString());
}

QByteArray AutomationClient::GetPictureData(int32_t hPicture)
{
    const auto reply = call(QStringLiteral("GetPictureData"), {hPicture}, "h");
    return readWholeFile(replyAt<QDBusUnixFileDescriptor>(reply, 0).fileDescriptor());
}

uint32_t AutomationClient::Advise(const QString& sinkPath)
{
    return replyAt<uint32_t>(call(QStringLiteral("Advise"), {QVariant::fromValue(QDBusObjectPath(sinkPath))}, "u"), 0);
}

void AutomationClient::Unadvise(uint32_t cookie)
{
    call(QStringLiteral("Unadvise"), {cookie}, QString());
}

QByteArray readWholeFile(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        raiseSystem("fstat");
    QByteArray bytes(static_cast<qsizetype>(status.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::pread(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done), done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            raiseSystem("pread");
        if (got == 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

} // namespace didev
