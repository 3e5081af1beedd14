#pragma once

#include "capture/provider/SourceRecipe.h"

#include <chrono>
#include <string>

namespace didev {

// How quickly a network source is given up and tried again.
struct NetworkTimings {
    // A connection attempt, or a started stream's first picture, that takes longer has failed.
    std::chrono::milliseconds connect{2000};
    // A stream that sends nothing for this long has stopped: its device goes away.
    std::chrono::milliseconds silence{1000};
    // Between two attempts to reach a source that is not there.
    std::chrono::milliseconds retry{500};
};

// A camera that sends over the network: where it is and the chain that receives and decodes
// it, with each protocol's low-latency settings. JPEG pictures leave the chain as they come (the
// pipeline decodes them as a camera's); H.264 leaves it decoded.
struct NetworkStream {
    std::string name;
    std::string uri;
    std::string chain;   // gst-launch-1.0 syntax, one free source pad
    NetworkTimings timings;

    // rtsp://, srt:// (caller, or listener with ?mode=listener; MPEG-TS with H.264),
    // udp://HOST:PORT?encoding=JPEG|H264 (RTP), http:// or https:// (multipart JPEG). RTSP
    // takes ?encoding= too (H264 unless said). Throws std::invalid_argument saying what is wrong.
    static NetworkStream fromUri(std::string name, const std::string& uri, NetworkTimings timings = {});
};

// A network source that answered: a device with the caps its stream was found to have. Its
// element fails, and the device goes away, when the stream stops, ends or errors.
class NetworkCamera final : public SourceRecipe {
public:
    // `caps` is taken over.
    NetworkCamera(NetworkStream stream, GstCaps* caps);
    ~NetworkCamera() override;

    const NetworkStream& stream() const { return stream_; }

    const char* deviceClass() const override { return "Video/Source"; }
    GstCaps* caps() const override;
    std::string launchDescription() const override { return stream_.chain; }
    uint64_t buffersBeforeFailure() const override { return 0; }
    std::optional<StreamLimits> streamLimits() const override;

private:
    NetworkStream stream_;
    GstCaps* caps_;
};

} // namespace didev
