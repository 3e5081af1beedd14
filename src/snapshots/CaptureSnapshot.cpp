#include "snapshots/CaptureSnapshot.h"

#include "capture/CaptureControl.h"
#include "capture/DidevEvivod.h"
#include "common/AutomationDate.h"
#include "common/AutomationError.h"
#include "state/ModuleState.h"
#include "ui/Screen.h"
#include "ui/ShowMessage.h"
#include "ui/WindowFrame.h"
#include "viewer/SnapshotViewer.h"
#include "viewer/SnapshotViewerInstance.h"

namespace didev {

namespace {

constexpr int32_t kFetchWaitMilliseconds = 500;
constexpr int16_t kStyleExclamation = 48;

bool atLimit(const ModuleState& state)
{
    return state.frameCounter >= kMaxFrameId
        || (state.accumulateFrames && state.snapshotStore.count() >= SnapshotStore::kMaxFrames);
}

// The viewer switches to frame n, or opens at the frame's size where it was last or under the
// capture window, raised where it would run past the bottom of the screen.
void showInViewer(DidevEvivod& captureWindow, int16_t n)
{
    ReadWindowMetrics();
    ModuleState& state = moduleState();
    if (state.viewerShown == vbTrue) {
        if (SnapshotViewer* viewer = LoadedSnapshotViewer()) {
            viewer->ShowFrame(n, false);
            return;
        }
    }

    // Placed before it is shown: a window manager puts a window that maps without a place of
    // its own wherever it likes, and frames it around the place asked for.
    SnapshotViewer& viewer = SnapshotViewerWindow();
    viewer.ShowFrame(n, true);
    const WindowPlacement& saved = state.viewerPlacement;
    if (saved.Width != 0 && saved.Height != 0) {
        viewer.setTop(saved.Top);
        viewer.setLeft(saved.Left);
    } else {
        double top = captureWindow.Top() + captureWindow.Height();
        const double screenHeight = screenMetrics().height;
        if (top + viewer.Height() > screenHeight)
            top = screenHeight - viewer.Height();
        viewer.setTop(top);
        viewer.setLeft(captureWindow.Left());
    }
    viewer.show();
}

} // namespace

int16_t CaptureSnapshot(DidevEvivod& captureWindow, const QString& frameTimecode)
{
    ModuleState& state = moduleState();
    SnapshotStore& store = state.snapshotStore;
    CaptureControl& capture = captureWindow.captureControl();
    int32_t errorNumber = 0;
    const auto failed = [&captureWindow, &errorNumber] {
        captureWindow.ShowCaptureErrorMessage(errorNumber);
        return int16_t{0};
    };

    if (capture.videoDevices().selectedIndex() == -1)
        return 0;
    if (atLimit(state))
        return failed();
    if (!capture.isReadyForStill(CaptureControl::kStillMode))
        return failed();
    try {
        capture.startCapture(CaptureControl::kStillMode);
    } catch (const AutomationError& error) {
        errorNumber = error.number();
        return failed();
    } catch (...) {
        return failed();
    }

    if (!state.accumulateFrames)
        store.reset();
    const int n = store.upperBound() + 1;
    store.resizePreserve(n);
    ++state.frameCounter;

    PicturePtr picture;
    bool fetched = false;
    try {
        picture = capture.fetchStill(kFetchWaitMilliseconds);
        fetched = true;
    } catch (const AutomationError& error) {
        errorNumber = error.number();
    } catch (...) {
    }
    try {
        capture.stopCapture();
    } catch (...) {
        // Stopping is best effort; the frame, if any, is already taken.
    }
    if (!fetched) {
        store.resizePreserve(n - 1);
        return failed();
    }

    SnapshotRecord& record = store.at(n);
    record.picture = std::move(picture);
    record.frameID = state.frameCounter;
    record.frameTime = automationDateNow();
    record.frameTimecode = frameTimecode;
    if (!state.accumulateFrames)
        return state.frameCounter;

    showInViewer(captureWindow, static_cast<int16_t>(n));
    return state.frameCounter;
}

void ConnectSnapshotKey(DidevEvivod& captureWindow)
{
    captureWindow.setGrabHandler([](DidevEvivod& window) {
        try {
            CaptureSnapshot(window, QString());
        } catch (const AutomationError& error) {
            // A key press has no caller to hand the error to: the user is told.
            ShowMessage(QStringLiteral("Error %1 (%2): %3")
                            .arg(error.number())
                            .arg(QString::fromStdString(error.source()), QString::fromStdString(error.description())),
                kStyleExclamation);
        }
    });
}

} // namespace didev
