#include "viewer/SnapshotViewerInstance.h"

#include "viewer/SnapshotViewer.h"

#include <QPointer>

namespace didev {

namespace {

QPointer<SnapshotViewer>& instance()
{
    static QPointer<SnapshotViewer> viewer;
    return viewer;
}

} // namespace

SnapshotViewer* LoadedSnapshotViewer()
{
    SnapshotViewer* viewer = instance().data();
    return viewer && viewer->loaded() ? viewer : nullptr;
}

SnapshotViewer& SnapshotViewerWindow()
{
    if (SnapshotViewer* viewer = LoadedSnapshotViewer())
        return *viewer;
    // A viewer closed by its close box or its last discard is deleted later; a new one takes over.
    auto* viewer = new SnapshotViewer();
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    instance() = viewer;
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
