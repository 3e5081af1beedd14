#include "automation/WindowStateReport.h"

#include "capture/CaptureWindow.h"
#include "ui/MessageBox.h"
#include "ui/PictureBox.h"
#include "ui/Screen.h"
#include "ui/StatusPanel.h"
#include "viewer/SnapshotViewer.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QWindow>

#include <algorithm>

namespace didev {

namespace {

// A rectangle of pixels as twips under the given key prefix (left, top, width, height).
void insertGeometry(QVariantMap& state, const QString& prefix, const QRect& pixels)
{
    const ScreenMetrics screen = screenMetrics();
    const auto key = [&](const char* name) {
        QString text = QLatin1String(name);
        if (!prefix.isEmpty())
            text[0] = text[0].toUpper();
        return prefix + text;
    };
    state.insert(key("left"), pixels.x() * screen.twipsPerPixelX);
    state.insert(key("top"), pixels.y() * screen.twipsPerPixelY);
    state.insert(key("width"), pixels.width() * screen.twipsPerPixelX);
    state.insert(key("height"), pixels.height() * screen.twipsPerPixelY);
}

bool topmost(const QWidget& window)
{
    if (const QWindow* handle = window.windowHandle())
        return handle->flags().testFlag(Qt::WindowStaysOnTopHint);
    return window.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void insertStatusBar(QVariantMap& state, const QWidget& window)
{
    QStringList panels;
    const auto* statusBar = window.findChild<QStatusBar*>();
    if (statusBar) {
        QList<QLabel*> labels = statusBar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        std::sort(labels.begin(), labels.end(), [](const QLabel* a, const QLabel* b) { return a->x() < b->x(); });
        for (const QLabel* label : labels)
            panels << label->text();
    }
    const ScreenMetrics screen = screenMetrics();
    state.insert(QStringLiteral("panels"), panels);
    state.insert(QStringLiteral("statusBarTop"), statusBar ? statusBar->y() * screen.twipsPerPixelY : 0.0);
    state.insert(QStringLiteral("statusBarHeight"), statusBar ? statusBar->height() * screen.twipsPerPixelY : 0.0);
}

// The window's own twips, as the host reads them, and the texts of its panels.
template <typename Window>
void insertPlacementAndPanels(QVariantMap& state, Window& window)
{
    const PlacedWindow& placed = window.placement();
    state.insert(QStringLiteral("left"), placed.left());
    state.insert(QStringLiteral("top"), placed.top());
    state.insert(QStringLiteral("width"), placed.width());
    state.insert(QStringLiteral("height"), placed.height());
    QStringList panels;
    for (int index = 1; index <= Window::kPanelCount; ++index)
        panels << window.panel(index).text();
    state.insert(QStringLiteral("panels"), panels);
}

void insertCapture(QVariantMap& state, CaptureWindow& window)
{
    insertPlacementAndPanels(state, window);

    const PictureBox& logo = window.logo();
    state.insert(QStringLiteral("logoVisible"), logo.isVisible());
    insertGeometry(state, QStringLiteral("logo"), logo.geometry());
    state.insert(QStringLiteral("bannerVisible"), window.grabFailedBanner().isVisible());
    CaptureControl& control = window.captureControl();
    state.insert(QStringLiteral("previewOn"), control.preview());
    state.insert(QStringLiteral("videoIndex"), control.videoDevices().selectedIndex());
    state.insert(QStringLiteral("audioIndex"), control.audioDevices().selectedIndex());
    state.insert(QStringLiteral("inputMode"), control.inputMode());
    state.insert(QStringLiteral("previewStage"), control.previewStage());
    QStringList videoDevices;
    for (int index = 0; index < control.videoDevices().count(); ++index)
        videoDevices << control.videoDevices().itemName(index);
    state.insert(QStringLiteral("videoDevices"), videoDevices);
}

void insertViewer(QVariantMap& state, SnapshotViewer& viewer)
{
    insertPlacementAndPanels(state, viewer);
    state.insert(QStringLiteral("statusBarTop"), viewer.statusBarTop());
    state.insert(QStringLiteral("statusBarHeight"), viewer.statusBarHeight());
    state.insert(QStringLiteral("currentFrame"), viewer.currentFrame());
    const PictureBox& picture = viewer.framePicture();
    state.insert(QStringLiteral("pictureLeft"), picture.Left());
    state.insert(QStringLiteral("pictureTop"), picture.Top());
    state.insert(QStringLiteral("pictureWidth"), picture.Width());
    state.insert(QStringLiteral("pictureHeight"), picture.Height());
}

void insertMessage(QVariantMap& state, MessageBox& box)
{
    QStringList buttons;
    for (int number = 1; number <= 5; ++number)
        if (const QPushButton* button = box.button(number); button && button->isVisible())
            buttons << button->text();
    state.insert(QStringLiteral("buttons"), buttons);
    state.insert(QStringLiteral("inputVisible"), box.inputField() && box.inputField()->isVisible());
}

// How many windows of the kind are on the screen: hosts sharing the server each have theirs.
int onScreen(const QString& name, const QWidget* window)
{
    if (name == QLatin1String("message"))
        return MessageBox::shownCount();
    if (name != QLatin1String("capture"))
        return window && window->isVisible() ? 1 : 0;
    const QWidgetList windows = QApplication::topLevelWidgets();
    return static_cast<int>(std::count_if(windows.begin(), windows.end(),
        [](const QWidget* widget) { return qobject_cast<const CaptureWindow*>(widget) && widget->isVisible(); }));
}

} // namespace

QVariantMap windowState(const QString& name, QWidget* window)
{
    QVariantMap state;
    state.insert(QStringLiteral("loaded"), window != nullptr);
    state.insert(QStringLiteral("onScreen"), onScreen(name, window));
    if (!window)
        return state;
    state.insert(QStringLiteral("visible"), window->isVisible());
    state.insert(QStringLiteral("topmost"), topmost(*window));
    state.insert(QStringLiteral("caption"), window->windowTitle());
    insertGeometry(state, QString(), window->frameGeometry());
    insertStatusBar(state, *window);
    if (auto* capture = qobject_cast<CaptureWindow*>(window))
        insertCapture(state, *capture);
    else if (auto* viewer = qobject_cast<SnapshotViewer*>(window))
        insertViewer(state, *viewer);
    else if (auto* box = qobject_cast<MessageBox*>(window))
        insertMessage(state, *box);
    return state;
}

} // namespace didev
