#include "automation/cDidevEvivod.h"

#include "automation/FrameRoad.h"
#include "automation/SettingsExchange.h"
#include "capture/CaptureWindow.h"
#include "snapshots/ModuleState.h"
#include "snapshots/PictureWriter.h"
#include "snapshots/SnapshotExport.h"
#include "ui/MessageBox.h"
#include "viewer/SnapshotViewer.h"

#include <QProcessEnvironment>
#include <QScopeGuard>

#include <algorithm>
#include <utility>

namespace didev {

namespace {

constexpr const char* kInvalidFrameRequest = "Invalid frame request sent to GetSnapshot().";

std::optional<CaptureOptions>& chosenCaptureOptions()
{
    static std::optional<CaptureOptions> options;
    return options;
}

CaptureOptions captureOptionsForNewWindow()
{
    if (chosenCaptureOptions())
        return *chosenCaptureOptions();
    return captureOptionsFrom(std::nullopt, std::nullopt, QProcessEnvironment::systemEnvironment());
}

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

std::optional<LiveWindowGeometry> viewerGeometry()
{
    const SnapshotViewer* viewer = LoadedSnapshotViewer();
    if (!viewer)
        return std::nullopt;
    return liveGeometry(viewer->placement());
}

} // namespace

void cDidevEvivod::setCaptureOptions(std::optional<CaptureOptions> options)
{
    chosenCaptureOptions() = std::move(options);
}

cDidevEvivod::cDidevEvivod()
{
    // Module-wide: a further instance resets what every instance shares.
    moduleState().reset();
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
        if (captureWindow_ && moduleState().captureWindowLoaded && !windowUnloading_) {
            // Teardown tells the host nothing.
            captureWindow_->setOkToRaiseEvents(false);
            captureWindow_->captureControl().setPreview(false);
            captureWindow_->unload();
        }
    });
    step([this] { releaseCaptureWindow(); });
    step([this] { ClearSnapshots(); });
    step([] { UnloadSnapshotViewer(); });
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
    ClearSnapshotStore();
    UnloadSnapshotViewer();
}

void cDidevEvivod::ClearSavedSnapshots()
{
    ModuleState& state = moduleState();
    const int kept = state.snapshotStore.removeSavedByLogger();
    state.frameCounter = static_cast<int16_t>(kept);
    if (kept == 0)
        UnloadSnapshotViewer();
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
    UnloadSnapshotViewer();
}

void cDidevEvivod::GetSettings(HostStringArray& passDataArray)
{
    const ModuleState& state = moduleState();
    if (!captureWindow_ || !state.captureWindowLoaded) {
        WriteLiveSettings(passDataArray, std::nullopt, std::nullopt);
        return;
    }
    WriteLiveSettings(passDataArray, liveGeometry(captureWindow_->placement()),
        state.viewerShown ? viewerGeometry() : std::nullopt);
}

void cDidevEvivod::GetSnapshot(int16_t& index, int32_t& hPicture, int16_t& frameID, double& frameTime,
    QString& frameTimecode)
{
    const SnapshotStore& store = moduleState().snapshotStore;
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
    return static_cast<int16_t>(moduleState().snapshotStore.upperBound());
}

void cDidevEvivod::PictureSavedByLogger(int16_t& index, HostBoolean& setting)
{
    // Frame 0 is the host's "no frame": accepted and forgotten. Only exactly true counts as saved.
    if (index != 0)
        moduleState().snapshotStore.at(index).savedByLogger = setting == kHostTrue;
}

HostBoolean cDidevEvivod::SaveSnapshot(int16_t& index, QString& fileName, int16_t& format, int16_t& colorDepth,
    int16_t& colorReduction)
{
    return toHostBoolean(didev::SaveSnapshot(moduleState().snapshotStore, index, fileName, format, colorDepth, colorReduction));
}

void cDidevEvivod::SetPointers(QString&, QString& apPath, QString& wkPath, QString& tmpPath, int32_t& userRegArea)
{
    ModuleState& state = moduleState();
    state.apPath = apPath;
    state.wkPath = wkPath;
    state.tmpPath = tmpPath;
    state.userRegArea = userRegArea;
}

void cDidevEvivod::SetProperty(int16_t& propID, QString& propValue)
{
    ApplyProperty(propID, propValue);
}

HostBoolean cDidevEvivod::ShowForm(int16_t&, HostStringArray& passDataArray)
{
    if (captureWindow_ && moduleState().captureWindowLoaded) {
        captureWindow_->show();
        captureWindow_->raise();
        captureWindow_->activateWindow();
        return kHostTrue;
    }
    releaseCaptureWindow();
    ClearSnapshotStore();
    ReadShowFormSettings(passDataArray);

    captureWindow_ = new CaptureWindow(captureOptionsForNewWindow());
    formClosedConnection_ = QObject::connect(captureWindow_, &CaptureWindow::formClosed, [this] { FormClosed(); });
    keyDownConnection_ = QObject::connect(captureWindow_, &CaptureWindow::keyDown,
        [this](int16_t& keyCode, int16_t& shift) { raiseKeyDown(keyCode, shift); });
    ConnectFrameRoad(*captureWindow_);
    captureWindow_->load();
    captureWindow_->show();
    return kHostTrue;
}

int16_t cDidevEvivod::TakeSnapshot()
{
    // Before any ShowForm there is no picture to grab from.
    if (!captureWindow_)
        return 0;
    return CaptureSnapshot(*captureWindow_, QString());
}

HostBoolean cDidevEvivod::AllowInternalCapture() const
{
    return moduleState().AllowInternalCapture;
}

void cDidevEvivod::setAllowInternalCapture(HostBoolean value)
{
    moduleState().AllowInternalCapture = value;
}

void cDidevEvivod::FormClosed()
{
    const bool outer = std::exchange(windowUnloading_, true);
    const auto restore = qScopeGuard([this, outer] { windowUnloading_ = outer; });
    const ModuleState& state = moduleState();
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
