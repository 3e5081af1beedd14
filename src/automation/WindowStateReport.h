#pragma once

#include <QString>
#include <QVariantMap>

class QWidget;

namespace didev {

// What a person sees of a window, for the test driver: loaded (false and nothing else for a
// window that is not open), visible, topmost, the outer frame and the status bar in twips, the
// caption and the panels' texts; then what the kind of window adds (capture: logo, banner,
// preview and devices; viewer: frame and picture; message: buttons and prompt).
QVariantMap windowState(const QString& name, QWidget* window);

} // namespace didev
