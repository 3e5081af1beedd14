#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QHash>
#include <QString>
#include <QVariantList>

#include <functional>
#include <stdexcept>

namespace didev {

class AutomationError;

// One interface's methods: each call is checked against the method's input signature, run, and
// answered with its out-arguments or with an error. Nothing a handler throws leaves here: an
// automation error becomes org.kelvara.DidevEvivod.Error "Error <number> (<source>):
// <description>", wrong argument types org.freedesktop.DBus.Error.InvalidArgs.
class DBusMethodTable {
public:
    // The out-arguments of a call, in order.
    using Handler = std::function<QVariantList(const QDBusMessage& call)>;

    explicit DBusMethodTable(QString interfaceName);

    void add(const QString& member, const QString& inSignature, Handler handler);

    // True when the call belongs to this interface, by name or (without one) by its member; it
    // has then been answered. False leaves the call to others.
    bool dispatch(const QDBusMessage& call, const QDBusConnection& connection) const;

    const QString& interfaceName() const noexcept { return interfaceName_; }

private:
    struct Method {
        QString inSignature;
        Handler handler;
    };

    QString interfaceName_;
    QHash<QString, Method> methods_;
};

// A reply to `call` unless the caller asked for none.
void sendReply(const QDBusConnection& connection, const QDBusMessage& call, const QDBusMessage& reply);

// The error reply of a handler's exception currently being handled (call inside a catch block).
QDBusMessage replyForCurrentException(const QDBusMessage& call);

// "Error <number> (<source>): <description>"
QString automationErrorMessage(const AutomationError& error);

// One of the bus's own errors, thrown by a handler to answer with it.
class DBusCallError : public std::runtime_error {
public:
    DBusCallError(QDBusError::ErrorType type, const QString& message);
    QDBusError::ErrorType type() const noexcept { return type_; }

private:
    QDBusError::ErrorType type_;
};

// InvalidArgs: the caller's argument values or types are unusable.
[[noreturn]] void raiseInvalidArguments(const QString& message);

} // namespace didev
