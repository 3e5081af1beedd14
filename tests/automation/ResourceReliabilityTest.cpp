// What the server holds after a day's worth of windows and hosts: once it has warmed up, its
// descriptors, threads and memory come back to where they were.
#include "EndToEndFixture.h"

#include "support/ProcessResources.h"

#include <QProcess>

#include <signal.h>

#include <cstdio>

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
        EXPECT_TRUE(within(now, baseline)) << change(baseline, now);
        std::printf("server: %s\n", change(baseline, now).c_str());
    }

    // A window shown, a frame grabbed, handed over and dropped, the window closed. A grab waits
    // only a moment for the camera; on a loaded machine the first frames of a new window may
    // take longer, so the grab is repeated until one succeeds.
    void openAndClose(AutomationClient& client)
    {
        const int16_t formID = showForm(client);
        ASSERT_TRUE(waitFor([&] { return client.TakeSnapshot() != 0; }, 60s)) << "no frame within a minute";
        ASSERT_TRUE(client.GetPictureData(snapshotAt(client, 1).hPicture).startsWith("BM"));
        client.ClearSnapshots();
        closeForm(client, formID);
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
    // Every other host leaves as it should; the rest are killed with their window open once their
    // grab has returned (with a frame, or none where the camera was not yet there).
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
        ASSERT_TRUE(waitFor([&] { return (out += killed.readAllStandardOutput()).contains("snap: "); }, 60s)) << out.data();
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
