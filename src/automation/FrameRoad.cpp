#include "automation/FrameRoad.h"

#include "automation/Module.h"
#include "capture/CaptureControl.h"
#include "capture/CaptureWindow.h"
#include "common/AutomationDate.h"
#include "common/AutomationError.h"
#include "common/Rounding.h"
#include "ui/MessageBox.h"
#include "ui/Screen.h"
#include "viewer/SnapshotViewer.h"


namespace didev {

namespace {

constexpr int32_t kFetchWaitMilliseconds = 500;

bool atLimit(const ModuleState& state)
{
    return state.frameCounter >= kMaxFrameId
        || (state.accumulateFrames && state.snapshotStore.count() >= FrameStore::kMaxFrames);
}

// The viewer switches to frame n, or opens at the frame's size where it was last or under the
// capture window, raised where it would run past the bottom of the screen.
void showInViewer(Module& module, CaptureWindow& captureWindow, int16_t n)
{
    const ModuleState& state = module.state();
    if (state.viewerShown) {
        if (SnapshotViewer* viewer = module.loadedViewer()) {
            viewer->showFrame(n, false);
            return;
        }
    }

    // Placed before it is shown: a window manager puts a window that maps without a place of
    // its own wherever it likes, and frames it around the place asked for.
    SnapshotViewer& viewer = module.viewer();
    viewer.showFrame(n, true);
    const WindowPlacement& saved = state.viewerPlacement;
    if (saved.Width != 0 && saved.Height != 0) {
        viewer.placement().setTop(saved.Top);
        viewer.placement().setLeft(saved.Left);
    } else {
        double top = captureWindow.placement().top() + captureWindow.placement().height();
        const double screenHeight = screenMetrics().height;
        if (top + viewer.placement().height() > screenHeight)
            top = screenHeight - viewer.placement().height();
        viewer.placement().setTop(top);
        viewer.placement().setLeft(captureWindow.placement().left());
    }
    viewer.show();
}

} // namespace

int16_t CaptureSnapshot(Module& module, CaptureWindow& captureWindow, const QString& frameTimecode)
{
    ModuleState& state = module.state();
    FrameStore& store = state.snapshotStore;
    CaptureControl& capture = captureWindow.captureControl();
    const auto failed = [&captureWindow] {
        captureWindow.showGrabFailed();
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
    } catch (...) {
        return failed();
    }

    if (!state.accumulateFrames)
        store.clear();
    const int n = store.upperBound() + 1;
    store.resizePreserve(n);
    ++state.frameCounter;

    PicturePtr picture;
    bool fetched = false;
    try {
        picture = capture.fetchStill(kFetchWaitMilliseconds);
        fetched = true;
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

    showInViewer(module, captureWindow, static_cast<int16_t>(n));
    return state.frameCounter;
}

// The viewer shows the frames from the first: the one on screen switches, otherwise it opens
// right under the capture window, wherever it was before and whether or not it fits the screen.
static void showCapturedFrames(Module& module, CaptureWindow& captureWindow)
{
    // Asked before the viewer is reached: loading one marks it shown.
    const bool shown = module.state().viewerShown;
    SnapshotViewer& viewer = module.viewer();
    if (shown) {
        viewer.showFrame(1, false);
    } else {
        // Placed before it is shown, so a window manager frames it there.
        const PlacedWindow& placed = captureWindow.placement();
        viewer.showFrame(1, true);
        viewer.placement().setTop(roundHalfEven(placed.top() + placed.height()));
        viewer.placement().setLeft(placed.left());
    }
    viewer.show();
    viewer.raise();
    viewer.activateWindow();
}

void ConnectFrameRoad(Module& module, CaptureWindow& captureWindow)
{
    Module* owner = &module;
    CaptureWindow* window = &captureWindow;
    QObject::connect(window, &CaptureWindow::grabRequested, window, [owner, window] {
        try {
            CaptureSnapshot(*owner, *window, QString());
        } catch (const AutomationError& error) {
            // A key press or a menu has no caller to hand the error to: the user is told.
            tellUser(error);
        }
    });
    QObject::connect(window, &CaptureWindow::showFramesRequested, window,
        [owner, window] { showCapturedFrames(*owner, *window); });
    QObject::connect(window, &CaptureWindow::discardFramesRequested, window, [owner] {
        owner->unloadViewer();
        owner->state().clearFrames();
    });
    QObject::connect(window, &CaptureWindow::viewerCloseRequested, window, [owner] { owner->unloadViewer(); });
}

} // namespace didev
