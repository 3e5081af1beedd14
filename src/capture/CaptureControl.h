#pragma once

#include "capture/AudioPipeline.h"
#include "capture/CaptureOptions.h"
#include "capture/DeviceList.h"
#include "capture/FrameSlot.h"
#include "capture/VideoPipeline.h"
#include "capture/provider/PluggedDevice.h"
#include "common/Picture.h"

#include <QObject>
#include <QPointF>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace didev {

// The one step of the next grab that a test makes fail.
enum class GrabStep { Readiness, Start, Fetch };

// Input modes: what the running sources carry.
enum class InputMode : int32_t { AudioAndVideo = 0, VideoOnly = 1, AudioOnly = 2 };

// The capture control: device lists, the live preview of the selected video device (and the
// selected audio device to the speakers), and the still grab. Every device comes from a
// GStreamer device provider: the process's device monitor lists the system's and the module's
// own (virtual devices, plugged in by this control); without a monitor only the module's own are
// known. The lists follow the monitor's arrivals and removals at once. One pipeline runs per
// selected source while the preview is on. Failures of a running source never reach the caller:
// they end that source (its list's selection becomes -1, the device is marked as failing), go to
// the log with the device's name, and sourceEnded tells the window.
class CaptureControl : public QObject {
    Q_OBJECT

public:
    // The still mode of still set-up, readiness check and start capture.
    static constexpr int32_t kStillMode = 6;

    explicit CaptureControl(CaptureOptions options, QObject* parent = nullptr);
    ~CaptureControl() override;

    DeviceList& videoDevices() { return video_; }
    DeviceList& audioDevices() { return audio_; }
    const DeviceList& videoDevices() const { return video_; }
    const DeviceList& audioDevices() const { return audio_; }

    bool preview() const { return preview_; }
    // True runs the live picture of the selected devices, false stops it.
    void setPreview(bool on);

    int32_t inputMode() const { return inputMode_; }
    // 0 audio and video, 1 video only, 2 audio only; takes effect on the running sources.
    void setInputMode(int32_t mode);

    int32_t previewStage() const { return previewStage_; }
    // 0 source, 1 processors, 2 compressor: the stage whose output the live picture shows.
    void setPreviewStage(int32_t stage);

    // The value written at load before any other call; kept, it changes nothing else.
    int32_t startupValue() const { return startupValue_; }
    void setStartupValue(int32_t value) { startupValue_ = value; }

    // Accepted for any mode; kStillMode selects still grabbing.
    void stillSetup(int32_t mode);
    // True when a still can be taken now in `mode`.
    bool isReadyForStill(int32_t mode);
    void startCapture(int32_t mode);
    // The newest frame of the stage on show, waiting up to `waitMilliseconds` only when none has come yet.
    PicturePtr fetchStill(int32_t waitMilliseconds);
    void stopCapture();

    // Virtual devices plugged in at run time go to the end of their list; unplugging one in
    // use ends its source (one this control was started with stays while another control of the
    // process shares it). False when this control plugged no virtual device of that name.
    void plugVirtualVideo(const VirtualVideoDevice& device);
    void plugVirtualAudio(const VirtualAudioDevice& device);
    bool unplugVirtualVideo(const QString& name);
    bool unplugVirtualAudio(const QString& name);

    // The next grab fails at `step`; the request is used up by that failure.
    void failNextGrab(GrabStep step) { failNextGrab_ = step; }
    // The running source of `kind` fails as a device that vanished does: the error travels
    // the bus like any other. False when no source of that kind runs.
    bool failSource(DeviceKind kind, const QString& reason);

    bool videoRunning() const { return videoPipeline_ != nullptr; }
    bool audioRunning() const { return audioPipeline_ != nullptr; }

    // The frame to paint: the newest of the stage on show.
    VideoFramePtr newestFrame() const { return frames_.newest(); }
    const FrameSlot& frames() const { return frames_; }

    // The area the live picture is shown in, in device pixels: frames come scaled to fit it
    // (empty: at the source's size). Grabs stay at the source's size.
    void setViewArea(QSize area);
    // Where frames are shown from the streaming thread as they come, instead of from the UI
    // thread after a notice; null for the notice. Its show() runs on streaming threads, and a
    // frame it does not show comes with a notice.
    void setFrameOutput(std::shared_ptr<FrameOutput> output);
    QSize viewArea() const { return viewArea_; }

    // The video view reports a press or move of the pointer, in pixels.
    void reportPointer(QPointF position);

signals:
    // A new frame waits in the slot (UI thread; several frames may have come meanwhile).
    void frameArrived();
    // A source of `kind` began to play (told from the event loop, after the write that started it).
    void sourceStarted(didev::DeviceKind kind);
    // A source ended on its own (error, vanished device); its selection is already -1.
    void sourceEnded(didev::DeviceKind kind, const QString& reason);
    // A device of `kind` came or went and the list shows it; the selection may have dropped.
    void devicesChanged(didev::DeviceKind kind);
    // event 14: a press or move of the pointer over the video, in pixels.
    void pointerEvent(float x, float y);

private:
    QList<CaptureDevice> enumerate(DeviceKind kind) const;
    DeviceList& listOf(DeviceKind kind) { return kind == DeviceKind::Video ? video_ : audio_; }
    void plug(DeviceKind kind, std::shared_ptr<const SourceRecipe> recipe);
    bool unplug(DeviceKind kind, const QString& name);
    void deviceCameOrWent(DeviceKind kind);
    void videoSelectionChanged();
    void audioSelectionChanged();
    void startVideo();
    void startAudio();
    // Builds the kind's pipeline and plays it (`play` says why not); a source that does not
    // start, or throws, ends as a failed one.
    void startSource(DeviceKind kind, const std::function<bool(QString* reason)>& play);
    void stopVideo();
    void stopAudio();
    void announceStart(DeviceKind kind);
    void endSource(DeviceKind kind, const QString& reason);
    void pipelineFailed(DeviceKind kind, uint64_t serial, const QString& description);
    // Streaming thread: `frame` shown by the frame output, or else the UI thread told.
    void frameKept(const VideoFramePtr& frame, bool notify);
    void takeFrameNotice();
    // The stage the input mode and preview stage call for goes to the pipeline, or to the frame
    // slot while there is none.
    void showStage();
    int stageToShow() const;
    bool consumeFailure(GrabStep step);
    void requireVideo(const char* call) const;

    CaptureOptions options_;
    // The virtual devices this control offers; those it was started with are shared with every
    // control of the process started with the same, plugged in as long as one of them lives.
    std::vector<std::pair<DeviceKind, std::shared_ptr<PluggedDevice>>> plugged_;

    DeviceList video_;
    DeviceList audio_;
    FrameSlot frames_;
    std::mutex frameOutputMutex_;
    std::shared_ptr<FrameOutput> frameOutput_;
    std::unique_ptr<VideoPipeline> videoPipeline_;
    std::unique_ptr<AudioPipeline> audioPipeline_;

    QSize viewArea_;
    bool preview_ = false;
    int32_t inputMode_ = static_cast<int32_t>(InputMode::AudioAndVideo);
    int32_t previewStage_ = static_cast<int32_t>(PreviewStage::Source);
    int32_t startupValue_ = 0;
    bool stillMode_ = false;
    bool capturing_ = false;
    std::optional<GrabStep> failNextGrab_;
};

} // namespace didev
