#pragma once

#include "automation/HostStringArray.h"
#include "capture/CaptureControl.h"
#include "capture/CaptureMenus.h"
#include "capture/CaptureOptions.h"
#include "common/VbTypes.h"
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
// banner; the device watch with heartbeat and reconnection. Load() runs the start-up sequence
// (the caller then shows the window) and Unload() the shut-down, which the close box runs too.
class DidevEvivod : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Kelvara Didev Evivod";
    static constexpr int kPanelCount = 3;
    // Panel 1 and 2 texts while no device of that kind is selected.
    static constexpr const char* kNoVideo = "No Video";
    static constexpr const char* kNoAudio = "No Audio";

    // Grabs a frame for the "S" key and the options menu (the frame store's grab); the window passes itself.
    using GrabHandler = std::function<void(DidevEvivod&)>;

    explicit DidevEvivod(CaptureOptions options, QWidget* parent = nullptr);
    ~DidevEvivod() override;

    void setEventSink(CaptureWindowEvents* events) { events_ = events; }
    void setGrabHandler(GrabHandler grab) { grab_ = std::move(grab); }
    // Closes the snapshot viewer as the window unloads and before the options menu discards the frames.
    void setViewerUnloader(std::function<void()> unloadViewer) { unloadViewer_ = std::move(unloadViewer); }
    // Grabs through the grab handler, then takes the focus back from the viewer the grab may have opened.
    void GrabFrame();
    // Closes the snapshot viewer through the unloader.
    void UnloadViewer();

    void Load();
    void Unload();
    bool loaded() const { return loaded_; }

    VbBoolean okToRaiseEvents() const { return okToRaiseEvents_; }
    void setOkToRaiseEvents(VbBoolean value) { okToRaiseEvents_ = value; }
    // Entries 1 to 8 from the capture window's and the viewer's placement records.
    void GetSettings(HostStringArray& passDataArray) const;
    // Shows "SNAPSHOT FAILED" for 2 seconds after the last call; the number is not used.
    void ShowCaptureErrorMessage(int32_t& errorNumber);
    void SizeLogoImage();
    void UpdateStatusBar();
    void SetDefaultDevices();

    // The outer frame in twips.
    double Left() const { return placed_.left(); }
    double Top() const { return placed_.top(); }
    double Width() const { return placed_.width(); }
    double Height() const { return placed_.height(); }

    CaptureControl& captureControl() { return capture_; }
    VideoView& videoView() { return *videoView_; }
    QStatusBar& StatusBar1() { return *statusBar_; }
    // Panel 1 to 3.
    StatusPanel& panel(int index) { return *panels_.at(static_cast<size_t>(index - 1)); }
    PictureBox& logoImage() { return *logoImage_; }
    PictureBox& originalLogo() { return *originalLogo_; }
    PictureBox& picErrorBox() { return *picErrorBox_; }
    QTimer& Timer1() { return *timer1_; }
    QTimer& HeartbeatTimer() { return *heartbeatTimer_; }
    QTimer& VideoReconnectionTimer() { return *reconnectionTimer_; }
    // The device-notification registration; null before load and after unload.
    DeviceWatch* deviceWatch() const { return deviceWatch_; }

    // The status bar's left, top and height in twips, relative to the window's client area.
    double statusBarLeft() const;
    double statusBarTop() const;
    double statusBarHeight() const;

    // The status-bar menus and their repeat-click state.
    CaptureMenus& menus() { return *menus_; }
    int16_t lastMenuPanel() const { return menus_->state().lastMenuPanel(); }
    int32_t menuAnchorX() const { return menus_->state().menuAnchorX(); }
    int32_t menuAnchorY() const { return menus_->state().menuAnchorY(); }
    bool placing() const { return placing_; }

signals:
    void panelClicked(const didev::StatusPanelClick& click);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Form_Resize();
    void Form_KeyDown(int16_t keyCode, int16_t shift);
    void HeartbeatTimer_Timer();
    void VideoReconnectionTimer_Timer();
    void Timer1_Timer();
    void CaptureControl_PointerEvent(float x, float y);
    void StatusBar1_PanelClick(int index);
    void sourceEnded(DeviceKind kind);
    void layoutStatusBar();

    CaptureControl capture_;
    WidgetPlacedWindow placed_;
    CaptureWindowEvents* events_ = nullptr;
    GrabHandler grab_;
    std::function<void()> unloadViewer_;

    VideoView* videoView_;
    QStatusBar* statusBar_;
    std::array<StatusPanel*, kPanelCount> panels_{};
    PictureBox* logoImage_;
    PictureBox* originalLogo_;
    PictureBox* picErrorBox_;
    QTimer* timer1_;
    QTimer* heartbeatTimer_;
    QTimer* reconnectionTimer_;
    DeviceWatch* deviceWatch_ = nullptr;
    CaptureMenus* menus_;
    // Made at the first key press.
    std::unique_ptr<KeyboardLayout> keyboard_;

    bool loaded_ = false;
    VbBoolean okToRaiseEvents_ = vbFalse;
    bool placing_ = false;
};

} // namespace didev
