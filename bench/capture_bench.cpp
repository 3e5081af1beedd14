// Live preview of the 1920 x 1080 test pattern at 25 frames per second, against the bare
// source in the same run: time to the first painted frame, CPU of the preview against a
// gst-launch-1.0 pipeline of the same source into fakesink (the two in turns, the median of
// three turns' ratios with the lowest and the highest), and the latency from a frame
// leaving the source to its paint. Then one row per kind of camera (raw, odd size, JPEG only,
// 60 fps, 4K), each a device of the module's own provider: first frame, preview CPU against
// gst-launch-1.0 of the same device, and the grab. Last, one row per network protocol with a
// real sender on localhost: latency from the time the receiving chain gives a picture (its
// arrival at the network source, less what the chain's own latency settings account for) to
// its paint (median, p95), against the same latency of the local test pattern above. And the
// professional rates, 1080p at 60 fps and 2160p at 30 fps, at the default window and at 1280
// wide: CPU against gst-launch-1.0 of the same device, painted fps over 10 s against the
// source's, latency p95 against one frame interval, and the grab of a full-size frame.
#include "automation/FrameRoad.h"
#include "capture/CaptureWindow.h"
#include "capture/DeviceMonitor.h"
#include "capture/GstHandles.h"
#include "capture/NetworkCameras.h"
#include "capture/VideoFrame.h"
#include "capture/VideoView.h"
#include "support/TestModule.h"
#include "support/NetworkSenders.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStatusBar>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <mutex>
#include <gst/app/gstappsink.h>

#include <immintrin.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <numeric>
#include <optional>
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
    double bareCpuPercent = 0;       // the plain BGRx pattern, without the camera's burnt-in clock
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

// CPU time (user + system) of a running child, to the nanosecond as the module's own: the
// clock ticks of /proc would put steps of 0.25 % into a 4-second figure.
double childCpuSeconds(pid_t child)
{
    clockid_t clock{};
    timespec now{};
    if (clock_getcpuclockid(child, &clock) != 0 || clock_gettime(clock, &now) != 0)
        return 0.0;
    return now.tv_sec + now.tv_nsec / 1e9;
}

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct FirstSample {
    double ms; // from PLAYING until the sample came or the timeout ran out
    bool arrived;
};

// The first sample of a pipeline ending in an appsink named "sink"; nullopt (with GStreamer's
// reason) when the description does not parse.
std::optional<FirstSample> firstSample(const std::string& description, GstClockTime timeout, std::string& reason)
{
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline) {
        reason = error ? error->message : "gst_parse_launch";
        if (error)
            g_error_free(error);
        return std::nullopt;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    const auto start = std::chrono::steady_clock::now();
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), timeout);
    const double ms = msSince(start);
    if (sample)
        gst_sample_unref(sample);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return FirstSample{ms, sample != nullptr};
}

// Baseline: the same source straight into a sink, from PLAYING to the first frame it hands out.
void BM_FirstFrame_BareSource(benchmark::State& state)
{
    ensureGstreamer();
    std::vector<double> samples;
    for (auto _ : state) {
        const std::string description = std::string("videotestsrc is-live=true pattern=smpte ! ") + kSourceCaps
            + " ! appsink name=sink max-buffers=1 drop=true sync=false";
        std::string reason;
        const std::optional<FirstSample> first = firstSample(description, 5 * GST_SECOND, reason);
        if (!first) {
            state.SkipWithError(reason.c_str());
            return;
        }
        const double ms = first->ms;
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
        testModule().state().captureWindowPlacement = {};
        CaptureWindow window(testModule().state(), testPattern());
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

double launchCpuPercent(const std::string& pipeline, int seconds);
double gstLaunchCpuPercent(const std::string& chain);
double median(std::vector<double> samples);

// Baseline: gst-launch-1.0 of the plain pattern into fakesink, without the camera's burnt-in
// clock. The camera's own chain is measured in turns with each preview row.
void BM_Cpu_GstLaunchBaseline(benchmark::State& state)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        figures.bareCpuPercent =
            launchCpuPercent(std::string("videotestsrc is-live=true pattern=smpte ! ") + kSourceCaps + " ! fakesink", kCpuSeconds);
        if (figures.bareCpuPercent <= 0) {
            state.SkipWithError("gst-launch-1.0 did not run");
            return;
        }
        state.SetIterationTime(msSince(start) / 1000);
    }
    state.counters["cpu_percent"] = figures.bareCpuPercent;
}

struct PreviewRun {
    double cpuPercent = 0;
    double paintedFps = 0;
    std::vector<double> latencies;   // of every painted frame (addUpLatencies sorts them)
    double latencyMeanMs = 0;
    double latencyP95Ms = 0;
    double latencyMaxMs = 0;
    std::vector<double> grabMs;   // one per grab asked for, each after a new frame was painted
    int grabWidth = 0;

    // The mean, p95 and max of `latencies`, which it sorts.
    void addUpLatencies()
    {
        std::sort(latencies.begin(), latencies.end());
        if (latencies.empty())
            return;
        latencyMeanMs = std::accumulate(latencies.begin(), latencies.end(), 0.0) / double(latencies.size());
        latencyP95Ms = latencies[latencies.size() * 95 / 100];
        latencyMaxMs = latencies.back();
    }
};

bool waitForPaint(CaptureWindow& window, uint64_t beyond);

// A capture window on `options`' camera, its video area `clientWidth` wide (0: the default
// window): its process CPU over `seconds`, the latency of every painted frame, then `grabs` grabs.
PreviewRun runPreview(const CaptureOptions& options, int clientWidth, int seconds, int grabs = 0)
{
    PreviewRun run;
    testModule().state().captureWindowPlacement = {};
    testModule().state().closeNotifyRequest = QStringLiteral("N");
    CaptureWindow window(testModule().state(), options);
    window.load();
    window.show();
    if (clientWidth > 0)
        window.resize(clientWidth, clientWidth * 9 / 16 + window.statusBar().height());
    // Taken where the frame is shown, the streaming thread when it puts the pictures itself: a
    // hop to this thread per frame would add to the CPU measured.
    std::mutex latencyMutex;
    std::vector<double> latencies;
    const QMetaObject::Connection painted = QObject::connect(
        &window.videoView(), &VideoView::framePainted, &window.videoView(),
        [&] {
            if (const auto latency = window.videoView().lastLatency()) {
                std::lock_guard lock(latencyMutex);
                latencies.push_back(std::chrono::duration<double, std::milli>(*latency).count());
            }
        },
        Qt::DirectConnection);
    spin(1000);
    {
        std::lock_guard lock(latencyMutex);
        latencies.clear();
    }
    const uint64_t shownBefore = window.videoView().framesShown();
    const double cpuStart = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    spin(seconds * 1000);
    const double cpu = processCpuSeconds() - cpuStart;
    const double wall = msSince(start) / 1000;
    QObject::disconnect(painted);
    run.cpuPercent = 100 * cpu / wall;
    run.paintedFps = double(window.videoView().framesShown() - shownBefore) / wall;
    run.latencies = std::move(latencies);
    run.addUpLatencies();
    testModule().state().accumulateFrames = false;
    for (int i = 0; i < grabs; ++i) {
        waitForPaint(window, window.videoView().framesShown());
        const auto grabStart = std::chrono::steady_clock::now();
        const bool grabbed = CaptureSnapshot(testModule(), window, QString()) > 0;
        run.grabMs.push_back(msSince(grabStart));
        // Only the latest frame is kept, at 1.
        if (const FrameStore& store = testModule().state().snapshotStore; grabbed && !store.empty() && store.at(1).picture)
            run.grabWidth = store.at(1).picture->width();
    }
    testModule().state().accumulateFrames = true;
    window.unload();
    return run;
}

// The capture window previewing the pattern: its process CPU against the camera's chain under
// gst-launch-1.0, each measured alone in turn, and the latency of every painted frame. The load
// of this machine's neighbours changes from one minute to the next, so the two take turns
// several times and the ratio is the median of the turns'.
constexpr int kCpuTurns = 3;
constexpr int kTurnSeconds = 4;

void BM_Cpu_CaptureWindowPreview(benchmark::State& state)
{
    const int clientWidth = static_cast<int>(state.range(0));
    const std::string chain = testPattern().virtualVideo.front().recipe()->launchDescription();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<double> chainCpu;
        std::vector<double> moduleCpu;
        std::vector<double> ratios;
        PreviewRun all;
        for (int turn = 0; turn < kCpuTurns; ++turn) {
            chainCpu.push_back(gstLaunchCpuPercent(chain));
            const PreviewRun run = runPreview(testPattern(), clientWidth, kTurnSeconds);
            moduleCpu.push_back(run.cpuPercent);
            ratios.push_back(chainCpu.back() > 0 ? run.cpuPercent / chainCpu.back() : 0);
            all.paintedFps += run.paintedFps / kCpuTurns;
            all.latencies.insert(all.latencies.end(), run.latencies.begin(), run.latencies.end());
        }
        all.addUpLatencies();
        state.SetIterationTime(msSince(start) / 1000);
        figures.moduleCpuPercent = median(moduleCpu);
        figures.latencyMeanMs = all.latencyMeanMs;
        figures.latencyP95Ms = all.latencyP95Ms;
        figures.latencyMaxMs = all.latencyMaxMs;
        state.counters["cpu_percent"] = figures.moduleCpuPercent;
        state.counters["camera_chain_cpu_percent"] = median(chainCpu);
        state.counters["vs_gst_launch"] = median(ratios);
        state.counters["vs_gst_launch_lowest"] = *std::min_element(ratios.begin(), ratios.end());
        state.counters["vs_gst_launch_highest"] = *std::max_element(ratios.begin(), ratios.end());
        state.counters["vs_plain_pattern"] = figures.bareCpuPercent > 0 ? figures.moduleCpuPercent / figures.bareCpuPercent : 0;
        state.counters["painted_fps"] = all.paintedFps;
        state.counters["latency_mean_ms"] = figures.latencyMeanMs;
        state.counters["latency_p95_ms"] = figures.latencyP95Ms;
        state.counters["latency_max_ms"] = figures.latencyMaxMs;
        state.counters["latency_vs_frame_interval"] = figures.latencyP95Ms / kFrameIntervalMs;
    }
}

// --- One row per kind of camera ----------------------------------------------------------

struct CameraKind {
    const char* label;
    const char* entry;   // a virtual camera entry
};

const CameraKind kCameraKinds[] = {
    {"raw_1080p30", "Raw 1080p:smpte:1920x1080@30"},
    {"raw_1366x768p25", "Odd size:smpte:1366x768@25"},
    {"mjpeg_1080p30", "MJPEG 1080p:smpte:1920x1080@30:mjpeg"},
    {"raw_720p60", "720p60:smpte:1280x720@60"},
    {"raw_2160p30", "UHD:smpte:3840x2160@30"},
};

constexpr int kKindCpuSeconds = 4;
constexpr int kKindFirstFrames = 3;
constexpr int kKindGrabs = 15;

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? 0.0 : samples[samples.size() / 2];
}

// The device's own chain, decoded, to its first frame: what any program reading the camera waits.
double bareFirstFrameMs(const std::string& chain)
{
    const std::string description = chain + " ! decodebin ! appsink name=sink max-buffers=1 drop=true sync=false";
    std::string reason;
    const std::optional<FirstSample> first = firstSample(description, 10 * GST_SECOND, reason);
    return first && first->arrived ? first->ms : 0;
}

// CPU of gst-launch-1.0 running `pipeline` over `seconds`, after its start-up.
double launchCpuPercent(const std::string& pipeline, int seconds)
{
    const pid_t child = fork();
    if (child == 0) {
        // Through the shell, which splits the description into words as a person typing it
        // would: gst-launch-1.0 takes each argument as one word, so a whole description in one
        // argument does not parse.
        const std::string command = "exec gst-launch-1.0 -q " + pipeline;
        execlp("sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The start-up of the tool itself is not what is compared.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double cpuStart = childCpuSeconds(child);
    const auto measured = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = childCpuSeconds(child) - cpuStart;
    const double wall = msSince(measured) / 1000;
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    return 100 * cpu / wall;
}

// CPU of gst-launch-1.0 running the device's chain, decoded into fakesink.
double gstLaunchCpuPercent(const std::string& chain)
{
    return launchCpuPercent(chain + " ! decodebin ! fakesink", kKindCpuSeconds);
}

CaptureOptions cameraOfKind(const VirtualVideoDevice& device)
{
    CaptureOptions options;
    options.systemDevices = false;
    options.virtualVideo.append(device);
    return options;
}

bool waitForPaint(CaptureWindow& window, uint64_t beyond)
{
    QElapsedTimer waited;
    waited.start();
    while (window.videoView().framesShown() <= beyond && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return window.videoView().framesShown() > beyond;
}

void BM_CameraKind(benchmark::State& state, const CameraKind& kind)
{
    const VirtualVideoDevice device = parseVirtualVideo(QString::fromUtf8(kind.entry));
    const std::string chain = device.recipe()->launchDescription();
    const size_t frameBytes = size_t(device.format.width) * size_t(device.format.height) * 4;
    for (auto _ : state) {
        std::vector<double> bare;
        std::vector<double> module;
        for (int i = 0; i < kKindFirstFrames; ++i) {
            bare.push_back(bareFirstFrameMs(chain));
            testModule().state().captureWindowPlacement = {};
            CaptureWindow window(testModule().state(), cameraOfKind(device));
            const auto start = std::chrono::steady_clock::now();
            window.load();
            window.show();
            if (!waitForPaint(window, 0)) {
                state.SkipWithError("the camera showed no frame");
                return;
            }
            module.push_back(msSince(start));
            window.unload();
        }
        const double gstLaunchCpu = gstLaunchCpuPercent(chain);

        const auto start = std::chrono::steady_clock::now();
        const PreviewRun run = runPreview(cameraOfKind(device), 0, kKindCpuSeconds, kKindGrabs);
        const double wall = msSince(start) / 1000;
        std::vector<double> copies;
        std::vector<uint8_t> source(frameBytes, 0x5A);
        std::vector<uint8_t> target(frameBytes, 0);
        for (int i = 0; i < kKindGrabs; ++i) {
            const auto copyStart = std::chrono::steady_clock::now();
            std::memcpy(target.data(), source.data(), frameBytes);
            benchmark::ClobberMemory();
            copies.push_back(msSince(copyStart));
        }

        state.SetIterationTime(wall);
        state.counters["first_frame_ms"] = median(module);
        state.counters["first_frame_vs_bare"] = median(bare) > 0 ? median(module) / median(bare) : 0;
        state.counters["cpu_percent"] = run.cpuPercent;
        state.counters["vs_gst_launch"] = gstLaunchCpu > 0 ? run.cpuPercent / gstLaunchCpu : 0;
        state.counters["painted_fps"] = run.paintedFps;
        state.counters["grab_ms"] = median(run.grabMs);
        state.counters["grab_vs_copy"] = median(copies) > 0 ? median(run.grabMs) / median(copies) : 0;
        state.counters["grab_width"] = run.grabWidth;
    }
}

// --- One row per network protocol --------------------------------------------------------

constexpr int kNetworkSeconds = 4;

void BM_NetworkSource(benchmark::State& state, const NetworkSenderKind& kind)
{
    for (auto _ : state) {
        const int port = freePort(kind.portType);
        NetworkSender sender(kind, port);
        if (!sender.start()) {
            state.SkipWithError("the sender did not start");
            return;
        }
        // The device comes when the source's first picture has come; the window takes it then.
        DeviceMonitor monitor;
        NetworkCameras cameras({NetworkStream::fromUri(std::string("Net ") + kind.name, kind.uri(port).toStdString())});
        testModule().state().captureWindowPlacement = {};
        testModule().state().closeNotifyRequest = QStringLiteral("N");
        CaptureOptions options;
        options.systemDevices = false;
        auto window = std::make_unique<CaptureWindow>(testModule().state(), options);
        window->load();
        window->show();
        if (!waitForPaint(*window, 0)) {
            state.SkipWithError("the network source showed no frame");
            return;
        }
        std::vector<double> latencies;
        QObject::connect(&window->videoView(), &VideoView::framePainted, [&] {
            if (const auto latency = window->videoView().lastLatency())
                latencies.push_back(std::chrono::duration<double, std::milli>(*latency).count());
        });
        const auto start = std::chrono::steady_clock::now();
        spin(kNetworkSeconds * 1000);
        const double wall = msSince(start) / 1000;
        window->unload();
        window.reset();

        state.SetIterationTime(wall);
        std::sort(latencies.begin(), latencies.end());
        const double p95 = latencies.empty() ? 0 : latencies[latencies.size() * 95 / 100];
        state.counters["latency_median_ms"] = median(latencies);
        state.counters["latency_p95_ms"] = p95;
        state.counters["p95_vs_local_pattern"] = figures.latencyP95Ms > 0 ? p95 / figures.latencyP95Ms : 0;
        state.counters["painted_fps"] = double(latencies.size()) / wall;
    }
}

// --- The view's scaler ------------------------------------------------------------------

// `bytes` from `at` on written back and dropped from every cache level.
void dropFromCaches(const void* at, size_t bytes)
{
    const auto* line = static_cast<const char*>(at);
    for (size_t offset = 0; offset < bytes; offset += 64)
        _mm_clflush(line + offset);
    _mm_mfence();
}

// One 1080p frame of the test pattern camera made into the view's picture, `state.range(0)` wide
// (16:9), against a copy of the frame's bytes in the same run: from the caches, as one frame
// after another, and then cold, the frame and the memory written dropped from the caches
// first, as in a live stream whose frames the caches no longer hold.
void BM_ViewScale(benchmark::State& state)
{
    ensureGstreamer();
    const VirtualVideoDevice device = testPattern().virtualVideo.front();
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(
        (device.recipe()->launchDescription() + " ! appsink name=sink max-buffers=1 sync=false").c_str(), &error);
    if (!pipeline) {
        state.SkipWithError(error ? error->message : "gst_parse_launch");
        return;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstSamplePtr sample(gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND));
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    GstVideoInfo info;
    GstVideoFrame frame;
    if (!sample || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()))
        || !gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample.get()), GST_MAP_READ)) {
        state.SkipWithError("no frame");
        return;
    }
    const int width = static_cast<int>(state.range(0));
    const QSize area(width, width * 9 / 16);
    const void* const bytes = GST_VIDEO_FRAME_PLANE_DATA(&frame, 0);
    ViewScaler scaler;
    std::vector<uint8_t> copy(GST_VIDEO_INFO_SIZE(&info));
    const auto scaled = [&](bool cold) {
        if (cold) {
            // The scaler writes the picture it made last again, once nobody but it holds it.
            const uchar* written = nullptr;
            size_t writtenBytes = 0;
            {
                const QImage last = scaler.scale(frame, area);
                written = last.constBits();
                writtenBytes = size_t(last.sizeInBytes());
            }
            dropFromCaches(bytes, copy.size());
            dropFromCaches(written, writtenBytes);
        }
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(scaler.scale(frame, area).constBits());
        return msSince(start);
    };
    const auto copied = [&](bool cold) {
        if (cold) {
            dropFromCaches(bytes, copy.size());
            dropFromCaches(copy.data(), copy.size());
        }
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(copy.data(), bytes, copy.size());
        benchmark::ClobberMemory();
        return msSince(start);
    };
    std::vector<double> scales;
    std::vector<double> copies;
    for (auto _ : state) {
        scales.push_back(scaled(false));
        copies.push_back(copied(false));
        state.SetIterationTime(scales.back() / 1000);
    }
    std::vector<double> coldScales;
    std::vector<double> coldCopies;
    for (int i = 0; i < 30; ++i) {
        coldScales.push_back(scaled(true));
        coldCopies.push_back(copied(true));
    }
    gst_video_frame_unmap(&frame);
    state.counters["scale_ms"] = median(scales);
    state.counters["vs_frame_copy"] = median(copies) > 0 ? median(scales) / median(copies) : 0;
    state.counters["scale_cold_ms"] = median(coldScales);
    state.counters["cold_vs_cold_frame_copy"] = median(coldCopies) > 0 ? median(coldScales) / median(coldCopies) : 0;
}

// --- Professional rates -----------------------------------------------------------------

struct ProfessionalRate {
    const char* label;
    const char* entry;   // a virtual camera entry
};

const ProfessionalRate kProfessionalRates[] = {
    {"1080p60", "1080p60:smpte:1920x1080@60"},
    {"2160p30", "2160p30:smpte:3840x2160@30"},
};

constexpr int kRateSeconds = 10;
constexpr int kRateGrabs = 9;

// Argument: the video area's width (0: the default window).
void BM_ProfessionalRate(benchmark::State& state, const ProfessionalRate& rate)
{
    const int clientWidth = static_cast<int>(state.range(0));
    const VirtualVideoDevice device = parseVirtualVideo(QString::fromUtf8(rate.entry));
    const double sourceFps = device.format.framesPerSecond;
    for (auto _ : state) {
        const double gstLaunchCpu = gstLaunchCpuPercent(device.recipe()->launchDescription());
        const auto start = std::chrono::steady_clock::now();
        const PreviewRun run = runPreview(cameraOfKind(device), clientWidth, kRateSeconds, kRateGrabs);
        state.SetIterationTime(msSince(start) / 1000);
        const double frameIntervalMs = 1000.0 / sourceFps;
        state.counters["cpu_percent"] = run.cpuPercent;
        state.counters["vs_gst_launch"] = gstLaunchCpu > 0 ? run.cpuPercent / gstLaunchCpu : 0;
        state.counters["painted_fps"] = run.paintedFps;
        state.counters["painted_vs_source"] = run.paintedFps / sourceFps;
        state.counters["latency_p95_ms"] = run.latencyP95Ms;
        state.counters["p95_vs_frame_interval"] = run.latencyP95Ms / frameIntervalMs;
        state.counters["grab_ms"] = median(run.grabMs);
        state.counters["grab_width"] = run.grabWidth;
    }
}

} // namespace

BENCHMARK(BM_FirstFrame_BareSource)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_FirstFrame_CaptureWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_Cpu_GstLaunchBaseline)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
// 0: the window's design size (5250 x 4320 twips); 1280: a large window.
BENCHMARK(BM_ViewScale)->Arg(352)->Arg(1280)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);
BENCHMARK(BM_Cpu_CaptureWindowPreview)->Arg(0)->Arg(1280)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    TestModule owner;
    for (const CameraKind& kind : kCameraKinds) {
        benchmark::RegisterBenchmark((std::string("BM_CameraKind/") + kind.label).c_str(), BM_CameraKind, kind)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    for (const ProfessionalRate& rate : kProfessionalRates) {
        benchmark::RegisterBenchmark((std::string("BM_ProfessionalRate/") + rate.label).c_str(), BM_ProfessionalRate, rate)
            ->Arg(0)
            ->Arg(1280)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    for (const NetworkSenderKind& kind : networkSenderKinds()) {
        benchmark::RegisterBenchmark((std::string("BM_NetworkSource/") + kind.name).c_str(), BM_NetworkSource, kind)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
