#include "capture/NetworkCameras.h"

#include "capture/CaptureLog.h"
#include "capture/GstHandles.h"
#include "capture/provider/DeviceProvider.h"
#include "capture/provider/PluggedDevice.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace didev {

namespace {

constexpr const char* kSeen = "didev-network-picture";

// What a device offers for a stream whose first picture had `seen`: its kind, pixel format and
// size, and its rate when the stream says one (RTP and multipart streams seldom do).
GstCaps* offeredFor(const GstCaps* seen)
{
    const GstStructure* picture = gst_caps_get_structure(seen, 0);
    GstCaps* caps = gst_caps_new_empty_simple(gst_structure_get_name(picture));
    GstStructure* offered = gst_caps_get_structure(caps, 0);
    for (const char* field : {"format", "width", "height"}) {
        if (const GValue* value = gst_structure_get_value(picture, field))
            gst_structure_set_value(offered, field, value);
    }
    int numerator = 0;
    int denominator = 1;
    if (gst_structure_get_fraction(picture, "framerate", &numerator, &denominator) && numerator > 0)
        gst_structure_set(offered, "framerate", GST_TYPE_FRACTION, numerator, denominator, nullptr);
    return caps;
}

// The first picture that reaches the end of the chain tells its caps on the bus, once.
GstPadProbeReturn onFirstPicture(GstPad* pad, GstPadProbeInfo*, gpointer sink)
{
    const GstCapsPtr caps(gst_pad_get_current_caps(pad));
    if (!caps)
        return GST_PAD_PROBE_OK;
    GstStructure* seen = gst_structure_new(kSeen, "caps", GST_TYPE_CAPS, caps.get(), nullptr);
    gst_element_post_message(GST_ELEMENT(sink), gst_message_new_application(GST_OBJECT(sink), seen));
    return GST_PAD_PROBE_REMOVE;
}

std::string errorText(GstMessage* message)
{
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    const GErrorPtr owned(error);
    return owned ? owned->message : "unknown error";
}

} // namespace

class NetworkCameras::Source {
public:
    explicit Source(NetworkStream stream)
        : stream_(std::move(stream))
        , thread_([this] { run(); })
    {
    }

    ~Source()
    {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    bool waitUntilTried(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_until(lock, deadline, [this] { return tried_; });
    }

private:
    // Sleeps up to `time`; false once the watch ends.
    bool pause(std::chrono::milliseconds time)
    {
        std::unique_lock lock(mutex_);
        return !changed_.wait_for(lock, time, [this] { return cancelled_.load(); });
    }

    void tried()
    {
        {
            std::lock_guard lock(mutex_);
            tried_ = true;
        }
        changed_.notify_all();
    }

    void run()
    {
        PluggedDevice device;
        std::string lastReason;
        while (!cancelled_) {
            if (device.serial() != 0) {
                // On offer until its stream stops; then it is tried again at once.
                if (DeviceProvider::isOffered(device.serial())) {
                    pause(stream_.timings.retry);
                    continue;
                }
                device = PluggedDevice();
                qCInfo(captureLog).noquote() << QStringLiteral("network source \"%1\" stopped sending")
                                                    .arg(QString::fromStdString(stream_.name));
            }
            std::string reason;
            GstCaps* caps = probe(stream_, cancelled_, &reason);
            if (caps) {
                device = PluggedDevice(std::make_shared<NetworkCamera>(stream_, caps));
                lastReason.clear();
                qCInfo(captureLog).noquote() << QStringLiteral("network source \"%1\" sends %2")
                                                    .arg(QString::fromStdString(stream_.name),
                                                         QString::fromUtf8(GMemoryPtr<gchar>(gst_caps_to_string(caps)).get()));
                tried();
                continue;
            }
            tried();
            if (reason != lastReason && !cancelled_) {
                qCInfo(captureLog).noquote() << QStringLiteral("network source \"%1\" (%2) does not answer: %3")
                                                    .arg(QString::fromStdString(stream_.name),
                                                         QString::fromStdString(stream_.uri),
                                                         QString::fromStdString(reason));
                lastReason = reason;
            }
            pause(stream_.timings.retry);
        }
    }

    const NetworkStream stream_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> cancelled_{false};
    bool tried_ = false;
    std::thread thread_;   // last: it starts once everything else is there
};

NetworkCameras::NetworkCameras(std::vector<NetworkStream> streams)
{
    ensureGstreamer();
    for (NetworkStream& stream : streams)
        sources_.push_back(std::make_unique<Source>(std::move(stream)));
}

NetworkCameras::~NetworkCameras() = default;

bool NetworkCameras::waitForFirstAttempts(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool all = true;
    for (const auto& source : sources_)
        all = source->waitUntilTried(deadline) && all;
    return all;
}

GstCaps* NetworkCameras::probe(const NetworkStream& stream, const std::atomic<bool>& cancelled, std::string* reason)
{
    const std::string description = stream.chain + " ! fakesink name=seen sync=false async=false";
    GError* error = nullptr;
    GstElement* made = gst_parse_launch_full(description.c_str(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &error);
    const GErrorPtr owned(error);
    if (!made) {
        *reason = owned ? owned->message : "the chain cannot be made";
        return nullptr;
    }
    const GstObjectPtr<GstElement> pipeline(GST_ELEMENT(gst_object_ref_sink(made)));
    const GstObjectPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "seen"));
    const GstObjectPtr<GstPad> pad(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, onFirstPicture, sink.get(), nullptr);
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));

    GstCaps* found = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + stream.timings.connect;
    const auto types = static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_APPLICATION);
    bool over = gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE;
    if (over)
        *reason = "the chain did not start";
    while (!cancelled && std::chrono::steady_clock::now() < deadline) {
        GstMessage* message = gst_bus_timed_pop_filtered(bus.get(), over ? 0 : 50 * GST_MSECOND, types);
        if (!message) {
            if (over)
                break;
            continue;
        }
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_APPLICATION
            && gst_structure_has_name(gst_message_get_structure(message), kSeen)) {
            const GstCaps* caps = nullptr;
            gst_structure_get(gst_message_get_structure(message), "caps", GST_TYPE_CAPS, &caps, nullptr);
            found = offeredFor(caps);
            gst_caps_unref(const_cast<GstCaps*>(caps));
        } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            *reason = errorText(message);
        } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            *reason = "the stream ended";
        }
        gst_message_unref(message);
        if (found || !reason->empty())
            break;
    }
    if (!found && reason->empty())
        *reason = cancelled ? "stopped" : "no picture within " + std::to_string(stream.timings.connect.count()) + " ms";
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return found;
}

} // namespace didev
