// Imaging costs for one 1920 x 1080 frame, each against a baseline measured in the same run:
// JPEG export vs tjCompress2 and a durable write of its output by hand, bitmap export vs the
// same durable write of the same bytes (and both against the bare compress and one write(), to
// show what putting the file on disk costs), the frame's 24-bit bitmap vs a memcpy of the
// frame, resampling vs a straightforward resampler. Files go to $DIDEV_BENCH_DIR, or a fresh folder
// under /tmp.

#include "common/Picture.h"
#include "imaging/Bitmap24.h"
#include "imaging/BitmapFile.h"
#include "imaging/JpegWriter.h"
#include "imaging/Resampler.h"
#include "snapshots/SnapshotExport.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace didev;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::string benchFolder;

const PicturePtr& frame()
{
    // Smooth shading with a little grain, so the JPEG costs what a camera frame costs.
    static const PicturePtr picture = Picture::create(kWidth, kHeight, [](uint8_t* bits, std::ptrdiff_t stride) {
        std::mt19937 generator(7);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = bits + stride * y + 4 * x;
                const int grain = static_cast<int>(generator() % 9) - 4;
                p[0] = static_cast<uint8_t>(std::clamp(40 + x * 180 / kWidth + grain, 0, 255));
                p[1] = static_cast<uint8_t>(std::clamp(30 + y * 200 / kHeight + grain, 0, 255));
                p[2] = static_cast<uint8_t>(std::clamp(
                    128 + static_cast<int>(90 * std::sin(x / 97.0) * std::cos(y / 61.0)) + grain, 0, 255));
                p[3] = 255;
            }
    });
    return picture;
}

// The frame as the old exports held it before writing: 24-bit, bottom-up.
const Bitmap24& frameBitmap()
{
    static const Bitmap24 bitmap = Bitmap24::from(viewOf(*frame()));
    return bitmap;
}

std::string fileIn(const char* name)
{
    return benchFolder + "/" + name;
}

// --- Straightforward resampler: floor and nearbyint for every pixel and every channel --------

std::vector<uint8_t> straightforwardResample(const Bitmap24& source, int newWidth, int newHeight)
{
    const int stride = (newWidth * 3 + 3) & ~3;
    std::vector<uint8_t> target(static_cast<size_t>(stride) * static_cast<size_t>(newHeight));
    const uint8_t* bits = source.bits();
    const std::ptrdiff_t sourceStride = source.stride();
    const float xScale = static_cast<float>(double(source.width() - 1) / newWidth);
    const float yScale = static_cast<float>(double(source.height() - 1) / newHeight);
    for (int y = 0; y < newHeight; ++y) {
        const float fy = yScale * static_cast<float>(y);
        const int iy = static_cast<int>(std::floor(fy));
        const float dy = fy - static_cast<float>(iy);
        const uint8_t* row0 = bits + static_cast<std::ptrdiff_t>(sourceStride) * iy;
        const uint8_t* row1 = row0 + sourceStride;
        uint8_t* out = target.data() + static_cast<std::ptrdiff_t>(stride) * y;
        for (int x = 0; x < newWidth; ++x) {
            const float fx = xScale * static_cast<float>(x);
            const int ix = static_cast<int>(std::floor(fx));
            const float dx = fx - static_cast<float>(ix);
            for (int c = 0; c < 3; ++c) {
                const float p1 = row0[3 * ix + c], p2 = row0[3 * ix + 3 + c];
                const float p3 = row1[3 * ix + c], p4 = row1[3 * ix + 3 + c];
                const double left = std::nearbyint((1.0 - double(dy)) * double(p1) + double(dy) * double(p3));
                const double right = std::nearbyint((1.0 - double(dy)) * double(p2) + double(dy) * double(p4));
                const double value = std::nearbyint((1.0 - double(dx)) * left + double(dx) * right);
                out[3 * x + c] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
            }
        }
    }
    return target;
}

bool resampleIsBitExact(int newWidth, int newHeight)
{
    const Bitmap24 resampledFrame = resampled(frameBitmap().view(), newWidth, newHeight);
    const std::vector<uint8_t> expected = straightforwardResample(frameBitmap(), newWidth, newHeight);
    return resampledFrame.byteCount() == expected.size()
        && std::memcmp(resampledFrame.bits(), expected.data(), expected.size()) == 0;
}

// --- Benchmarks ------------------------------------------------------------------------------

// The export compresses the frame's own BGRx rows; nothing is converted first.
void JpegExport(benchmark::State& state)
{
    const std::string file = fileIn("export.jpg");
    for (auto _ : state)
        benchmark::DoNotOptimize(saveJpegFile(viewOf(*frame()), file, 90));
}

// The compressed frame from one tjCompress2; false when the codec fails.
bool compressFrame(tjhandle compressor, unsigned char** jpeg, unsigned long* size)
{
    const Bitmap24& bitmap = frameBitmap();
    return tjCompress2(compressor, bitmap.bits(), bitmap.width(), static_cast<int>(bitmap.stride()), bitmap.height(),
               TJPF_BGR, jpeg, size, TJSAMP_420, 90, TJFLAG_BOTTOMUP) == 0;
}

enum class Write { None, Plain, Durable };

// Bytes into a file the plainest way: one write() into the truncated file. Durable, the way
// the export must: one write() into a file beside it, fsync, rename over the name, fsync the
// folder, so the name holds the old or the new file, whole, whatever happens.
void writeFile(const std::string& file, const void* bytes, size_t size, Write how)
{
    if (how == Write::None)
        return;
    const std::string written = how == Write::Durable ? file + ".new" : file;
    const int fd = ::open(written.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    benchmark::DoNotOptimize(::write(fd, bytes, size));
    if (how == Write::Durable)
        ::fsync(fd);
    ::close(fd);
    if (how == Write::Durable) {
        ::rename(written.c_str(), file.c_str());
        const int folder = ::open(benchFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::fsync(folder);
        ::close(folder);
    }
}

void JpegCompress(benchmark::State& state, Write how)
{
    std::unique_ptr<void, decltype(&tjDestroy)> compressor(tjInitCompress(), &tjDestroy);
    const std::string file = fileIn("plain.jpg");
    for (auto _ : state) {
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        benchmark::DoNotOptimize(compressFrame(compressor.get(), &jpeg, &size));
        writeFile(file, jpeg, size, how);
        tjFree(jpeg);
    }
}

void JpegBareCompress(benchmark::State& state)
{
    JpegCompress(state, Write::None);
}

void JpegCompressDurableWrite(benchmark::State& state)
{
    JpegCompress(state, Write::Durable);
}

// The bitmap file of pixels already in the file's layout, as earlier exports held them.
void BitmapExport(benchmark::State& state)
{
    const std::string file = fileIn("export.bmp");
    for (auto _ : state)
        benchmark::DoNotOptimize(saveBitmapFile(frameBitmap().view(), file));
}

void BitmapWrite(benchmark::State& state, Write how)
{
    // The bitmap file's bytes, ready in one buffer, written with one call.
    const Bitmap24& bitmap = frameBitmap();
    std::vector<uint8_t> bytes(bitmapFileSize(bitmap.width(), bitmap.height()));
    const auto headers = bitmapFileHeader(bitmap.width(), bitmap.height());
    std::memcpy(bytes.data(), headers.data(), headers.size());
    std::memcpy(bytes.data() + headers.size(), bitmap.bits(), bitmap.byteCount());
    const std::string file = fileIn("plain.bmp");
    for (auto _ : state)
        writeFile(file, bytes.data(), bytes.size(), how);
}

void BitmapPlainWrite(benchmark::State& state)
{
    BitmapWrite(state, Write::Plain);
}

void BitmapDurableWrite(benchmark::State& state)
{
    BitmapWrite(state, Write::Durable);
}

void FrameAsBitmapFromStore(benchmark::State& state)
{
    SnapshotRecord record;
    record.picture = frame();
    const QString file = QString::fromStdString(fileIn("frame.bmp"));
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveFrameAsBitmap(record, file));
}

void FrameAsJpegFromStore(benchmark::State& state)
{
    SnapshotRecord record;
    record.picture = frame();
    const QString file = QString::fromStdString(fileIn("frame.jpg"));
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveFrameAsJPEG(record, file, 90));
}

void BitmapFromPicture(benchmark::State& state)
{
    for (auto _ : state) {
        const Bitmap24 bitmap = Bitmap24::from(viewOf(*frame()));
        benchmark::DoNotOptimize(bitmap.bits());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame()->byteCount()));
}

void MemcpyFrame(benchmark::State& state)
{
    std::vector<uint8_t> target(frame()->byteCount());
    for (auto _ : state) {
        std::memcpy(target.data(), frame()->bits(), target.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame()->byteCount()));
}

void Resample(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    for (auto _ : state)
        benchmark::DoNotOptimize(resampled(frameBitmap().view(), width, height));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * width * height);
}

void ResampleStraightforward(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    for (auto _ : state)
        benchmark::DoNotOptimize(straightforwardResample(frameBitmap(), width, height));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * width * height);
}

// The machine is shared: each figure is the best of five repetitions.
double smallest(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

void configure(benchmark::internal::Benchmark* b)
{
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ComputeStatistics("min", smallest)
        ->DisplayAggregatesOnly(true);
}

BENCHMARK(JpegExport)->Apply(configure);
BENCHMARK(JpegBareCompress)->Apply(configure);
BENCHMARK(JpegCompressDurableWrite)->Apply(configure);
BENCHMARK(BitmapExport)->Apply(configure);
BENCHMARK(BitmapPlainWrite)->Apply(configure);
BENCHMARK(BitmapDurableWrite)->Apply(configure);
BENCHMARK(FrameAsBitmapFromStore)->Apply(configure);
BENCHMARK(FrameAsJpegFromStore)->Apply(configure);
BENCHMARK(BitmapFromPicture)->Apply(configure);
BENCHMARK(MemcpyFrame)->Apply(configure);
BENCHMARK(Resample)->Args({960, 540})->Args({3840, 2160})->Apply(configure);
BENCHMARK(ResampleStraightforward)->Args({960, 540})->Args({3840, 2160})->Apply(configure);

// Keeps each benchmark's best time per iteration, beside the usual console table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.iterations <= 0)
                continue;
            const bool best = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!best && !single)
                continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty())
                name += "/" + run.run_name.args;
            seconds[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
        }
    }

    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv)
{
    if (const char* folder = std::getenv("DIDEV_BENCH_DIR")) {
        benchFolder = folder;
    } else {
        char pattern[] = "/tmp/didev-bench-XXXXXX";
        if (!::mkdtemp(pattern))
            return 1;
        benchFolder = pattern;
    }

    for (const auto& [w, h] : {std::pair{960, 540}, std::pair{3840, 2160}}) {
        const bool exact = resampleIsBitExact(w, h);
        std::printf("Resample to %dx%d matches the straightforward resampler bit for bit: %s\n", w, h,
            exact ? "yes" : "NO");
        if (!exact)
            return 1;
    }

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto& t = reporter.seconds;
    const auto ratio = [&](const char* what, const std::string& measured, const std::string& baseline,
                           const char* target) {
        if (!t.contains(measured) || !t.contains(baseline))
            return;
        std::printf("%-44s %8.3f ms vs %8.3f ms  ratio %5.2f x  (target %s)\n", what, t.at(measured) * 1e3,
            t.at(baseline) * 1e3, t.at(measured) / t.at(baseline), target);
    };
    const auto speed = [&](const char* what, const std::string& fast, const std::string& plain, double pixels) {
        if (!t.contains(fast) || !t.contains(plain))
            return;
        std::printf("%-44s %8.1f MP/s vs %8.1f MP/s  speed-up %5.2f x  (target >= 3 x)\n", what,
            pixels / t.at(fast) / 1e6, pixels / t.at(plain) / 1e6, t.at(plain) / t.at(fast));
    };
    std::printf("\nRatios for one %dx%d frame (files in %s):\n", kWidth, kHeight, benchFolder.c_str());
    ratio("JPEG export / tjCompress2 + durable write", "JpegExport", "JpegCompressDurableWrite", "<= 1.15 x");
    ratio("Bitmap export / one durable write()", "BitmapExport", "BitmapDurableWrite", "<= 1.3 x");
    ratio("JPEG export / bare tjCompress2", "JpegExport", "JpegBareCompress", "for information");
    ratio("Bitmap export / one write(), not synced", "BitmapExport", "BitmapPlainWrite", "for information");
    // Named after the section call it replaced, so earlier figures compare.
    ratio("CreateFromPicture / memcpy of the frame", "BitmapFromPicture", "MemcpyFrame",
        "<= 2 x");
    ratio("Frame to bitmap (section + file) / durable write()", "FrameAsBitmapFromStore", "BitmapDurableWrite",
        "for information");
    ratio("Frame to JPEG (section + file) / compress + write", "FrameAsJpegFromStore", "JpegCompressDurableWrite",
        "for information");
    speed("Resample to 960x540", "Resample/960/540", "ResampleStraightforward/960/540",
        960.0 * 540.0);
    speed("Resample to 3840x2160", "Resample/3840/2160", "ResampleStraightforward/3840/2160",
        3840.0 * 2160.0);

    if (!std::getenv("DIDEV_BENCH_DIR"))
        std::filesystem::remove_all(benchFolder);
    return 0;
}
