#include "viewer/DialogOwner.h"

#include <QDialog>
#include <QWidget>
#include <QWindow>

namespace didev {

bool isTopmostWindow(const QWidget& widget)
{
    const QWidget* window = widget.window();
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        return true;
    const QWindow* handle = window->windowHandle();
    return handle && handle->flags().testFlag(Qt::WindowStaysOnTopHint);
}

void keepInFrontOfOwner(QDialog& dialog, const QWidget* owner)
{
    if (owner && isTopmostWindow(*owner))
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

} // namespace didev
