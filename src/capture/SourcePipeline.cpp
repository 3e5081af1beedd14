#include "capture/SourcePipeline.h"

#include "capture/CaptureError.h"

#include <QMetaObject>

#include <atomic>

namespace didev {

namespace {

std::atomic<uint64_t> nextSerial{1};

QString describe(GstMessage* message)
{
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    const GErrorPtr ownedError(error);
    const GMemoryPtr<gchar> ownedDebug(debug);
    const GMemoryPtr<gchar> origin(message->src ? gst_object_get_path_string(message->src) : nullptr);
    QString text = QString::fromUtf8(origin ? origin.get() : "pipeline") + QStringLiteral(": ")
        + QString::fromUtf8(ownedError ? ownedError->message : "unknown error");
    if (ownedDebug)
        text += QStringLiteral(" (") + QString::fromUtf8(ownedDebug.get()) + u')';
    return text;
}

} // namespace

SourcePipeline::SourcePipeline(const char* name, QObject* uiContext, FailureSink failed)
    : serial_(nextSerial++)
    , uiContext_(uiContext)
    , failed_(std::move(failed))
{
    ensureGstreamer();
    GstElement* pipeline = gst_pipeline_new(name);
    if (!pipeline)
        raiseCaptureError(CaptureErrorNumber::PipelineFailed, "gst_pipeline_new", QString::fromUtf8(name));
    pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(pipeline)));
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(bus.get(), &SourcePipeline::onBusMessage, this, nullptr);
}

SourcePipeline::~SourcePipeline()
{
    stop();
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
}

GstElement* SourcePipeline::add(const char* factory, const char* name)
{
    GstElement* element = gst_element_factory_make(factory, name);
    if (!element) {
        raiseCaptureError(CaptureErrorNumber::PipelineFailed, "gst_element_factory_make",
                          QStringLiteral("no element \"%1\" (is its GStreamer plugin installed?)").arg(QString::fromUtf8(factory)));
    }
    gst_bin_add(GST_BIN(pipeline_.get()), element);
    return element;
}

void SourcePipeline::link(std::initializer_list<GstElement*> chain)
{
    GstElement* previous = nullptr;
    for (GstElement* element : chain) {
        if (previous && !gst_element_link(previous, element)) {
            raiseCaptureError(CaptureErrorNumber::PipelineFailed, "gst_element_link",
                              QStringLiteral("%1 does not link to %2")
                                  .arg(QString::fromUtf8(GST_ELEMENT_NAME(previous)), QString::fromUtf8(GST_ELEMENT_NAME(element))));
        }
        previous = element;
    }
}

GstElement* SourcePipeline::addDeviceElement(const CaptureDevice& device)
{
    source_ = gst_device_create_element(device.device.get(), nullptr);
    if (!source_) {
        raiseCaptureError(CaptureErrorNumber::PipelineFailed, "gst_device_create_element",
                          QStringLiteral("\"%1\" gave no source element").arg(device.name));
    }
    gst_bin_add(GST_BIN(pipeline()), source_);
    return source_;
}

GstElement* SourcePipeline::addCapsFilter(const QString& caps)
{
    GstCaps* parsed = gst_caps_from_string(caps.toUtf8().constData());
    if (!parsed)
        raiseCaptureError(CaptureErrorNumber::PipelineFailed, "gst_caps_from_string", caps);
    const GstCapsPtr owned(parsed);
    return addCapsFilter(parsed);
}

GstElement* SourcePipeline::addCapsFilter(GstCaps* caps)
{
    GstElement* filter = add("capsfilter");
    g_object_set(filter, "caps", caps, nullptr);
    return filter;
}

bool SourcePipeline::play(QString* reason)
{
    stopped_ = false;
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE)
        return true;
    if (reason) {
        std::lock_guard lock(errorMutex_);
        *reason = lastError_.isEmpty() ? QStringLiteral("the pipeline did not start") : lastError_;
    }
    stop();
    return false;
}

void SourcePipeline::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

void SourcePipeline::failSource(const QString& text)
{
    GstElement* origin = source_ ? source_ : pipeline_.get();
    GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND, text.toUtf8().constData());
    gst_element_post_message(origin, gst_message_new_error(GST_OBJECT(origin), error, nullptr));
    g_error_free(error);
}

GstBusSyncReply SourcePipeline::onBusMessage(GstBus*, GstMessage* message, gpointer self)
{
    auto* pipeline = static_cast<SourcePipeline*>(self);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
        pipeline->report(describe(message));
        break;
    case GST_MESSAGE_EOS:
        // A live source only ends when its device has gone away.
        pipeline->report(QStringLiteral("the source ended its stream"));
        break;
    default:
        break;
    }
    // A handler that drops a message owns it; each message holds its source, so one not freed
    // keeps the whole pipeline alive.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void SourcePipeline::report(const QString& description)
{
    {
        std::lock_guard lock(errorMutex_);
        if (lastError_.isEmpty())
            lastError_ = description;
    }
    QMetaObject::invokeMethod(
        uiContext_, [sink = failed_, serial = serial_, description] { sink(serial, description); }, Qt::QueuedConnection);
}

} // namespace didev
