#include "automation/cDidevEvivod.h"

#include "automation/FrameRoad.h"
#include "automation/Module.h"
#include "automation/SettingsExchange.h"
#include "capture/CaptureWindow.h"
#include "snapshots/PictureWriter.h"
#include "snapshots/SnapshotExport.h"
#include "ui/MessageBox.h"
#include "viewer/SnapshotViewer.h"

#include <QScopeGuard>

#include <algorithm>
#include <utility>

namespace didev {

namespace {

constexpr const char* kInvalidFrameRequest = "Invalid frame request sent to GetSnapshot().";

LiveWindowGeometry liveGeometry(const PlacedWindow& window)
{
    return {static_cast<float>(window.left()), static_cast<float>(window.top()), static_cast<float>(window.width()),
        static_cast<float>(window.height())};
}

// Every sink gets the call in the order added; one that a handler removed meanwhile is skipped.
template <typename Call>
void raiseToSinks(const std::vector<cDidevEvivodEvents*>& sinks, Call call)
{
    const std::vector<cDidevEvivodEvents*> snapshot = sinks;
    for (cDidevEvivodEvents* sink : snapshot) {
        if (std::find(sinks.begin(), sinks.end(), sink) != sinks.end())
            call(*sink);
    }
}

std::optional<LiveWindowGeometry> viewerGeometry(const Module& module)
{
    const SnapshotViewer* viewer = module.loadedViewer();
    if (!viewer)
        return std::nullopt;
    return liveGeometry(viewer->placement());
}

} // namespace

cDidevEvivod::cDidevEvivod(Module& module)
    : module_(module)
{
    // Module-wide: a further instance resets what every instance shares.
    module_.reset();
    pictureWriter_ = std::make_unique<PictureWriter>();
    captureWindow_.clear();
}

cDidevEvivod::~cDidevEvivod()
{
    // A destructor has no caller to hand a failure to: each step runs whatever the one before did.
    const auto step = [](const auto& action) {
        try {
            action();
        } catch (const std::exception&) {
        }
    };
    step([this] {
        if (captureWindow_ && module_.state().captureWindowLoaded && !windowUnloading_) {
            // Teardown tells the host nothing.
            captureWindow_->setOkToRaiseEvents(false);
            captureWindow_->captureControl().setPreview(false);
            captureWindow_->unload();
        }
    });
    step([this] { releaseCaptureWindow(); });
    step([this] { ClearSnapshots(); });
    step([this] { module_.unloadViewer(); });
    pictureWriter_.reset();
}

void cDidevEvivod::hideWindows()
{
    if (captureWindow_)
        captureWindow_->hide();
}

CaptureWindow* cDidevEvivod::captureWindow() const
{
    return captureWindow_;
}

void cDidevEvivod::releaseCaptureWindow()
{
    CaptureWindow* window = captureWindow_;
    captureWindow_.clear();
    if (!window)
        return;
    QObject::disconnect(formClosedConnection_);
    QObject::disconnect(keyDownConnection_);
    const auto release = qScopeGuard([window] { window->deleteLater(); });
    // Still loaded only when another instance reset the shared flags meanwhile: it closes
    // now, silently, rather than when it is deleted, after its successor has loaded.
    if (window->loaded() && !windowUnloading_) {
        window->setOkToRaiseEvents(false);
        window->unload();
    }
}

void cDidevEvivod::addEventSink(cDidevEvivodEvents* sink)
{
    if (sink && std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end())
        sinks_.push_back(sink);
}

void cDidevEvivod::removeEventSink(cDidevEvivodEvents* sink)
{
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

void cDidevEvivod::ClearSnapshots()
{
    module_.state().clearFrames();
    module_.unloadViewer();
}

void cDidevEvivod::ClearSavedSnapshots()
{
    ModuleState& state = module_.state();
    const int kept = state.snapshotStore.removeSavedByLogger();
    state.frameCounter = static_cast<int16_t>(kept);
    if (kept == 0)
        module_.unloadViewer();
}

void cDidevEvivod::CloseForm(int16_t&, HostStringArray& passDataArray)
{
    const bool suppress = CloseFormSuppressesEvent(passDataArray);
    if (captureWindow_) {
        if (suppress)
            captureWindow_->setOkToRaiseEvents(false);
        if (!windowUnloading_)
            captureWindow_->unload();
        releaseCaptureWindow();
    }
    module_.unloadViewer();
}

void cDidevEvivod::GetSettings(HostStringArray& passDataArray)
{
    const ModuleState& state = module_.state();
    if (!captureWindow_ || !state.captureWindowLoaded) {
        WriteLiveSettings(passDataArray, std::nullopt, std::nullopt);
        return;
    }
    WriteLiveSettings(passDataArray, liveGeometry(captureWindow_->placement()),
        state.viewerShown ? viewerGeometry(module_) : std::nullopt);
}

void cDidevEvivod::GetSnapshot(int16_t& index, int32_t& hPicture, int16_t& frameID, double& frameTime,
    QString& frameTimecode)
{
    const FrameStore& store = module_.state().snapshotStore;
    if (index < 1 || index > store.upperBound()) {
        askUser(QString::fromLatin1(kInvalidFrameRequest), MessageStyle::Exclamation);
        return;
    }
    const SnapshotRecord& record = store.at(index);
    // The store's own picture: the handle lives as long as the frame stays.
    hPicture = record.picture ? static_cast<int32_t>(record.picture->handle()) : 0;
    frameID = record.frameID;
    frameTime = record.frameTime;
    frameTimecode = record.frameTimecode;
}

int16_t cDidevEvivod::GetSnapshotCount()
{
    return static_cast<int16_t>(module_.state().snapshotStore.upperBound());
}

void cDidevEvivod::PictureSavedByLogger(int16_t& index, HostBoolean& setting)
{
    // Frame 0 is the host's "no frame": accepted and forgotten. Only exactly true counts as saved.
    if (index != 0)
        module_.state().snapshotStore.at(index).savedByLogger = setting == kHostTrue;
}

HostBoolean cDidevEvivod::SaveSnapshot(int16_t& index, QString& fileName, int16_t& format, int16_t& colorDepth,
    int16_t& colorReduction)
{
    return toHostBoolean(didev::SaveSnapshot(module_.state().snapshotStore, index, fileName, format, colorDepth, colorReduction));
}

void cDidevEvivod::SetPointers(QString&, QString& apPath, QString& wkPath, QString& tmpPath, int32_t& userRegArea)
{
    ModuleState& state = module_.state();
    state.apPath = apPath;
    state.wkPath = wkPath;
    state.tmpPath = tmpPath;
    state.userRegArea = userRegArea;
}

void cDidevEvivod::SetProperty(int16_t& propID, QString& propValue)
{
    ApplyProperty(propID, propValue, module_.state());
}

HostBoolean cDidevEvivod::ShowForm(int16_t&, HostStringArray& passDataArray)
{
    if (captureWindow_ && module_.state().captureWindowLoaded) {
        captureWindow_->show();
        captureWindow_->raise();
        captureWindow_->activateWindow();
        return kHostTrue;
    }
    releaseCaptureWindow();
    module_.state().clearFrames();
    ReadShowFormSettings(passDataArray, module_.state());

    captureWindow_ = new CaptureWindow(module_.state(), module_.captureOptionsForNewWindow());
    formClosedConnection_ = QObject::connect(captureWindow_, &CaptureWindow::formClosed, [this] { FormClosed(); });
    keyDownConnection_ = QObject::connect(captureWindow_, &CaptureWindow::keyDown,
        [this](int16_t& keyCode, int16_t& shift) { raiseKeyDown(keyCode, shift); });
    ConnectFrameRoad(module_, *captureWindow_);
    captureWindow_->load();
    captureWindow_->show();
    return kHostTrue;
}

int16_t cDidevEvivod::TakeSnapshot()
{
    // Before any ShowForm there is no picture to grab from.
    if (!captureWindow_)
        return 0;
    return CaptureSnapshot(module_, *captureWindow_, QString());
}

HostBoolean cDidevEvivod::AllowInternalCapture() const
{
    return module_.state().AllowInternalCapture;
}

void cDidevEvivod::setAllowInternalCapture(HostBoolean value)
{
    module_.state().AllowInternalCapture = value;
}

void cDidevEvivod::FormClosed()
{
    const bool outer = std::exchange(windowUnloading_, true);
    const auto restore = qScopeGuard([this, outer] { windowUnloading_ = outer; });
    const ModuleState& state = module_.state();
    HostStringArray passDataArray = FormClosedSettings(state.captureWindowPlacement, state.viewerPlacement);
    raiseFormClosed(passDataArray);
}

void cDidevEvivod::raiseFormClosed(HostStringArray& passDataArray)
{
    raiseToSinks(sinks_, [&](cDidevEvivodEvents& sink) { sink.FormClosed(passDataArray); });
}

void cDidevEvivod::raiseKeyDown(int16_t& KeyCode, int16_t& Shift)
{
    raiseToSinks(sinks_, [&](cDidevEvivodEvents& sink) { sink.KeyDown(KeyCode, Shift); });
}

} // namespace didev
