#include "capture/CaptureControl.h"

#include "capture/CaptureError.h"
#include "capture/CaptureLog.h"
#include "capture/DeviceMonitor.h"
#include "capture/provider/DeviceProvider.h"
#include "common/AutomationError.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <map>

namespace didev {

namespace {

QString keyOf(const VirtualVideoDevice& device)
{
    return QStringLiteral("video:%1:%2:%3x%4@%5:%6")
        .arg(device.name, device.pattern)
        .arg(device.format.width)
        .arg(device.format.height)
        .arg(device.format.framesPerSecond)
        .arg(static_cast<int>(device.kind));
}

QString keyOf(const VirtualAudioDevice& device)
{
    return QStringLiteral("audio:") + device.name;
}

// The virtual devices a process is started with are its cameras and microphones, as plugged-in
// ones are: every control that names the same one shares its plug, so a window closing does not
// pull out the camera another window shows. All on the user-interface thread.
std::shared_ptr<PluggedDevice> sharedPlug(const QString& key, std::shared_ptr<const SourceRecipe> recipe)
{
    static std::map<QString, std::weak_ptr<PluggedDevice>> plugs;
    std::weak_ptr<PluggedDevice>& plug = plugs[key];
    if (std::shared_ptr<PluggedDevice> shared = plug.lock())
        return shared;
    auto shared = std::make_shared<PluggedDevice>(std::move(recipe));
    plug = shared;
    return shared;
}

} // namespace

CaptureControl::CaptureControl(CaptureOptions options, QObject* parent)
    : QObject(parent)
    , options_(std::move(options))
    , video_(DeviceKind::Video, [this] { return enumerate(DeviceKind::Video); }, [this] { videoSelectionChanged(); })
    , audio_(DeviceKind::Audio, [this] { return enumerate(DeviceKind::Audio); }, [this] { audioSelectionChanged(); })
{
    ensureGstreamer();
    // Two alike entries are two devices, in every control that names them.
    QStringList keys;
    const auto share = [&](DeviceKind kind, QString key, std::shared_ptr<const SourceRecipe> recipe) {
        keys.append(key);
        key += u'#' + QString::number(keys.count(key));
        plugged_.emplace_back(kind, sharedPlug(key, std::move(recipe)));
    };
    for (const VirtualVideoDevice& device : options_.virtualVideo)
        share(DeviceKind::Video, keyOf(device), device.recipe());
    for (const VirtualAudioDevice& device : options_.virtualAudio)
        share(DeviceKind::Audio, keyOf(device), device.recipe());
    if (DeviceMonitor* monitor = DeviceMonitor::current()) {
        connect(monitor, &DeviceMonitor::deviceAdded, this, &CaptureControl::deviceCameOrWent);
        connect(monitor, &DeviceMonitor::deviceRemoved, this, &CaptureControl::deviceCameOrWent);
    }
    video_.refresh();
    audio_.refresh();
}

CaptureControl::~CaptureControl()
{
    videoPipeline_.reset();
    audioPipeline_.reset();
}

QList<CaptureDevice> CaptureControl::enumerate(DeviceKind kind) const
{
    QList<CaptureDevice> devices;
    if (const DeviceMonitor* monitor = DeviceMonitor::current()) {
        for (const CaptureDevice& device : monitor->devices(kind)) {
            if (options_.systemDevices || DeviceProvider::offers(device.device.get()))
                devices.append(device);
        }
        return devices;
    }
    for (const auto& device : DeviceProvider::devices()) {
        if (CaptureDevice::kindOf(device.get()) == kind)
            devices.append(CaptureDevice::fromDevice(device.get()));
    }
    return devices;
}

void CaptureControl::deviceCameOrWent(DeviceKind kind)
{
    // The menus list what the monitor lists now; a selected device that went is deselected.
    listOf(kind).refresh();
    emit devicesChanged(kind);
}

void CaptureControl::setPreview(bool on)
{
    preview_ = on;
    if (on) {
        if (!videoPipeline_ && video_.selected())
            startVideo();
        if (!audioPipeline_ && audio_.selected())
            startAudio();
    } else {
        stopVideo();
        stopAudio();
    }
}

void CaptureControl::setInputMode(int32_t mode)
{
    if (mode < 0 || mode > 2) {
        raiseCaptureError(CaptureErrorNumber::InvalidArgument, "InputMode",
                          QStringLiteral("%1 is not 0 (audio and video), 1 (video only) or 2 (audio only)").arg(mode));
    }
    inputMode_ = mode;
    showStage();
    if (audioPipeline_)
        audioPipeline_->setEnabled(mode != static_cast<int32_t>(InputMode::VideoOnly));
}

void CaptureControl::setPreviewStage(int32_t stage)
{
    if (stage < 0 || stage >= kPreviewStageCount) {
        raiseCaptureError(CaptureErrorNumber::InvalidArgument, "PreviewStage",
                          QStringLiteral("%1 is not 0 (source), 1 (processors) or 2 (compressor)").arg(stage));
    }
    previewStage_ = stage;
    showStage();
}

void CaptureControl::showStage()
{
    if (videoPipeline_)
        videoPipeline_->showStage(stageToShow());
    else
        frames_.show(stageToShow());
}

int CaptureControl::stageToShow() const
{
    return inputMode_ == static_cast<int32_t>(InputMode::AudioOnly) ? FrameSlot::kNoStage : previewStage_;
}

void CaptureControl::stillSetup(int32_t mode)
{
    stillMode_ = mode == kStillMode;
}

bool CaptureControl::consumeFailure(GrabStep step)
{
    if (failNextGrab_ != step)
        return false;
    failNextGrab_.reset();
    return true;
}

void CaptureControl::requireVideo(const char* call) const
{
    if (!videoPipeline_)
        raiseCaptureError(CaptureErrorNumber::NoVideoSource, call, QStringLiteral("no video source is running"));
    if (inputMode_ == static_cast<int32_t>(InputMode::AudioOnly))
        raiseCaptureError(CaptureErrorNumber::NoVideoSource, call, QStringLiteral("the input mode is audio only"));
}

bool CaptureControl::isReadyForStill(int32_t mode)
{
    if (consumeFailure(GrabStep::Readiness))
        return false;
    return mode == kStillMode && stillMode_ && videoPipeline_ && inputMode_ != static_cast<int32_t>(InputMode::AudioOnly);
}

void CaptureControl::startCapture(int32_t mode)
{
    if (consumeFailure(GrabStep::Start))
        raiseCaptureError(CaptureErrorNumber::NoVideoSource, "StartCapture", QStringLiteral("the capture device did not start"));
    if (mode != kStillMode)
        raiseCaptureError(CaptureErrorNumber::InvalidArgument, "StartCapture", QStringLiteral("mode %1 is not the still mode %2").arg(mode).arg(kStillMode));
    if (!stillMode_)
        raiseCaptureError(CaptureErrorNumber::StillModeNotSelected, "StartCapture", QStringLiteral("still set-up was not called with %1").arg(kStillMode));
    requireVideo("StartCapture");
    capturing_ = true;
}

PicturePtr CaptureControl::fetchStill(int32_t waitMilliseconds)
{
    if (consumeFailure(GrabStep::Fetch))
        raiseCaptureError(CaptureErrorNumber::NoFrame, "FetchStill", QStringLiteral("the capture device delivered no frame"));
    if (!capturing_)
        raiseCaptureError(CaptureErrorNumber::NotCapturing, "FetchStill", QStringLiteral("capture was not started"));
    requireVideo("FetchStill");
    const VideoFramePtr frame = frames_.newest(std::chrono::milliseconds(std::max(waitMilliseconds, 0)));
    if (!frame)
        raiseCaptureError(CaptureErrorNumber::NoFrame, "FetchStill", QStringLiteral("no frame came within %1 ms").arg(waitMilliseconds));
    PicturePtr picture = frame->toPicture();
    if (!picture)
        raiseCaptureError(CaptureErrorNumber::NoFrame, "FetchStill", QStringLiteral("the newest frame could not be read"));
    return picture;
}

void CaptureControl::stopCapture()
{
    capturing_ = false;
}

void CaptureControl::plug(DeviceKind kind, std::shared_ptr<const SourceRecipe> recipe)
{
    plugged_.emplace_back(kind, std::make_shared<PluggedDevice>(std::move(recipe)));
    // Listed at once; the monitor's arrival notice finds it there already.
    listOf(kind).refresh();
}

bool CaptureControl::unplug(DeviceKind kind, const QString& name)
{
    const std::string wanted = name.toStdString();
    const auto found = std::find_if(plugged_.begin(), plugged_.end(), [&](const auto& plugged) {
        return plugged.first == kind && plugged.second->recipe()->displayName() == wanted;
    });
    if (found == plugged_.end())
        return false;
    plugged_.erase(found);
    listOf(kind).refresh();
    return true;
}

void CaptureControl::plugVirtualVideo(const VirtualVideoDevice& device)
{
    plug(DeviceKind::Video, device.recipe());
}

void CaptureControl::plugVirtualAudio(const VirtualAudioDevice& device)
{
    plug(DeviceKind::Audio, device.recipe());
}

bool CaptureControl::unplugVirtualVideo(const QString& name)
{
    return unplug(DeviceKind::Video, name);
}

bool CaptureControl::unplugVirtualAudio(const QString& name)
{
    return unplug(DeviceKind::Audio, name);
}

bool CaptureControl::failSource(DeviceKind kind, const QString& reason)
{
    SourcePipeline* pipeline = kind == DeviceKind::Video ? static_cast<SourcePipeline*>(videoPipeline_.get())
                                                         : static_cast<SourcePipeline*>(audioPipeline_.get());
    if (!pipeline)
        return false;
    pipeline->failSource(reason);
    return true;
}

void CaptureControl::setViewArea(QSize area)
{
    viewArea_ = area;
    if (videoPipeline_)
        videoPipeline_->setViewArea(area);
}

void CaptureControl::reportPointer(QPointF position)
{
    emit pointerEvent(static_cast<float>(position.x()), static_cast<float>(position.y()));
}

void CaptureControl::videoSelectionChanged()
{
    stopVideo();
    if (preview_ && video_.selected())
        startVideo();
}

void CaptureControl::audioSelectionChanged()
{
    stopAudio();
    if (preview_ && audio_.selected())
        startAudio();
}

void CaptureControl::startVideo()
{
    const CaptureDevice device = *video_.selected();
    startSource(DeviceKind::Video, [this, &device](QString* reason) {
        frames_.show(stageToShow());
        videoPipeline_ = std::make_unique<VideoPipeline>(
            device, frames_,
            [this](const VideoFramePtr& frame, bool notify) { frameKept(frame, notify); }, this,
            [this](uint64_t serial, const QString& text) { pipelineFailed(DeviceKind::Video, serial, text); });
        videoPipeline_->setViewArea(viewArea_);
        return videoPipeline_->play(reason);
    });
}

void CaptureControl::startAudio()
{
    const CaptureDevice device = *audio_.selected();
    startSource(DeviceKind::Audio, [this, &device](QString* reason) {
        audioPipeline_ = std::make_unique<AudioPipeline>(
            device, this, [this](uint64_t serial, const QString& text) { pipelineFailed(DeviceKind::Audio, serial, text); });
        audioPipeline_->setEnabled(inputMode_ != static_cast<int32_t>(InputMode::VideoOnly));
        return audioPipeline_->play(reason);
    });
}

void CaptureControl::startSource(DeviceKind kind, const std::function<bool(QString* reason)>& play)
{
    QString reason;
    try {
        if (play(&reason)) {
            announceStart(kind);
            return;
        }
    } catch (const AutomationError& error) {
        reason = QString::fromStdString(error.description());
    }
    endSource(kind, reason);
}

void CaptureControl::stopVideo()
{
    videoPipeline_.reset();
    frames_.clear();
    capturing_ = false;
}

void CaptureControl::stopAudio()
{
    audioPipeline_.reset();
}

void CaptureControl::announceStart(DeviceKind kind)
{
    DeviceList& list = listOf(kind);
    list.markWorking(list.selectedIndex());
    QMetaObject::invokeMethod(
        this, [this, kind] { emit sourceStarted(kind); }, Qt::QueuedConnection);
}

void CaptureControl::endSource(DeviceKind kind, const QString& reason)
{
    DeviceList& list = listOf(kind);
    const QString name = list.selected() ? list.selected()->name : QString();
    // The reason is the device's and GStreamer's own; it is not lost, whoever listens.
    qCWarning(captureLog).noquote() << QStringLiteral("\"%1\" failed: %2").arg(name, reason);
    list.markFailed(list.selectedIndex());
    if (kind == DeviceKind::Video)
        stopVideo();
    else
        stopAudio();
    list.clearSelection();
    // Told later, from the event loop, so no handler runs inside a device-list write.
    QMetaObject::invokeMethod(
        this, [this, kind, reason] { emit sourceEnded(kind, reason); }, Qt::QueuedConnection);
}

void CaptureControl::pipelineFailed(DeviceKind kind, uint64_t serial, const QString& description)
{
    const SourcePipeline* current = kind == DeviceKind::Video ? static_cast<SourcePipeline*>(videoPipeline_.get())
                                                              : static_cast<SourcePipeline*>(audioPipeline_.get());
    if (!current || current->serial() != serial)
        return;   // a message of a pipeline that has already gone
    endSource(kind, description);
}

void CaptureControl::setFrameOutput(std::shared_ptr<FrameOutput> output)
{
    std::lock_guard lock(frameOutputMutex_);
    frameOutput_ = std::move(output);
}

void CaptureControl::frameKept(const VideoFramePtr& frame, bool notify)
{
    std::shared_ptr<FrameOutput> output;
    {
        std::lock_guard lock(frameOutputMutex_);
        output = frameOutput_;
    }
    if (output && output->show(frame)) {
        // Shown: no notice is outstanding for it, so the next frame the output declines is told.
        if (notify)
            frames_.noticeTaken();
        return;
    }
    if (notify)
        QMetaObject::invokeMethod(this, &CaptureControl::takeFrameNotice, Qt::QueuedConnection);
}

void CaptureControl::takeFrameNotice()
{
    frames_.noticeTaken();
    emit frameArrived();
}

} // namespace didev
