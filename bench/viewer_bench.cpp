// The road of a 1920 x 1080 and a 3840 x 2160 frame, against baselines measured in the same run:
// a grab from the running test pattern into the store against a memcpy of one frame as the camera
// delivers it; the memory a stored frame takes against its bitmap file; printing 50 frames
// (1080p) to PDF and to the print preview, per frame and with the peak memory.
#include "automation/FrameRoad.h"
#include "capture/CaptureWindow.h"
#include "common/Picture.h"
#include "support/TestModule.h"
#include "ui/InteractionSeam.h"
#include "ui/PictureBox.h"
#include "viewer/FramePrinting.h"
#include "viewer/PreviewPrinter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <utility>
#include <vector>

using namespace didev;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kGrabs = 300;
constexpr int kBetweenGrabsMs = 25;
constexpr int kWarmUpFrames = 12;
constexpr int kPrintedFrames = 50;

// The benchmarks' argument is the frame height.
struct FrameSize {
    int width;
    int height;
    int fps;
    int storedFrames;
    // The bytes a camera frame of this size holds (BGRx).
    size_t cameraBytes() const { return size_t{4} * static_cast<size_t>(width) * static_cast<size_t>(height); }
    size_t bitmapFileBytes() const { return 54 + static_cast<size_t>((width * 3 + 3) & ~3) * static_cast<size_t>(height); }
};
FrameSize frameSize(int64_t height)
{
    return height == 2160 ? FrameSize{3840, 2160, 10, 20} : FrameSize{kWidth, kHeight, 25, 50};
}

// Medians of the frame copy, by frame height: on the clock and in the thread's own CPU time,
// which a machine busy with other work leaves as it is.
std::map<int64_t, std::pair<double, double>> copyMedianMs;

double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void spin(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> samples, double p)
{
    std::sort(samples.begin(), samples.end());
    const size_t index = std::min(samples.size() - 1, static_cast<size_t>(p * static_cast<double>(samples.size() - 1) + 0.5));
    return samples[index];
}

long statusKilobytes(const char* field)
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0) {
            value = std::strtol(line + length, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return value;
}

// The process's memory: what is resident apart from memory files, plus what its memory files
// hold, so a page of a stored frame counts once whether it is mapped or not.
size_t footprintBytes()
{
    const long residentKb = statusKilobytes("VmRSS:");
    const long sharedKb = statusKilobytes("RssShmem:");
    size_t bytes = static_cast<size_t>(std::max(0L, residentKb - sharedKb)) * 1024;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        if (!std::filesystem::read_symlink(entry.path(), linkError).string().starts_with("/memfd:"))
            continue;
        struct stat status {};
        if (::stat(entry.path().c_str(), &status) == 0)
            bytes += static_cast<size_t>(status.st_blocks) * 512;
    }
    return bytes;
}

// The footprint less the files made ahead for the next grabs (one or two, a fixed cost and not
// one per frame), the least of readings a camera frame apart: how many of the camera's own
// buffers are under way at one moment varies by one or two, each the size of a frame.
size_t storedFootprintBytes()
{
    constexpr int kReadings = 7;
    std::vector<double> readings;
    for (int i = 0; i < kReadings; ++i) {
        spin(kBetweenGrabsMs);
        const size_t madeAhead = Picture::settleFiles();
        malloc_trim(0);
        readings.push_back(static_cast<double>(footprintBytes() - madeAhead));
    }
    return static_cast<size_t>(percentile(readings, 0));
}

// The capture window on a running test pattern, keeping only the latest frame so the store
// does not grow with the grabs.
class RunningPattern {
public:
    explicit RunningPattern(const FrameSize& size)
    {
        CaptureOptions options;
        options.systemDevices = false;
        options.virtualVideo.append(VirtualVideoDevice{QStringLiteral("Test Pattern"), QStringLiteral("smpte"), {size.width, size.height, size.fps}});
        window_ = std::make_unique<CaptureWindow>(testModule().state(), options);
        testModule().state().closeNotifyRequest = QStringLiteral("N");
        window_->load();
        window_->show();
        for (int i = 0; i < 100 && !window_->captureControl().newestFrame(); ++i)
            spin(20);
        testModule().state().clearFrames();
    }
    ~RunningPattern()
    {
        testModule().unloadViewer();
        window_.reset();
        testModule().state().clearFrames();
    }

    CaptureWindow& window() { return *window_; }

private:
    std::unique_ptr<CaptureWindow> window_;
};

void BM_CopyOfOneFrame(benchmark::State& state)
{
    const size_t bytes = frameSize(state.range(0)).cameraBytes();
    std::vector<uint8_t> source(bytes, 0x5A);
    std::vector<uint8_t> target(bytes, 0);
    std::vector<double> samples;
    std::vector<double> cpuSamples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuMs();
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
        cpuSamples.push_back(threadCpuMs() - cpuStart);
        samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    copyMedianMs[state.range(0)] = {percentile(samples, 0.5), percentile(cpuSamples, 0.5)};
    state.counters["median_ms"] = percentile(samples, 0.5);
    state.counters["p99_ms"] = percentile(samples, 0.99);
}
BENCHMARK(BM_CopyOfOneFrame)->Arg(1080)->Arg(2160)->Iterations(kGrabs)->Unit(benchmark::kMillisecond);

void BM_GrabIntoStore(benchmark::State& state)
{
    const FrameSize size = frameSize(state.range(0));
    RunningPattern pattern(size);
    testModule().state().accumulateFrames = false;
    std::vector<double> samples;
    std::vector<double> cpuSamples;
    int failures = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuMs();
        if (CaptureSnapshot(testModule(), pattern.window(), QString()) == 0)
            ++failures;
        cpuSamples.push_back(threadCpuMs() - cpuStart);
        samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        // Frames keep arriving between grabs, as they do between key presses (a few a second at most).
        state.PauseTiming();
        spin(kBetweenGrabsMs);
        state.ResumeTiming();
    }
    testModule().state().accumulateFrames = true;
    const FrameStore& store = testModule().state().snapshotStore;
    state.counters["frame_width"] = store.empty() || !store.at(1).picture ? 0 : store.at(1).picture->width();
    const double median = percentile(samples, 0.5);
    const double cpuMedian = percentile(cpuSamples, 0.5);
    const auto [copy, cpuCopy] = copyMedianMs[state.range(0)];
    state.counters["median_ms"] = median;
    state.counters["p99_ms"] = percentile(samples, 0.99);
    state.counters["median_vs_copy"] = copy > 0 ? median / copy : 0;
    state.counters["failures"] = failures;
    std::printf("Grab %dx%d into the store: median %.3f ms vs memcpy of the camera frame %.3f ms  ratio %.2f x  "
                "(target <= 5 x%s); thread CPU time %.3f ms vs %.3f ms  ratio %.2f x\n",
        size.width, size.height, median, copy, copy > 0 ? median / copy : 0, size.height == kHeight ? " and < 3 ms" : "",
        cpuMedian, cpuCopy, cpuCopy > 0 ? cpuMedian / cpuCopy : 0);
    std::fflush(stdout);
}
BENCHMARK(BM_GrabIntoStore)->Arg(1080)->Arg(2160)->Iterations(kGrabs)->Unit(benchmark::kMillisecond);

void BM_MemoryPerStoredFrame(benchmark::State& state)
{
    const FrameSize size = frameSize(state.range(0));
    RunningPattern pattern(size);
    testModule().state().accumulateFrames = true;
    double ratio = 0;
    size_t madeAhead = 0;
    for (auto _ : state) {
        testModule().state().clearFrames();
        // The first grab opens the viewer at the frame's size and the second fits a frame into it:
        // the picture boxes' own buffers are made then, and they are not the store's. The slope
        // between two fill levels leaves out any other one-off (a buffer pool growing by one).
        for (int i = 0; i < kWarmUpFrames; ++i)
            CaptureSnapshot(testModule(), pattern.window(), QString());
        const size_t before = storedFootprintBytes();
        for (int i = 0; i < size.storedFrames; ++i)
            CaptureSnapshot(testModule(), pattern.window(), QString());
        const size_t after = storedFootprintBytes();
        madeAhead = Picture::settleFiles();
        const double perFrame = (static_cast<double>(after) - static_cast<double>(before)) / size.storedFrames;
        ratio = perFrame / static_cast<double>(size.bitmapFileBytes());
        state.counters["bytes_per_frame"] = perFrame;
        state.counters["raw_bytes"] = static_cast<double>(size.bitmapFileBytes());
        testModule().unloadViewer();
        testModule().state().clearFrames();
    }
    state.counters["ratio_to_raw"] = ratio;
    std::printf("Memory per stored %dx%d frame (resident plus memory files): %.0f bytes vs its bitmap file %zu bytes  "
                "ratio %.3f x  (target <= 1.02 x); files made ahead for the next grabs %zu bytes, once\n",
        size.width, size.height, ratio * static_cast<double>(size.bitmapFileBytes()), size.bitmapFileBytes(), ratio,
        madeAhead);
    std::fflush(stdout);
}
BENCHMARK(BM_MemoryPerStoredFrame)->Arg(1080)->Arg(2160)->Iterations(1)->Unit(benchmark::kMillisecond);

PicturePtr patternPicture(int seed)
{
    return Picture::create(kWidth, kHeight, [seed](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = bits + stride * y;
            for (int x = 0; x < kWidth; ++x) {
                row[4 * x] = static_cast<uint8_t>(x + seed);
                row[4 * x + 1] = static_cast<uint8_t>(y * 2 + seed);
                row[4 * x + 2] = static_cast<uint8_t>((x ^ y) + seed);
                row[4 * x + 3] = 255;
            }
        }
    });
}

// Fifty 1080p frames in the store, the report directory in a temporary folder, a scripted session.
class PrintRun {
public:
    explicit PrintRun(bool unattended)
        : registry_(qgetenv("DIDEV_REGISTRY_DIR"))
    {
        qputenv("DIDEV_REGISTRY_DIR", folder_.filePath(QStringLiteral("registry")).toUtf8());
        QDir(folder_.path()).mkpath(QStringLiteral("registry"));
        QFile reg(folder_.filePath(QStringLiteral("registry/HKEY_CURRENT_USER.reg")));
        if (reg.open(QIODevice::WriteOnly)) {
            reg.write("REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Halvern Pictures\\Kelvara Suite]\n\"ReportDir\"=\"");
            reg.write(reportDir().toUtf8());
            reg.write("\"\n");
            reg.close();
        }
        ModuleState& module = testModule().state();
        module.userRegArea = 0x80000001;
        module.tmpPath = folder_.path() + QLatin1Char('/');
        testModule().state().clearFrames();
        for (int i = 1; i <= kPrintedFrames; ++i) {
            const int n = module.snapshotStore.upperBound() + 1;
            module.snapshotStore.resizePreserve(n);
            module.snapshotStore.at(n).picture = patternPicture(i);
            module.snapshotStore.at(n).frameID = static_cast<int16_t>(i);
        }
        hidden_.setAutoSize(true);
        InteractionSeam::instance().setUnattended(unattended);
    }
    ~PrintRun()
    {
        InteractionSeam::instance().setUnattended(false);
        testModule().state().clearFrames();
        if (registry_.isNull())
            qunsetenv("DIDEV_REGISTRY_DIR");
        else
            qputenv("DIDEV_REGISTRY_DIR", registry_);
    }
    PrintRun(const PrintRun&) = delete;
    PrintRun& operator=(const PrintRun&) = delete;

    QString reportDir() const { return folder_.filePath(QStringLiteral("reports")); }

    // Prints every frame, answering Yes and OK; the seconds it took and the peak resident
    // size above the one at the start, in kilobytes.
    std::pair<double, long> printAll()
    {
        // Resets the peak resident size to the current one.
        if (FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", clear);
            std::fclose(clear);
        }
        const long startKb = statusKilobytes("VmRSS:");
        InteractionSeam& seam = InteractionSeam::instance();
        seam.queueAnswer(ModalKind::Message, 6);
        seam.queueAnswer(ModalKind::Print, true);
        QElapsedTimer timer;
        timer.start();
        testModule().printer().printFrames(0, hidden_);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        const long peakKb = statusKilobytes("VmHWM:");
        seam.takeMessages();
        return {seconds, peakKb - startKb};
    }

private:
    QTemporaryDir folder_;
    const QByteArray registry_;
    PictureBox hidden_;
};

// Closes the print preview once its pages are made, noting what the document holds then.
class PreviewCloser : public QObject {
public:
    PreviewCloser() { qApp->installEventFilter(this); }
    ~PreviewCloser() override { qApp->removeEventFilter(this); }
    PreviewCloser(const PreviewCloser&) = delete;
    PreviewCloser& operator=(const PreviewCloser&) = delete;

    size_t documentBytes = 0;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(object);
        if (preview && event->type() == QEvent::Show) {
            QTimer::singleShot(0, preview, [this, preview] {
                if (const auto& printer = testModule().printer().previewPrinter())
                    documentBytes = printer->document().retainedPictureBytes();
                preview->close();
            });
        }
        return false;
    }
};

void BM_PrintFiftyFramesToPdf(benchmark::State& state)
{
    PrintRun run(true);
    std::pair<double, long> figures;
    for (auto _ : state)
        figures = run.printAll();
    const QDir reports(run.reportDir());
    const QStringList written = reports.entryList({QStringLiteral("*.pdf")});
    state.counters["total_s"] = figures.first;
    state.counters["per_frame_ms"] = figures.first * 1000 / kPrintedFrames;
    state.counters["peak_over_start_MB"] = static_cast<double>(figures.second) / 1024.0;
    state.counters["peak_rss_MB"] = static_cast<double>(statusKilobytes("VmHWM:")) / 1024.0;
    state.counters["pdf_MB"] = written.isEmpty() ? 0 : static_cast<double>(QFileInfo(reports.filePath(written.first())).size()) / 1048576.0;
}
BENCHMARK(BM_PrintFiftyFramesToPdf)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same fifty frames shown in the print preview, which holds every page at once.
void BM_PreviewFiftyFrames(benchmark::State& state)
{
    PrintRun run(false);
    PreviewCloser closer;
    std::pair<double, long> figures;
    for (auto _ : state)
        figures = run.printAll();
    state.counters["total_s"] = figures.first;
    state.counters["per_frame_ms"] = figures.first * 1000 / kPrintedFrames;
    state.counters["peak_over_start_MB"] = static_cast<double>(figures.second) / 1024.0;
    state.counters["document_MB"] = static_cast<double>(closer.documentBytes) / 1048576.0;
}
BENCHMARK(BM_PreviewFiftyFrames)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("GST_REGISTRY_UPDATE", "no", 0);
    QApplication app(argc, argv);
    TestModule owner;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
