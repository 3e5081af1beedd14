#pragma once

#include "PrivateSessionBus.h"

#include "app/AutomationClient.h"

#include <QDBusMessage>
#include <QTemporaryDir>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

// Each test gets a private session bus; the first call of a host starts the server by
// activation, with a virtual camera, off screen, with the test driver.
class EndToEnd : public testing::Test {
protected:
    void SetUp() override;
    // The server of this test exports the test driver.
    virtual bool withTestDriver() const { return true; }
    void TearDown() override;

    // A call of the test driver, its reply checked for the given signature.
    QDBusMessage drive(const QString& member, const QVariantList& arguments = {}, const QString& replySignature = {});
    QVariantMap windowState(const QString& window);
    // Serves events until `condition` holds or the time is up.
    static bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
    // A raw call to the service from `connection` (default: the host's).
    QDBusMessage rawCall(const QString& path, const QString& interfaceName, const QString& member,
        const QVariantList& arguments, QDBusConnection* connection = nullptr);

    QString file(const QString& name) const { return folder.filePath(name); }

    QTemporaryDir folder;
    std::unique_ptr<PrivateSessionBus> bus;
    QDBusConnection host{QString()};
};

// The bytes of a file, empty when it cannot be read.
QByteArray fileBytes(const QString& path);
