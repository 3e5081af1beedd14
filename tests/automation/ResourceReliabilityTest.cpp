// What the server holds after a day's worth of windows and hosts: once it has warmed up, its
// descriptors, threads and memory come back to where they were.
#include "EndToEndFixture.h"

#include "support/ProcessResources.h"

#include <QProcess>

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

using namespace didev;
using namespace std::chrono_literals;

namespace {

// What a warm server may still take on: a thread of a pool not yet retired, a cache filled
// late, pages the allocator keeps.
constexpr int kSpareDescriptors = 3;
constexpr int kSpareThreads = 2;
constexpr long long kSpareBytes = 8LL << 20;

struct Holdings {
    int descriptors = 0;
    int threads = 0;
    long long resident = 0;
};

Holdings holdingsOf(pid_t pid)
{
    return {openDescriptorCount(pid), threadCount(pid), residentBytes(pid)};
}

bool within(const Holdings& now, const Holdings& baseline)
{
    return now.descriptors <= baseline.descriptors + kSpareDescriptors && now.threads <= baseline.threads + kSpareThreads
        && now.resident <= baseline.resident + kSpareBytes;
}

std::string change(const Holdings& before, const Holdings& after)
{
    return QStringLiteral("descriptors %1 -> %2, threads %3 -> %4, resident %5 -> %6 MiB")
        .arg(before.descriptors).arg(after.descriptors).arg(before.threads).arg(after.threads)
        .arg(double(before.resident) / (1 << 20), 0, 'f', 1).arg(double(after.resident) / (1 << 20), 0, 'f', 1)
        .toStdString();
}

// "socket x12, pipe x3, /memfd:pulseaudio (deleted) x2": what the descriptors lead to, without inode numbers.
std::string descriptorKinds(pid_t pid)
{
    std::map<std::string, int> kinds;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
        ++kinds[std::regex_replace(std::filesystem::read_symlink(entry.path(), error).string(), std::regex(":\\[\\d+\\]$"), "")];
    std::string text;
    for (const auto& [kind, count] : kinds)
        text += kind + " x" + std::to_string(count) + ", ";
    return text;
}

// A window shown, a frame grabbed, handed over and dropped, the window closed.
void openAndClose(AutomationClient& client)
{
    const int16_t formID = showForm(client);
    ASSERT_EQ(client.TakeSnapshot(), 1);
    int16_t first = 1;
    int32_t hPicture = 0;
    int16_t frameID = 0;
    double frameTime = 0;
    QString timecode;
    client.GetSnapshot(first, hPicture, frameID, frameTime, timecode);
    ASSERT_TRUE(client.GetPictureData(hPicture).startsWith("BM"));
    client.ClearSnapshots();
    closeForm(client, formID);
}

} // namespace

class ServerHoldings : public WithoutDriver {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        anchor = std::make_unique<AutomationClient>(host);
        anchor->create();
        server = bus->serverPid();
        ASSERT_NE(server, 0);
    }

    void TearDown() override
    {
        anchor.reset();
        EndToEnd::TearDown();
    }

    // Pipelines end and departed hosts are cleaned up a moment after the call that caused it,
    // so the server is given time to come back before it is judged.
    void expectBackTo(const Holdings& baseline)
    {
        Holdings now;
        waitFor([&] { return within(now = holdingsOf(server), baseline); }, 10s);
        EXPECT_TRUE(within(now, baseline)) << change(baseline, now) << "; open now: " << descriptorKinds(server);
        std::printf("server: %s\n", change(baseline, now).c_str());
    }

    std::unique_ptr<AutomationClient> anchor;   // keeps the server running throughout
    pid_t server = 0;
};

TEST_F(ServerHoldings, WindowOpenedAndClosed200TimesLeavesNothingBehind)
{
    for (int cycle = 0; cycle < 3; ++cycle)
        ASSERT_NO_FATAL_FAILURE(openAndClose(*anchor));
    const Holdings baseline = holdingsOf(server);
    for (int cycle = 0; cycle < 200; ++cycle)
        ASSERT_NO_FATAL_FAILURE(openAndClose(*anchor)) << "cycle " << cycle;
    expectBackTo(baseline);
}

TEST_F(ServerHoldings, TwentyHostsComingAndGoingLeaveNothingBehind)
{
    // Every other host leaves as it should; the rest are killed with their window open.
    const auto visit = [&](int number) {
        if (number % 2 == 0) {
            QDBusConnection connection = bus->connect();
            {
                AutomationClient guest(connection);
                guest.create();
                ASSERT_NO_FATAL_FAILURE(openAndClose(guest));
            }
            bus->disconnect(connection);
            return;
        }
        QProcess killed;
        killed.setProcessEnvironment(bus->hostEnvironment());
        killed.start(QStringLiteral(DIDEV_HOST_EXECUTABLE), {"show", "snap", "watch"});
        QByteArray out;
        ASSERT_TRUE(waitFor([&] { return (out += killed.readAllStandardOutput()).contains("snap: 1"); }, 30s)) << out.data();
        ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
        killed.waitForFinished();
    };
    // The last host of the warm-up leaves as it should, after the killed ones have been cleaned up.
    for (int host = 3; host >= 0; --host)
        ASSERT_NO_FATAL_FAILURE(visit(host));
    const Holdings baseline = holdingsOf(server);
    for (int host = 1; host <= 20; ++host)
        ASSERT_NO_FATAL_FAILURE(visit(host)) << "host " << host;
    expectBackTo(baseline);
}
