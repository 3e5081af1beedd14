#include "capture/CaptureControl.h"
#include "capture/DeviceMonitor.h"
#include "capture/DeviceWatch.h"
#include "support/ProcessResources.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

using namespace didev;

// Cameras of the test's own, behind a provider the module knows nothing about, registered as a
// plugin's would be (the system's cameras come from such providers): the test plugs them in and
// out as hardware comes and goes.
G_DECLARE_FINAL_TYPE(TestCamera, test_camera, TEST, CAMERA, GstDevice)
struct _TestCamera {
    GstDevice parent;
};
G_DEFINE_TYPE(TestCamera, test_camera, GST_TYPE_DEVICE)
static void test_camera_class_init(TestCameraClass*) {}
static void test_camera_init(TestCamera*) {}

G_DECLARE_FINAL_TYPE(TestCameraProvider, test_camera_provider, TEST, CAMERA_PROVIDER, GstDeviceProvider)
struct _TestCameraProvider {
    GstDeviceProvider parent;
};
G_DEFINE_TYPE(TestCameraProvider, test_camera_provider, GST_TYPE_DEVICE_PROVIDER)
static void test_camera_provider_init(TestCameraProvider*) {}
static void test_camera_provider_class_init(TestCameraProviderClass* klass)
{
    auto* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->start = [](GstDeviceProvider*) -> gboolean { return TRUE; };
    gst_device_provider_class_set_static_metadata(provider, "Test cameras", "Source/Video/Audio", "Plugged in by tests", "tests");
}

namespace {

constexpr const char* kTestProvider = "didevtestcameras";

GstObjectPtr<GstDeviceProvider> testProvider()
{
    ensureGstreamer();
    static const bool registered = gst_device_provider_register(nullptr, kTestProvider, GST_RANK_PRIMARY, test_camera_provider_get_type());
    EXPECT_TRUE(registered);
    return GstObjectPtr<GstDeviceProvider>(gst_device_provider_factory_get_by_name(kTestProvider));
}

GstDevice* testCamera(const char* name, const char* classes)
{
    return GST_DEVICE(g_object_new(test_camera_get_type(), "display-name", name, "device-class", classes, nullptr));
}

QStringList namesOf(const QList<CaptureDevice>& devices)
{
    QStringList names;
    for (const CaptureDevice& device : devices)
        names.append(device.name);
    return names;
}

CaptureOptions systemDevicesOnly()
{
    CaptureOptions options;
    options.systemDevices = true;
    return options;
}

} // namespace

TEST(DeviceMonitor, ListingAndMonitorsComingAndGoingCostNoDescriptorsOrThreads)
{
    // The first start of each provider opens what it keeps for the process (a sound-server
    // provider that finds no server, for one).
    { DeviceMonitor warmUp; }
    const int descriptors = openDescriptorCount();
    const int threads = threadCount();
    for (int round = 0; round < 3; ++round) {
        DeviceMonitor monitor;
        const int running = openDescriptorCount();
        for (int listing = 0; listing < 20; ++listing) {
            monitor.devices(DeviceKind::Video);
            monitor.devices(DeviceKind::Audio);
            CaptureControl control(systemDevicesOnly());
        }
        EXPECT_EQ(openDescriptorCount(), running) << "round " << round;
    }
    EXPECT_EQ(openDescriptorCount(), descriptors);
    EXPECT_TRUE(QTest::qWaitFor([&] { return threadCount() == threads; })) << threadCount() << " threads, " << threads << " before";
}

TEST(DeviceMonitor, ArrivalsAndRemovalsAreToldOnTheUiThreadAndListedFromTheCache)
{
    const GstObjectPtr<GstDeviceProvider> provider = testProvider();
    ASSERT_TRUE(provider);
    DeviceMonitor monitor;
    ASSERT_TRUE(monitor.providers().contains(QLatin1String(kTestProvider))) << monitor.providers().join(u' ').toStdString();
    QStringList told;
    const auto record = [&](const char* what) {
        return [&told, what](DeviceKind kind, const CaptureDevice& device) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            told.append(QStringLiteral("%1 %2 %3").arg(QLatin1String(what), kind == DeviceKind::Video ? "video" : "audio", device.name));
        };
    };
    QObject::connect(&monitor, &DeviceMonitor::deviceAdded, record("added"));
    QObject::connect(&monitor, &DeviceMonitor::deviceRemoved, record("removed"));
    // The device watch takes a camera's arrival and removal as a device notice; a microphone's is none.
    DeviceWatch watch;
    QSignalSpy changed(&watch, &DeviceWatch::videoDeviceChanged);
    QStringList notices;
    QObject::connect(&watch, &DeviceWatch::noticeHandled, [&](const QString& action, const QString& subsystem, bool video) {
        notices.append(QStringLiteral("%1 %2 %3").arg(action, subsystem, video ? "notice" : "none"));
    });

    struct Plugged {
        const char* name;
        const char* classes;
    };
    // A sink is neither camera nor microphone: neither told nor listed.
    const Plugged plugged[] = {{"Crane Camera", "Video/Source"}, {"Boom Mic", "Audio/Source"}, {"Field Monitor", "Video/Sink"}};
    std::vector<GstDevice*> devices;
    // Providers post from threads of their own.
    std::thread([&] {
        for (const Plugged& device : plugged) {
            devices.push_back(GST_DEVICE(gst_object_ref(testCamera(device.name, device.classes))));
            gst_device_provider_device_add(provider.get(), devices.back());
        }
    }).join();
    const QStringList arrivals{"added video Crane Camera", "added audio Boom Mic"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return told.size() >= 2; })) << told.join(u',').toStdString();
    EXPECT_EQ(told, arrivals);
    EXPECT_TRUE(namesOf(monitor.devices(DeviceKind::Video)).contains("Crane Camera"));
    EXPECT_TRUE(namesOf(monitor.devices(DeviceKind::Audio)).contains("Boom Mic"));
    EXPECT_FALSE(namesOf(monitor.devices(DeviceKind::Video)).contains("Field Monitor"));
    EXPECT_EQ(notices, QStringList({"add Video/Source notice", "add Audio/Source none"}));
    EXPECT_EQ(changed.count(), 1);

    gst_device_provider_device_remove(provider.get(), devices.front());
    EXPECT_TRUE(QTest::qWaitFor([&] { return told.size() >= 3; }));
    EXPECT_EQ(told.value(2), "removed video Crane Camera");
    EXPECT_EQ(notices.value(2), "remove Video/Source notice");
    EXPECT_FALSE(namesOf(monitor.devices(DeviceKind::Video)).contains("Crane Camera"));
    for (size_t i = 1; i < devices.size(); ++i)
        gst_device_provider_device_remove(provider.get(), devices[i]);
    for (GstDevice* device : devices)
        gst_object_unref(device);
}
