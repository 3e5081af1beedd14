#include "common/RowBands.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace didev {

namespace {

// Rows are shared in bands of about this many bytes: few enough to be handed out cheaply, small
// enough that a core held up elsewhere leaves little for the others to wait for.
constexpr std::ptrdiff_t kRowBandBytes = 64 * 1024;

// One call's rows: whoever takes part takes the next band until none is left.
struct SharedRows {
    const std::function<void(int, int)>& convert;
    const int rows;
    const int bandRows;
    std::atomic<int> next{0};
    int helping = 0;   // helpers inside run(), counted under the helpers' lock

    void run()
    {
        for (;;) {
            const int first = next.fetch_add(bandRows, std::memory_order_relaxed);
            if (first >= rows)
                return;
            convert(first, std::min(rows, first + bandRows));
        }
    }
};

// Threads kept for the process's life: starting one costs about what converting a band of a
// large picture does, and a grab that waits for a new thread to be scheduled waits longest.
class RowHelpers {
public:
    RowHelpers() = default;
    RowHelpers(const RowHelpers&) = delete;
    RowHelpers& operator=(const RowHelpers&) = delete;
    ~RowHelpers()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& helper : helpers_)
            helper.join();
    }

    // False when no call can be shared now: another one is under way, or no helper is to be had.
    bool share(SharedRows& rows)
    {
        std::unique_lock caller(calling_, std::try_to_lock);
        if (!caller.owns_lock() || !started())
            return false;
        {
            std::lock_guard lock(mutex_);
            current_ = &rows;
            ++serial_;
        }
        wake_.notify_all();
        rows.run();
        std::unique_lock lock(mutex_);
        current_ = nullptr;
        done_.wait(lock, [&] { return rows.helping == 0; });
        return true;
    }

private:
    // With `calling_` held.
    bool started()
    {
        if (!helpers_.empty())
            return true;
        const unsigned others = std::min(std::thread::hardware_concurrency(), 8u);
        for (unsigned i = 1; i < others; ++i) {
            try {
                helpers_.emplace_back([this] { help(); });
            } catch (const std::system_error&) {
                break;   // fewer helpers, or none: the caller does the rest
            }
        }
        return !helpers_.empty();
    }

    void help()
    {
        std::unique_lock lock(mutex_);
        uint64_t seen = 0;
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || (current_ && serial_ != seen); });
            if (stopping_)
                return;
            seen = serial_;
            SharedRows& rows = *current_;
            ++rows.helping;
            lock.unlock();
            rows.run();
            lock.lock();
            if (--rows.helping == 0)
                done_.notify_all();
        }
    }

    std::mutex calling_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    SharedRows* current_ = nullptr;
    uint64_t serial_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> helpers_;
};

RowHelpers& rowHelpers()
{
    static RowHelpers helpers;
    return helpers;
}

} // namespace

void inSharedRowBands(int rows, std::ptrdiff_t rowBytes, const std::function<void(int first, int end)>& convert)
{
    if (rows <= 0)
        return;
    const int bandRows = int(kRowBandBytes / std::max<std::ptrdiff_t>(1, rowBytes)) + 1;
    SharedRows shared{convert, rows, bandRows};
    if (rows <= bandRows || !rowHelpers().share(shared))
        convert(0, rows);
}

} // namespace didev
