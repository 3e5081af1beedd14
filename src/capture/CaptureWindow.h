#pragma once

#include "capture/CaptureControl.h"
#include "capture/CaptureMenus.h"
#include "capture/CaptureOptions.h"
#include "common/HostBoolean.h"
#include "ui/WidgetPlacedWindow.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class QStatusBar;
class QTimer;

namespace didev {

class DeviceWatch;
class KeyboardLayout;
class PictureBox;
struct ModuleState;
class StatusPanel;
class VideoView;

// The capture window: the live picture of the selected video device above a status bar whose
// panels name the devices; the logo while no video device is selected; the "SNAPSHOT FAILED"
// banner; the device watch with heartbeat and reconnection. load() runs the start-up sequence
// (the caller then shows the window) and unload() the shut-down, which the close box runs too.
// What happens to frames is not the window's business: it asks for a grab, for the frames to be
// shown or discarded, and for the viewer to close, by its signals. The module state it is given
// (the grab switch, its placement, the loaded flag) must outlive it.
class CaptureWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Kelvara Didev Evivod";
    static constexpr int kPanelCount = 3;
    // Panel 1 and 2 texts while no device of that kind is selected.
    static constexpr const char* kNoVideo = "No Video";
    static constexpr const char* kNoAudio = "No Audio";

    CaptureWindow(ModuleState& state, CaptureOptions options, QWidget* parent = nullptr);
    ~CaptureWindow() override;

    // Asks for a grab, then takes the focus back from the viewer the grab may have opened.
    void requestGrab();

    void load();
    void unload();
    bool loaded() const { return loaded_; }

    bool okToRaiseEvents() const { return okToRaiseEvents_; }
    void setOkToRaiseEvents(bool value) { okToRaiseEvents_ = value; }
    // Shows "SNAPSHOT FAILED" for 2 seconds after the last call.
    void showGrabFailed();
    void placeLogo();
    void showDeviceNames();
    void selectFirstDevices();

    // The outer frame in twips.
    PlacedWindow& placement() { return placed_; }
    const PlacedWindow& placement() const { return placed_; }

    ModuleState& state() { return state_; }
    CaptureControl& captureControl() { return capture_; }
    VideoView& videoView() { return *videoView_; }
    QStatusBar& statusBar() { return *statusBar_; }
    // Panel 1 to 3.
    StatusPanel& panel(int index) { return *panels_.at(static_cast<size_t>(index - 1)); }
    PictureBox& logo() { return *logo_; }
    PictureBox& logoSource() { return *logoSource_; }
    PictureBox& grabFailedBanner() { return *grabFailedBanner_; }
    QTimer& bannerTimer() { return *bannerTimer_; }
    QTimer& heartbeatTimer() { return *heartbeatTimer_; }
    QTimer& reconnectionTimer() { return *reconnectionTimer_; }
    // While no video device works, one reconnection attempt every this many milliseconds.
    void setReconnectionInterval(int milliseconds) { reconnectionInterval_ = milliseconds; }
    // The device-notification registration; null before load and after unload.
    DeviceWatch* deviceWatch() const { return deviceWatch_; }
    // A video device came or went (or none was there at load) and the heartbeat has not yet
    // started the reconnection.
    bool reconnectPending() const { return reconnectPending_; }

    // The status bar's left, top and height in twips, relative to the window's client area.
    double statusBarLeft() const;
    double statusBarTop() const;
    double statusBarHeight() const;

    // The status-bar menus and their repeat-click state.
    CaptureMenus& menus() { return *menus_; }
    const PanelMenuTracker& menuTracker() const { return menus_->tracker(); }
    bool placing() const { return placing_; }

signals:
    void panelClicked(const didev::StatusPanelClick& click);
    // The "S" key or the options menu asks for a frame of the live picture.
    void grabRequested();
    // The options menu asks to show the stored frames, or (after the user said Yes) to close the
    // viewer and discard them.
    void showFramesRequested();
    void discardFramesRequested();
    // The window unloads: the viewer goes with it.
    void viewerCloseRequested();
    // The user or the host closed the window while the host asked to be told.
    void formClosed();
    // A key reached the window; the receiver may change the values it is given.
    void keyDown(int16_t& keyCode, int16_t& shift);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layOut();
    void keyPressed(int16_t keyCode, int16_t shift);
    void checkDeviceChange();
    void tryReconnect();
    void hideGrabFailed();
    void pointerOverVideo(float x, float y);
    void openPanelMenu(int index);
    void showDevices(DeviceKind kind);
    void layoutStatusBar();

    ModuleState& state_;
    CaptureControl capture_;
    WidgetPlacedWindow placed_;

    VideoView* videoView_;
    QStatusBar* statusBar_;
    std::array<StatusPanel*, kPanelCount> panels_{};
    PictureBox* logo_;
    PictureBox* logoSource_;
    PictureBox* grabFailedBanner_;
    QTimer* bannerTimer_;
    QTimer* heartbeatTimer_;
    QTimer* reconnectionTimer_;
    int reconnectionInterval_ = 1000;
    DeviceWatch* deviceWatch_ = nullptr;
    CaptureMenus* menus_;
    // Made at the first key press.
    std::unique_ptr<KeyboardLayout> keyboard_;

    bool loaded_ = false;
    bool okToRaiseEvents_ = false;
    bool placing_ = false;
    bool reconnectPending_ = false;
};

} // namespace didev
