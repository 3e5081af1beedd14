#pragma once

#include <QList>
#include <QMetaType>
#include <QPoint>
#include <QString>
#include <QVariant>

#include <QPointer>

#include <functional>
#include <optional>
#include <vector>

class QDialog;
class QFileDialog;
class QMenu;
class QPrintDialog;
class QWidget;

namespace didev {

// The kinds of modal wait that a scripted answer can be queued for.
enum class ModalKind { Message, Menu, Save, Print, Preview };

// A file chosen in the save dialog; an empty fileName stands for Cancel. filterIndex is 1-based.
struct SaveAnswer {
    QString fileName;
    int filterIndex = 1;
};

// A message box as it was shown, for the test driver.
struct ShownMessage {
    QString prompt;
    QString caption;
    int style = 0;

    bool operator==(const ShownMessage&) const = default;
};

// Every modal wait of the module (message box, popup menu, save dialog, print dialog, print
// preview) goes through here. With a scripted answer queued for its kind, the answer is given
// through the real widgets (a key or mouse event on the real button or menu item), so tests
// run the same code path as a person; with none queued the real modal UI waits for a person.
//
// Answers: Message an int button result (0 = the close box); Menu an int item id (0 = Escape);
// Save a SaveAnswer; Print a bool (true = OK in the print dialog) or a printer's name (chosen
// in the dialog's list of printers, then OK); Preview a bool (true = its Print button).
class InteractionSeam {
public:
    static InteractionSeam& instance();

    void queueAnswer(ModalKind kind, const QVariant& answer);
    bool hasAnswer(ModalKind kind) const;
    std::optional<QVariant> takeAnswer(ModalKind kind);
    void clearAnswers();

    // Opens the popup menu with its bottom-left corner at `bottomLeft` (global pixels) and
    // returns the id (QAction::data) of the chosen item, 0 when it was dismissed.
    int execMenu(QMenu& menu, QPoint bottomLeft);
    // Runs the save dialog; the chosen file name and 1-based filter index, nothing on Cancel.
    std::optional<SaveAnswer> execSaveDialog(QFileDialog& dialog);
    // Runs the print dialog; true when it was accepted.
    bool execPrintDialog(QPrintDialog& dialog);
    // Runs one of the module's own modal dialogs and returns its result code. A queued answer
    // of `kind` is handed to `give` once the dialog is up; `give` works the dialog's widgets.
    int execDialog(QDialog& dialog, ModalKind kind, const std::function<void(const QVariant&)>& give);

    // The message box records what it shows while recording is on (the test driver turns it
    // on); the test driver takes the list. Only the newest kMaxRecordedMessages are kept.
    static constexpr qsizetype kMaxRecordedMessages = 256;
    void setRecordingMessages(bool on);
    void recordMessage(const ShownMessage& message);
    QList<ShownMessage> takeMessages();

    // Who the modal waits opened from now on are for: a host's instance while its call or
    // event runs, nobody (nullptr) for what a person does at the screen. Restores the previous
    // owner when it ends.
    class OwnerScope {
    public:
        explicit OwnerScope(const void* owner);
        ~OwnerScope();
        OwnerScope(const OwnerScope&) = delete;
        OwnerScope& operator=(const OwnerScope&) = delete;

    private:
        const void* previous_;
    };
    const void* currentOwner() const { return owner_; }

    // A modal wait of the module (or a modal window or popup opened elsewhere) is running.
    bool modalOpen() const;
    // A running modal wait may hold code of `owner` below it on the stack: one opened for it,
    // one opened for nobody, or a modal window the seam did not open.
    bool modalMayHold(const void* owner) const;
    // Closes, as their close box would, the modal waits opened for `owner`; their loops return
    // once the loops opened above them have returned.
    void closeModalsOf(const void* owner);

    // True while a scripted session drives the module: a finished print document is then
    // written as PDF instead of being shown in the preview.
    bool unattended() const { return unattended_; }
    void setUnattended(bool unattended) { unattended_ = unattended; }

private:
    struct OpenModal {
        QPointer<QWidget> widget;
        const void* owner;
    };
    class Running;

    InteractionSeam() = default;
    // A modal window or popup is up that the seam did not open (the print preview, Qt's own).
    bool foreignModalUp() const;

    QList<std::pair<ModalKind, QVariant>> answers_;
    QList<ShownMessage> messages_;
    bool recording_ = false;
    bool unattended_ = false;
    const void* owner_ = nullptr;
    // Innermost last.
    std::vector<OpenModal> open_;
};

} // namespace didev

Q_DECLARE_METATYPE(didev::SaveAnswer)
Q_DECLARE_METATYPE(didev::ShownMessage)
