#pragma once

#include "capture/CaptureControl.h"
#include "capture/CaptureMenus.h"
#include "capture/CaptureOptions.h"
#include "common/HostBoolean.h"
#include "common/HostStringArray.h"
#include "ui/WidgetPlacedWindow.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QStatusBar;
class QTimer;

namespace didev {

class CaptureWindowEvents;
class DeviceWatch;
class KeyboardLayout;
class PictureBox;
class StatusPanel;
class VideoView;

// The capture window: the live picture of the selected video device above a status bar whose
// panels name the devices; the logo while no video device is selected; the "SNAPSHOT FAILED"
// banner; the device watch with heartbeat and reconnection. load() runs the start-up sequence
// (the caller then shows the window) and unload() the shut-down, which the close box runs too.
class CaptureWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Kelvara Didev Evivod";
    static constexpr int kPanelCount = 3;
    // Panel 1 and 2 texts while no device of that kind is selected.
    static constexpr const char* kNoVideo = "No Video";
    static constexpr const char* kNoAudio = "No Audio";

    // Grabs a frame for the "S" key and the options menu (the frame store's grab); the window passes itself.
    using GrabHandler = std::function<void(CaptureWindow&)>;

    explicit CaptureWindow(CaptureOptions options, QWidget* parent = nullptr);
    ~CaptureWindow() override;

    void setEventSink(CaptureWindowEvents* events) { events_ = events; }
    void setGrabHandler(GrabHandler grab) { grab_ = std::move(grab); }
    // Closes the snapshot viewer as the window unloads and before the options menu discards the frames.
    void setViewerUnloader(std::function<void()> unloadViewer) { unloadViewer_ = std::move(unloadViewer); }
    // Grabs through the grab handler, then takes the focus back from the viewer the grab may have opened.
    void requestGrab();
    // Closes the snapshot viewer through the unloader.
    void closeViewer();

    void load();
    void unload();
    bool loaded() const { return loaded_; }

    HostBoolean okToRaiseEvents() const { return okToRaiseEvents_; }
    void setOkToRaiseEvents(HostBoolean value) { okToRaiseEvents_ = value; }
    // Entries 1 to 8 from the capture window's and the viewer's placement records.
    void GetSettings(HostStringArray& passDataArray) const;
    // Shows "SNAPSHOT FAILED" for 2 seconds after the last call.
    void showGrabFailed();
    void placeLogo();
    void showDeviceNames();
    void selectFirstDevices();

    // The outer frame in twips.
    PlacedWindow& placement() { return placed_; }
    const PlacedWindow& placement() const { return placed_; }

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
    // The device-notification registration; null before load and after unload.
    DeviceWatch* deviceWatch() const { return deviceWatch_; }

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

    CaptureControl capture_;
    WidgetPlacedWindow placed_;
    CaptureWindowEvents* events_ = nullptr;
    GrabHandler grab_;
    std::function<void()> unloadViewer_;

    VideoView* videoView_;
    QStatusBar* statusBar_;
    std::array<StatusPanel*, kPanelCount> panels_{};
    PictureBox* logo_;
    PictureBox* logoSource_;
    PictureBox* grabFailedBanner_;
    QTimer* bannerTimer_;
    QTimer* heartbeatTimer_;
    QTimer* reconnectionTimer_;
    DeviceWatch* deviceWatch_ = nullptr;
    CaptureMenus* menus_;
    // Made at the first key press.
    std::unique_ptr<KeyboardLayout> keyboard_;

    bool loaded_ = false;
    HostBoolean okToRaiseEvents_ = kHostFalse;
    bool placing_ = false;
};

} // namespace didev
