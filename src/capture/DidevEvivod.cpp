#include "capture/DidevEvivod.h"

#include "automation/SettingsExchange.h"
#include "capture/CaptureWindowEvents.h"
#include "capture/DeviceWatch.h"
#include "capture/StatusPanel.h"
#include "capture/VideoView.h"
#include "capture/KeyboardLayout.h"
#include "capture/VirtualKeys.h"
#include "common/Picture.h"
#include "common/Rounding.h"
#include "imaging/PaintScaledPicture.h"
#include "imaging/PictureBox.h"
#include "state/ModuleState.h"
#include "ui/Placement.h"
#include "ui/Screen.h"
#include "ui/WindowFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QKeyEvent>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

// Resources of a static library have to be registered by name, outside any namespace.
static void registerCaptureResources()
{
    Q_INIT_RESOURCE(capture);
}

namespace didev {

namespace {

constexpr int kEventArrayCount = 21;   // subscripts 0 to 20
constexpr int kBannerMilliseconds = 2000;
constexpr int kHeartbeatMilliseconds = 1000;
constexpr int kReconnectionDesignMilliseconds = 5000;
constexpr int kReconnectionMilliseconds = 1000;
constexpr int16_t kKeyS = 83;
constexpr float kLogoWidthShare = 0.75f;
constexpr const char* kBannerText = "SNAPSHOT FAILED";
constexpr int kBannerPadding = 100;   // twips around the text, half on each side

PicturePtr logoPicture()
{
    registerCaptureResources();
    const QImage image = QImage(QStringLiteral(":/didev/capture/logo.png")).convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return nullptr;
    return Picture::fromBgrx(image.width(), image.height(), image.constBits(), image.bytesPerLine());
}

QTimer* makeTimer(QObject* parent, int interval, bool singleShot = false)
{
    auto* timer = new QTimer(parent);
    timer->setInterval(interval);
    timer->setSingleShot(singleShot);
    timer->setTimerType(Qt::PreciseTimer);
    return timer;
}

} // namespace

DidevEvivod::DidevEvivod(CaptureOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , capture_(std::move(options), this)
    , placed_(*this)
{
    setWindowTitle(QString::fromLatin1(kCaption));
    setObjectName(QStringLiteral("DidevEvivod"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_DeleteOnClose, false);

    videoView_ = new VideoView(capture_, this);
    videoView_->setObjectName(QStringLiteral("captureControl"));
    connect(&capture_, &CaptureControl::pointerEvent, this, &DidevEvivod::CaptureControl_PointerEvent);
    connect(&capture_, &CaptureControl::sourceEnded, this, &DidevEvivod::sourceEnded);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar1"));
    const char* captions[kPanelCount] = {kNoVideo, kNoAudio, "Options"};
    for (int i = 0; i < kPanelCount; ++i) {
        panels_[i] = new StatusPanel(i + 1, QString::fromLatin1(captions[i]), statusBar_);
        statusBar_->addWidget(panels_[i], i < 2 ? 1 : 0);
        connect(panels_[i], &StatusPanel::clicked, this, &DidevEvivod::StatusBar1_PanelClick);
    }

    originalLogo_ = new PictureBox(this);
    originalLogo_->setObjectName(QStringLiteral("originalLogo"));
    originalLogo_->setAutoSize(true);
    originalLogo_->setPicture(logoPicture());
    originalLogo_->hide();

    logoImage_ = new PictureBox(this);
    logoImage_->setObjectName(QStringLiteral("logoImage"));
    logoImage_->setBackColor(Qt::black);
    logoImage_->hide();

    picErrorBox_ = new PictureBox(this);
    picErrorBox_->setObjectName(QStringLiteral("picErrorBox"));
    picErrorBox_->setBorderStyle(PictureBox::BorderStyle::FixedSingle);
    picErrorBox_->setBackColor(Qt::white);
    picErrorBox_->setForeColor(QColor(0xC0, 0x00, 0x00));
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(14);
    picErrorBox_->setFont(arial);
    picErrorBox_->hide();

    timer1_ = makeTimer(this, kBannerMilliseconds);
    heartbeatTimer_ = makeTimer(this, kHeartbeatMilliseconds);
    reconnectionTimer_ = makeTimer(this, kReconnectionDesignMilliseconds);
    connect(timer1_, &QTimer::timeout, this, &DidevEvivod::Timer1_Timer);
    connect(heartbeatTimer_, &QTimer::timeout, this, &DidevEvivod::HeartbeatTimer_Timer);
    connect(reconnectionTimer_, &QTimer::timeout, this, &DidevEvivod::VideoReconnectionTimer_Timer);

    menus_ = new CaptureMenus(*this);

    // Small enough for a corner of the screen, large enough that the panels read in full with
    // their first captions and some video shows above them.
    const int statusHeight = statusBar_->sizeHint().height();
    setMinimumSize(statusBar_->sizeHint().width(), 4 * statusHeight);
}

DidevEvivod::~DidevEvivod()
{
    // Torn down without a close: the sources stop, but nobody is told.
    if (loaded_) {
        okToRaiseEvents_ = vbFalse;
        Unload();
    }
}

void DidevEvivod::Load()
{
    ModuleState& state = moduleState();
    state.captureWindowLoaded = vbTrue;
    loaded_ = true;
    state.videoDeviceChanged = vbFalse;
    placing_ = false;
    menus_->state().reset();
    okToRaiseEvents_ = toVbBoolean(state.closeNotifyRequest == QLatin1String("Y"));
    ReadWindowMetrics();

    placing_ = true;
    SetWindowTopmost(*this, vbTrue);
    placing_ = false;

    // The design size first, on every load: a stored placement that keeps the width (-1) or
    // is pulled back from the right edge works from it, not from what the window was last.
    // Resizing stores the placement, so the one to apply is taken before.
    const WindowPlacement stored = state.captureWindowPlacement;
    placed_.setWidth(kDefaultWindowWidth);
    if (!isVisible())
        Form_Resize();   // a hidden window gets its resize event only when shown
    placed_.setHeight(kDefaultWindowHeight);
    if (!isVisible())
        Form_Resize();
    if (stored.Width != 0 && stored.Height != 0) {
        placing_ = true;
        ApplyWindowPlacement(placed_, stored, kDefaultWindowWidth, kDefaultWindowHeight);
        placing_ = false;
        Form_Resize();
    }

    capture_.setStartupValue(0);
    try {
        capture_.stillSetup(CaptureControl::kStillMode);
    } catch (const std::exception&) {
        // The one start-up call whose failure is of no consequence.
    }
    SetDefaultDevices();
    UpdateStatusBar();
    capture_.setPreview(true);
    if (capture_.videoDevices().selectedIndex() == -1)
        state.videoDeviceChanged = vbTrue;

    deviceWatch_ = new DeviceWatch(this);
    heartbeatTimer_->start();
}

void DidevEvivod::Unload()
{
    if (!loaded_)
        return;
    ModuleState& state = moduleState();
    HostStringArray passDataArray(0, kEventArrayCount);
    timer1_->stop();
    delete deviceWatch_;
    deviceWatch_ = nullptr;
    capture_.setPreview(false);
    capture_.videoDevices().setSelectedIndex(-1);
    capture_.audioDevices().setSelectedIndex(-1);
    ClearSnapshotStore();
    UnloadViewer();
    StoreWindowPlacement(placed_, state.captureWindowPlacement);
    if (okToRaiseEvents_ == vbTrue) {
        GetSettings(passDataArray);
        if (events_)
            events_->FormClosed(passDataArray);
    }
    state.captureWindowLoaded = vbFalse;
    loaded_ = false;
    // The timers stop with the window.
    heartbeatTimer_->stop();
    reconnectionTimer_->stop();
    hide();
}

void DidevEvivod::GetSettings(HostStringArray& passDataArray) const
{
    WritePlacementSettings(passDataArray, moduleState().captureWindowPlacement, moduleState().viewerPlacement);
}

double DidevEvivod::statusBarLeft() const
{
    return statusBar_->x() * screenMetrics().twipsPerPixelX;
}

double DidevEvivod::statusBarTop() const
{
    return statusBar_->y() * screenMetrics().twipsPerPixelY;
}

double DidevEvivod::statusBarHeight() const
{
    return statusBar_->height() * screenMetrics().twipsPerPixelY;
}

void DidevEvivod::layoutStatusBar()
{
    // Aligned to the bottom like a status bar, whatever the resize handler does.
    const int height = statusBar_->sizeHint().height();
    statusBar_->setGeometry(0, std::max(0, this->height() - height), this->width(), height);
}

void DidevEvivod::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutStatusBar();
    Form_Resize();
}

void DidevEvivod::Form_Resize()
{
    if (placing_)
        return;
    layoutStatusBar();
    if (statusBarTop() > 0 && Width() > 0) {
        // The video fills the client area above the status bar.
        videoView_->setGeometry(0, 0, width(), statusBar_->y());
    }
    SizeLogoImage();
    StoreWindowPlacement(placed_, moduleState().captureWindowPlacement);
}

void DidevEvivod::SizeLogoImage()
{
    if (capture_.videoDevices().selectedIndex() != -1) {
        logoImage_->hide();
        return;
    }
    logoImage_->show();
    logoImage_->raise();
    // The logo is sized by the window's width; in a short window the status bar stays on top.
    statusBar_->raise();
    videoView_->update();
    const float target = static_cast<float>(Width()) * kLogoWidthShare;
    if (target <= 0 || originalLogo_->Width() <= 0)
        return;
    const float factor = target / static_cast<float>(originalLogo_->Width());
    if (factor <= 0)
        return;
    PaintScaledPicture(*originalLogo_, *logoImage_, factor, false);
    logoImage_->setLeft(Width() / 2 - logoImage_->Width() / 2);
    logoImage_->setTop(Height() / 2 - logoImage_->Height() / 2 - statusBarHeight());
}

void DidevEvivod::UpdateStatusBar()
{
    const DeviceList& video = capture_.videoDevices();
    const DeviceList& audio = capture_.audioDevices();
    const int16_t videoIndex = static_cast<int16_t>(video.selectedIndex());
    panels_[0]->setCaption(videoIndex >= 0 ? video.itemName(videoIndex) : QString::fromLatin1(kNoVideo));
    const int16_t audioIndex = static_cast<int16_t>(audio.selectedIndex());
    panels_[1]->setCaption(audioIndex >= 0 ? audio.itemName(audioIndex) : QString::fromLatin1(kNoAudio));
}

void DidevEvivod::SetDefaultDevices()
{
    for (DeviceList* list : {&capture_.videoDevices(), &capture_.audioDevices()}) {
        if (list->count() > 0)
            list->setSelectedIndex(0);
    }
}

void DidevEvivod::ShowCaptureErrorMessage(int32_t&)
{
    const QString text = QString::fromLatin1(kBannerText);
    picErrorBox_->Cls();
    const int32_t textWidth = roundToLong(picErrorBox_->textWidth(text));
    const int32_t textHeight = roundToLong(picErrorBox_->textHeight(text));
    picErrorBox_->setWidth(textWidth + kBannerPadding);
    picErrorBox_->setHeight(textHeight + kBannerPadding);
    picErrorBox_->setCurrentX(kBannerPadding / 2);
    picErrorBox_->setCurrentY(kBannerPadding / 2);
    picErrorBox_->print(text);
    picErrorBox_->setLeft(Width() / 2 - picErrorBox_->Width() / 2);
    picErrorBox_->setTop(Height() / 2 - picErrorBox_->Height() / 2 - statusBarHeight());
    picErrorBox_->show();
    picErrorBox_->raise();
    // Restarted on every call, so the banner stays 2 seconds after the last failure.
    timer1_->stop();
    timer1_->start();
}

void DidevEvivod::Timer1_Timer()
{
    picErrorBox_->hide();
    timer1_->stop();
}

void DidevEvivod::HeartbeatTimer_Timer()
{
    ModuleState& state = moduleState();
    if (state.videoDeviceChanged == vbFalse)
        return;
    state.videoDeviceChanged = vbFalse;
    reconnectionTimer_->setInterval(kReconnectionMilliseconds);
    reconnectionTimer_->start();
}

void DidevEvivod::VideoReconnectionTimer_Timer()
{
    capture_.videoDevices().refresh();
    SetDefaultDevices();
    if (capture_.videoDevices().selectedIndex() == -1) {
        SizeLogoImage();
        reconnectionTimer_->setInterval(kReconnectionMilliseconds);
    } else {
        reconnectionTimer_->stop();
        logoImage_->hide();
    }
    UpdateStatusBar();
}

void DidevEvivod::sourceEnded(DeviceKind kind)
{
    // A source that failed on its own is handed to the device watch: the logo and the
    // status bar show it now, and the heartbeat starts the reconnection.
    if (kind == DeviceKind::Video) {
        moduleState().videoDeviceChanged = vbTrue;
        SizeLogoImage();
    }
    UpdateStatusBar();
}

void DidevEvivod::CaptureControl_PointerEvent(float x, float y)
{
    menus_->state().pointerMoved(x, y, screenMetrics());
}

void DidevEvivod::StatusBar1_PanelClick(int index)
{
    const StatusPanel& clicked = panel(index);
    const ScreenMetrics screen = screenMetrics();
    StatusPanelClick click;
    click.index = static_cast<int16_t>(index);
    click.left = roundToLong(clicked.x() * screen.twipsPerPixelX);
    click.width = roundToLong(clicked.width() * screen.twipsPerPixelX);
    click.text = clicked.text();
    const QPointer<DidevEvivod> self = this;
    emit panelClicked(click);
    if (self)
        menus_->PanelClick(click);
}

void DidevEvivod::keyPressEvent(QKeyEvent* event)
{
    if (!keyboard_)
        keyboard_ = std::make_unique<KeyboardLayout>();
    const int16_t keyCode = keyboard_->virtualKeyCode(*event);
    if (keyCode == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    Form_KeyDown(keyCode, shiftState(event->modifiers()));
}

void DidevEvivod::Form_KeyDown(int16_t keyCode, int16_t shift)
{
    if (keyCode == kKeyS && moduleState().AllowInternalCapture == vbTrue)
        GrabFrame();
    if (events_)
        events_->KeyDown(keyCode, shift);
}

void DidevEvivod::GrabFrame()
{
    if (!grab_)
        return;
    grab_(*this);
    // The viewer the grab opened may have taken the focus; the operator keeps the keyboard here.
    activateWindow();
}

void DidevEvivod::UnloadViewer()
{
    if (unloadViewer_)
        unloadViewer_();
}

void DidevEvivod::closeEvent(QCloseEvent* event)
{
    Unload();
    event->accept();
}

void DidevEvivod::changeEvent(QEvent* event)
{
    // Another window taking the focus ends the repeat click; the window's own popup menu taking
    // it, as popups do on some platforms, does not.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && !QApplication::activePopupWidget())
        menus_->state().clearPanel();
    QWidget::changeEvent(event);
}

} // namespace didev
