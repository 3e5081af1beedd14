#include "capture/CaptureWindow.h"

#include "capture/DeviceWatch.h"
#include "capture/KeyboardLayout.h"
#include "capture/VideoView.h"
#include "capture/VirtualKeys.h"
#include "common/Picture.h"
#include "common/Rounding.h"
#include "snapshots/ModuleState.h"
#include "ui/PictureBox.h"
#include "ui/Placement.h"
#include "ui/Screen.h"
#include "ui/StatusPanel.h"
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

constexpr int kBannerMilliseconds = 2000;
constexpr int kHeartbeatMilliseconds = 1000;
constexpr int kReconnectionDesignMilliseconds = 5000;
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

CaptureWindow::CaptureWindow(ModuleState& state, CaptureOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , state_(state)
    , capture_(std::move(options), this)
    , placed_(*this)
{
    setWindowTitle(QString::fromLatin1(kCaption));
    setObjectName(QStringLiteral("CaptureWindow"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_DeleteOnClose, false);

    videoView_ = new VideoView(capture_, this);
    videoView_->setObjectName(QStringLiteral("captureControl"));
    connect(&capture_, &CaptureControl::pointerEvent, this, &CaptureWindow::pointerOverVideo);
    connect(&capture_, &CaptureControl::sourceEnded, this, &CaptureWindow::showDevices);
    connect(&capture_, &CaptureControl::devicesChanged, this, &CaptureWindow::showDevices);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    const char* captions[kPanelCount] = {kNoVideo, kNoAudio, "Options"};
    for (int i = 0; i < kPanelCount; ++i) {
        panels_[i] = new StatusPanel(i + 1, QString::fromLatin1(captions[i]), statusBar_);
        panels_[i]->setMargin(1);
        statusBar_->addWidget(panels_[i], i < 2 ? 1 : 0);
        connect(panels_[i], &StatusPanel::clicked, this, &CaptureWindow::openPanelMenu);
    }

    logoSource_ = new PictureBox(this);
    logoSource_->setObjectName(QStringLiteral("logoSource"));
    logoSource_->setAutoSize(true);
    logoSource_->setPicture(logoPicture());
    logoSource_->hide();

    logo_ = new PictureBox(this);
    logo_->setObjectName(QStringLiteral("logo"));
    logo_->setBackColor(Qt::black);
    logo_->hide();

    grabFailedBanner_ = new PictureBox(this);
    grabFailedBanner_->setObjectName(QStringLiteral("grabFailedBanner"));
    grabFailedBanner_->setBorderStyle(PictureBox::BorderStyle::FixedSingle);
    grabFailedBanner_->setBackColor(Qt::white);
    grabFailedBanner_->setForeColor(QColor(0xC0, 0x00, 0x00));
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(14);
    grabFailedBanner_->setFont(arial);
    grabFailedBanner_->hide();

    bannerTimer_ = makeTimer(this, kBannerMilliseconds);
    heartbeatTimer_ = makeTimer(this, kHeartbeatMilliseconds);
    reconnectionTimer_ = makeTimer(this, kReconnectionDesignMilliseconds);
    connect(bannerTimer_, &QTimer::timeout, this, &CaptureWindow::hideGrabFailed);
    connect(heartbeatTimer_, &QTimer::timeout, this, &CaptureWindow::checkDeviceChange);
    connect(reconnectionTimer_, &QTimer::timeout, this, &CaptureWindow::tryReconnect);

    menus_ = new CaptureMenus(*this);

    // Small enough for a corner of the screen, large enough that the panels read in full with
    // their first captions and some video shows above them.
    const int statusHeight = statusBar_->sizeHint().height();
    setMinimumSize(statusBar_->sizeHint().width(), 4 * statusHeight);
}

CaptureWindow::~CaptureWindow()
{
    // Torn down without a close: the sources stop, but nobody is told.
    if (loaded_) {
        okToRaiseEvents_ = false;
        unload();
    }
}

void CaptureWindow::load()
{
    state_.captureWindowLoaded = true;
    loaded_ = true;
    reconnectPending_ = false;
    placing_ = false;
    menus_->tracker().reset();
    okToRaiseEvents_ = state_.closeNotifyRequest == QLatin1String("Y");

    placing_ = true;
    keepOnTop(*this);
    placing_ = false;

    // The design size first, on every load: a stored placement that keeps the width (-1) or
    // is pulled back from the right edge works from it, not from what the window was last.
    // Resizing stores the placement, so the one to apply is taken before.
    const WindowPlacement stored = state_.captureWindowPlacement;
    placed_.setWidth(kDefaultWindowWidth);
    if (!isVisible())
        layOut();   // a hidden window gets its resize event only when shown
    placed_.setHeight(kDefaultWindowHeight);
    if (!isVisible())
        layOut();
    if (stored.Width != 0 && stored.Height != 0) {
        placing_ = true;
        ApplyWindowPlacement(placed_, stored, kDefaultWindowWidth, kDefaultWindowHeight);
        placing_ = false;
        layOut();
    }

    capture_.setStartupValue(0);
    try {
        capture_.stillSetup(CaptureControl::kStillMode);
    } catch (const std::exception&) {
        // The one start-up call whose failure is of no consequence.
    }
    selectFirstDevices();
    showDeviceNames();
    capture_.setPreview(true);
    if (capture_.videoDevices().selectedIndex() == -1)
        reconnectPending_ = true;

    deviceWatch_ = new DeviceWatch(this);
    connect(deviceWatch_, &DeviceWatch::videoDeviceChanged, this, [this] { reconnectPending_ = true; });
    heartbeatTimer_->start();
}

void CaptureWindow::unload()
{
    if (!loaded_)
        return;
    bannerTimer_->stop();
    delete deviceWatch_;
    deviceWatch_ = nullptr;
    capture_.setPreview(false);
    capture_.videoDevices().setSelectedIndex(-1);
    capture_.audioDevices().setSelectedIndex(-1);
    state_.clearFrames();
    emit viewerCloseRequested();
    StoreWindowPlacement(placed_, state_.captureWindowPlacement);
    if (okToRaiseEvents_)
        emit formClosed();
    state_.captureWindowLoaded = false;
    loaded_ = false;
    // The timers stop with the window.
    heartbeatTimer_->stop();
    reconnectionTimer_->stop();
    hide();
}

double CaptureWindow::statusBarLeft() const
{
    return statusBar_->x() * screenMetrics().twipsPerPixelX;
}

double CaptureWindow::statusBarTop() const
{
    return statusBar_->y() * screenMetrics().twipsPerPixelY;
}

double CaptureWindow::statusBarHeight() const
{
    return statusBar_->height() * screenMetrics().twipsPerPixelY;
}

void CaptureWindow::layoutStatusBar()
{
    // Aligned to the bottom like a status bar, whatever the resize handler does.
    const int height = statusBar_->sizeHint().height();
    statusBar_->setGeometry(0, std::max(0, this->height() - height), this->width(), height);
}

void CaptureWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutStatusBar();
    layOut();
}

void CaptureWindow::layOut()
{
    if (placing_)
        return;
    layoutStatusBar();
    if (statusBarTop() > 0 && placed_.width() > 0) {
        // The video fills the client area above the status bar.
        videoView_->setGeometry(0, 0, width(), statusBar_->y());
    }
    placeLogo();
    StoreWindowPlacement(placed_, state_.captureWindowPlacement);
}

void CaptureWindow::placeLogo()
{
    if (capture_.videoDevices().selectedIndex() != -1) {
        logo_->hide();
        return;
    }
    logo_->show();
    logo_->raise();
    // The logo is sized by the window's width; in a short window the status bar stays on top.
    statusBar_->raise();
    videoView_->update();
    const float target = static_cast<float>(placed_.width()) * kLogoWidthShare;
    if (target <= 0 || logoSource_->Width() <= 0)
        return;
    const float factor = target / static_cast<float>(logoSource_->Width());
    if (factor <= 0)
        return;
    paintScaled(*logoSource_, *logo_, factor);
    logo_->setLeft(placed_.width() / 2 - logo_->Width() / 2);
    logo_->setTop(placed_.height() / 2 - logo_->Height() / 2 - statusBarHeight());
}

void CaptureWindow::showDeviceNames()
{
    const DeviceList& video = capture_.videoDevices();
    const DeviceList& audio = capture_.audioDevices();
    const int16_t videoIndex = static_cast<int16_t>(video.selectedIndex());
    panels_[0]->setText(videoIndex >= 0 ? video.itemName(videoIndex) : QString::fromLatin1(kNoVideo));
    const int16_t audioIndex = static_cast<int16_t>(audio.selectedIndex());
    panels_[1]->setText(audioIndex >= 0 ? audio.itemName(audioIndex) : QString::fromLatin1(kNoAudio));
}

void CaptureWindow::selectFirstDevices()
{
    // The first device, passing over those that failed: a broken camera is tried once, not on
    // every reconnection.
    for (DeviceList* list : {&capture_.videoDevices(), &capture_.audioDevices()}) {
        if (const int first = list->firstUsable(); first >= 0)
            list->setSelectedIndex(first);
    }
}

void CaptureWindow::showGrabFailed()
{
    const QString text = QString::fromLatin1(kBannerText);
    grabFailedBanner_->Cls();
    const int32_t textWidth = roundToLong(grabFailedBanner_->textWidth(text));
    const int32_t textHeight = roundToLong(grabFailedBanner_->textHeight(text));
    grabFailedBanner_->setWidth(textWidth + kBannerPadding);
    grabFailedBanner_->setHeight(textHeight + kBannerPadding);
    grabFailedBanner_->setCurrentX(kBannerPadding / 2);
    grabFailedBanner_->setCurrentY(kBannerPadding / 2);
    grabFailedBanner_->print(text);
    grabFailedBanner_->setLeft(placed_.width() / 2 - grabFailedBanner_->Width() / 2);
    grabFailedBanner_->setTop(placed_.height() / 2 - grabFailedBanner_->Height() / 2 - statusBarHeight());
    grabFailedBanner_->show();
    grabFailedBanner_->raise();
    // Restarted on every call, so the banner stays 2 seconds after the last failure.
    bannerTimer_->stop();
    bannerTimer_->start();
}

void CaptureWindow::hideGrabFailed()
{
    grabFailedBanner_->hide();
    bannerTimer_->stop();
}

void CaptureWindow::checkDeviceChange()
{
    if (!reconnectPending_)
        return;
    reconnectPending_ = false;
    reconnectionTimer_->setInterval(reconnectionInterval_);
    reconnectionTimer_->start();
}

void CaptureWindow::tryReconnect()
{
    capture_.videoDevices().refresh();
    selectFirstDevices();
    if (capture_.videoDevices().selectedIndex() == -1) {
        placeLogo();
        reconnectionTimer_->setInterval(reconnectionInterval_);
    } else {
        reconnectionTimer_->stop();
        logo_->hide();
    }
    showDeviceNames();
}

void CaptureWindow::showDevices(DeviceKind kind)
{
    // A source that failed, or whose device went, leaves its selection at -1: the logo and the
    // status bar show it now. A failure is no device notice; reconnection waits for one.
    if (kind == DeviceKind::Video)
        placeLogo();
    showDeviceNames();
}

void CaptureWindow::pointerOverVideo(float x, float y)
{
    menus_->tracker().pointerAt(x, y, screenMetrics());
}

void CaptureWindow::openPanelMenu(int index)
{
    const StatusPanelClick click = panel(index).click();
    const QPointer<CaptureWindow> self = this;
    emit panelClicked(click);
    if (self)
        menus_->panelClicked(click);
}

void CaptureWindow::keyPressEvent(QKeyEvent* event)
{
    if (!keyboard_)
        keyboard_ = std::make_unique<KeyboardLayout>();
    const int16_t keyCode = keyboard_->virtualKeyCode(*event);
    if (keyCode == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    keyPressed(keyCode, shiftState(event->modifiers()));
}

void CaptureWindow::keyPressed(int16_t keyCode, int16_t shift)
{
    if (keyCode == kKeyS && state_.AllowInternalCapture == kHostTrue)
        requestGrab();
    emit keyDown(keyCode, shift);
}

void CaptureWindow::requestGrab()
{
    emit grabRequested();
    // The viewer the grab opened may have taken the focus; the operator keeps the keyboard here.
    activateWindow();
}

void CaptureWindow::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}

void CaptureWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
        menus_->tracker().activationChanged(*this);
    QWidget::changeEvent(event);
}

} // namespace didev
