#pragma once

class QDialog;
class QWidget;

namespace didev {

// Sets up a dialog made with `owner` as its parent so it opens in front of the owner's window:
// over an always-on-top window the dialog stays on top as well, since a window manager may keep
// a transient of such a window in the normal layer, below it. Without an owner nothing changes.
void keepInFrontOfOwner(QDialog& dialog, const QWidget* owner);

// True when the window holding `widget` is kept above normal windows.
bool isTopmostWindow(const QWidget& widget);

} // namespace didev
