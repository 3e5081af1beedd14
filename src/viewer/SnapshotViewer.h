#pragma once

#include "ui/PanelMenuTracker.h"
#include "ui/PopupMenu.h"
#include "ui/WidgetPlacedWindow.h"
#include "viewer/FrameFit.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <span>

class QStatusBar;

namespace didev {

class ArrowButton;
class FramePrinter;
class PictureBox;
struct ModuleState;
class StatusPanel;

// The snapshot viewer: an always-on-top tool window that shows one frame of the frame store,
// fitted to the window or at its capture size, pages through the frames, discards, saves and
// prints them. load() runs the window's start-up (the opener then calls showFrame and shows
// it); closing the window, by any route, runs its unload. The module state and the printer it is
// given must outlive it.
class SnapshotViewer : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Captured Frame";
    static constexpr int kPanelCount = 4;
    // Panel widths in twips, panel 1 to 4.
    static constexpr std::array<int32_t, kPanelCount> kPanelWidths{2540, 776, 2540, 2540};
    static constexpr int32_t kArrowButtonSize = 195;

    SnapshotViewer(ModuleState& state, FramePrinter& printer, QWidget* parent = nullptr);
    ~SnapshotViewer() override;

    void load();
    bool loaded() const noexcept { return loaded_; }
    // Closes the window; its unload stores the placement and clears viewerShown.
    void unload();

    // Shows frame `frameNumber` (1 .. count; error 9 otherwise), fitted or at its capture size.
    void showFrame(int16_t frameNumber, bool matchWindowSizeToPicture);
    void nextFrame();
    void previousFrame();
    // Asks, then removes the frame on show from the store; the last frame closes the window.
    void discardFrame();
    void saveFrame();
    // 0 prints every frame.
    void printFrames(int16_t frame);

    int16_t currentFrame() const noexcept { return currentFrame_; }
    // The status-bar menus' repeat-click state.
    const PanelMenuTracker& menuTracker() const { return tracker_; }

    // The outer frame in twips.
    PlacedWindow& placement() { return placed_; }
    const PlacedWindow& placement() const { return placed_; }

    PictureBox& framePicture() { return *framePicture_; }
    PictureBox& scalingSource() { return *scalingSource_; }
    QStatusBar& statusBar() { return *statusBar_; }
    // Panel 1 to 4.
    StatusPanel& panel(int index) { return *panels_.at(static_cast<size_t>(index - 1)); }
    ArrowButton& previousButton() { return *previousButton_; }
    ArrowButton& nextButton() { return *nextButton_; }
    // The status bar's top and height in twips, relative to the window's client area.
    double statusBarTop() const;
    double statusBarHeight() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layOut();
    void unloadAndStore();
    void openPanelMenu(int index);
    static std::span<const MenuCommand<SnapshotViewer>> optionsCommands();
    void layoutStatusBar();
    FitWindow fitWindow() const;
    bool showsAFrame() const;
    // Runs a handler of a user action; a numbered error it raises is told to the user.
    void guarded(const std::function<void()>& action);

    ModuleState& state_;
    FramePrinter& printer_;
    WidgetPlacedWindow placed_;
    PictureBox* framePicture_;
    PictureBox* scalingSource_;
    QStatusBar* statusBar_;
    std::array<StatusPanel*, kPanelCount> panels_{};
    ArrowButton* previousButton_;
    ArrowButton* nextButton_;

    bool loaded_ = false;
    int16_t currentFrame_ = 0;
    bool refitSuppressed_ = true;
    bool resizeIgnored_ = false;
    PanelMenuTracker tracker_;
    QSize laidOutSize_;    // the client size the frame on show was laid out for
};

} // namespace didev
