#pragma once

#include "snapshots/FrameStore.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace didev {

// The picture-format code of one of the host's format numbers 1 .. 11; none outside them.
std::optional<int32_t> pictureFormatCode(int16_t hostFormat) noexcept;

// Writes frame `index` of `store` in the host's format: 1 a bitmap, 3 a JPEG at quality 90, the
// other numbers nothing (false). A format outside 1 .. 11 is false before the store is looked
// at; an index outside the store is error 9, frame 0 error 91 for formats 1 and 3. Colour
// depth and reduction are accepted and have no effect. The store is never changed.
bool SaveSnapshot(const FrameStore& store, int16_t index, const QString& fileName, int16_t format,
    int16_t colorDepth = 0, int16_t colorReduction = 0);

// Code 9 writes a JPEG at quality 90, code 11 a bitmap; any other code is false and touches
// no file.
bool SaveFrameToFormat(const SnapshotRecord& record, int32_t code, const QString& fileName);
bool SaveFrameAsBitmap(const SnapshotRecord& record, const QString& fileName);
bool SaveFrameAsJPEG(const SnapshotRecord& record, const QString& fileName, int32_t quality);

} // namespace didev
