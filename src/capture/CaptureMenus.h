#pragma once

#include "ui/PanelMenuTracker.h"
#include "ui/PopupMenu.h"
#include "common/HostBoolean.h"

#include <QObject>
#include <QPoint>

#include <cstdint>

class QMenu;

namespace didev {

class DeviceList;
class CaptureWindow;

// "None" in the device menus; the device at zero-based position i of its list is i + 1.
inline constexpr int32_t kNoDeviceCommand = 9999;

// Commands of the options menu (panel 3) and its two submenus.
enum class OptionsCommand : int32_t {
    ShowCapturedFrames = 1,
    DiscardCapturedFrames = 2,
    CaptureCurrentFrame = 3,
    AudioOnly = 4,
    VideoOnly = 5,
    AudioAndVideo = 6,
    SourceStage = 7,
    ProcessorsStage = 8,
    CompressorStage = 9,
};

// Where a panel's menu opens, all in twips: the window's outer left, top and height, the
// sizing frame's width, the status bar's left in the window and the panel's left in the bar.
struct PanelMenuGeometry {
    double windowLeft = 0;
    double windowTop = 0;
    double windowHeight = 0;
    double sizingFrameWidth = 0;
    double statusBarLeft = 0;
    double panelLeft = 0;
};

// The popup menus of the capture window's status bar: the video devices (panel 1), the audio
// devices (panel 2) and the options (panel 3). Each click builds its menu afresh from the
// capture control and the frame store, opens it bottom-aligned on the window's bottom edge
// under the panel, and carries out the command chosen.
class CaptureMenus : public QObject {
    Q_OBJECT

public:
    explicit CaptureMenus(CaptureWindow& window);

    PanelMenuTracker& state() { return state_; }
    const PanelMenuTracker& state() const { return state_; }

    // The status bar's panel click: the repeat-click test, then the panel's menu. A numbered
    // error of the command is told to the user.
    void PanelClick(const StatusPanelClick& click);

    // The menu's bottom-left corner in screen pixels.
    static QPoint menuPosition(const PanelMenuGeometry& geometry, const ScreenMetrics& screen);

    // "None" and one item per device; checked where the name is the panel's text.
    static void buildDeviceMenu(QMenu& menu, const DeviceList& devices, const QString& panelText,
        const QString& noneText);
    // The frame commands, greyed without frames (capture unless internal capture is allowed),
    // and the input mode and preview stage submenus with the current ones checked.
    static void buildOptionsMenu(QMenu& menu, int frameCount, HostBoolean allowInternalCapture, int32_t inputMode,
        int32_t previewStage);

signals:
    // A panel's menu has just opened, built as `rows` show it.
    void menuShown(int panel, const QList<didev::PopupMenuRow>& rows);

private:
    // Runs the menu; the chosen id, 0 when it was dismissed or the window closed meanwhile.
    int32_t track(QMenu& menu, int panel, QPoint bottomLeft);
    void VideoMenu(QPoint bottomLeft);
    void AudioMenu(QPoint bottomLeft);
    void OptionsMenu(QPoint bottomLeft);
    void chooseVideoDevice(int32_t id);
    void chooseAudioDevice(int32_t id);
    void runOptionsCommand(OptionsCommand command);
    void showCapturedFrames();
    void discardCapturedFrames();

    CaptureWindow& window_;
    PanelMenuTracker state_;
};

} // namespace didev
