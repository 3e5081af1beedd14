// Live preview of the 1920 x 1080 test pattern at 25 frames per second, against the bare
// source in the same run: time to the first painted frame, CPU of the preview against a
// gst-launch-1.0 pipeline of the same source into fakesink, and the latency from a frame
// leaving the source to its paint.
#include "capture/CaptureWindow.h"
#include "capture/GstHandles.h"
#include "capture/VideoView.h"
#include "state/ModuleState.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStatusBar>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <gst/app/gstappsink.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <numeric>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace didev;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFps = 25;
constexpr double kFrameIntervalMs = 1000.0 / kFps;
constexpr int kCpuSeconds = 6;

const char* kSourceCaps = "video/x-raw,format=BGRx,width=1920,height=1080,framerate=25/1";

struct Figures {
    double bareFirstFrameMs = 0;
    double moduleFirstFrameMs = 0;
    double bareCpuPercent = 0;
    double moduleCpuPercent = 0;
    double latencyMeanMs = 0;
    double latencyP95Ms = 0;
    double latencyMaxMs = 0;
};
Figures figures;

CaptureOptions testPattern()
{
    CaptureOptions options;
    options.systemDevices = false;
    options.virtualVideo.append(VirtualVideoDevice{QStringLiteral("Test Pattern"), QStringLiteral("smpte"), {kWidth, kHeight, kFps}});
    return options;
}

void spin(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// CPU time (user + system) of a running child, from /proc.
double childCpuSeconds(pid_t child)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(child));
    FILE* file = std::fopen(path, "r");
    if (!file)
        return 0.0;
    char buffer[1024];
    const size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[length] = 0;
    const char* after = std::strrchr(buffer, ')');
    unsigned long user = 0;
    unsigned long system = 0;
    if (after)
        std::sscanf(after + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system);
    return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Baseline: the same source straight into a sink, from PLAYING to the first frame it hands out.
void BM_FirstFrame_BareSource(benchmark::State& state)
{
    ensureGstreamer();
    std::vector<double> samples;
    for (auto _ : state) {
        const std::string description = std::string("videotestsrc is-live=true pattern=smpte ! ") + kSourceCaps
            + " ! appsink name=sink max-buffers=1 drop=true sync=false";
        GError* error = nullptr;
        GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
        if (!pipeline) {
            state.SkipWithError(error ? error->message : "gst_parse_launch");
            return;
        }
        GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
        const auto start = std::chrono::steady_clock::now();
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND);
        const double ms = msSince(start);
        if (sample)
            gst_sample_unref(sample);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(sink);
        gst_object_unref(pipeline);
        state.SetIterationTime(ms / 1000);
        samples.push_back(ms);
    }
    std::sort(samples.begin(), samples.end());
    figures.bareFirstFrameMs = samples[samples.size() / 2];
    state.counters["median_ms"] = figures.bareFirstFrameMs;
}

// The window's start-up (load, devices, preview) and show, to the first frame painted in it.
void BM_FirstFrame_CaptureWindow(benchmark::State& state)
{
    std::vector<double> fromLoad;
    std::vector<double> fromShow;
    for (auto _ : state) {
        moduleState().captureWindowPlacement = {};
        CaptureWindow window(testPattern());
        const auto start = std::chrono::steady_clock::now();
        window.load();
        const auto shown = std::chrono::steady_clock::now();
        window.show();
        QElapsedTimer waited;
        waited.start();
        while (window.videoView().framesShown() == 0 && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        fromLoad.push_back(msSince(start));
        fromShow.push_back(msSince(shown));
        state.SetIterationTime(fromLoad.back() / 1000);
        window.unload();
    }
    std::sort(fromLoad.begin(), fromLoad.end());
    std::sort(fromShow.begin(), fromShow.end());
    figures.moduleFirstFrameMs = fromLoad[fromLoad.size() / 2];
    state.counters["median_ms"] = figures.moduleFirstFrameMs;
    state.counters["show_to_paint_ms"] = fromShow[fromShow.size() / 2];
    state.counters["vs_bare_source"] = figures.bareFirstFrameMs > 0 ? figures.moduleFirstFrameMs / figures.bareFirstFrameMs : 0;
}

// Baseline: gst-launch-1.0 with the same source into fakesink, its CPU over the same time.
void BM_Cpu_GstLaunchBaseline(benchmark::State& state)
{
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            execlp("gst-launch-1.0", "gst-launch-1.0", "-q", "videotestsrc", "is-live=true", "pattern=smpte", "!",
                   kSourceCaps, "!", "fakesink", static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto start = std::chrono::steady_clock::now();
        // The start-up of the tool itself is not what is compared.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double cpuStart = childCpuSeconds(child);
        const auto measured = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(kCpuSeconds));
        const double cpu = childCpuSeconds(child) - cpuStart;
        const double wall = msSince(measured) / 1000;
        kill(child, SIGINT);
        int status = 0;
        waitpid(child, &status, 0);
        if (cpu <= 0) {
            state.SkipWithError("gst-launch-1.0 did not run");
            return;
        }
        figures.bareCpuPercent = 100 * cpu / wall;
        state.SetIterationTime(msSince(start) / 1000);
    }
    state.counters["cpu_percent"] = figures.bareCpuPercent;
}

// The capture window previewing the pattern: its process CPU over the same time, and the
// latency of every painted frame.
void BM_Cpu_CaptureWindowPreview(benchmark::State& state)
{
    const int clientWidth = static_cast<int>(state.range(0));
    for (auto _ : state) {
        moduleState().captureWindowPlacement = {};
        CaptureWindow window(testPattern());
        window.load();
        window.show();
        if (clientWidth > 0)
            window.resize(clientWidth, clientWidth * 9 / 16 + window.statusBar().height());
        std::vector<double> latencies;
        QObject::connect(&window.videoView(), &VideoView::framePainted, [&] {
            if (const auto latency = window.videoView().lastLatency())
                latencies.push_back(std::chrono::duration<double, std::milli>(*latency).count());
        });
        spin(1000);
        latencies.clear();
        const uint64_t shownBefore = window.videoView().framesShown();
        const double cpuStart = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        spin(kCpuSeconds * 1000);
        const double cpu = processCpuSeconds() - cpuStart;
        const double wall = msSince(start) / 1000;
        const double shown = double(window.videoView().framesShown() - shownBefore);
        window.unload();

        state.SetIterationTime(wall);
        figures.moduleCpuPercent = 100 * cpu / wall;
        std::sort(latencies.begin(), latencies.end());
        if (!latencies.empty()) {
            figures.latencyMeanMs = std::accumulate(latencies.begin(), latencies.end(), 0.0) / double(latencies.size());
            figures.latencyP95Ms = latencies[latencies.size() * 95 / 100];
            figures.latencyMaxMs = latencies.back();
        }
        state.counters["cpu_percent"] = figures.moduleCpuPercent;
        state.counters["vs_gst_launch"] = figures.bareCpuPercent > 0 ? figures.moduleCpuPercent / figures.bareCpuPercent : 0;
        state.counters["painted_fps"] = shown / wall;
        state.counters["latency_mean_ms"] = figures.latencyMeanMs;
        state.counters["latency_p95_ms"] = figures.latencyP95Ms;
        state.counters["latency_max_ms"] = figures.latencyMaxMs;
        state.counters["latency_vs_frame_interval"] = figures.latencyP95Ms / kFrameIntervalMs;
    }
}

} // namespace

BENCHMARK(BM_FirstFrame_BareSource)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_FirstFrame_CaptureWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_Cpu_GstLaunchBaseline)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
// 0: the window's design size (5250 x 4320 twips); 1280: a large window.
BENCHMARK(BM_Cpu_CaptureWindowPreview)->Arg(0)->Arg(1280)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
