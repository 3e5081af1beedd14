#pragma once

#include "capture/CaptureDevice.h"
#include "capture/GstHandles.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>

namespace didev {

// One GStreamer pipeline for one selected source. Its bus is watched synchronously in
// whatever thread posts; an error (or the end of a live stream) is handed to the UI thread
// as a queued call to the failure sink, tagged with the pipeline's serial so a late message
// of a pipeline already replaced is recognised.
class SourcePipeline {
public:
    using FailureSink = std::function<void(uint64_t serial, const QString& description)>;

    virtual ~SourcePipeline();
    SourcePipeline(const SourcePipeline&) = delete;
    SourcePipeline& operator=(const SourcePipeline&) = delete;

    uint64_t serial() const { return serial_; }
    GstElement* pipeline() const { return pipeline_.get(); }

    // Starts streaming; false when the framework refuses, with its reason in `reason`.
    bool play(QString* reason);
    // Stops streaming and joins the streaming threads; nothing reaches the UI afterwards.
    void stop();
    // The source fails as a device that has vanished does: it posts a resource error.
    void failSource(const QString& text);

protected:
    SourcePipeline(const char* name, QObject* uiContext, FailureSink failed);

    // A new element in the pipeline; error 30004 naming the element when its plugin is missing.
    GstElement* add(const char* factory, const char* name = nullptr);
    // Links the elements in order; error 30004 naming the pair that does not link.
    void link(std::initializer_list<GstElement*> chain);
    // Caps written as text ("video/x-raw,format=BGRx"), in a capsfilter.
    GstElement* addCapsFilter(const QString& caps);
    GstElement* addCapsFilter(GstCaps* caps);

    // The element the device makes, whatever provider it comes from, as source_; error 30004 when it makes none.
    GstElement* addDeviceElement(const CaptureDevice& device);

    GstElement* source_ = nullptr;   // the element that stands for the device

private:
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    void report(const QString& description);

    uint64_t serial_;
    GstObjectPtr<GstElement> pipeline_;
    QObject* uiContext_;
    FailureSink failed_;
    std::mutex errorMutex_;
    QString lastError_;
    bool stopped_ = true;
};

} // namespace didev
