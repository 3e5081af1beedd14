#include "capture/provider/SourceBin.h"

#include "capture/GstHandles.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace didev {

namespace {

// Watches, from a thread of its own while the device plays, that its pictures keep coming
// within the device's stream limits, and tells once when they do not.
class StreamWatchdog {
public:
    using Clock = std::chrono::steady_clock;

    ~StreamWatchdog() { stop(); }

    void start(StreamLimits limits, std::function<void(const std::string&)> stopped)
    {
        stop();
        stopping_ = false;
        started_ = Clock::now();
        lastPicture_ = 0;
        thread_ = std::thread([this, limits, stopped = std::move(stopped)] { watch(limits, stopped); });
    }

    void stop()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    void picture() { lastPicture_ = (Clock::now() - started_).count() + 1; }

private:
    void watch(StreamLimits limits, const std::function<void(const std::string&)>& stopped)
    {
        const auto tick = std::clamp(limits.silence / 5, std::chrono::milliseconds(10), std::chrono::milliseconds(200));
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, tick, [this] { return stopping_; })) {
            const Clock::rep last = lastPicture_;
            const Clock::time_point now = Clock::now();
            if (last == 0 && now - started_ > limits.firstPicture) {
                stopped("no picture came within " + std::to_string(limits.firstPicture.count()) + " ms");
                return;
            }
            if (last != 0 && now - (started_ + Clock::duration(last - 1)) > limits.silence) {
                stopped("no picture for " + std::to_string(limits.silence.count()) + " ms");
                return;
            }
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    Clock::time_point started_;
    std::atomic<Clock::rep> lastPicture_{0};   // since started_, plus one; 0 before the first
};

struct SourceBinState {
    std::shared_ptr<const SourceRecipe> recipe;
    std::shared_ptr<DevicePresence> presence;
    std::string buildFailure;   // why the chain could not be made; reported when started
    std::atomic<uint64_t> buffers{0};
    std::atomic<bool> failed{false};
    StreamWatchdog watchdog;
};

struct DidevSourceBin {
    GstBin parent;
    SourceBinState* state;
    GstPad* src;
};

struct DidevSourceBinClass {
    GstBinClass parent_class;
};

GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

G_DEFINE_TYPE(DidevSourceBin, didev_source_bin, GST_TYPE_BIN)

const char* deviceName(const DidevSourceBin* self)
{
    return self->state->recipe ? self->state->recipe->displayName().c_str() : "(none)";
}

// Refuses a start the device cannot make, with the reason a real device would give.
bool refuseStart(DidevSourceBin* self)
{
    SourceBinState& state = *self->state;
    if (!state.recipe) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("No device to open."),
                          ("this element is made by a device of the module's own provider"));
        return true;
    }
    if (!state.buildFailure.empty()) {
        GST_ELEMENT_ERROR(self, CORE, MISSING_PLUGIN, ("Could not make device \"%s\".", deviceName(self)),
                          ("%s", state.buildFailure.c_str()));
        return true;
    }
    if (state.presence && !state.presence->plugged()) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("Device \"%s\" is not there.", deviceName(self)),
                          ("it was unplugged"));
        return true;
    }
    if (state.recipe->fault() == SourceFault::FailsToStart) {
        GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("Could not open device \"%s\" for reading.", deviceName(self)),
                          ("Device or resource busy"));
        return true;
    }
    return false;
}

// A device whose stream stopped goes away, and its element fails as an unplugged camera's does.
void loseStream(DidevSourceBin* self, const std::string& why)
{
    SourceBinState& state = *self->state;
    if (state.presence)
        state.presence->vanish();
    if (!state.failed.exchange(true)) {
        GST_ELEMENT_ERROR(self, RESOURCE, READ, ("Lost the stream of \"%s\".", deviceName(self)), ("%s", why.c_str()));
    }
}

GstStateChangeReturn changeState(GstElement* element, GstStateChange transition)
{
    auto* self = reinterpret_cast<DidevSourceBin*>(element);
    SourceBinState& state = *self->state;
    if (transition == GST_STATE_CHANGE_NULL_TO_READY) {
        if (refuseStart(self))
            return GST_STATE_CHANGE_FAILURE;
        state.buffers = 0;
        state.failed = false;
    }
    if (transition == GST_STATE_CHANGE_PLAYING_TO_PAUSED)
        state.watchdog.stop();
    const GstStateChangeReturn result = GST_ELEMENT_CLASS(didev_source_bin_parent_class)->change_state(element, transition);
    const std::optional<StreamLimits> limits = state.recipe ? state.recipe->streamLimits() : std::nullopt;
    if (transition == GST_STATE_CHANGE_PAUSED_TO_PLAYING && result != GST_STATE_CHANGE_FAILURE && limits)
        state.watchdog.start(*limits, [self](const std::string& why) { loseStream(self, why); });
    return result;
}

// An error of the chain of a device with stream limits is a stream that stopped: the device
// goes away with it (the error goes on to the pipeline).
void handleMessage(GstBin* bin, GstMessage* message)
{
    auto* self = reinterpret_cast<DidevSourceBin*>(bin);
    SourceBinState& state = *self->state;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && state.recipe && state.recipe->streamLimits()
        && state.presence)
        state.presence->vanish();
    GST_BIN_CLASS(didev_source_bin_parent_class)->handle_message(bin, message);
}

// The end of the stream of a device with stream limits: the sender has gone.
GstPadProbeReturn onEvent(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* self = static_cast<DidevSourceBin*>(data);
    const SourceBinState& state = *self->state;
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS && state.recipe && state.recipe->streamLimits()
        && state.presence)
        state.presence->vanish();
    return GST_PAD_PROBE_OK;
}

// Every buffer leaving the device: an unplugged device, or one whose time has come, errors the
// way a camera pulled from its socket does, and sends nothing more.
GstPadProbeReturn onBuffer(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* self = static_cast<DidevSourceBin*>(data);
    SourceBinState& state = *self->state;
    if (!state.failed) {
        state.watchdog.picture();
        DevicePresence* presence = state.presence.get();
        if (presence && state.recipe->fault() == SourceFault::FailsMidStream
            && ++state.buffers > state.recipe->buffersBeforeFailure()) {
            presence->vanish();
        }
        if (!presence || presence->plugged())
            return GST_PAD_PROBE_OK;
        if (!state.failed.exchange(true)) {
            GST_ELEMENT_ERROR(self, RESOURCE, READ, ("Could not read from resource."),
                              ("device \"%s\" was unplugged", deviceName(self)));
        }
    }
    gst_mini_object_unref(GST_MINI_OBJECT(info->data));
    info->data = nullptr;
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
    return GST_PAD_PROBE_HANDLED;
}

void finalize(GObject* object)
{
    auto* self = reinterpret_cast<DidevSourceBin*>(object);
    self->state->watchdog.stop();
    delete self->state;
    G_OBJECT_CLASS(didev_source_bin_parent_class)->finalize(object);
}

void didev_source_bin_class_init(DidevSourceBinClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = finalize;
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    elementClass->change_state = changeState;
    GST_BIN_CLASS(klass)->handle_message = handleMessage;
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(elementClass, "Didev device source", "Source/Video/Audio",
                                          "A device of the module's own device provider", "Didev Evivod");
}

void didev_source_bin_init(DidevSourceBin* self)
{
    self->state = new SourceBinState;
    GstPadTemplate* padTemplate = gst_element_class_get_pad_template(GST_ELEMENT_GET_CLASS(self), "src");
    self->src = gst_ghost_pad_new_no_target_from_template("src", padTemplate);
    gst_element_add_pad(GST_ELEMENT(self), self->src);
    gst_pad_add_probe(self->src, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                      onBuffer, self, nullptr);
    gst_pad_add_probe(self->src, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, onEvent, self, nullptr);
}

// The device's chain inside the bin, its free pad behind the bin's "src".
void build(DidevSourceBin* self)
{
    const std::string description = self->state->recipe->launchDescription();
    GError* error = nullptr;
    // The free pad is ghosted here, not by the parser: a chain whose parser ghosts its pads
    // never links the pads a demuxer adds while it streams.
    GstElement* chain = gst_parse_bin_from_description_full(description.c_str(), FALSE, nullptr,
                                                            GST_PARSE_FLAG_FATAL_ERRORS, &error);
    const GErrorPtr owned(error);
    if (!chain) {
        self->state->buildFailure = description + ": " + (owned ? owned->message : "gst_parse_bin_from_description failed");
        return;
    }
    gst_bin_add(GST_BIN(self), chain);
    const GstObjectPtr<GstPad> unlinked(gst_bin_find_unlinked_pad(GST_BIN(chain), GST_PAD_SRC));
    GstPad* free = unlinked ? gst_ghost_pad_new("src", unlinked.get()) : nullptr;
    if (free)
        gst_element_add_pad(chain, free);
    if (!free || !gst_ghost_pad_set_target(GST_GHOST_PAD(self->src), free))
        self->state->buildFailure = description + ": the chain has no free source pad";
}

} // namespace

GType SourceBin::type()
{
    return didev_source_bin_get_type();
}

GstElement* SourceBin::make(std::shared_ptr<const SourceRecipe> recipe, std::shared_ptr<DevicePresence> presence,
                            const char* name)
{
    auto* self = static_cast<DidevSourceBin*>(g_object_new(type(), name ? "name" : nullptr, name, nullptr));
    self->state->recipe = std::move(recipe);
    self->state->presence = std::move(presence);
    build(self);
    return GST_ELEMENT(self);
}

} // namespace didev
