#include "capture/FrameSlot.h"

#include <utility>

namespace didev {

void FrameSlot::show(int stage)
{
    VideoFramePtr released;
    std::lock_guard lock(mutex_);
    stage_ = stage;
    released = std::move(newest_);
}

int FrameSlot::stageOnShow() const
{
    std::lock_guard lock(mutex_);
    return stage_;
}

bool FrameSlot::offer(std::shared_ptr<VideoFrame> frame, bool* kept)
{
    if (kept)
        *kept = false;
    if (!frame)
        return false;
    VideoFramePtr released;
    bool notify = false;
    {
        std::lock_guard lock(mutex_);
        if (frame->stage() != stage_)
            return false;
        if (kept)
            *kept = true;
        if (newest_ && !newestTaken_)
            ++dropped_;
        ++received_;
        frame->setSequence(received_);
        released = std::exchange(newest_, std::move(frame));
        newestTaken_ = false;
        notify = !noticeOutstanding_;
        noticeOutstanding_ = true;
    }
    arrived_.notify_all();
    return notify;
}

void FrameSlot::noticeTaken()
{
    std::lock_guard lock(mutex_);
    noticeOutstanding_ = false;
}

VideoFramePtr FrameSlot::newest() const
{
    std::lock_guard lock(mutex_);
    newestTaken_ = newest_ != nullptr;
    return newest_;
}

VideoFramePtr FrameSlot::newest(std::chrono::milliseconds wait) const
{
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, wait, [this] { return newest_ != nullptr; });
    newestTaken_ = newest_ != nullptr;
    return newest_;
}

void FrameSlot::clear()
{
    VideoFramePtr released;
    std::lock_guard lock(mutex_);
    released = std::move(newest_);
}

uint64_t FrameSlot::framesReceived() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

uint64_t FrameSlot::framesDropped() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

} // namespace didev
