#include "PeerBus.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <stdexcept>

namespace {

QString uniqueConnectionName()
{
    static int counter = 0;
    return QStringLiteral("peer-bus-%1").arg(++counter);
}

} // namespace

PeerBus::PeerBus()
    : listener_(QStringLiteral("unix:tmpdir=/tmp"))
    , client_(QDBusConnection::connectToPeer(listener_.address(), uniqueConnectionName()))
{
    QObject::connect(&listener_, &QDBusServer::newConnection, [this](const QDBusConnection& connection) {
        server_ = std::make_unique<QDBusConnection>(connection);
    });
    const QDeadlineTimer deadline(5000);
    while (!server_ && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!server_ || !client_.isConnected())
        throw std::runtime_error("PeerBus: no peer connection");
}

PeerBus::~PeerBus()
{
    const QString clientName = client_.name();
    const QString serverName = server_->name();
    client_ = QDBusConnection(QString());
    server_.reset();
    QDBusConnection::disconnectFromPeer(clientName);
    QDBusConnection::disconnectFromPeer(serverName);
}

QDBusMessage PeerBus::call(const QString& path, const QString& interfaceName, const QString& member,
    const QVariantList& arguments)
{
    auto message = QDBusMessage::createMethodCall(QString(), path, interfaceName, member);
    message.setArguments(arguments);
    return client_.call(message, QDBus::BlockWithGui, 10000);
}
