#include "capture/CaptureMenus.h"

#include "capture/CaptureControl.h"
#include "capture/CaptureWindow.h"
#include "capture/DeviceList.h"
#include "common/AutomationError.h"
#include "snapshots/ModuleState.h"
#include "ui/InteractionSeam.h"
#include "ui/MessageBox.h"
#include "ui/WaitCursor.h"
#include "ui/WindowFrame.h"

#include <QMenu>
#include <QPointer>

namespace didev {

namespace {

enum class Panel : int { Video = 1, Audio = 2, Options = 3 };

constexpr const char* kDiscardPrompt = "Confirm: Discard captured frames?";

// The ids of the options menu's commands that need a frame, and of the grab.
constexpr int32_t kShowCapturedFrames = 1;
constexpr int32_t kDiscardCapturedFrames = 2;
constexpr int32_t kCaptureCurrentFrame = 3;

// An item of the input mode and preview stage submenus: its id and the value it sets.
struct SubmenuItem {
    int32_t id;
    const char* text;
    int32_t value;
};

constexpr SubmenuItem kInputModeItems[] = {
    {4, "Audio Only", static_cast<int32_t>(InputMode::AudioOnly)},
    {5, "Video Only", static_cast<int32_t>(InputMode::VideoOnly)},
    {6, "Audio and Video", static_cast<int32_t>(InputMode::AudioAndVideo)},
};

constexpr SubmenuItem kPreviewStageItems[] = {
    {7, "Source", 0},
    {8, "Processors", 1},
    {9, "Compressor", 2},
};

void appendSubmenuItems(QMenu& submenu, std::span<const SubmenuItem> items, int32_t current)
{
    for (const SubmenuItem& item : items)
        appendMenuItem(submenu, checkedWhen(item.value == current), item.id, QString::fromLatin1(item.text));
}

const SubmenuItem* findItem(std::span<const SubmenuItem> items, int32_t id)
{
    for (const SubmenuItem& item : items) {
        if (item.id == id)
            return &item;
    }
    return nullptr;
}

// "None" and one item per device; checked where the name is the panel's text.
void appendDeviceItems(QMenu& menu, const DeviceList& devices, const QString& panelText, const QString& noneText)
{
    appendMenuItem(menu, checkedWhen(panelText == noneText), kNoDeviceCommand, QStringLiteral("None"));
    for (int i = 0; i < devices.count(); ++i) {
        const QString name = devices.itemName(i);
        appendMenuItem(menu, checkedWhen(name == panelText), i + 1, name);
    }
}


} // namespace

CaptureMenus::CaptureMenus(CaptureWindow& window)
    : QObject(&window)
    , window_(window)
{
}

std::span<const MenuCommand<CaptureMenus>> CaptureMenus::optionsCommands()
{
    static constexpr MenuCommand<CaptureMenus> rows[] = {
        {kShowCapturedFrames, "Show Captured Frames", [](CaptureMenus& menus) { menus.showCapturedFrames(); }},
        {kDiscardCapturedFrames, "Discard Captured Frames", [](CaptureMenus& menus) { menus.discardCapturedFrames(); }},
        {},
        {kCaptureCurrentFrame, "Capture Current Frame", [](CaptureMenus& menus) { menus.window_.requestGrab(); }},
        {},
    };
    return rows;
}

void CaptureMenus::panelClicked(const StatusPanelClick& click)
{
    if (!tracker_.admitClick(click, window_.statusBarTop(), window_.statusBarHeight()))
        return;
    const PlacedWindow& placed = window_.placement();
    PanelMenuGeometry geometry{placed.left(), placed.top(), placed.height()};
    geometry.sizingFrameWidth = currentWindowMetrics().sizingFrameWidth;
    geometry.statusBarLeft = window_.statusBarLeft();
    geometry.panelLeft = click.left;
    const QPoint bottomLeft = PanelMenuTracker::menuBottomLeft(geometry, screenMetrics());

    try {
        switch (static_cast<Panel>(click.index)) {
        case Panel::Video:
            deviceMenu(DeviceKind::Video, bottomLeft);
            break;
        case Panel::Audio:
            deviceMenu(DeviceKind::Audio, bottomLeft);
            break;
        case Panel::Options:
            optionsMenu(bottomLeft);
            break;
        }
    } catch (const AutomationError& error) {
        // A click has no caller to hand the error to: the user is told.
        tellUser(error);
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

void CaptureMenus::deviceMenu(DeviceKind kind, QPoint bottomLeft)
{
    const bool video = kind == DeviceKind::Video;
    const Panel panel = video ? Panel::Video : Panel::Audio;
    CaptureControl& capture = window_.captureControl();
    QMenu menu;
    appendDeviceItems(menu, video ? capture.videoDevices() : capture.audioDevices(),
        window_.panel(static_cast<int>(panel)).text(),
        QString::fromLatin1(video ? CaptureWindow::kNoVideo : CaptureWindow::kNoAudio));
    const int32_t id = track(menu, static_cast<int>(panel), bottomLeft);
    if (id <= 0)
        return;
    if (video)
        chooseVideoDevice(id);
    else
        chooseAudioDevice(id);
}

void CaptureMenus::optionsMenu(QPoint bottomLeft)
{
    const CaptureControl& capture = window_.captureControl();
    const ModuleState& module = window_.state();
    const bool noFrames = module.snapshotStore.upperBound() == 0;
    // Only exactly true allows the grab, as for the "S" key.
    const bool grabAllowed = module.AllowInternalCapture == kHostTrue;
    QMenu menu;
    appendMenuCommands(menu, optionsCommands(), [noFrames, grabAllowed](int32_t id) {
        return greyedWhen(id == kCaptureCurrentFrame ? !grabAllowed : noFrames);
    });
    // Children of the menu, so they go with it.
    auto* inputModes = new QMenu(&menu);
    auto* previewStages = new QMenu(&menu);
    appendSubmenuItems(*inputModes, kInputModeItems, capture.inputMode());
    appendSubmenuItems(*previewStages, kPreviewStageItems, capture.previewStage());
    appendMenuItem(menu, MenuItemFlag::Popup, 0, QStringLiteral("Input Mode"), inputModes);
    appendMenuItem(menu, MenuItemFlag::Popup, 0, QStringLiteral("Viewer Source Stage"), previewStages);

    const int32_t id = track(menu, static_cast<int>(Panel::Options), bottomLeft);
    if (id > 0) {
        tracker_.clearPanel();
        runOptionsCommand(id);
    }
}

void CaptureMenus::chooseVideoDevice(int32_t id)
{
    CaptureControl& capture = window_.captureControl();
    DeviceList& video = capture.videoDevices();
    tracker_.clearPanel();
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
    tracker_.clearPanel();
    const WaitCursor hourglass;
    window_.captureControl().audioDevices().setSelectedIndex(id == kNoDeviceCommand ? -1 : id - 1);
    window_.showDeviceNames();
}

void CaptureMenus::runOptionsCommand(int32_t id)
{
    if (runMenuCommand(optionsCommands(), id, *this))
        return;
    // A mode or stage the device refuses is left as it was; the menu shows the control's value.
    CaptureControl& capture = window_.captureControl();
    try {
        if (const SubmenuItem* mode = findItem(kInputModeItems, id))
            capture.setInputMode(mode->value);
        else if (const SubmenuItem* stage = findItem(kPreviewStageItems, id))
            capture.setPreviewStage(stage->value);
    } catch (const AutomationError&) {
    }
}

void CaptureMenus::showCapturedFrames()
{
    emit window_.showFramesRequested();
}

void CaptureMenus::discardCapturedFrames()
{
    if (askUser(QString::fromLatin1(kDiscardPrompt), MessageStyle::QuestionYesNo) != MessageResult::Yes)
        return;
    emit window_.discardFramesRequested();
}

} // namespace didev
