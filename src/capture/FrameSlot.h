#pragma once

#include "capture/VideoFrame.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace didev {

// Shows frames as they come, on the streaming thread that made them.
class FrameOutput {
public:
    virtual ~FrameOutput() = default;
    // True when it showed `frame`; false leaves the frame to the user-interface thread.
    virtual bool show(const VideoFramePtr& frame) = 0;
};

// The newest frame of the stage on show, handed from a streaming thread to the UI thread.
// Holding one frame only, it never lets a queue build up: a frame not yet shown when the
// next arrives is replaced (dropped).
class FrameSlot {
public:
    static constexpr int kNoStage = -1;

    // Empties the slot and takes from now on only frames of `stage` (kNoStage: none).
    void show(int stage);
    int stageOnShow() const;

    // Streaming thread: keeps the frame when it is of the stage on show, and says in `kept`
    // whether it did. True when the UI thread has to be told, that is when no earlier notice is
    // still outstanding.
    bool offer(std::shared_ptr<VideoFrame> frame, bool* kept = nullptr);
    // UI thread: the outstanding notice has been taken; the next frame posts a new one.
    void noticeTaken();

    VideoFramePtr newest() const;
    // The newest frame; waits up to `wait` only when none has come yet.
    VideoFramePtr newest(std::chrono::milliseconds wait) const;
    void clear();

    uint64_t framesReceived() const;
    // Frames replaced before anyone looked at them.
    uint64_t framesDropped() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    VideoFramePtr newest_;
    int stage_ = 0;
    bool noticeOutstanding_ = false;
    mutable bool newestTaken_ = false;
    uint64_t received_ = 0;
    uint64_t dropped_ = 0;
};

} // namespace didev
