// SaveSnapshot into names no host should hand over, each against a fresh server, from outside
// over the bus: the server answers at once, writes nothing through a link, leaves no file
// behind and keeps no descriptor open.
#include "EndToEndFixture.h"

#include "app/HostCallError.h"
#include "common/DBusNames.h"
#include "support/FileTargets.h"
#include "support/ProcessResources.h"

#include <QDBusConnectionInterface>

#include <filesystem>

using namespace didev;
using didev::testing::FileTarget;
using didev::testing::TargetKind;

namespace {

constexpr int kSavesPerFormat = 10;

class FileProbes : public WithoutDriver, public ::testing::WithParamInterface<TargetKind> {};

TEST_P(FileProbes, TheServerAnswersAndNothingIsWrittenThroughOrLeftBehind)
{
    const FileTarget target(GetParam(), std::filesystem::path(folder.path().toStdString()));
    if (!target.skipReason().empty())
        GTEST_SKIP() << target.skipReason();

    // A server frozen on the file misses this by far; one that answers needs well under a second.
    AutomationClient client(host, 30'000);
    client.create();
    showForm(client);
    ASSERT_EQ(client.TakeSnapshot(), 1);
    const uint pid = host.interface()->servicePid(client.service());
    ASSERT_NE(pid, 0u);
    const int descriptorsBefore = openDescriptorCount(static_cast<pid_t>(pid));

    for (const int16_t format : {int16_t{1}, int16_t{3}})
        for (int attempt = 0; attempt < kSavesPerFormat; ++attempt) {
            bool replaced = false;
            try {
                replaced = saveSnapshot(client, 1, QString::fromStdString(target.name().string()), format) == kHostTrue;
            } catch (const HostCallError& error) {
                ASSERT_EQ(error.name(), QLatin1String(dbus::kErrorName)) << error.message().toStdString();
            }
            EXPECT_EQ(replaced, target.replaceable()) << "format " << format;
            ASSERT_EQ(target.damage(replaced), "") << "format " << format;
        }
    EXPECT_EQ(client.GetSnapshotCount(), 1);
    // Twenty saves: a descriptor kept by each would show; the live pipeline may hold a few more.
    EXPECT_LE(openDescriptorCount(static_cast<pid_t>(pid)), descriptorsBefore + 4);
}

INSTANTIATE_TEST_SUITE_P(Names, FileProbes,
    ::testing::Values(TargetKind::Fifo, TargetKind::Symlink, TargetKind::HardLink, TargetKind::Device,
        TargetKind::FullDisk),
    [](const ::testing::TestParamInfo<TargetKind>& info) {
        QString name = QString::fromLatin1(didev::testing::targetName(info.param));
        name.replace(QLatin1Char(' '), QLatin1Char('_'));
        return name.toStdString();
    });

} // namespace
