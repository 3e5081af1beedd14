#include "automation/Module.h"

#include "viewer/SnapshotViewer.h"

#include <QProcessEnvironment>

namespace didev {

Module::Module(std::optional<CaptureOptions> captureOptions)
    : captureOptions_(std::move(captureOptions))
{
}

Module::~Module()
{
    // A viewer closed but not yet deleted goes now, before the state it writes into.
    unloadViewer();
    delete viewer_.data();
    for (const QPointer<SnapshotViewer>& viewer : closing_)
        delete viewer.data();
}

CaptureOptions Module::captureOptionsForNewWindow() const
{
    if (captureOptions_)
        return *captureOptions_;
    return captureOptionsFrom(std::nullopt, std::nullopt, QProcessEnvironment::systemEnvironment());
}

SnapshotViewer* Module::loadedViewer() const
{
    SnapshotViewer* viewer = viewer_.data();
    return viewer && viewer->loaded() ? viewer : nullptr;
}

SnapshotViewer& Module::viewer()
{
    if (SnapshotViewer* viewer = loadedViewer())
        return *viewer;
    // A viewer closed by its close box or its last discard is deleted later; a new one takes over.
    std::erase_if(closing_, [](const QPointer<SnapshotViewer>& viewer) { return viewer.isNull(); });
    if (viewer_)
        closing_.push_back(viewer_);
    auto* viewer = new SnapshotViewer(state_, printer_);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer_ = viewer;
    try {
        viewer->load();
    } catch (...) {
        viewer->unload();
        throw;
    }
    return *viewer;
}

void Module::unloadViewer()
{
    if (SnapshotViewer* viewer = loadedViewer())
        viewer->unload();
}

} // namespace didev
