// A host built with qdbusxml2cpp from the interface files alone, not with our own client: its
// proxies reach the server that D-Bus starts from the build tree, and the picture arrives as a
// descriptor the host reads.
#include "EndToEndFixture.h"
#include "GeneratedProxyTypes.h"
#include "didev_evivod_interface.h"
#include "didev_evivod_test_driver_interface.h"

#include "app/AutomationClient.h"
#include "common/DBusNames.h"

#include <QtEndian>

#include <gtest/gtest.h>

using namespace didev;

namespace {

// Long enough for the first call, which waits while D-Bus starts the server.
constexpr int kCallTimeoutMs = 120000;

template <typename Reply>
Reply answered(Reply reply)
{
    reply.waitForFinished();
    EXPECT_FALSE(reply.isError()) << reply.error().name().toStdString() << ": " << reply.error().message().toStdString();
    return reply;
}

} // namespace

using GeneratedQtProxy = WithoutDriver;

TEST_F(GeneratedQtProxy, ShowsGrabsAndReadsThePictureThroughItsDescriptor)
{
    QDBusConnection& connection = host;
    const QString service = QString::fromLatin1(dbus::kServiceName);

    OrgKelvaraDidevEvivodFactoryInterface factory(service, QString::fromLatin1(dbus::kFactoryPath), connection);
    factory.setTimeout(kCallTimeoutMs);
    const QDBusObjectPath path = answered(factory.CreateInstance()).value();
    ASSERT_TRUE(path.path().startsWith(QLatin1String(dbus::kInstancePathPrefix))) << path.path().toStdString();

    OrgKelvaraDidevEvivod_cDidevEvivodInterface instance(service, path.path(), connection);
    instance.setTimeout(kCallTimeoutMs);
    const auto shown = answered(instance.ShowForm(0, HostStringArray(1, QStringList{"N", "", "", "", "", "", "", "", ""})));
    EXPECT_EQ(shown.argumentAt<0>(), -1);
    EXPECT_EQ(answered(instance.TakeSnapshot()).value(), 1);

    const auto snapshot = answered(instance.GetSnapshot(1, 0, 0, 0.0, QString()));
    const int hPicture = snapshot.argumentAt<0>();
    EXPECT_NE(hPicture, 0);
    const QDBusUnixFileDescriptor descriptor = answered(instance.GetPictureData(hPicture)).value();
    ASSERT_TRUE(descriptor.isValid());
    const QByteArray bitmap = readWholeFile(descriptor.fileDescriptor());
    ASSERT_GT(bitmap.size(), 54);
    EXPECT_TRUE(bitmap.startsWith("BM"));
    EXPECT_EQ(qFromLittleEndian<quint32>(bitmap.constData() + 2), static_cast<quint32>(bitmap.size()));

    answered(instance.Release());
}
