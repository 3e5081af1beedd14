#pragma once

#include "common/HostBoolean.h"
#include "common/Picture.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace didev {

// One captured frame.
struct SnapshotRecord {
    PicturePtr picture;            // the store holds one reference; none for element 0
    int16_t frameID = 0;           // frameCounter when the frame was taken
    double frameTime = 0.0;        // automation date of the capture, local time
    QString frameTimecode;         // timecode text handed to the grab
    HostBoolean savedByLogger = kHostFalse;
};

// The frame store: an array with lower bound 0 whose element 0 is never a frame. Frames sit at
// 1 .. upperBound() in the order they were taken, so the upper bound is the number of frames.
class SnapshotStore {
public:
    // Frame indexes and frame IDs are 16-bit: the store holds at most this many frames.
    static constexpr int kMaxFrames = 32767;

    SnapshotStore();

    int upperBound() const noexcept { return static_cast<int>(records_.size()) - 1; }
    int count() const noexcept { return upperBound(); }
    bool empty() const noexcept { return upperBound() == 0; }

    // Element `index`; error 9 outside 0 .. upperBound().
    SnapshotRecord& at(int index);
    const SnapshotRecord& at(int index) const;

    // Resizes to bounds 0 .. newUpperBound keeping the records that remain; new ones start empty.
    void resizePreserve(int newUpperBound);
    // Adds a frame after the last one.
    void append(SnapshotRecord record);
    // Removes frame `index`; the later frames move down one with their own fields. Error 9
    // outside 1 .. upperBound().
    void removeAt(int index);
    // Removes the frames saved by the logger, keeping the others in order; returns how many stay.
    int removeSavedByLogger();
    // Back to bounds 0 .. 0; every picture is released.
    void clear();

private:
    std::vector<SnapshotRecord> records_;
};

} // namespace didev
