#include "capture/DeviceWatch.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace didev;

namespace {

struct NoticeCase {
    const char* action;
    const char* subsystem;
    bool setsFlag;
};

const NoticeCase kNotices[] = {
    {"add", "video4linux", true},
    {"remove", "video4linux", true},
    {"change", "video4linux", false},   // a format change is no arrival
    {"add", "block", false},            // a storage volume
    {"add", "usb", false},              // the camera's USB interface is not the video device
    {"add", "VIDEO4LINUX", false},
};

} // namespace

class DeviceNotice : public testing::TestWithParam<NoticeCase> {};

// Only a video device arriving or leaving is a notice; it is signalled through the event loop.
TEST_P(DeviceNotice, OnlyVideoArrivalAndRemovalAreSignalledThroughTheEventLoop)
{
    const NoticeCase& c = GetParam();
    DeviceWatch watch;
    QSignalSpy changed(&watch, &DeviceWatch::videoDeviceChanged);
    QSignalSpy handled(&watch, &DeviceWatch::noticeHandled);

    watch.postNotice(QString::fromUtf8(c.action), QString::fromUtf8(c.subsystem));
    EXPECT_EQ(changed.count(), 0) << "a notice arrives later, as one from udev does";
    ASSERT_TRUE(handled.wait(2000));

    EXPECT_EQ(changed.count(), c.setsFlag ? 1 : 0);
    EXPECT_EQ(handled[0][2].toBool(), c.setsFlag);
}

INSTANTIATE_TEST_SUITE_P(Table, DeviceNotice, testing::ValuesIn(kNotices));

