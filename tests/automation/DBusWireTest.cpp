// The service's wire layer without a bus daemon: string arrays, the method table's answers and
// errors, and the sealed bitmap file, each sent through a real peer-to-peer connection.
#include "PeerBus.h"
#include "support/AutomationErrors.h"

#include "app/HostEventSink.h"
#include "automation/AutomationInstance.h"
#include "automation/AutomationService.h"
#include "automation/Module.h"
#include "automation/TestDriver.h"
#include "common/DBusMethodTable.h"
#include "common/DBusNames.h"
#include "common/HostStringArrayDBus.h"
#include "common/AutomationError.h"
#include "imaging/BitmapFile.h"
#include "snapshots/SealedBitmapFile.h"

#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <tuple>

using namespace didev;

namespace {

constexpr char kInterface[] = "org.kelvara.Test";
constexpr int32_t kMinLong = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxLong = std::numeric_limits<int32_t>::max();

// An object answering from a method table, as the service's objects do.
class TableObject final : public QDBusVirtualObject {
public:
    DBusMethodTable table{QString::fromLatin1(kInterface),
        {{"Echo", {"(ias)", "(ias)"}}, {"Fail", {"i", ""}}, {"Overflow", {}}, {"Huge", {}}, {"Picture", {"i", "h"}}}};
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        return table.dispatch(message, connection);
    }
};

// A structure with the array's signature but bounds chosen freely, as a hostile caller sends it.
struct RawArray {
    int32_t lowerBound = 0;
    QStringList elements;
};

QDBusArgument& operator<<(QDBusArgument& argument, const RawArray& array)
{
    argument.beginStructure();
    argument << array.lowerBound << array.elements;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RawArray& array)
{
    argument.beginStructure();
    argument >> array.lowerBound >> array.elements;
    argument.endStructure();
    return argument;
}

class DBusWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerHostStringArrayType();
        qDBusRegisterMetaType<RawArray>();
        object.table.add("Echo", [](const QDBusMessage& call) {
            HostStringArray array;
            qvariant_cast<QDBusArgument>(call.arguments().at(0)) >> array;
            return QVariantList{QVariant::fromValue(array)};
        });
        object.table.add("Fail", [](const QDBusMessage& call) -> QVariantList {
            throw AutomationError(call.arguments().at(0).toInt(), "Somewhere", "It broke");
        });
        object.table.add("Overflow", [](const QDBusMessage&) -> QVariantList { raiseError(ErrorNumber::Overflow); });
        object.table.add("Huge", [](const QDBusMessage&) -> QVariantList { throw std::bad_alloc(); });
        object.table.add("Picture", [](const QDBusMessage& call) {
            const auto picture = Picture::fromHandle(static_cast<PictureHandle>(call.arguments().at(0).toInt()));
            if (!picture)
                raiseError(ErrorNumber::SubscriptOutOfRange);
            const auto file = SealedBitmapFile::fromPicture(picture);
            return QVariantList{QVariant::fromValue(QDBusUnixFileDescriptor(file.descriptor()))};
        });
        ASSERT_TRUE(peers.server().registerVirtualObject("/t", &object));
    }

    QDBusMessage call(const QString& member, const QVariantList& arguments = {}, const QString& interfaceName = kInterface)
    {
        return peers.call("/t", interfaceName, member, arguments);
    }

    PeerBus peers;
    TableObject object;
};

HostStringArray echoed(const QDBusMessage& reply)
{
    HostStringArray array;
    qvariant_cast<QDBusArgument>(reply.arguments().at(0)) >> array;
    return array;
}

std::vector<uint8_t> readAll(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(status.st_size));
    if (!bytes.empty() && ::pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        return {};
    return bytes;
}

PicturePtr gradient(int width, int height)
{
    return Picture::create(width, height, [&](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t* pixel = bits + y * stride + x * 4;
                pixel[0] = static_cast<uint8_t>(x * 7);
                pixel[1] = static_cast<uint8_t>(y * 13);
                pixel[2] = static_cast<uint8_t>(x + y);
                pixel[3] = 0xEE;   // never reaches the 24-bit file
            }
    });
}

// Made while the process is short of descriptors, a picture keeps none of its own.
PicturePtr gradientWithoutDescriptor(int width, int height)
{
    struct rlimit saved {};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    const int next = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(next);
    struct rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(next) + 4;
    ::setrlimit(RLIMIT_NOFILE, &low);
    PicturePtr picture = gradient(width, height);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    return picture;
}

} // namespace

TEST_F(DBusWire, StringArraysKeepLowerBoundAndElementsWhateverTheBounds)
{
    const QString longText(100000, QChar(0x263A));
    const HostStringArray cases[] = {
        HostStringArray(),
        HostStringArray(0, QStringList{"", "Y", "1 500"}),
        HostStringArray(1, QStringList{"a"}),
        HostStringArray(-5, QStringList{"m", "n"}),
        HostStringArray(kMinLong, QStringList{"lowest"}),
        HostStringArray(kMinLong, 0),
        HostStringArray(kMaxLong, QStringList{"highest"}),
        HostStringArray(7, QStringList{longText, QString::fromUtf8("Zo\u00eb \u65e5\u672c")}),
    };
    for (const HostStringArray& array : cases) {
        const QDBusMessage reply = call("Echo", {QVariant::fromValue(array)});
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        EXPECT_EQ(reply.signature(), "(ias)");
        EXPECT_EQ(echoed(reply), array) << array.lowerBound();
    }
}

TEST_F(DBusWire, ArraysWhoseUpperBoundPassesTheLongRangeAreError9)
{
    const RawArray bad[] = {
        {kMaxLong, {"a", "b"}},
        {kMaxLong - 2, {"a", "b", "c", "d"}},
    };
    for (const RawArray& array : bad) {
        const QDBusMessage reply = call("Echo", {QVariant::fromValue(array)});
        EXPECT_EQ(reply.errorName(), dbus::kErrorName);
        EXPECT_EQ(reply.errorMessage(), "Error 9 (KelvaraDidevEvivod): Subscript out of range");
    }
    // A large array still arrives whole.
    RawArray large{-1, QStringList(200000, QStringLiteral("x"))};
    const QDBusMessage reply = call("Echo", {QVariant::fromValue(large)});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(echoed(reply).count(), 200000);
    EXPECT_EQ(echoed(reply).lowerBound(), -1);
}

TEST_F(DBusWire, ErrorsTravelAsNumberSourceAndDescriptionAndWrongArgumentsAsInvalidArgs)
{
    const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    const QString automation = QString::fromLatin1(dbus::kErrorName);
    const struct {
        const char* what;
        QString member;
        QVariantList arguments;
        QString interfaceName;
        QString errorName;
        QString errorMessage;   // empty: not checked
    } cases[] = {
        {"plain string array", "Echo", {QStringList{"a"}}, kInterface, invalidArgs, {}},
        {"no argument", "Echo", {}, kInterface, invalidArgs, {}},
        {"extra argument", "Fail", {1, 2}, kInterface, invalidArgs, {}},
        {"Integer for Long", "Fail", {QVariant::fromValue<short>(1)}, kInterface, invalidArgs, {}},
        {"Double for Long", "Fail", {std::numeric_limits<double>::quiet_NaN()}, kInterface, invalidArgs, {}},
        {"unknown member", "Nothing", {}, kInterface, "org.freedesktop.DBus.Error.UnknownMethod", {}},
        {"the member alone finds the method", "Fail", {9}, QString(), automation, {}},
        {"an error of another source", "Fail", {26001}, kInterface, automation, "Error 26001 (Somewhere): It broke"},
        {"the module's own error", "Overflow", {}, kInterface, automation, "Error 6 (KelvaraDidevEvivod): Overflow"},
        {"out of memory", "Huge", {}, kInterface, "org.freedesktop.DBus.Error.NoMemory", {}},
    };
    for (const auto& c : cases) {
        const QDBusMessage reply = call(c.member, c.arguments, c.interfaceName);
        EXPECT_EQ(reply.errorName(), c.errorName) << c.what;
        if (!c.errorMessage.isEmpty()) {
            EXPECT_EQ(reply.errorMessage(), c.errorMessage) << c.what;
        }
    }
    // The object goes on answering after every failure.
    EXPECT_EQ(call("Echo", {QVariant::fromValue(HostStringArray(3, QStringList{"k"}))}).type(), QDBusMessage::ReplyMessage);
}

// The bytes are the bitmap export's (the end-to-end road compares them); here, that they arrive
// whole and sealed, are the picture's own file rather than a copy, and can be read in order by
// each receiver: for a large picture, one without pixels and one that kept no descriptor.
TEST_F(DBusWire, PictureDataIsASealedReadOnlyBitmapFile)
{
    for (const auto& [width, height, keepsDescriptor] : {std::tuple{641, 500, true}, {0, 0, true}, {64, 48, false}}) {
        const PicturePtr picture = keepsDescriptor ? gradient(width, height) : gradientWithoutDescriptor(width, height);
        ASSERT_EQ(picture->descriptor() >= 0, keepsDescriptor);
        const auto pictureData = [&] {
            const QDBusMessage reply = call("Picture", {static_cast<int32_t>(picture->handle())});
            EXPECT_EQ(reply.signature(), "h") << reply.errorMessage().toStdString();
            return qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().value(0));
        };
        const QDBusUnixFileDescriptor first = pictureData();
        const QDBusUnixFileDescriptor second = pictureData();
        const int fd = first.fileDescriptor();
        const std::vector<uint8_t> received = readAll(fd);
        ASSERT_EQ(received.size(), bitmapFileSize(width, height));
        EXPECT_TRUE(std::equal(received.begin(), received.end(), picture->fileBytes()));
        std::vector<uint8_t> inOrder(received.size());
        EXPECT_EQ(::read(fd, inOrder.data(), inOrder.size()), static_cast<ssize_t>(inOrder.size()));
        EXPECT_EQ(::read(second.fileDescriptor(), inOrder.data(), 2), 2) << "the first reader moved the second's position";
        EXPECT_EQ(inOrder[0], 'B');
        struct stat a {}, b {};
        ASSERT_EQ(::fstat(fd, &a), 0);
        ASSERT_EQ(::fstat(second.fileDescriptor(), &b), 0);
        EXPECT_EQ(a.st_ino == b.st_ino, keepsDescriptor) << "the picture's own file is handed out, not a copy";

        EXPECT_EQ(::fcntl(fd, F_GET_SEALS), F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
        EXPECT_EQ(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
        const uint8_t byte = 0;
        EXPECT_EQ(::pwrite(fd, &byte, 1, 0), -1);
        EXPECT_EQ(::ftruncate(fd, 0), -1);
        EXPECT_EQ(::mmap(nullptr, received.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0), MAP_FAILED);
        void* view = ::mmap(nullptr, received.size(), PROT_READ, MAP_SHARED, fd, 0);
        ASSERT_NE(view, MAP_FAILED);
        EXPECT_EQ(std::memcmp(view, received.data(), received.size()), 0);
        ::munmap(view, received.size());
    }
}

TEST_F(DBusWire, PictureDataOfAHandleWithoutALivePictureIsError9)
{
    PictureHandle released = 0;
    {
        const PicturePtr picture = gradient(2, 2);
        released = picture->handle();
    }
    for (const int32_t handle : {0, -1, static_cast<int32_t>(released), kMaxLong, kMinLong}) {
        const QDBusMessage reply = call("Picture", {handle});
        EXPECT_EQ(reply.errorMessage(), "Error 9 (KelvaraDidevEvivod): Subscript out of range") << handle;
    }
}

// Together with add() refusing a member the interface file lacks: the files and the handlers agree.
TEST(ServedInterfaces, EveryMethodOfTheInterfaceFilesHasAHandler)
{
    const QDBusConnection noBus(QStringLiteral("none"));
    Module module;
    const AutomationService factory(module, noBus);
    const AutomationInstance instance(module, noBus, QStringLiteral("/i"), QStringLiteral(":1.1"));
    const TestDriver driver(noBus);
    const HostEventSink sink(noBus, QStringLiteral("/s"));
    for (const DBusMethodTable* table : {&factory.methodTable(), &instance.methodTable(), &driver.methodTable(),
             &sink.methodTable()}) {
        QStringList declared;
        for (const auto& [member, signature] : interfaceMethods(table->interfaceName()))
            declared << member;
        EXPECT_FALSE(declared.isEmpty()) << table->interfaceName().toStdString();
        EXPECT_EQ(table->members().join(' ').toStdString(), declared.join(' ').toStdString());
    }
}

TEST(SealedBitmapFile, NoPictureIsError91)
{
    EXPECT_EQ(didev::testing::errorNumberOf([] { SealedBitmapFile::fromPicture(nullptr); }), 91);
}
