#include "automation/FrameRoad.h"

#include "capture/CaptureControl.h"
#include "capture/CaptureWindow.h"
#include "common/AutomationDate.h"
#include "common/AutomationError.h"
#include "common/Rounding.h"
#include "snapshots/ModuleState.h"
#include "ui/MessageBox.h"
#include "ui/Screen.h"
#include "viewer/SnapshotViewer.h"

#include <QPointer>

namespace didev {

namespace {

constexpr int32_t kFetchWaitMilliseconds = 500;

QPointer<SnapshotViewer>& viewerInstance()
{
    static QPointer<SnapshotViewer> viewer;
    return viewer;
}

bool atLimit(const ModuleState& state)
{
    return state.frameCounter >= kMaxFrameId
        || (state.accumulateFrames && state.snapshotStore.count() >= SnapshotStore::kMaxFrames);
}

// The viewer switches to frame n, or opens at the frame's size where it was last or under the
// capture window, raised where it would run past the bottom of the screen.
void showInViewer(CaptureWindow& captureWindow, int16_t n)
{
    ModuleState& state = moduleState();
    if (state.viewerShown) {
        if (SnapshotViewer* viewer = LoadedSnapshotViewer()) {
            viewer->showFrame(n, false);
            return;
        }
    }

    // Placed before it is shown: a window manager puts a window that maps without a place of
    // its own wherever it likes, and frames it around the place asked for.
    SnapshotViewer& viewer = SnapshotViewerWindow();
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

int16_t CaptureSnapshot(CaptureWindow& captureWindow, const QString& frameTimecode)
{
    ModuleState& state = moduleState();
    SnapshotStore& store = state.snapshotStore;
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

    showInViewer(captureWindow, static_cast<int16_t>(n));
    return state.frameCounter;
}

// The viewer shows the frames from the first: the one on screen switches, otherwise it opens
// right under the capture window, wherever it was before and whether or not it fits the screen.
static void showCapturedFrames(CaptureWindow& captureWindow)
{
    // Asked before the viewer is reached: loading one marks it shown.
    const bool shown = moduleState().viewerShown;
    SnapshotViewer& viewer = SnapshotViewerWindow();
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

void ConnectFrameRoad(CaptureWindow& captureWindow)
{
    CaptureWindow* window = &captureWindow;
    QObject::connect(window, &CaptureWindow::grabRequested, window, [window] {
        try {
            CaptureSnapshot(*window, QString());
        } catch (const AutomationError& error) {
            // A key press or a menu has no caller to hand the error to: the user is told.
            tellUser(error);
        }
    });
    QObject::connect(window, &CaptureWindow::showFramesRequested, window, [window] { showCapturedFrames(*window); });
    QObject::connect(window, &CaptureWindow::discardFramesRequested, window, [] {
        UnloadSnapshotViewer();
        ClearSnapshotStore();
    });
    QObject::connect(window, &CaptureWindow::viewerCloseRequested, window, &UnloadSnapshotViewer);
}

SnapshotViewer* LoadedSnapshotViewer()
{
    SnapshotViewer* viewer = viewerInstance().data();
    return viewer && viewer->loaded() ? viewer : nullptr;
}

SnapshotViewer& SnapshotViewerWindow()
{
    if (SnapshotViewer* viewer = LoadedSnapshotViewer())
        return *viewer;
    // A viewer closed by its close box or its last discard is deleted later; a new one takes over.
    auto* viewer = new SnapshotViewer();
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewerInstance() = viewer;
    try {
        viewer->load();
    } catch (...) {
        viewer->unload();
        throw;
    }
    return *viewer;
}

void UnloadSnapshotViewer()
{
    if (SnapshotViewer* viewer = LoadedSnapshotViewer())
        viewer->unload();
}

} // namespace didev
