#include "ui/MessageBox.h"

#include "common/Twips.h"
#include "ui/InteractionSeam.h"
#include "ui/MessageImage.h"
#include "ui/MessageRequest.h"
#include "ui/ObjectFont.h"
#include "ui/Screen.h"
#include "ui/SyntheticInput.h"
#include "ui/WidgetPlacedWindow.h"
#include "ui/WindowFrame.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <vector>

namespace didev {

namespace {

// The font of the message and of the input box: "Arial", which fontconfig maps to the
// metric-compatible Liberation Sans.
QFont boxFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    return font;
}

// The icons' images, by their place in the box's image list.
constexpr std::array<const char*, 5> kIconFiles{
    nullptr, ":/icons/stop.png", ":/icons/question.png", ":/icons/exclamation.png", ":/icons/information.png"};

QPixmap iconImage(MessageIcon icon)
{
    const char* file = kIconFiles.at(static_cast<size_t>(icon));
    return file ? QPixmap(QString::fromLatin1(file)) : QPixmap();
}

QRect pixels(const ControlRect& r, const ScreenMetrics& screen)
{
    return {twipsToPixels(r.Left, screen.twipsPerPixelX), twipsToPixels(r.Top, screen.twipsPerPixelY),
        twipsToPixels(r.Width, screen.twipsPerPixelX), twipsToPixels(r.Height, screen.twipsPerPixelY)};
}

// The check box's states by the values the request holds: 0 clear, 1 ticked, 2 greyed.
constexpr std::array kCheckStates{Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};

int16_t checkValue(Qt::CheckState state)
{
    return static_cast<int16_t>(std::ranges::find(kCheckStates, state) - kCheckStates.begin());
}

Qt::CheckState checkState(int16_t value)
{
    return value > 0 && value < std::ssize(kCheckStates) ? kCheckStates[value] : Qt::Unchecked;
}

// The boxes on the screen, the newest last: a box of a person's can be open under a host's.
std::vector<QPointer<MessageBox>>& shownBoxes()
{
    static std::vector<QPointer<MessageBox>> boxes;
    return boxes;
}

} // namespace

MessageBox::MessageBox()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("MessageBox"));
    setModal(true);

    icon_ = new QLabel(this);
    icon_->setObjectName(QStringLiteral("icon"));
    icon_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    messageText_ = new MessageImage(this);
    messageText_->setFont(boxFont());
    for (size_t i = 0; i < buttons_.size(); ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("button%1").arg(i + 1));
        button->setFont(boxFont());
        connect(button, &QPushButton::clicked, this, [this, button] { buttonClicked(button); });
        buttons_[i] = button;
    }
    inputField_ = new QLineEdit(this);
    inputField_->setObjectName(QStringLiteral("inputField"));
    inputField_->setFont(boxFont());
    connect(inputField_, &QLineEdit::textChanged, this, [](const QString& text) { messageRequest().InputText = text; });
    checkBox_ = new QCheckBox(this);
    checkBox_->setObjectName(QStringLiteral("checkBox"));
    connect(checkBox_, &QCheckBox::clicked, this,
        [this] { messageRequest().CheckValue = checkValue(checkBox_->checkState()); });

    // Typed characters reach the box before its controls.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

MessageBox::~MessageBox() = default;

MessageBox* MessageBox::current()
{
    const auto& boxes = shownBoxes();
    for (auto box = boxes.rbegin(); box != boxes.rend(); ++box)
        if (*box && (*box)->isVisible())
            return *box;
    return nullptr;
}

int MessageBox::shownCount()
{
    const auto& boxes = shownBoxes();
    return static_cast<int>(std::count_if(boxes.begin(), boxes.end(), [](const auto& box) { return box && box->isVisible(); }));
}

QPushButton* MessageBox::button(int number) const
{
    return number >= 1 && number <= 5 ? buttons_[static_cast<size_t>(number - 1)] : nullptr;
}

int MessageBox::tagOf(const QPushButton& button)
{
    return button.property("Tag").toString().toInt();
}

void MessageBox::run()
{
    load();
    InteractionSeam::instance().recordMessage({messageRequest().Prompt, windowTitle(), messageRequest().Style});
    auto& boxes = shownBoxes();
    boxes.emplace_back(this);
    InteractionSeam::instance().execDialog(*this, ModalKind::Message,
        [this](const QVariant& answer) { giveScriptedAnswer(answer); });
    boxes.erase(std::remove(boxes.begin(), boxes.end(), this), boxes.end());
}

void MessageBox::warnNotInitialized()
{
    const QString text = QStringLiteral("Warning: Custom Input Box was not properly initialized.");
    QMessageBox warning(QMessageBox::NoIcon, QString::fromLatin1(kMessageCaption), text, QMessageBox::Ok);
    InteractionSeam::instance().recordMessage({text, warning.windowTitle(), 0});
    InteractionSeam::instance().execDialog(warning, ModalKind::Message, [&warning](const QVariant& answer) {
        if (answer.toInt() == 0)
            warning.close();
        else if (QAbstractButton* ok = warning.button(QMessageBox::Ok))
            clickCentre(*ok);
    });
}

void MessageBox::load()
{
    const MessageRequest& request = messageRequest();
    if (request.Initialized == kHostFalse)
        warnNotInitialized();

    setWindowTitle(request.Title);

    const QFont inputFont = inputField_->font();
    SetObjectFont(*icon_, inputFont.family(), inputFont.pointSizeF(), inputFont.bold(), inputFont.italic(),
        inputFont.underline(), inputFont.strikeOut());

    const ScreenMetrics screen = screenMetrics();
    const QFontMetrics messageMetrics(messageText_->font());
    const QFontMetrics inputMetrics(icon_->font());
    TextMeasure measure;
    measure.messageWidth = [messageMetrics, screen](const QString& text) {
        return messageMetrics.horizontalAdvance(text) * screen.twipsPerPixelX;
    };
    measure.inputWidth = [inputMetrics, screen](const QString& text) {
        return inputMetrics.horizontalAdvance(text) * screen.twipsPerPixelX;
    };
    measure.messageLineHeight = messageMetrics.height() * screen.twipsPerPixelY;

    layout_ = layoutMessageBox(request, screen.width, screen.height, currentWindowMetrics(), measure);
    apply(layout_);
}

void MessageBox::apply(const MessageBoxGeometry& g)
{
    const MessageRequest& request = messageRequest();
    const ScreenMetrics screen = screenMetrics();

    icon_->setGeometry(pixels(g.iconRect, screen));
    icon_->setPixmap(iconImage(g.icon));
    icon_->setVisible(g.icon != MessageIcon::None);

    messageText_->setGeometry(pixels(g.messageRect, screen));
    QList<int> tops;
    for (double top : g.lineTops)
        tops.append(twipsToPixels(top, screen.twipsPerPixelY));
    messageText_->printLines(g.lines, tops);

    for (size_t i = 0; i < buttons_.size(); ++i) {
        QPushButton* button = buttons_[i];
        const bool used = static_cast<int>(i) < g.buttonCount;
        button->setGeometry(pixels(g.buttonRects[i], screen));
        button->setText(used ? g.buttons[i].caption : QString());
        button->setProperty("Tag", used ? QString::number(static_cast<int>(g.buttons[i].result)) : QString());
        button->setVisible(used);
    }
    buttons_[0]->setDefault(true);

    // A box that cannot be cancelled has no close box either: a stray click on it would
    // answer for the operator.
    bool cancellable = false;
    for (int i = 0; i < g.buttonCount; ++i)
        cancellable = cancellable || g.buttons[static_cast<size_t>(i)].result == MessageResult::Cancel;
    if (windowFlags().testFlag(Qt::WindowCloseButtonHint) != cancellable)
        setWindowFlag(Qt::WindowCloseButtonHint, cancellable);

    inputField_->setVisible(g.inputVisible);
    if (g.inputVisible) {
        inputField_->setGeometry(pixels(g.inputRect, screen));
        inputField_->setMaxLength(32767);
        inputField_->setText(request.InputText);
        inputField_->selectAll();
    }

    checkBox_->setVisible(g.checkVisible);
    if (g.checkVisible) {
        checkBox_->setGeometry(pixels(g.checkRect, screen));
        checkBox_->setText(request.CheckCaption);
        checkBox_->setCheckState(checkState(request.CheckValue));
    }

    keepOnTop(*this);
    // The outer frame is what the layout gives; the client area is what the frame leaves of it,
    // set again once the window system has drawn the frame (a box that cannot be resized often
    // gets a thinner bottom edge than the estimate).
    setFixedSize(size());
    WidgetPlacedWindow placed(*this);
    placed.setWidth(g.formRect.Width);
    placed.setHeight(g.formRect.Height);
    placed.setLeft(g.formRect.Left);
    placed.setTop(g.formRect.Top);

    (g.inputVisible ? static_cast<QWidget*>(inputField_) : buttons_[0])->setFocus(Qt::OtherFocusReason);
}

void MessageBox::buttonClicked(QPushButton* button)
{
    const int result = tagOf(*button);
    messageRequest().Result = static_cast<int16_t>(result);
    done(result);
}

bool MessageBox::clickAccelerator(const QString& typed)
{
    const QString wanted = QLatin1Char('&') + typed.toUpper();
    for (QPushButton* button : buttons_) {
        if (!button->isHidden() && button->text().toUpper().contains(wanted)) {
            button->click();
            return true;
        }
    }
    return false;
}

bool MessageBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && inputField_->isHidden()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (plain && key->text().size() == 1 && key->text().at(0).isPrint() && !key->text().at(0).isSpace()
            && clickAccelerator(key->text()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void MessageBox::closeEvent(QCloseEvent* event)
{
    // Some window managers draw a close box whatever the window asks for; on a box that has
    // no close box of its own, their close request does not answer for the operator.
    if (event->spontaneous() && !windowFlags().testFlag(Qt::WindowCloseButtonHint)) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void MessageBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        // Escape answers Cancel, else No, else the lone OK; a box without them wants a choice.
        for (MessageResult wanted : {MessageResult::Cancel, MessageResult::No, MessageResult::Ok}) {
            for (QPushButton* button : buttons_) {
                if (button->isHidden() || tagOf(*button) != static_cast<int>(wanted))
                    continue;
                if (wanted == MessageResult::Ok && layout_.buttonCount != 1)
                    continue;
                button->click();
                return;
            }
        }
        event->accept();
        return;
    }
    if (inputField_->isHidden() && !event->text().isEmpty() && event->text().at(0).isPrint()
        && !event->text().at(0).isSpace() && clickAccelerator(event->text().left(1)))
        return;
    QDialog::keyPressEvent(event);
}

void MessageBox::giveScriptedAnswer(const QVariant& answer)
{
    const int result = answer.toInt();
    if (result != 0) {
        for (QPushButton* button : buttons_) {
            if (!button->isHidden() && tagOf(*button) == result) {
                clickCentre(*button);
                return;
            }
        }
        qWarning("scripted message answer %d: no such button, closed", result);
    }
    close();
}

MessageResult askUser(const QString& prompt, MessageStyle style, const QString& title)
{
    // A host's call never opens a box over an open one: it is answered at once, as if its box
    // had been closed, because each box's loop serves the next queued call and would stack
    // boxes (and the stack) without end; queueing it instead would make the user answer them all.
    const InteractionSeam& seam = InteractionSeam::instance();
    if (seam.currentOwner() != nullptr && seam.modalOpen())
        return kClosedWithoutButton;

    ResetMessageRequest();
    MessageRequest& request = messageRequest();
    request.Prompt = prompt;
    request.Title = title.isEmpty() ? QString::fromLatin1(kMessageCaption) : title;
    request.Style = static_cast<int32_t>(style);
    request.ShowCheck = kHostFalse;

    // Each showing loads the box afresh.
    MessageBox box;
    box.run();
    return static_cast<MessageResult>(messageRequest().Result);
}

void tellUser(const std::exception& error)
{
    askUser(QString::fromStdString(error.what()), MessageStyle::Exclamation);
}

} // namespace didev
