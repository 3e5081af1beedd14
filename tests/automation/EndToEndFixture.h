#pragma once

#include "PrivateSessionBus.h"

#include "app/AutomationClient.h"
#include "automation/TestDriverRows.h"

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
    // A key pressed on the test driver's `window` ("capture", "viewer", "message").
    void pressKey(const QString& window, int16_t keyCode, int16_t shift = 0);
    // The message boxes shown since the last time asked.
    QList<didev::ShownMessage> messages();
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

// A server as the users of a host get it: without the test driver.
class WithoutDriver : public EndToEnd {
protected:
    bool withTestDriver() const override { return false; }
};

// The bytes of a file, empty when it cannot be read.
QByteArray fileBytes(const QString& path);

// Shows the capture window (expecting True) at Top 1200, the given Left, 5250 x 4320 twips, the
// viewer where it likes, and returns the form ID for CloseForm.
int16_t showForm(didev::AutomationClient& client, const QString& notify = QStringLiteral("N"), int left = 900);
// Closes the window; the array as CloseForm left it.
didev::HostStringArray closeForm(didev::AutomationClient& client, int16_t formID);

struct StoredFrame {
    int32_t hPicture = 0;
    int16_t frameID = 0;
    double frameTime = 0;
    QString frameTimecode;
    bool operator==(const StoredFrame&) const = default;
};
StoredFrame snapshotAt(didev::AutomationClient& client, int16_t index);
didev::HostBoolean saveSnapshot(didev::AutomationClient& client, int16_t index, const QString& fileName, int16_t format);
