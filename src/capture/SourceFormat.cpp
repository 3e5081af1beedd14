#include "capture/SourceFormat.h"

#include <gst/video/video.h>

#include <algorithm>
#include <vector>

namespace didev {

namespace {

struct Rate {
    int numerator = 0;
    int denominator = 1;

    double value() const { return denominator > 0 ? double(numerator) / denominator : 0.0; }
};

bool usablePixelFormat(const char* name)
{
    const GstVideoFormat format = gst_video_format_from_string(name);
    return format != GST_VIDEO_FORMAT_UNKNOWN && format != GST_VIDEO_FORMAT_ENCODED;
}

// The pixel format asked of raw video: BGRx as the preview uses it, else the first one usable;
// nothing when the field names only formats that cannot be converted.
std::optional<QString> pixelFormatOf(const GstStructure* structure)
{
    const GValue* value = gst_structure_get_value(structure, "format");
    if (!value)
        return QString();
    std::vector<const char*> names;
    if (G_VALUE_HOLDS_STRING(value)) {
        names.push_back(g_value_get_string(value));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_STRING(item))
                names.push_back(g_value_get_string(item));
        }
    }
    std::optional<QString> chosen;
    for (const char* name : names) {
        if (!name || !usablePixelFormat(name))
            continue;
        if (qstrcmp(name, "BGRx") == 0)
            return QString::fromLatin1(name);
        if (!chosen)
            chosen = QString::fromLatin1(name);
    }
    return chosen;
}

// The sizes a field offers; an open range is taken as near to `wanted` as it allows, and a
// missing field as 0 (left open).
std::vector<int> sizesOf(const GValue* value, int wanted)
{
    if (!value)
        return {0};
    if (G_VALUE_HOLDS_INT(value))
        return {g_value_get_int(value)};
    if (GST_VALUE_HOLDS_INT_RANGE(value))
        return {std::clamp(wanted, gst_value_get_int_range_min(value), gst_value_get_int_range_max(value))};
    std::vector<int> sizes;
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            for (int size : sizesOf(gst_value_list_get_value(value, i), wanted))
                sizes.push_back(size);
        }
    }
    return sizes;
}

int compareRates(const Rate& a, const Rate& b)
{
    return gst_util_fraction_compare(a.numerator, a.denominator, b.numerator, b.denominator);
}

// The rates a field offers; an open range gives the usual rate or the nearest it allows.
std::vector<Rate> ratesOf(const GValue* value)
{
    if (!value)
        return {Rate{}};
    if (GST_VALUE_HOLDS_FRACTION(value))
        return {Rate{gst_value_get_fraction_numerator(value), gst_value_get_fraction_denominator(value)}};
    if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        const GValue* low = gst_value_get_fraction_range_min(value);
        const GValue* high = gst_value_get_fraction_range_max(value);
        const Rate lowest{gst_value_get_fraction_numerator(low), gst_value_get_fraction_denominator(low)};
        const Rate highest{gst_value_get_fraction_numerator(high), gst_value_get_fraction_denominator(high)};
        const Rate usual{SourceFormat::kUsualRate, 1};
        if (compareRates(usual, lowest) < 0)
            return {lowest};
        return {compareRates(usual, highest) > 0 ? highest : usual};
    }
    std::vector<Rate> rates;
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            for (const Rate& rate : ratesOf(gst_value_list_get_value(value, i)))
                rates.push_back(rate);
        }
    }
    return rates;
}

bool inSystemMemory(const GstCapsFeatures* features)
{
    return !features || gst_caps_features_is_any(features)
        || gst_caps_features_is_equal(features, GST_CAPS_FEATURES_MEMORY_SYSTEM_MEMORY);
}

bool better(const SourceFormat& a, const SourceFormat& b)
{
    const double rateA = Rate{a.rateNumerator, a.rateDenominator}.value();
    const double rateB = Rate{b.rateNumerator, b.rateDenominator}.value();
    const bool fastA = rateA >= SourceFormat::kFastEnough;
    const bool fastB = rateB >= SourceFormat::kFastEnough;
    if (fastA != fastB)
        return fastA;
    const int64_t areaA = int64_t(a.width) * a.height;
    const int64_t areaB = int64_t(b.width) * b.height;
    // Fast enough, the largest picture wins; too slow, the fastest does.
    if (fastA && areaA != areaB)
        return areaA > areaB;
    if (rateA != rateB)
        return rateA > rateB;
    if (areaA != areaB)
        return areaA > areaB;
    return !a.isJpeg() && b.isJpeg();   // no decoding
}

} // namespace

GstCaps* SourceFormat::caps() const
{
    GstCaps* caps = gst_caps_new_empty_simple(mediaType.toUtf8().constData());
    GstStructure* structure = gst_caps_get_structure(caps, 0);
    if (!pixelFormat.isEmpty())
        gst_structure_set(structure, "format", G_TYPE_STRING, pixelFormat.toUtf8().constData(), nullptr);
    if (width > 0 && height > 0)
        gst_structure_set(structure, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
    if (rateNumerator > 0)
        gst_structure_set(structure, "framerate", GST_TYPE_FRACTION, rateNumerator, rateDenominator, nullptr);
    return caps;
}

QString SourceFormat::text() const
{
    QString text = mediaType;
    if (!pixelFormat.isEmpty())
        text += u' ' + pixelFormat;
    text += width > 0 ? QStringLiteral(" %1x%2").arg(width).arg(height) : QStringLiteral(" at any size");
    if (rateNumerator <= 0)
        return text + QStringLiteral(" at any rate");
    if (rateDenominator == 1)
        return text + QStringLiteral(" at %1 fps").arg(rateNumerator);
    return text + QStringLiteral(" at %1/%2 fps").arg(rateNumerator).arg(rateDenominator);
}

std::optional<SourceFormat> SourceFormat::choose(const GstCaps* offered)
{
    if (!offered || gst_caps_is_any(offered))
        return std::nullopt;
    std::optional<SourceFormat> best;
    for (guint i = 0; i < gst_caps_get_size(offered); ++i) {
        if (!inSystemMemory(gst_caps_get_features(offered, i)))
            continue;   // memory the converters cannot read
        const GstStructure* structure = gst_caps_get_structure(offered, i);
        SourceFormat format;
        format.mediaType = QString::fromUtf8(gst_structure_get_name(structure));
        if (format.mediaType == QLatin1String("video/x-raw")) {
            const std::optional<QString> pixelFormat = pixelFormatOf(structure);
            if (!pixelFormat)
                continue;
            format.pixelFormat = *pixelFormat;
        } else if (!format.isJpeg()) {
            continue;
        }
        const std::vector<int> widths = sizesOf(gst_structure_get_value(structure, "width"), kLargestWidth);
        const std::vector<int> heights = sizesOf(gst_structure_get_value(structure, "height"), kLargestHeight);
        const std::vector<Rate> rates = ratesOf(gst_structure_get_value(structure, "framerate"));
        for (int width : widths) {
            for (int height : heights) {
                for (const Rate& rate : rates) {
                    format.width = width;
                    format.height = height;
                    format.rateNumerator = rate.numerator;
                    format.rateDenominator = rate.denominator;
                    if (!best || better(format, *best))
                        best = format;
                }
            }
        }
    }
    return best;
}

} // namespace didev
