// A device provider the module knows nothing about, loaded by GStreamer from GST_PLUGIN_PATH as
// any other: every "NAME.caps" file in $OUTSIDE_CAMERAS_DIR is a camera called NAME offering the
// caps written in the file. Creating the file plugs the camera in, deleting it pulls it out (a
// running camera then fails as an unplugged one does). Its pictures are the "ball" pattern.
#define PACKAGE "didev-evivod-tests"
#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct OutsideCamera {
    GstDevice parent;
    char* path;
};
struct OutsideCameraClass {
    GstDeviceClass parent_class;
};
G_DEFINE_TYPE(OutsideCamera, outside_camera, GST_TYPE_DEVICE)

GstPadProbeReturn checkPlugged(GstPad* pad, GstPadProbeInfo* info, gpointer path)
{
    if (std::filesystem::exists(static_cast<const char*>(path)))
        return GST_PAD_PROBE_OK;
    GstElement* bin = GST_ELEMENT(GST_OBJECT_PARENT(pad));
    if (!g_object_get_data(G_OBJECT(bin), "unplugged")) {
        g_object_set_data(G_OBJECT(bin), "unplugged", GINT_TO_POINTER(1));
        GST_ELEMENT_ERROR(bin, RESOURCE, READ, ("Could not read from resource."), ("%s is gone", static_cast<const char*>(path)));
    }
    gst_mini_object_unref(GST_MINI_OBJECT(info->data));
    info->data = nullptr;
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
    return GST_PAD_PROBE_HANDLED;
}

GstElement* createElement(GstDevice* device, const gchar* name)
{
    GstCaps* caps = gst_device_get_caps(device);
    const bool jpeg = gst_structure_has_name(gst_caps_get_structure(caps, 0), "image/jpeg");
    const std::string description = std::string("videotestsrc is-live=true pattern=ball ! ")
        + (jpeg ? "jpegenc ! " : "") + "capsfilter name=offered";
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, nullptr);
    GstElement* filter = gst_bin_get_by_name(GST_BIN(bin), "offered");
    g_object_set(filter, "caps", caps, nullptr);
    gst_object_unref(filter);
    gst_caps_unref(caps);
    if (name)
        gst_object_set_name(GST_OBJECT(bin), name);
    GstPad* src = gst_element_get_static_pad(bin, "src");
    gst_pad_add_probe(src, GST_PAD_PROBE_TYPE_BUFFER, checkPlugged, g_strdup(reinterpret_cast<OutsideCamera*>(device)->path),
                      g_free);
    gst_object_unref(src);
    return bin;
}

void finalizeCamera(GObject* object)
{
    g_free(reinterpret_cast<OutsideCamera*>(object)->path);
    G_OBJECT_CLASS(outside_camera_parent_class)->finalize(object);
}

void outside_camera_class_init(OutsideCameraClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = finalizeCamera;
    GST_DEVICE_CLASS(klass)->create_element = createElement;
}

void outside_camera_init(OutsideCamera*) {}

// A camera for a caps file, or nothing when the file holds no caps.
GstDevice* cameraFor(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    GstCaps* caps = gst_caps_from_string(text.c_str());
    if (!caps)
        return nullptr;
    GstStructure* properties = gst_structure_new("outside-camera", "device.path", G_TYPE_STRING, file.c_str(), nullptr);
    auto* camera = static_cast<OutsideCamera*>(g_object_new(outside_camera_get_type(), "display-name",
                                                            file.stem().c_str(), "device-class", "Video/Source", "caps",
                                                            caps, "properties", properties, nullptr));
    camera->path = g_strdup(file.c_str());
    gst_structure_free(properties);
    gst_caps_unref(caps);
    return GST_DEVICE(gst_object_ref_sink(camera));
}

std::map<std::string, GstDevice*> camerasInFolder()
{
    std::map<std::string, GstDevice*> cameras;
    const char* folder = std::getenv("OUTSIDE_CAMERAS_DIR");
    std::error_code error;
    if (!folder)
        return cameras;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".caps") {
            if (GstDevice* camera = cameraFor(entry.path()))
                cameras[entry.path().string()] = camera;
        }
    }
    return cameras;
}

struct Watch {
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::map<std::string, GstDevice*> plugged;
    std::thread thread;
};

struct OutsideProvider {
    GstDeviceProvider parent;
    Watch* watch;
};
struct OutsideProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(OutsideProvider, outside_provider, GST_TYPE_DEVICE_PROVIDER)

GList* probe(GstDeviceProvider*)
{
    GList* list = nullptr;
    for (const auto& [path, camera] : camerasInFolder())
        list = g_list_append(list, camera);
    return list;
}

// Looks at the folder as a hot-plug daemon watches the bus: what came is added, what went removed.
void rescan(GstDeviceProvider* provider, Watch& watch)
{
    std::map<std::string, GstDevice*> now = camerasInFolder();
    for (auto it = watch.plugged.begin(); it != watch.plugged.end();) {
        if (now.count(it->first)) {
            ++it;
            continue;
        }
        gst_device_provider_device_remove(provider, it->second);
        gst_object_unref(it->second);
        it = watch.plugged.erase(it);
    }
    for (auto& [path, camera] : now) {
        if (watch.plugged.count(path)) {
            gst_object_unref(camera);
            continue;
        }
        gst_device_provider_device_add(provider, camera);
        watch.plugged[path] = camera;
    }
}

gboolean start(GstDeviceProvider* provider)
{
    Watch& watch = *reinterpret_cast<OutsideProvider*>(provider)->watch;
    watch.stopping = false;
    rescan(provider, watch);
    watch.thread = std::thread([provider, &watch] {
        std::unique_lock lock(watch.mutex);
        while (!watch.wake.wait_for(lock, std::chrono::milliseconds(50), [&] { return watch.stopping; }))
            rescan(provider, watch);
    });
    return TRUE;
}

void stop(GstDeviceProvider* provider)
{
    Watch& watch = *reinterpret_cast<OutsideProvider*>(provider)->watch;
    {
        std::lock_guard lock(watch.mutex);
        watch.stopping = true;
    }
    watch.wake.notify_all();
    watch.thread.join();
    for (auto& [path, camera] : watch.plugged)
        gst_object_unref(camera);
    watch.plugged.clear();
}

void finalizeProvider(GObject* object)
{
    delete reinterpret_cast<OutsideProvider*>(object)->watch;
    G_OBJECT_CLASS(outside_provider_parent_class)->finalize(object);
}

void outside_provider_class_init(OutsideProviderClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = finalizeProvider;
    GstDeviceProviderClass* providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = probe;
    providerClass->start = start;
    providerClass->stop = stop;
    gst_device_provider_class_set_static_metadata(providerClass, "Outside cameras", "Source/Video",
                                                  "Cameras described by files in a folder", "Didev Evivod tests");
}

void outside_provider_init(OutsideProvider* self)
{
    self->watch = new Watch;
}

gboolean initPlugin(GstPlugin* plugin)
{
    return gst_device_provider_register(plugin, "outsidecameraprovider", GST_RANK_PRIMARY, outside_provider_get_type());
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, outsidecameras, "Cameras described by files in a folder",
                  initPlugin, "1.0", "Proprietary", "didev-evivod-tests", "didev-evivod-tests")
