#include "capture/CaptureMenus.h"

#include "capture/CaptureControl.h"
#include "capture/DeviceList.h"
#include "capture/CaptureWindow.h"
#include "common/AutomationError.h"
#include "common/Rounding.h"
#include "state/ModuleState.h"
#include "ui/InteractionSeam.h"
#include "ui/MessageBoxLayout.h"
#include "ui/ShowMessage.h"
#include "ui/WaitCursor.h"
#include "viewer/SnapshotViewer.h"
#include "viewer/SnapshotViewerInstance.h"

#include <QGuiApplication>
#include <QMenu>
#include <QPointer>

namespace didev {

namespace {

enum class Panel : int { Video = 1, Audio = 2, Options = 3 };

constexpr const char* kDiscardPrompt = "Confirm: Discard captured frames?";
constexpr int16_t kStyleYesNoQuestion = 36;
constexpr int16_t kStyleExclamation = 48;

struct SubmenuItem {
    OptionsCommand command;
    const char* text;
    int32_t value;   // the input mode or preview stage it sets
};

constexpr SubmenuItem kInputModeItems[] = {
    {OptionsCommand::AudioOnly, "Audio Only", static_cast<int32_t>(InputMode::AudioOnly)},
    {OptionsCommand::VideoOnly, "Video Only", static_cast<int32_t>(InputMode::VideoOnly)},
    {OptionsCommand::AudioAndVideo, "Audio and Video", static_cast<int32_t>(InputMode::AudioAndVideo)},
};

constexpr SubmenuItem kPreviewStageItems[] = {
    {OptionsCommand::SourceStage, "Source", 0},
    {OptionsCommand::ProcessorsStage, "Processors", 1},
    {OptionsCommand::CompressorStage, "Compressor", 2},
};

MenuItemFlags checkedWhen(bool condition)
{
    return condition ? MenuItemFlags(MenuItemFlag::Checked) : MenuItemFlags(MenuItemFlag::Plain);
}

MenuItemFlags greyedWhen(bool condition)
{
    return condition ? MenuItemFlags(MenuItemFlag::Greyed) : MenuItemFlags(MenuItemFlag::Plain);
}

void appendSubmenuItems(QMenu& submenu, const SubmenuItem (&items)[3], int32_t current)
{
    for (const SubmenuItem& item : items)
        appendMenuItem(submenu, checkedWhen(item.value == current), static_cast<int32_t>(item.command),
            QString::fromLatin1(item.text));
}

const SubmenuItem* findItem(const SubmenuItem (&items)[3], OptionsCommand command)
{
    for (const SubmenuItem& item : items) {
        if (item.command == command)
            return &item;
    }
    return nullptr;
}

QString errorText(const AutomationError& error)
{
    return QStringLiteral("Error %1 (%2): %3")
        .arg(error.number())
        .arg(QString::fromStdString(error.source()), QString::fromStdString(error.description()));
}

} // namespace

CaptureMenus::CaptureMenus(CaptureWindow& window)
    : QObject(&window)
    , window_(window)
{
}

QPoint CaptureMenus::menuPosition(const PanelMenuGeometry& geometry, const ScreenMetrics& screen)
{
    const double x = (geometry.windowLeft + geometry.sizingFrameWidth + geometry.statusBarLeft + geometry.panelLeft)
        / screen.twipsPerPixelX;
    const double y = (geometry.windowTop + geometry.windowHeight) / screen.twipsPerPixelY;
    return {roundToLong(x), roundToLong(y)};
}

void CaptureMenus::buildDeviceMenu(QMenu& menu, const DeviceList& devices, const QString& panelText,
    const QString& noneText)
{
    appendMenuItem(menu, checkedWhen(panelText == noneText), kNoDeviceCommand, QStringLiteral("None"));
    for (int i = 0; i < devices.count(); ++i) {
        const QString name = devices.itemName(i);
        appendMenuItem(menu, checkedWhen(name == panelText), i + 1, name);
    }
}

void CaptureMenus::buildOptionsMenu(QMenu& menu, int frameCount, HostBoolean allowInternalCapture, int32_t inputMode,
    int32_t previewStage)
{
    // Children of the menu, so they go with it.
    auto* inputModes = new QMenu(&menu);
    auto* previewStages = new QMenu(&menu);
    appendSubmenuItems(*inputModes, kInputModeItems, inputMode);
    appendSubmenuItems(*previewStages, kPreviewStageItems, previewStage);

    const MenuItemFlags frames = greyedWhen(frameCount == 0);
    appendMenuItem(menu, frames, static_cast<int32_t>(OptionsCommand::ShowCapturedFrames),
        QStringLiteral("Show Captured Frames"));
    appendMenuItem(menu, frames, static_cast<int32_t>(OptionsCommand::DiscardCapturedFrames),
        QStringLiteral("Discard Captured Frames"));
    appendMenuItem(menu, MenuItemFlag::Separator, 0, QString());
    // Only exactly true allows it, as for the "S" key.
    appendMenuItem(menu, greyedWhen(allowInternalCapture != kHostTrue),
        static_cast<int32_t>(OptionsCommand::CaptureCurrentFrame), QStringLiteral("Capture Current Frame"));
    appendMenuItem(menu, MenuItemFlag::Separator, 0, QString());
    appendMenuItem(menu, MenuItemFlag::Popup, 0, QStringLiteral("Input Mode"), inputModes);
    appendMenuItem(menu, MenuItemFlag::Popup, 0, QStringLiteral("Viewer Source Stage"), previewStages);
}

void CaptureMenus::PanelClick(const StatusPanelClick& click)
{
    if (!state_.admitClick(click, window_.statusBarTop(), window_.statusBarHeight()))
        return;

    PanelMenuGeometry geometry;
    geometry.windowLeft = window_.placement().left();
    geometry.windowTop = window_.placement().top();
    geometry.windowHeight = window_.placement().height();
    geometry.sizingFrameWidth = moduleState().windowMetrics.sizingFrameWidth;
    geometry.statusBarLeft = window_.statusBarLeft();
    geometry.panelLeft = click.left;
    const QPoint bottomLeft = menuPosition(geometry, screenMetrics());

    try {
        switch (static_cast<Panel>(click.index)) {
        case Panel::Video:
            VideoMenu(bottomLeft);
            break;
        case Panel::Audio:
            AudioMenu(bottomLeft);
            break;
        case Panel::Options:
            OptionsMenu(bottomLeft);
            break;
        }
    } catch (const AutomationError& error) {
        // A click has no caller to hand the error to: the user is told.
        ShowMessage(errorText(error), kStyleExclamation);
    }
}

int32_t CaptureMenus::track(QMenu& menu, int panel, QPoint bottomLeft)
{
    connect(&menu, &QMenu::aboutToShow, this, [this, &menu, panel] { emit menuShown(panel, popupMenuRows(menu)); });
    // The menu's loop serves the host and the timers too: the window may close meanwhile.
    const QPointer<CaptureWindow> window = &window_;
    const int32_t id = InteractionSeam::instance().execMenu(menu, bottomLeft);
    if (!window || !window->loaded())
        return 0;
    return id;
}

void CaptureMenus::VideoMenu(QPoint bottomLeft)
{
    QMenu menu;
    buildDeviceMenu(menu, window_.captureControl().videoDevices(), window_.panel(1).text(),
        QString::fromLatin1(CaptureWindow::kNoVideo));
    const int32_t id = track(menu, static_cast<int>(Panel::Video), bottomLeft);
    if (id > 0)
        chooseVideoDevice(id);
}

void CaptureMenus::AudioMenu(QPoint bottomLeft)
{
    QMenu menu;
    buildDeviceMenu(menu, window_.captureControl().audioDevices(), window_.panel(2).text(),
        QString::fromLatin1(CaptureWindow::kNoAudio));
    const int32_t id = track(menu, static_cast<int>(Panel::Audio), bottomLeft);
    if (id > 0)
        chooseAudioDevice(id);
}

void CaptureMenus::OptionsMenu(QPoint bottomLeft)
{
    const CaptureControl& capture = window_.captureControl();
    const ModuleState& module = moduleState();
    QMenu menu;
    buildOptionsMenu(menu, module.snapshotStore.upperBound(), module.AllowInternalCapture, capture.inputMode(),
        capture.previewStage());
    const int32_t id = track(menu, static_cast<int>(Panel::Options), bottomLeft);
    if (id > 0) {
        state_.clearPanel();
        runOptionsCommand(static_cast<OptionsCommand>(id));
    }
}

void CaptureMenus::chooseVideoDevice(int32_t id)
{
    CaptureControl& capture = window_.captureControl();
    DeviceList& video = capture.videoDevices();
    state_.clearPanel();
    capture.setPreview(false);
    const WaitCursor hourglass;
    if (id == kNoDeviceCommand) {
        // The preview stays off until a device is chosen here again.
        video.setSelectedIndex(-1);
    } else {
        // Choosing the device in use reconnects it.
        if (id - 1 == video.selectedIndex())
            video.setSelectedIndex(-1);
        video.setSelectedIndex(id - 1);
        capture.setPreview(true);
    }
    window_.showDeviceNames();
    window_.placeLogo();
}

void CaptureMenus::chooseAudioDevice(int32_t id)
{
    state_.clearPanel();
    const WaitCursor hourglass;
    window_.captureControl().audioDevices().setSelectedIndex(id == kNoDeviceCommand ? -1 : id - 1);
    window_.showDeviceNames();
}

void CaptureMenus::runOptionsCommand(OptionsCommand command)
{
    CaptureControl& capture = window_.captureControl();
    switch (command) {
    case OptionsCommand::ShowCapturedFrames:
        showCapturedFrames();
        return;
    case OptionsCommand::DiscardCapturedFrames:
        discardCapturedFrames();
        return;
    case OptionsCommand::CaptureCurrentFrame:
        window_.requestGrab();
        return;
    default:
        break;
    }
    // A mode or stage the device refuses is left as it was; the menu shows the control's value.
    try {
        if (const SubmenuItem* item = findItem(kInputModeItems, command))
            capture.setInputMode(item->value);
        else if (const SubmenuItem* stage = findItem(kPreviewStageItems, command))
            capture.setPreviewStage(stage->value);
    } catch (const AutomationError&) {
    }
}

void CaptureMenus::showCapturedFrames()
{
    // Asked before the viewer is reached: loading one marks it shown.
    const bool shown = moduleState().viewerShown == kHostTrue;
    SnapshotViewer& viewer = SnapshotViewerWindow();
    if (shown) {
        viewer.showFrame(1, false);
    } else {
        // Right under this window, wherever the viewer was before and whether or not it fits the screen.
        viewer.showFrame(1, true);
        viewer.show();
        viewer.placement().setTop(roundHalfEven(window_.placement().top() + window_.placement().height()));
        viewer.placement().setLeft(window_.placement().left());
    }
    viewer.show();
    viewer.raise();
    viewer.activateWindow();
}

void CaptureMenus::discardCapturedFrames()
{
    const int16_t answer = ShowMessage(QString::fromLatin1(kDiscardPrompt), kStyleYesNoQuestion);
    if (answer != static_cast<int16_t>(MessageResult::Yes))
        return;
    window_.closeViewer();
    ClearSnapshotStore();
}

} // namespace didev
