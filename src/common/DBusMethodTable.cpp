#include "common/DBusMethodTable.h"

#include "common/AutomationError.h"
#include "common/DBusNames.h"

#include <QDBusError>

#include <new>
#include <stdexcept>

namespace didev {

QString automationErrorMessage(const AutomationError& error)
{
    return QString::fromStdString(error.what());
}

DBusCallError::DBusCallError(QDBusError::ErrorType type, const QString& message)
    : std::runtime_error(message.toStdString())
    , type_(type)
{
}

void raiseInvalidArguments(const QString& message)
{
    throw DBusCallError(QDBusError::InvalidArgs, message);
}

DBusMethodTable::DBusMethodTable(QString interfaceName)
    : interfaceName_(std::move(interfaceName))
{
}

void DBusMethodTable::add(const QString& member, const QString& inSignature, Handler handler)
{
    methods_.insert(member, Method{inSignature, std::move(handler)});
}

bool DBusMethodTable::dispatch(const QDBusMessage& call, const QDBusConnection& connection) const
{
    if (call.type() != QDBusMessage::MethodCallMessage)
        return false;
    const bool named = !call.interface().isEmpty();
    if (named && call.interface() != interfaceName_)
        return false;
    const auto method = methods_.constFind(call.member());
    if (method == methods_.constEnd()) {
        if (!named)
            return false;
        sendReply(connection, call,
            call.createErrorReply(QDBusError::UnknownMethod,
                QStringLiteral("No method %1 in interface %2").arg(call.member(), interfaceName_)));
        return true;
    }
    if (call.signature() != method->inSignature) {
        sendReply(connection, call,
            call.createErrorReply(QDBusError::InvalidArgs,
                QStringLiteral("%1 takes (%2), not (%3)").arg(call.member(), method->inSignature, call.signature())));
        return true;
    }
    QDBusMessage reply;
    try {
        reply = call.createReply(method->handler(call));
    } catch (...) {
        reply = replyForCurrentException(call);
    }
    sendReply(connection, call, reply);
    return true;
}

void sendReply(const QDBusConnection& connection, const QDBusMessage& call, const QDBusMessage& reply)
{
    if (call.isReplyRequired())
        connection.send(reply);
}

QDBusMessage replyForCurrentException(const QDBusMessage& call)
{
    try {
        throw;
    } catch (const AutomationError& error) {
        return call.createErrorReply(QString::fromLatin1(dbus::kErrorName), automationErrorMessage(error));
    } catch (const DBusCallError& error) {
        return call.createErrorReply(error.type(), QString::fromStdString(error.what()));
    } catch (const std::bad_alloc&) {
        return call.createErrorReply(QDBusError::NoMemory, QStringLiteral("Out of memory"));
    } catch (const std::exception& error) {
        return call.createErrorReply(QDBusError::Failed, QString::fromStdString(error.what()));
    } catch (...) {
        return call.createErrorReply(QDBusError::Failed, QStringLiteral("Unknown failure"));
    }
}

} // namespace didev
