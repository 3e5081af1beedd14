#pragma once

#include "common/Picture.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace didev {

// One captured frame.
struct SnapshotRecord {
    PicturePtr picture;            // the store holds one reference
    int16_t frameID = 0;           // frameCounter when the frame was taken
    double frameTime = 0.0;        // automation date of the capture, local time
    QString frameTimecode;         // timecode text handed to the grab
    bool savedByLogger = false;
};

// The frame store: frames numbered 1 .. upperBound() in the order they were taken, so the upper
// bound is the number of frames.
class FrameStore {
public:
    // Frame indexes and frame IDs are 16-bit: the store holds at most this many frames.
    static constexpr int kMaxFrames = 32767;

    int upperBound() const noexcept { return static_cast<int>(records_.size()); }
    int count() const noexcept { return upperBound(); }
    bool empty() const noexcept { return records_.empty(); }

    // Frame `index`; error 9 outside 1 .. upperBound().
    SnapshotRecord& at(int index);
    const SnapshotRecord& at(int index) const;

    // Resizes to frames 1 .. newUpperBound keeping the records that remain; new ones start empty.
    void resizePreserve(int newUpperBound);
    // Adds a frame after the last one.
    void append(SnapshotRecord record);
    // Removes frame `index`; the later frames move down one with their own fields. Error 9
    // outside 1 .. upperBound().
    void removeAt(int index);
    // Removes the frames saved by the logger, keeping the others in order; returns how many stay.
    int removeSavedByLogger();
    // No frames; every picture is released.
    void clear();

private:
    std::vector<SnapshotRecord> records_;
};

} // namespace didev
