#include "ui/InteractionSeam.h"

#include "ui/SyntheticInput.h"

#include <QAbstractButton>
#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <memory>
#include <vector>

namespace didev {

namespace {

// The items from `menu` down to the visible, enabled or not, item with that id; the
// items before the last one open submenus. Empty when the menu has no such item.
std::vector<QAction*> pathToItem(const QMenu& menu, int id)
{
    for (QAction* action : menu.actions()) {
        if (!action->isVisible() || action->isSeparator())
            continue;
        if (QMenu* submenu = action->menu()) {
            std::vector<QAction*> below = pathToItem(*submenu, id);
            if (!below.empty()) {
                below.insert(below.begin(), action);
                return below;
            }
        } else if (action->data().toInt() == id) {
            return {action};
        }
    }
    return {};
}

// Escape on the innermost open menu, again and again, until the whole menu is closed.
void dismissMenu(QMenu& top)
{
    QPointer<QMenu> menu = &top;
    for (int presses = 0; menu && menu->isVisible(); ++presses) {
        if (presses > 16) {
            menu->close();
            return;
        }
        QMenu* innermost = menu;
        for (QAction* active = innermost->activeAction(); active && active->menu() && active->menu()->isVisible();
             active = innermost->activeAction())
            innermost = active->menu();
        pressKey(*innermost, Qt::Key_Escape);
    }
}

// Clicks path[index] in `menu`, which is open: a submenu's parent item first, then, once the
// submenu is up, on down to the item itself.
void clickAlong(QMenu& top, QMenu& menu, std::shared_ptr<std::vector<QAction*>> path, size_t index)
{
    QAction* action = (*path)[index];
    clickAt(menu, menu.actionGeometry(action).center());
    QPointer<QMenu> topMenu = &top;
    auto giveUp = [topMenu] {
        if (topMenu)
            dismissMenu(*topMenu);
    };
    if (index + 1 < path->size()) {
        QPointer<QMenu> submenu = action->menu();
        whenReady(top, [submenu] { return !submenu || submenu->isVisible(); },
            [topMenu, submenu, path, index, giveUp] {
                if (topMenu && submenu)
                    clickAlong(*topMenu, *submenu, path, index + 1);
                else
                    giveUp();
            },
            giveUp);
    } else {
        // A greyed item takes the click and stays open; a person would then press Escape.
        whenReady(top, [topMenu] { return !topMenu || !topMenu->isVisible(); }, [] {}, giveUp, 500);
    }
}

void answerMenu(QMenu& menu, int id)
{
    auto path = std::make_shared<std::vector<QAction*>>(pathToItem(menu, id));
    if (id == 0 || path->empty()) {
        if (id != 0)
            qWarning("scripted menu answer %d: no such item, dismissed", id);
        dismissMenu(menu);
        return;
    }
    clickAlong(menu, menu, path, 0);
}

QMessageBox* visibleQuestion(const QDialog& dialog)
{
    for (QMessageBox* box : dialog.findChildren<QMessageBox*>()) {
        if (box->isVisible())
            return box;
    }
    return nullptr;
}

// Follows a dialog that has just been told to close. A question it asks on the way ("replace
// the file?") is answered yes, the scripted answer wanting just that; a notice that keeps it
// open is closed and the dialog cancelled, so a script never leaves a modal loop waiting.
void settleClosing(QDialog& dialog)
{
    QPointer<QDialog> open = &dialog;
    auto cancel = [open] {
        if (!open || !open->isVisible())
            return;
        qWarning("scripted answer: the %s did not close, cancelled", open->metaObject()->className());
        pressKey(*open, Qt::Key_Escape);
    };
    whenReady(dialog, [open] { return !open || !open->isVisible() || visibleQuestion(*open); },
        [open, cancel] {
            if (!open || !open->isVisible())
                return;
            QMessageBox* box = visibleQuestion(*open);
            if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
                clickCentre(*yes);
                settleClosing(*open);
                return;
            }
            pressKey(*box, Qt::Key_Escape);
            whenReady(*open, [open] { return !open || !visibleQuestion(*open); }, cancel, cancel);
        },
        cancel);
}

void answerSaveDialog(QFileDialog& dialog, const SaveAnswer& answer)
{
    if (answer.fileName.isEmpty()) {
        pressKey(dialog, Qt::Key_Escape);
        return;
    }
    // The filter first: choosing one changes the extension of a name already typed.
    if (auto* filters = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        const int wanted = std::clamp(answer.filterIndex - 1, 0, std::max(0, filters->count() - 1));
        while (filters->currentIndex() < wanted && filters->currentIndex() + 1 < filters->count())
            pressKey(*filters, Qt::Key_Down);
        while (filters->currentIndex() > wanted)
            pressKey(*filters, Qt::Key_Up);
    }
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name) {
        qWarning("scripted save answer: the dialog has no file name box, cancelled");
        pressKey(dialog, Qt::Key_Escape);
        return;
    }
    name->setFocus(Qt::OtherFocusReason);
    name->selectAll();
    typeText(*name, answer.fileName);
    // Enter goes to an open completion list instead of the dialog; close it as a person would.
    if (QCompleter* completer = name->completer(); completer && completer->popup() && completer->popup()->isVisible())
        pressKey(*completer->popup(), Qt::Key_Escape);

    settleClosing(dialog);
    pressKey(*name, Qt::Key_Return);
}

// Picks the printer in the dialog's list with the arrow keys; false when it is not listed.
bool choosePrinter(QPrintDialog& dialog, const QString& name)
{
    auto* printers = dialog.findChild<QComboBox*>(QStringLiteral("printers"));
    const int wanted = printers ? printers->findText(name) : -1;
    if (wanted < 0) {
        qWarning("scripted print answer: the print dialog lists no printer \"%s\", cancelled", qPrintable(name));
        return false;
    }
    printers->setFocus(Qt::OtherFocusReason);
    while (printers->currentIndex() < wanted)
        pressKey(*printers, Qt::Key_Down);
    while (printers->currentIndex() > wanted)
        pressKey(*printers, Qt::Key_Up);
    return true;
}

void answerPrintDialog(QPrintDialog& dialog, const QVariant& answer)
{
    const bool named = answer.metaType() == QMetaType::fromType<QString>();
    const bool accept = named ? choosePrinter(dialog, answer.toString()) : answer.toBool();
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    QAbstractButton* button = nullptr;
    if (buttons)
        button = buttons->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
    settleClosing(dialog);
    if (button)
        clickCentre(*button);
    else
        pressKey(dialog, accept ? Qt::Key_Return : Qt::Key_Escape);
}

// Hands the answer to `give` once `dialog` is up and active, from inside its modal loop: the
// file dialog, for one, follows what is typed only while its name box has the keyboard focus.
void answerWhenShown(QDialog& dialog, std::function<void()> give)
{
    QPointer<QDialog> open = &dialog;
    auto giveNow = [open, give] {
        if (open && open->isVisible())
            give();
    };
    whenReady(dialog, [open] { return !open || open->isVisible(); },
        [open, giveNow] {
            if (!open)
                return;
            open->activateWindow();
            // A window system that will not activate it still gets the answer, a moment later.
            whenReady(*open, [open] { return !open || open->isActiveWindow(); }, giveNow, giveNow, 1000);
        });
}

} // namespace

// Keeps a modal wait in the list of open ones while its loop runs.
class InteractionSeam::Running {
public:
    // Nested loops return in the reverse order of their start.
    Running(InteractionSeam& seam, QWidget& widget)
        : seam_(seam)
    {
        seam_.open_.push_back({&widget, seam_.owner_});
    }
    ~Running() { seam_.open_.pop_back(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    InteractionSeam& seam_;
};

InteractionSeam::OwnerScope::OwnerScope(const void* owner)
    : previous_(std::exchange(InteractionSeam::instance().owner_, owner))
{
}

InteractionSeam::OwnerScope::~OwnerScope()
{
    InteractionSeam::instance().owner_ = previous_;
}

InteractionSeam& InteractionSeam::instance()
{
    static InteractionSeam seam;
    return seam;
}

void InteractionSeam::queueAnswer(ModalKind kind, const QVariant& answer)
{
    answers_.append({kind, answer});
}

bool InteractionSeam::hasAnswer(ModalKind kind) const
{
    for (const auto& entry : answers_) {
        if (entry.first == kind)
            return true;
    }
    return false;
}

std::optional<QVariant> InteractionSeam::takeAnswer(ModalKind kind)
{
    for (qsizetype i = 0; i < answers_.size(); ++i) {
        if (answers_[i].first == kind)
            return answers_.takeAt(i).second;
    }
    return std::nullopt;
}

void InteractionSeam::clearAnswers()
{
    answers_.clear();
}

int InteractionSeam::execMenu(QMenu& menu, QPoint bottomLeft)
{
    menu.ensurePolished();
    const QPoint topLeft(bottomLeft.x(), bottomLeft.y() - menu.sizeHint().height());
    if (auto answer = takeAnswer(ModalKind::Menu)) {
        const int id = answer->toInt();
        QPointer<QMenu> open = &menu;
        whenReady(menu, [open] { return !open || open->isVisible(); },
            [open, id] {
                if (open)
                    answerMenu(*open, id);
            });
    }
    const Running running(*this, menu);
    const QAction* chosen = menu.exec(topLeft);
    return chosen ? chosen->data().toInt() : 0;
}

std::optional<SaveAnswer> InteractionSeam::execSaveDialog(QFileDialog& dialog)
{
    // Scripted answers are typed into Qt's own dialog; a person gets the same one.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (auto answer = takeAnswer(ModalKind::Save)) {
        const SaveAnswer given = answer->value<SaveAnswer>();
        answerWhenShown(dialog, [&dialog, given] { answerSaveDialog(dialog, given); });
    }
    const Running running(*this, dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    SaveAnswer chosen;
    chosen.fileName = files.first();
    chosen.filterIndex = static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter())) + 1;
    if (chosen.filterIndex < 1)
        chosen.filterIndex = 1;
    return chosen;
}

bool InteractionSeam::execPrintDialog(QPrintDialog& dialog)
{
    if (auto answer = takeAnswer(ModalKind::Print))
        answerWhenShown(dialog, [&dialog, given = *answer] { answerPrintDialog(dialog, given); });
    const Running running(*this, dialog);
    return dialog.exec() == QDialog::Accepted;
}

int InteractionSeam::execDialog(QDialog& dialog, ModalKind kind, const std::function<void(const QVariant&)>& give)
{
    if (auto answer = takeAnswer(kind))
        answerWhenShown(dialog, [give, given = *answer] { give(given); });
    const Running running(*this, dialog);
    return dialog.exec();
}

void InteractionSeam::setRecordingMessages(bool on)
{
    recording_ = on;
    if (!on)
        messages_.clear();
}

void InteractionSeam::recordMessage(const ShownMessage& message)
{
    if (!recording_)
        return;
    if (messages_.size() >= kMaxRecordedMessages)
        messages_.removeFirst();
    messages_.append(message);
}

QList<ShownMessage> InteractionSeam::takeMessages()
{
    QList<ShownMessage> taken;
    taken.swap(messages_);
    return taken;
}

bool InteractionSeam::modalOpen() const
{
    return !open_.empty() || foreignModalUp();
}

bool InteractionSeam::modalMayHold(const void* owner) const
{
    for (const OpenModal& modal : open_)
        if (modal.owner == owner || modal.owner == nullptr)
            return true;
    return foreignModalUp();
}

bool InteractionSeam::foreignModalUp() const
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return false;
    // Modal windows and popups that run their loops outside the seam (the print preview, Qt's own).
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible() || (!widget->isModal() && widget->windowType() != Qt::Popup))
            continue;
        // A submenu, or a question a dialog asks, belongs to the wait that opened its parent.
        bool ours = false;
        for (const QWidget* up = widget; up && !ours; up = up->parentWidget())
            ours = std::any_of(open_.begin(), open_.end(), [&](const OpenModal& modal) { return modal.widget == up; });
        if (!ours)
            return true;
    }
    return false;
}

void InteractionSeam::closeModalsOf(const void* owner)
{
    std::vector<QPointer<QWidget>> owned;
    for (const OpenModal& modal : open_)
        if (owner != nullptr && modal.owner == owner && modal.widget)
            owned.push_back(modal.widget);
    // Innermost first, as a person would close them.
    for (auto widget = owned.rbegin(); widget != owned.rend(); ++widget)
        if (*widget)
            (*widget)->close();
}

} // namespace didev
