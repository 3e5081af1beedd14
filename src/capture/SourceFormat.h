#pragma once

#include <gst/gst.h>

#include <QString>

#include <optional>

namespace didev {

// The format the module asks of a video device, chosen from what the device offers: the
// largest picture at 25 frames per second or more (or, when nothing is that fast, the fastest
// and then the largest), raw before JPEG when both are equal. Raw formats are converted for the
// preview and JPEG is decoded; other media cannot be used.
struct SourceFormat {
    static constexpr int kFastEnough = 25;
    // Open sizes and rates are taken as near to these as the device allows.
    static constexpr int kLargestWidth = 3840;
    static constexpr int kLargestHeight = 2160;
    static constexpr int kUsualRate = 30;

    QString mediaType;      // "video/x-raw" or "image/jpeg"
    QString pixelFormat;    // of raw video; empty when the device leaves it open
    int width = 0;          // 0: the device leaves it open
    int height = 0;
    int rateNumerator = 0;  // 0/1: the device does not say
    int rateDenominator = 1;

    bool isJpeg() const { return mediaType == QLatin1String("image/jpeg"); }
    // Fixed caps for the filter behind the device's element (a new reference).
    GstCaps* caps() const;
    // "image/jpeg 1920x1080 at 30 fps", for the log.
    QString text() const;

    // Nothing when the device offers nothing the module can use.
    static std::optional<SourceFormat> choose(const GstCaps* offered);

    bool operator==(const SourceFormat&) const = default;
};

} // namespace didev
