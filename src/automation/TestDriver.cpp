#include "automation/TestDriver.h"

#include "automation/TestDriverRows.h"
#include "automation/WindowStateReport.h"
#include "capture/CaptureWindow.h"
#include "capture/DeviceWatch.h"
#include "capture/VideoView.h"
#include "capture/VirtualKeys.h"
#include "common/DBusNames.h"
#include "common/Twips.h"
#include "ui/InteractionSeam.h"
#include "ui/MessageBox.h"
#include "ui/Screen.h"
#include "ui/StatusPanel.h"
#include "ui/SyntheticInput.h"
#include "viewer/SnapshotViewer.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>

#include <cmath>
#include <stdexcept>

namespace didev {

namespace {

template <typename T>
T argumentAt(const QDBusMessage& call, int index)
{
    return qvariant_cast<T>(call.arguments().at(index));
}

CaptureWindow& captureWindow()
{
    auto* window = qobject_cast<CaptureWindow*>(TestDriver::findWindow(QStringLiteral("capture")));
    if (!window)
        throw DBusCallError(QDBusError::Failed, QStringLiteral("No capture window is loaded"));
    return *window;
}

QWidget& loadedWindow(const QString& name)
{
    QWidget* window = TestDriver::findWindow(name);
    if (!window)
        throw DBusCallError(QDBusError::Failed, QStringLiteral("The %1 window is not loaded").arg(name));
    return *window;
}

DeviceKind deviceKind(const QString& kind)
{
    if (kind == QLatin1String("video"))
        return DeviceKind::Video;
    if (kind == QLatin1String("audio"))
        return DeviceKind::Audio;
    raiseInvalidArguments(QStringLiteral("Device kind is video or audio, not '%1'").arg(kind));
}

DeviceWatch& deviceWatch()
{
    DeviceWatch* watch = captureWindow().deviceWatch();
    if (!watch)
        throw DBusCallError(QDBusError::Failed, QStringLiteral("The capture window watches no devices"));
    return *watch;
}

// What a key types: letters in the case Shift gives them, digits, and the few control keys
// that type a character.
QString typedText(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier))
        return {};
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar letter(key);
        return modifiers & Qt::ShiftModifier ? QString(letter) : QString(letter.toLower());
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return QString(QChar(key));
    switch (key) {
    case Qt::Key_Space: return QStringLiteral(" ");
    case Qt::Key_Return: return QStringLiteral("\r");
    case Qt::Key_Escape: return QStringLiteral("\x1b");
    case Qt::Key_Backspace: return QStringLiteral("\b");
    case Qt::Key_Tab: return QStringLiteral("\t");
    default: return {};
    }
}

void sendKey(QWidget& window, int16_t keyCode, int16_t shift)
{
    const QtKeyPress press = qtKeyPress(keyCode, shift);
    if (press.key == Qt::Key_unknown)
        raiseInvalidArguments(QStringLiteral("No key has the code %1").arg(keyCode));
    const QString text = typedText(press.key, press.modifiers);
    // The keyboard goes to the focused control; what it leaves reaches the window.
    QPointer<QWidget> target = window.focusWidget() ? window.focusWidget() : &window;
    QKeyEvent down(QEvent::KeyPress, press.key, press.modifiers, text);
    QApplication::sendEvent(target, &down);
    if (!target)
        return;
    QKeyEvent up(QEvent::KeyRelease, press.key, press.modifiers, text);
    QApplication::sendEvent(target, &up);
}

// The deepest visible widget under `local`, and the point in its own coordinates.
std::pair<QWidget*, QPoint> widgetAt(QWidget& window, QPoint local)
{
    QWidget* child = window.childAt(local);
    if (!child)
        return {&window, local};
    return {child, child->mapFrom(&window, local)};
}

void sendMouse(QWidget& widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(widget.mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

int pixelsX(double twips)
{
    return twipsToPixels(twips, screenMetrics().twipsPerPixelX);
}

int pixelsY(double twips)
{
    return twipsToPixels(twips, screenMetrics().twipsPerPixelY);
}

// Records the first popup menu that opens while it lives.
class MenuRecorder final : public QObject {
public:
    MenuRecorder() { qApp->installEventFilter(this); }
    ~MenuRecorder() override { qApp->removeEventFilter(this); }
    bool opened() const { return opened_; }
    const QList<PopupMenuRow>& rows() const { return rows_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (!opened_ && menu && event->type() == QEvent::Show && !qobject_cast<QMenu*>(menu->parentWidget())) {
            opened_ = true;
            rows_ = popupMenuRows(*menu);
        }
        return false;
    }

private:
    bool opened_ = false;
    QList<PopupMenuRow> rows_;
};

QVariant integerAnswer(const QVariant& answer, const QString& kind)
{
    bool ok = false;
    const int value = answer.toInt(&ok);
    const auto type = answer.metaType().id();
    const bool integral = type == QMetaType::Short || type == QMetaType::Int || type == QMetaType::UShort
        || type == QMetaType::UInt || type == QMetaType::UChar || type == QMetaType::LongLong;
    if (!ok || !integral)
        raiseInvalidArguments(QStringLiteral("A %1 answer is a whole number").arg(kind));
    return value;
}

// The newest loaded window of that class: an unloaded one may linger until it is deleted.
template <typename Window>
Window* newestLoaded()
{
    Window* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(widget); window && window->loaded())
            found = window;
    return found;
}

} // namespace

TestDriver::TestDriver(const QDBusConnection& connection, QObject* parent)
    : DBusTableObject(QString::fromLatin1(dbus::kTestDriverInterface), parent)
    , connection_(connection)
{
    qDBusRegisterMetaType<PopupMenuRow>();
    qDBusRegisterMetaType<QList<PopupMenuRow>>();
    qDBusRegisterMetaType<ShownMessage>();
    qDBusRegisterMetaType<QList<ShownMessage>>();
    InteractionSeam::instance().setUnattended(true);
    InteractionSeam::instance().setRecordingMessages(true);
    addDeviceMethods();
    addInputMethods();
    addObservationMethods();
}

TestDriver::~TestDriver()
{
    InteractionSeam::instance().setRecordingMessages(false);
    if (exported_)
        connection_.unregisterObject(QString::fromLatin1(dbus::kTestDriverPath));
}

bool TestDriver::exportObject()
{
    exported_ = connection_.registerVirtualObject(QString::fromLatin1(dbus::kTestDriverPath), this);
    return exported_;
}

bool TestDriver::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    // What it does, a person does: the modal windows it opens are nobody's, even when its call
    // is served while a host's call waits.
    const InteractionSeam::OwnerScope person(nullptr);
    return methods_.dispatch(message, connection);
}

QWidget* TestDriver::findWindow(const QString& name)
{
    if (name == QLatin1String("message"))
        return MessageBox::current();
    if (name == QLatin1String("viewer"))
        return newestLoaded<SnapshotViewer>();
    if (name != QLatin1String("capture"))
        raiseInvalidArguments(QStringLiteral("Windows are capture, viewer and message, not '%1'").arg(name));
    return newestLoaded<CaptureWindow>();
}

void TestDriver::addDeviceMethods()
{
    methods_.add("PlugDevice", [](const QDBusMessage& call) {
        const DeviceKind kind = deviceKind(argumentAt<QString>(call, 0));
        const QString name = argumentAt<QString>(call, 1);
        CaptureControl& control = captureWindow().captureControl();
        // The device provider announces it to the device monitor, as hardware would.
        if (kind == DeviceKind::Video) {
            // The pattern may go on with the size and the kind: "ball:1280x720@30:mjpeg".
            const QString pattern = argumentAt<QString>(call, 2);
            try {
                control.plugVirtualVideo(parseVirtualVideo(pattern.isEmpty() ? name : name + u':' + pattern));
            } catch (const std::invalid_argument& error) {
                raiseInvalidArguments(QString::fromStdString(error.what()));
            }
        } else {
            control.plugVirtualAudio(VirtualAudioDevice{name});
        }
        return QVariantList{};
    });
    methods_.add("UnplugDevice", [](const QDBusMessage& call) {
        const DeviceKind kind = deviceKind(argumentAt<QString>(call, 0));
        const QString name = argumentAt<QString>(call, 1);
        CaptureControl& control = captureWindow().captureControl();
        const bool unplugged = kind == DeviceKind::Video ? control.unplugVirtualVideo(name) : control.unplugVirtualAudio(name);
        if (!unplugged)
            raiseInvalidArguments(QStringLiteral("No virtual device is called '%1'").arg(name));
        return QVariantList{};
    });
    methods_.add("PostDeviceNotice", [](const QDBusMessage& call) {
        deviceWatch().postNotice(argumentAt<QString>(call, 0), argumentAt<QString>(call, 1));
        return QVariantList{};
    });
    methods_.add("FailNextGrab", [](const QDBusMessage& call) {
        const QString step = argumentAt<QString>(call, 0);
        GrabStep grabStep = GrabStep::Readiness;
        if (step == QLatin1String("start"))
            grabStep = GrabStep::Start;
        else if (step == QLatin1String("fetch"))
            grabStep = GrabStep::Fetch;
        else if (step != QLatin1String("readiness"))
            raiseInvalidArguments(QStringLiteral("A grab fails at readiness, start or fetch, not '%1'").arg(step));
        captureWindow().captureControl().failNextGrab(grabStep);
        return QVariantList{};
    });
}

void TestDriver::addInputMethods()
{
    methods_.add("PressKey", [](const QDBusMessage& call) {
        sendKey(loadedWindow(argumentAt<QString>(call, 0)), argumentAt<int16_t>(call, 1), argumentAt<int16_t>(call, 2));
        return QVariantList{};
    });
    methods_.add("CloseWindow", [](const QDBusMessage& call) {
        // The close box's path: a close event, and the window goes if its handler accepts.
        loadedWindow(argumentAt<QString>(call, 0)).close();
        return QVariantList{};
    });
    methods_.add("PointerAt", [](const QDBusMessage& call) {
        const QString name = argumentAt<QString>(call, 0);
        QWidget& window = loadedWindow(name);
        const double x = argumentAt<double>(call, 1);
        const double y = argumentAt<double>(call, 2);
        if (!std::isfinite(x) || !std::isfinite(y) || std::abs(x) > 1e7 || std::abs(y) > 1e7)
            raiseInvalidArguments(QStringLiteral("The pointer needs a point on the screen"));
        if (auto* capture = qobject_cast<CaptureWindow*>(&window)) {
            // Over the video, in the video area's pixels: a move, then a press and release there.
            VideoView& video = capture->videoView();
            const QPoint at(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
            sendMouse(video, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
            sendMouse(video, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            sendMouse(video, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        } else {
            const auto [widget, local] = widgetAt(window, QPoint(pixelsX(x), pixelsY(y)));
            QPointer<QWidget> target = widget;
            sendMouse(*target, QEvent::MouseButtonPress, local, Qt::LeftButton, Qt::LeftButton);
            if (target)
                sendMouse(*target, QEvent::MouseButtonRelease, local, Qt::LeftButton, Qt::NoButton);
        }
        return QVariantList{};
    });
    methods_.add("FocusLost", [](const QDBusMessage& call) {
        QWidget& window = loadedWindow(argumentAt<QString>(call, 0));
        // Another application takes the keyboard: the window had it and loses it.
        if (QApplication::activeWindow() != &window)
            QApplication::setActiveWindow(&window);
        QApplication::setActiveWindow(nullptr);
        return QVariantList{};
    });
    methods_.add("Resize", [](const QDBusMessage& call) {
        QWidget& window = loadedWindow(argumentAt<QString>(call, 0));
        const QSize frame = window.frameGeometry().size() - window.geometry().size();
        const int width = pixelsX(argumentAt<int32_t>(call, 1)) - frame.width();
        const int height = pixelsY(argumentAt<int32_t>(call, 2)) - frame.height();
        if (width < 0 || height < 0 || width > QWIDGETSIZE_MAX || height > QWIDGETSIZE_MAX)
            raiseInvalidArguments(QStringLiteral("No window can be dragged to that size"));
        window.resize(width, height);
        return QVariantList{};
    });
    methods_.add("Move", [](const QDBusMessage& call) {
        QWidget& window = loadedWindow(argumentAt<QString>(call, 0));
        window.move(pixelsX(argumentAt<int32_t>(call, 1)), pixelsY(argumentAt<int32_t>(call, 2)));
        return QVariantList{};
    });
    methods_.add("ClickPanel", [](const QDBusMessage& call) {
        QWidget& window = loadedWindow(argumentAt<QString>(call, 0));
        auto* capture = qobject_cast<CaptureWindow*>(&window);
        auto* viewer = qobject_cast<SnapshotViewer*>(&window);
        if (!capture && !viewer)
            raiseInvalidArguments(QStringLiteral("Only the capture window and the viewer have status-bar panels"));
        const int16_t index = argumentAt<int16_t>(call, 1);
        const int panels = capture ? CaptureWindow::kPanelCount : SnapshotViewer::kPanelCount;
        if (index < 1 || index > panels)
            raiseInvalidArguments(QStringLiteral("The status bar has panels 1 to %1").arg(panels));
        QWidget& panel = capture ? static_cast<QWidget&>(capture->panel(index)) : viewer->panel(index);
        InteractionSeam& seam = InteractionSeam::instance();
        // Without a scripted choice the menu is dismissed, as a person would with Escape.
        const bool escapeQueued = !seam.hasAnswer(ModalKind::Menu);
        if (escapeQueued)
            seam.queueAnswer(ModalKind::Menu, 0);
        const MenuRecorder recorder;
        clickCentre(panel);
        if (escapeQueued && !recorder.opened())
            seam.takeAnswer(ModalKind::Menu);
        return QVariantList{QVariant::fromValue(recorder.rows())};
    });
    methods_.add("QueueAnswer", [](const QDBusMessage& call) {
        const QString kind = argumentAt<QString>(call, 0);
        const QVariant answer = argumentAt<QDBusVariant>(call, 1).variant();
        InteractionSeam& seam = InteractionSeam::instance();
        if (kind == QLatin1String("message")) {
            seam.queueAnswer(ModalKind::Message, integerAnswer(answer, kind));
        } else if (kind == QLatin1String("menu")) {
            seam.queueAnswer(ModalKind::Menu, integerAnswer(answer, kind));
        } else if (kind == QLatin1String("save")) {
            const auto argument = qvariant_cast<QDBusArgument>(answer);
            if (answer.metaType() != QMetaType::fromType<QDBusArgument>() || argument.currentSignature() != QLatin1String("(si)"))
                raiseInvalidArguments(QStringLiteral("A save answer is (si): file name and filter index"));
            SaveAnswer save;
            argument.beginStructure();
            argument >> save.fileName >> save.filterIndex;
            argument.endStructure();
            seam.queueAnswer(ModalKind::Save, QVariant::fromValue(save));
        } else if (kind == QLatin1String("print")) {
            if (answer.metaType() != QMetaType::fromType<bool>() && answer.metaType() != QMetaType::fromType<QString>())
                raiseInvalidArguments(QStringLiteral("A print answer is b, or s: the printer to choose"));
            seam.queueAnswer(ModalKind::Print, answer);
        } else if (kind == QLatin1String("preview")) {
            if (answer.metaType() != QMetaType::fromType<bool>())
                raiseInvalidArguments(QStringLiteral("A preview answer is b"));
            seam.queueAnswer(ModalKind::Preview, answer.toBool());
        } else {
            raiseInvalidArguments(QStringLiteral("Answers are for message, menu, save, print or preview, not '%1'").arg(kind));
        }
        return QVariantList{};
    });
}

void TestDriver::addObservationMethods()
{
    methods_.add("Messages", [](const QDBusMessage&) {
        return QVariantList{QVariant::fromValue(InteractionSeam::instance().takeMessages())};
    });
    methods_.add("WindowState", [](const QDBusMessage& call) {
        const QString name = argumentAt<QString>(call, 0);
        return QVariantList{windowState(name, findWindow(name))};
    });
    methods_.add("Screen", [](const QDBusMessage&) {
        const ScreenMetrics screen = screenMetrics();
        return QVariantList{QVariantMap{
            {QStringLiteral("width"), screen.width},
            {QStringLiteral("height"), screen.height},
            {QStringLiteral("twipsPerPixelX"), screen.twipsPerPixelX},
            {QStringLiteral("twipsPerPixelY"), screen.twipsPerPixelY},
        }};
    });
}

} // namespace didev
