#include "capture/provider/NetworkCamera.h"

#include "capture/GstHandles.h"

#include <algorithm>
#include <stdexcept>

namespace didev {

namespace {

struct UriUnref {
    void operator()(GstUri* uri) const noexcept { gst_uri_unref(uri); }
};
using UriPtr = std::unique_ptr<GstUri, UriUnref>;

std::invalid_argument badUri(const std::string& uri, const std::string& why)
{
    return std::invalid_argument("\"" + uri + "\": " + why);
}

// A property value in gst-launch-1.0 syntax.
std::string quoted(const std::string& text)
{
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            result += '\\';
        result += c;
    }
    return result + '"';
}

std::string text(GstUri* uri)
{
    const GMemoryPtr<gchar> string(gst_uri_to_string(uri));
    return string.get();
}

enum class Encoding { Jpeg, H264 };

// The encoding a URI names in its query (taken out of it), or `fallback`.
Encoding takeEncoding(GstUri* uri, const std::string& original, std::optional<Encoding> fallback)
{
    const gchar* value = gst_uri_get_query_value(uri, "encoding");
    std::optional<Encoding> encoding = fallback;
    if (value) {
        const GMemoryPtr<gchar> upper(g_ascii_strup(value, -1));
        if (g_str_equal(upper.get(), "JPEG"))
            encoding = Encoding::Jpeg;
        else if (g_str_equal(upper.get(), "H264"))
            encoding = Encoding::H264;
        else
            throw badUri(original, std::string("encoding \"") + value + "\" is neither JPEG nor H264");
    }
    if (!encoding)
        throw badUri(original, "say what the stream carries: ?encoding=JPEG or ?encoding=H264");
    gst_uri_remove_query_key(uri, "encoding");
    return *encoding;
}

// Decoded H.264 leaves the chain as raw video; slice threads decode without holding frames back.
#define DIDEV_H264_DECODING "h264parse ! avdec_h264 thread-type=slice"
// JPEG leaves it parsed, so that its size is known before the first picture is decoded.
#define DIDEV_JPEG_PARSING "jpegparse"
constexpr const char* kH264 = DIDEV_H264_DECODING;
constexpr const char* kJpeg = DIDEV_JPEG_PARSING;

const char* depayloaded(Encoding encoding)
{
    return encoding == Encoding::Jpeg ? "rtpjpegdepay ! " DIDEV_JPEG_PARSING : "rtph264depay ! " DIDEV_H264_DECODING;
}

std::string microseconds(std::chrono::milliseconds time)
{
    return std::to_string(time.count() * 1000);
}

} // namespace

NetworkStream NetworkStream::fromUri(std::string name, const std::string& uri, NetworkTimings timings)
{
    if (name.empty())
        throw std::invalid_argument("the name is empty");
    UriPtr parsed(gst_uri_from_string(uri.c_str()));
    const char* scheme = parsed ? gst_uri_get_scheme(parsed.get()) : nullptr;
    if (!scheme)
        throw badUri(uri, "not a URI");
    const std::string kind = GMemoryPtr<gchar>(g_ascii_strdown(scheme, -1)).get();
    const guint port = gst_uri_get_port(parsed.get());
    const char* host = gst_uri_get_host(parsed.get());
    if ((kind == "srt" || kind == "udp") && port == GST_URI_NO_PORT)
        throw badUri(uri, "no port");
    if ((kind == "rtsp" || kind == "http" || kind == "https") && (!host || !*host))
        throw badUri(uri, "no host");

    NetworkStream stream{std::move(name), uri, {}, timings};
    // Each protocol's own buffering kept to what a local network needs (the module shows the
    // newest picture and drops late ones rather than waiting for them).
    if (kind == "srt") {
        // The URI's own latency, mode and passphrase win over the settings before it. Pictures
        // are timed by their arrival, not by the sender's clock reference, which would hold
        // them back for a clock the module does not follow.
        stream.chain = "srtsrc latency=100 wait-for-connection=false poll-timeout="
            + std::to_string(timings.connect.count()) + " uri=" + quoted(uri) + " ! tsdemux latency=50 ignore-pcr=true ! " + kH264;
    } else if (kind == "udp") {
        const Encoding encoding = takeEncoding(parsed.get(), uri, std::nullopt);
        const char* caps = encoding == Encoding::Jpeg
            ? "application/x-rtp,media=video,clock-rate=90000,encoding-name=JPEG"
            : "application/x-rtp,media=video,clock-rate=90000,encoding-name=H264";
        stream.chain = "udpsrc address=" + quoted(host && *host ? host : "0.0.0.0") + " port=" + std::to_string(port)
            + " caps=" + quoted(caps) + " ! rtpjitterbuffer latency=50 drop-on-latency=true ! " + depayloaded(encoding);
    } else if (kind == "rtsp") {
        const Encoding encoding = takeEncoding(parsed.get(), uri, Encoding::H264);
        stream.chain = "rtspsrc latency=100 drop-on-latency=true tcp-timeout=" + microseconds(timings.connect)
            + " timeout=" + microseconds(timings.connect) + " location=" + quoted(text(parsed.get())) + " ! "
            + depayloaded(encoding);
    } else if (kind == "http" || kind == "https") {
        const auto seconds = std::max<long long>(1, (timings.connect.count() + 999) / 1000);
        stream.chain = "souphttpsrc is-live=true do-timestamp=true timeout=" + std::to_string(seconds)
            + " location=" + quoted(uri) + " ! multipartdemux single-stream=true ! " + kJpeg;
    } else {
        throw badUri(uri, "scheme \"" + std::string(scheme) + "\" is not one of rtsp, srt, udp, http, https");
    }
    return stream;
}

NetworkCamera::NetworkCamera(NetworkStream stream, GstCaps* caps)
    : SourceRecipe(stream.name, SourceFault::None)
    , stream_(std::move(stream))
    , caps_(caps)
{
}

NetworkCamera::~NetworkCamera()
{
    gst_caps_unref(caps_);
}

GstCaps* NetworkCamera::caps() const
{
    return gst_caps_ref(caps_);
}

std::optional<StreamLimits> NetworkCamera::streamLimits() const
{
    return StreamLimits{stream_.timings.connect, stream_.timings.silence};
}

} // namespace didev
