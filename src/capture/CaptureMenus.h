#pragma once

#include "capture/CaptureDevice.h"
#include "ui/PanelMenuTracker.h"
#include "ui/PopupMenu.h"

#include <QObject>
#include <QPoint>

#include <cstdint>
#include <span>

class QMenu;

namespace didev {

class CaptureWindow;

// "None" in the device menus; the device at zero-based position i of its list is i + 1.
inline constexpr int32_t kNoDeviceCommand = 9999;

// The popup menus of the capture window's status bar: the video devices (panel 1), the audio
// devices (panel 2) and the options (panel 3). Each click builds its menu afresh from the
// capture control and the frame store, opens it bottom-aligned on the window's bottom edge
// under the panel, and carries out the command chosen.
class CaptureMenus : public QObject {
    Q_OBJECT

public:
    explicit CaptureMenus(CaptureWindow& window);

    PanelMenuTracker& tracker() { return tracker_; }
    const PanelMenuTracker& tracker() const { return tracker_; }

    // The status bar's panel click: the repeat-click test, then the panel's menu. A numbered
    // error of the command is told to the user.
    void panelClicked(const StatusPanelClick& click);

signals:
    // A panel's menu has just opened, built as `rows` show it.
    void menuShown(int panel, const QList<didev::PopupMenuRow>& rows);

private:
    static std::span<const MenuCommand<CaptureMenus>> optionsCommands();

    // Runs the menu; the chosen id, 0 when it was dismissed or the window closed meanwhile.
    int32_t track(QMenu& menu, int panel, QPoint bottomLeft);
    void deviceMenu(DeviceKind kind, QPoint bottomLeft);
    void optionsMenu(QPoint bottomLeft);
    void chooseVideoDevice(int32_t id);
    void chooseAudioDevice(int32_t id);
    void runOptionsCommand(int32_t id);
    void showCapturedFrames();
    void discardCapturedFrames();

    CaptureWindow& window_;
    PanelMenuTracker tracker_;
};

} // namespace didev
