#include "capture/provider/SourceBin.h"

#include "capture/GstHandles.h"

#include <atomic>
#include <string>

namespace didev {

namespace {

struct SourceBinState {
    std::shared_ptr<const SourceRecipe> recipe;
    std::shared_ptr<DevicePresence> presence;
    std::string buildFailure;   // why the chain could not be made; reported when started
    std::atomic<uint64_t> buffers{0};
    std::atomic<bool> failed{false};
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

GstStateChangeReturn changeState(GstElement* element, GstStateChange transition)
{
    auto* self = reinterpret_cast<DidevSourceBin*>(element);
    if (transition == GST_STATE_CHANGE_NULL_TO_READY) {
        if (refuseStart(self))
            return GST_STATE_CHANGE_FAILURE;
        self->state->buffers = 0;
        self->state->failed = false;
    }
    return GST_ELEMENT_CLASS(didev_source_bin_parent_class)->change_state(element, transition);
}

// Every buffer leaving the device: an unplugged device, or one whose time has come, errors the
// way a camera pulled from its socket does, and sends nothing more.
GstPadProbeReturn onBuffer(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* self = static_cast<DidevSourceBin*>(data);
    SourceBinState& state = *self->state;
    if (!state.failed) {
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
    delete self->state;
    G_OBJECT_CLASS(didev_source_bin_parent_class)->finalize(object);
}

void didev_source_bin_class_init(DidevSourceBinClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = finalize;
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    elementClass->change_state = changeState;
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
}

// The device's chain inside the bin, its free pad behind the bin's "src".
void build(DidevSourceBin* self)
{
    const std::string description = self->state->recipe->launchDescription();
    GError* error = nullptr;
    GstElement* chain = gst_parse_bin_from_description_full(description.c_str(), TRUE, nullptr,
                                                            GST_PARSE_FLAG_FATAL_ERRORS, &error);
    const GErrorPtr owned(error);
    if (!chain) {
        self->state->buildFailure = description + ": " + (owned ? owned->message : "gst_parse_bin_from_description failed");
        return;
    }
    gst_bin_add(GST_BIN(self), chain);
    const GstObjectPtr<GstPad> free(gst_element_get_static_pad(chain, "src"));
    if (!free || !gst_ghost_pad_set_target(GST_GHOST_PAD(self->src), free.get()))
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
