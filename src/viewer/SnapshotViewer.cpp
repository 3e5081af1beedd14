#include "viewer/SnapshotViewer.h"

#include "common/AutomationError.h"
#include "common/Rounding.h"
#include "common/Twips.h"
#include "snapshots/PictureWriter.h"
#include "snapshots/ModuleState.h"
#include "ui/InteractionSeam.h"
#include "ui/MessageBox.h"
#include "ui/PictureBox.h"
#include "ui/Placement.h"
#include "ui/Screen.h"
#include "ui/StatusPanel.h"
#include "ui/WindowFrame.h"
#include "viewer/ArrowButton.h"
#include "viewer/FramePrinting.h"
#include "viewer/SavedFrameName.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStatusBar>

#include <algorithm>
#include <exception>
#include <memory>

namespace didev {

namespace {


constexpr const char* kPanelTexts[SnapshotViewer::kPanelCount] = {"Frames", "", "Options", ""};

// Gap between two panels, pixels.
constexpr int kPanelGap = 2;

// The buttons sit this far below the status bar's top, twips.
constexpr int32_t kArrowButtonOffset = 40;

// Sets a flag for the lifetime of the guard, also when an error leaves the scope.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagGuard() { flag_ = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& flag_;
};


} // namespace

SnapshotViewer::SnapshotViewer(ModuleState& state, FramePrinter& printer, QWidget* parent)
    : QWidget(parent, Qt::Tool)
    , state_(state)
    , printer_(printer)
    , placed_(*this)
{
    setObjectName(QStringLiteral("SnapshotViewer"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Closing the viewer never ends the process.
    setAttribute(Qt::WA_QuitOnClose, false);

    framePicture_ = new PictureBox(this);
    framePicture_->setObjectName(QStringLiteral("framePicture"));
    framePicture_->setAutoSize(true);
    framePicture_->setBackColor(Qt::black);
    framePicture_->move(0, 0);
    framePicture_->installEventFilter(this);

    scalingSource_ = new PictureBox(this);
    scalingSource_->setObjectName(QStringLiteral("scalingSource"));
    scalingSource_->setAutoSize(true);
    scalingSource_->setVisible(false);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    // Its own face, not the window's black, so the panels' texts can be read.
    statusBar_->setAutoFillBackground(true);
    for (int i = 0; i < kPanelCount; ++i) {
        panels_[i] = new StatusPanel(i + 1, QString::fromLatin1(kPanelTexts[i]), statusBar_);
        panels_[i]->setIndent(3);
        connect(panels_[i], &StatusPanel::clicked, this,
            [this](int index) { guarded([this, index] { openPanelMenu(index); }); });
    }

    const ScreenMetrics screen = screenMetrics();
    const QSize buttonSize(twipsToPixels(kArrowButtonSize, screen.twipsPerPixelX),
        twipsToPixels(kArrowButtonSize, screen.twipsPerPixelY));
    previousButton_ = new ArrowButton(ArrowButton::Direction::Left, this);
    previousButton_->setObjectName(QStringLiteral("previousButton"));
    nextButton_ = new ArrowButton(ArrowButton::Direction::Right, this);
    nextButton_->setObjectName(QStringLiteral("nextButton"));
    for (ArrowButton* button : {previousButton_, nextButton_}) {
        button->resize(buttonSize);
        button->raise();
    }
    connect(previousButton_, &QPushButton::clicked, this, [this] { guarded([this] { previousFrame(); }); });
    connect(nextButton_, &QPushButton::clicked, this, [this] { guarded([this] { nextFrame(); }); });

    layoutStatusBar();
}

SnapshotViewer::~SnapshotViewer()
{
    if (loaded_)
        unloadAndStore();
}

void SnapshotViewer::load()
{
    refitSuppressed_ = true;
    resizeIgnored_ = false;
    state_.viewerShown = true;
    loaded_ = true;
    currentFrame_ = 0;
    tracker_.reset();


    {
        const FlagGuard ignoring(resizeIgnored_);
        keepOnTop(*this);
    }

    const WindowPlacement& saved = state_.viewerPlacement;
    if (saved.Width != 0 && saved.Height != 0) {
        ApplyWindowPlacement(placed_, saved, kDefaultWindowWidth, kDefaultWindowHeight);
    } else {
        placed_.setWidth(kDefaultWindowWidth);
        placed_.setHeight(kDefaultWindowHeight);
    }
    layoutStatusBar();
    refitSuppressed_ = false;
}

void SnapshotViewer::unload()
{
    close();
}

void SnapshotViewer::unloadAndStore()
{
    loaded_ = false;
    StoreWindowPlacement(placed_, state_.viewerPlacement);
    state_.viewerShown = false;
}

void SnapshotViewer::closeEvent(QCloseEvent* event)
{
    if (loaded_)
        unloadAndStore();
    event->accept();
}

double SnapshotViewer::statusBarTop() const
{
    return statusBar_->y() * screenMetrics().twipsPerPixelY;
}

double SnapshotViewer::statusBarHeight() const
{
    return statusBar_->height() * screenMetrics().twipsPerPixelY;
}

void SnapshotViewer::layoutStatusBar()
{
    const ScreenMetrics screen = screenMetrics();
    const int height = std::max(statusBar_->sizeHint().height(), panels_[0]->sizeHint().height() + 4);
    statusBar_->setGeometry(0, std::max(0, this->height() - height), width(), height);
    int left = 0;
    for (int i = 0; i < kPanelCount; ++i) {
        const int panelWidth = twipsToPixels(kPanelWidths[static_cast<size_t>(i)], screen.twipsPerPixelX);
        panels_[i]->setGeometry(left, 2, panelWidth, height - 3);
        left += panelWidth + kPanelGap;
    }
}

void SnapshotViewer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutStatusBar();
    guarded([this] { layOut(); });
}

void SnapshotViewer::layOut()
{
    if (resizeIgnored_)
        return;
    const ScreenMetrics screen = screenMetrics();
    const int32_t top = roundToLong(statusBarTop() + kArrowButtonOffset);
    if (top > 0) {
        const int y = twipsToPixels(top, screen.twipsPerPixelY);
        previousButton_->move(previousButton_->x(), y);
        nextButton_->move(nextButton_->x(), y);
    }
    const int32_t left = roundToLong(panels_[1]->x() * screen.twipsPerPixelX);
    previousButton_->move(twipsToPixels(left, screen.twipsPerPixelX), previousButton_->y());
    nextButton_->move(previousButton_->x() + previousButton_->width(), previousButton_->y());

    // A window changed in size refits the frame, unless it was the frame that sized it. Showing
    // the window reports its size once more without changing it; that keeps the frame as it is.
    if (!refitSuppressed_ && showsAFrame() && size() != laidOutSize_)
        showFrame(currentFrame_, false);
}

bool SnapshotViewer::showsAFrame() const
{
    return currentFrame_ >= 1 && currentFrame_ <= state_.snapshotStore.count();
}

FitWindow SnapshotViewer::fitWindow() const
{
    const WindowMetrics metrics = currentWindowMetrics();
    return FitWindow{placed_.width(), placed_.height(), statusBarHeight(), metrics.captionHeight, metrics.sizingFrameWidth};
}

void SnapshotViewer::showFrame(int16_t frameNumber, bool matchWindowSizeToPicture)
{
    if (frameNumber < 1)
        raiseError(ErrorNumber::SubscriptOutOfRange);
    const PicturePtr picture = state_.snapshotStore.at(frameNumber).picture;

    framePicture_->setPicture(nullptr);
    // A frame stored without a picture shows an empty window.
    const bool drawable = picture && picture->width() > 0 && picture->height() > 0;
    if (drawable && matchWindowSizeToPicture) {
        framePicture_->setPicture(picture);
        {
            const FlagGuard suppressing(refitSuppressed_);
            placed_.setHeight(statusBarHeight() + framePicture_->Height() + currentWindowMetrics().captionHeight);
            placed_.setWidth(framePicture_->Width());
        }
        framePicture_->setTop(0);
        framePicture_->setLeft(0);
    } else if (drawable) {
        scalingSource_->setPicture(picture);
        const FitWindow window = fitWindow();
        const float ratio = FitRatio(window, scalingSource_->Width(), scalingSource_->Height());
        if (ratio >= kSmallestFitRatio) {
            paintScaled(*scalingSource_, *framePicture_, ratio);
            scalingSource_->setPicture(nullptr);
        }
        const FramePosition position = FramePositionIn(window, framePicture_->Width(), framePicture_->Height());
        framePicture_->setTop(position.top);
        framePicture_->setLeft(position.left);
    }

    currentFrame_ = frameNumber;
    laidOutSize_ = size();
    panels_[0]->setText(QStringLiteral("Frame %1 of %2").arg(frameNumber).arg(state_.snapshotStore.count()));
}

void SnapshotViewer::nextFrame()
{
    const int count = state_.snapshotStore.count();
    if (count == 0)
        return;
    int i = currentFrame_ + 1;
    if (i > count)
        i = 1;
    showFrame(static_cast<int16_t>(i), false);
}

void SnapshotViewer::previousFrame()
{
    const int count = state_.snapshotStore.count();
    if (count == 0)
        return;
    int i = currentFrame_ - 1;
    // Past the end too when the store shrank under the window.
    if (i < 1 || i > count)
        i = count;
    showFrame(static_cast<int16_t>(i), false);
}

void SnapshotViewer::discardFrame()
{
    if (!showsAFrame())
        return;
    QPointer<SnapshotViewer> self(this);
    if (askUser(QStringLiteral("Confirm: Discard current frame?"), MessageStyle::QuestionYesNo) == MessageResult::No)
        return;
    // The store may have changed, or the window closed, while the question was open.
    if (!self || !loaded_ || !showsAFrame())
        return;

    FrameStore& frames = state_.snapshotStore;
    const int n = frames.count();
    if (n == 1) {
        state_.clearFrames();
        unload();
        return;
    }
    frames.removeAt(currentFrame_);
    showFrame(static_cast<int16_t>(std::min<int>(currentFrame_, n - 1)), false);
}

void SnapshotViewer::saveFrame()
{
    if (!showsAFrame())
        return;
    QPointer<SnapshotViewer> self(this);
    QPointer<QFileDialog> dialog = new QFileDialog(this, QStringLiteral("Save Frame As"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDirectory(QDir::currentPath());
    dialog->setNameFilters({QString::fromLatin1(kJpegFilter), QString::fromLatin1(kBitmapFilter)});
    dialog->selectNameFilter(QString::fromLatin1(kJpegFilter));
    dialog->setDefaultSuffix(QStringLiteral("jpg"));
    // A name typed without an extension takes the one of the filter chosen.
    connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
        dialog->setDefaultSuffix(filter == QLatin1String(kBitmapFilter) ? QStringLiteral("bmp") : QStringLiteral("jpg"));
    });

    const std::optional<SaveAnswer> chosen = InteractionSeam::instance().execSaveDialog(*dialog);
    delete dialog.data();
    if (!self || !chosen)
        return;

    bool ok = false;
    if (const std::optional<SavedFrameName> name = savedFrameName(chosen->fileName, chosen->filterIndex);
        name && showsAFrame()) {
        const PictureWriter writer;
        ok = writer.save(state_.snapshotStore.at(currentFrame_).picture, static_cast<int32_t>(name->format), name->fileName);
    }
    if (ok)
        askUser(QStringLiteral("Frame successfully saved."), MessageStyle::Information);
    else
        askUser(QStringLiteral("Error occured while saving frame."), MessageStyle::Exclamation);
}

void SnapshotViewer::printFrames(int16_t frame)
{
    printer_.printFrames(frame, *scalingSource_);
}

std::span<const MenuCommand<SnapshotViewer>> SnapshotViewer::optionsCommands()
{
    static constexpr MenuCommand<SnapshotViewer> rows[] = {
        {1, "Save Frame...", [](SnapshotViewer& viewer) { viewer.saveFrame(); }},
        {3, "Discard Frame", [](SnapshotViewer& viewer) { viewer.discardFrame(); }},
        {},
        {5, "Print All Frames...", [](SnapshotViewer& viewer) { viewer.printFrames(0); }},
        {2, "Print Selected Frame...", [](SnapshotViewer& viewer) { viewer.printFrames(viewer.currentFrame_); }},
        {},
        {4, "Show Actual Capture Size",
            [](SnapshotViewer& viewer) {
                if (viewer.showsAFrame())
                    viewer.showFrame(viewer.currentFrame_, true);
            }},
    };
    return rows;
}

void SnapshotViewer::openPanelMenu(int index)
{
    if (!tracker_.admitClick(panels_.at(static_cast<size_t>(index - 1))->click(), statusBarTop(), statusBarHeight()))
        return;
    if (index != 1 && index != 3)
        return;

    QPointer<SnapshotViewer> self(this);
    QPointer<QMenu> menu = new QMenu(this);
    if (index == 3) {
        appendMenuCommands(*menu, optionsCommands(), [](int32_t) { return MenuItemFlag::Plain; });
    } else if (state_.snapshotStore.count() == 0) {
        appendMenuItem(*menu, MenuItemFlag::Greyed, 0, QStringLiteral("No Frames"));
    } else {
        for (int i = 1; i <= state_.snapshotStore.count(); ++i)
            appendMenuItem(*menu, checkedWhen(i == currentFrame_), i, QString::number(i));
    }

    const ScreenMetrics screen = screenMetrics();
    PanelMenuGeometry geometry{placed_.left(), placed_.top(), placed_.height()};
    geometry.sizingFrameWidth = currentWindowMetrics().sizingFrameWidth;
    geometry.statusBarLeft = statusBar_->x() * screen.twipsPerPixelX;
    geometry.panelLeft = panels_.at(static_cast<size_t>(index - 1))->x() * screen.twipsPerPixelX;
    const int choice = InteractionSeam::instance().execMenu(*menu, PanelMenuTracker::menuBottomLeft(geometry, screen));
    delete menu.data();
    if (!self || !loaded_)
        return;

    if (index == 1) {
        if (choice > 0) {
            tracker_.clearPanel();
            if (choice <= state_.snapshotStore.count())
                showFrame(static_cast<int16_t>(choice), false);
        }
        return;
    }
    if (choice != 0)
        tracker_.clearPanel();
    runMenuCommand(optionsCommands(), choice, *this);
}

void SnapshotViewer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}

void SnapshotViewer::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        guarded([this] { previousFrame(); });
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        guarded([this] { nextFrame(); });
        break;
    case Qt::Key_Delete:
        guarded([this] { discardFrame(); });
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void SnapshotViewer::mousePressEvent(QMouseEvent* event)
{
    tracker_.pointerAt(event->position().x(), event->position().y(), screenMetrics());
    QWidget::mousePressEvent(event);
}

bool SnapshotViewer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == framePicture_ && event->type() == QEvent::MouseButtonPress) {
        // A press on the picture counts where the picture reports it, not again for the window.
        const QPointF position = static_cast<QMouseEvent*>(event)->position();
        tracker_.pointerAt(position.x(), position.y(), screenMetrics());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SnapshotViewer::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
        tracker_.activationChanged(*this);
    QWidget::changeEvent(event);
}

void SnapshotViewer::guarded(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        // Nothing may leave an event handler; the user hears of it instead.
        tellUser(error);
    }
}

} // namespace didev
