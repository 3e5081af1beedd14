// The automation service's costs over a private session bus, each against a baseline measured
// in the same run, once for a server on a 1920 x 1080 test pattern and once for one on
// 3840 x 2160: GetSnapshotCount and the GetPictureData round trip against the bus's own
// Peer.Ping to the same server, TakeSnapshot (median), and GetPictureData with the file read by
// the client against a local memcpy of the same bytes.

#include "PrivateSessionBus.h"

#include "app/AutomationClient.h"
#include "common/DBusNames.h"

#include <QApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

using namespace didev;

struct Session {
    std::unique_ptr<PrivateSessionBus> bus;
    QDBusConnection connection{QString()};
    std::unique_ptr<AutomationClient> client;
    int32_t picture = 0;
};

Session* session = nullptr;
std::vector<double> grabMilliseconds;

QDBusMessage callInstance(const QString& interfaceName, const QString& member)
{
    const auto message = QDBusMessage::createMethodCall(session->client->service(), session->client->path(), interfaceName, member);
    return session->connection.call(message, QDBus::Block);
}

void PeerPing(benchmark::State& state)
{
    const QString peer = QStringLiteral("org.freedesktop.DBus.Peer");
    for (auto _ : state) {
        const QDBusMessage reply = callInstance(peer, QStringLiteral("Ping"));
        if (reply.type() != QDBusMessage::ReplyMessage)
            state.SkipWithError("Ping failed");
    }
}
BENCHMARK(PeerPing)->MinTime(2.0);

void GetSnapshotCount(benchmark::State& state)
{
    const QString automation = QString::fromLatin1(dbus::kAutomationInterface);
    for (auto _ : state) {
        const QDBusMessage reply = callInstance(automation, QStringLiteral("GetSnapshotCount"));
        if (reply.type() != QDBusMessage::ReplyMessage)
            state.SkipWithError("GetSnapshotCount failed");
    }
}
BENCHMARK(GetSnapshotCount)->MinTime(2.0);

void TakeSnapshot(benchmark::State& state)
{
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const int16_t frame = session->client->TakeSnapshot();
        const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(elapsed);
        grabMilliseconds.push_back(elapsed * 1e3);
        if (frame == 0)
            state.SkipWithError("no frame stored");
        // Keep the store small: every frame holds its whole bitmap file.
        if (frame >= 20) {
            state.PauseTiming();
            session->client->ClearSnapshots();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(TakeSnapshot)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

// The picture of a fresh frame 1: the grab benchmark clears the store now and then.
int32_t freshPicture()
{
    session->client->ClearSnapshots();
    session->client->TakeSnapshot();
    int16_t first = 1;
    int16_t frameID = 0;
    double frameTime = 0;
    QString timecode;
    session->client->GetSnapshot(first, session->picture, frameID, frameTime, timecode);
    return session->picture;
}

void GetPictureData(benchmark::State& state)
{
    freshPicture();
    size_t bytes = 0;
    for (auto _ : state) {
        const QByteArray bitmap = session->client->GetPictureData(session->picture);
        bytes = static_cast<size_t>(bitmap.size());
        benchmark::DoNotOptimize(bitmap.constData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(GetPictureData)->Unit(benchmark::kMillisecond);

// The round trip alone: the descriptor comes back and is dropped unread.
void GetPictureDataUnread(benchmark::State& state)
{
    freshPicture();
    for (auto _ : state) {
        const QDBusMessage reply = session->client->call(QStringLiteral("GetPictureData"), {session->picture});
        benchmark::DoNotOptimize(reply.arguments().size());
    }
}
BENCHMARK(GetPictureDataUnread)->Unit(benchmark::kMillisecond);

void MemcpyPictureData(benchmark::State& state)
{
    freshPicture();
    const QByteArray bitmap = session->client->GetPictureData(session->picture);
    std::vector<char> copy(static_cast<size_t>(bitmap.size()));
    for (auto _ : state) {
        std::memcpy(copy.data(), bitmap.constData(), copy.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bitmap.size()));
}
BENCHMARK(MemcpyPictureData)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration beside the usual console table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.iterations > 0 && !run.error_occurred)
                seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
    }
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One server on a test pattern of the given size, its benchmarks and their ratios.
bool runAgainst(const char* pattern)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("DIDEV_VIRTUAL_VIDEO"), QString::fromLatin1(pattern));
    environment.insert(QStringLiteral("DIDEV_VIRTUAL_AUDIO"), QString());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    Session state;
    session = &state;
    grabMilliseconds.clear();
    char size[32] = "";
    try {
        state.bus = std::make_unique<PrivateSessionBus>(environment);
        state.connection = state.bus->connect();
        state.client = std::make_unique<AutomationClient>(state.connection);
        state.client->create();
        // No viewer following the grabs: the round trip of the grab itself is measured.
        int16_t accumulate = 3;
        QString no = QStringLiteral("N");
        state.client->SetProperty(accumulate, no);
        HostStringArray show(1, QStringList{"N", "", "", "", "", "", "", "", ""});
        int16_t formID = 0;
        state.client->ShowForm(formID, show);
        if (state.client->TakeSnapshot() == 0) {
            std::fprintf(stderr, "dbus_bench: the server stored no frame\n");
            return false;
        }
        // The bitmap header says what the camera delivers.
        const QByteArray bitmap = state.client->GetPictureData(freshPicture());
        int32_t width = 0;
        int32_t height = 0;
        std::memcpy(&width, bitmap.constData() + 18, 4);
        std::memcpy(&height, bitmap.constData() + 22, 4);
        std::snprintf(size, sizeof size, "%dx%d", width, height);
        std::printf("\nFrames of %s, bitmap file of %lld bytes\n", size, static_cast<long long>(bitmap.size()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "dbus_bench: %s\n", error.what());
        return false;
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto& t = reporter.seconds;
    const auto ratio = [&](const std::string& what, const std::string& measured, const std::string& baseline, const char* target) {
        if (!t.contains(measured) || !t.contains(baseline))
            return;
        std::printf("%-56s %9.3f ms vs %9.3f ms  ratio %5.2f x  (target %s)\n", what.c_str(), t.at(measured) * 1e3,
            t.at(baseline) * 1e3, t.at(measured) / t.at(baseline), target);
    };
    const std::string frame(size);
    std::printf("\nRatios, same server, same run (%s):\n", size);
    ratio("GetSnapshotCount / Peer.Ping round trip", "GetSnapshotCount/min_time:2.000", "PeerPing/min_time:2.000", "<= 1.5 x");
    ratio("GetPictureData " + frame + " round trip / Peer.Ping round trip", "GetPictureDataUnread",
        "PeerPing/min_time:2.000", "<= 3 x");
    ratio("GetPictureData " + frame + " read / local memcpy", "GetPictureData", "MemcpyPictureData", "for information");
    if (!grabMilliseconds.empty())
        std::printf("%-56s median %6.2f ms over %zu grabs  (target < 8 ms for 1080p)\n", ("TakeSnapshot " + frame + " over the bus").c_str(),
            median(grabMilliseconds), grabMilliseconds.size());
    std::fflush(stdout);

    state.client.reset();
    state.bus.reset();
    session = nullptr;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // The 4K pattern runs at a lower rate: a grab takes the newest frame whatever the rate, and
    // the pattern's own drawing would otherwise load the machine the round trips are measured on.
    const bool ran = runAgainst("Bench Pattern:smpte:1920x1080@25")
        && runAgainst("Bench Pattern:smpte:3840x2160@10");
    benchmark::Shutdown();
    return ran ? 0 : 1;
}
