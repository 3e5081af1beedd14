#pragma once

#include <QList>
#include <QMetaType>
#include <QPoint>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

class QDialog;
class QFileDialog;
class QMenu;
class QPrintDialog;

namespace didev {

// The kinds of modal wait that a scripted answer can be queued for.
enum class ModalKind { Message, Menu, Save, Print };

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
};

// Every modal wait of the module (message box, popup menu, save dialog, print dialog, print
// preview) goes through here. With a scripted answer queued for its kind, the answer is given
// through the real widgets (a key or mouse event on the real button or menu item), so tests
// run the same code path as a person; with none queued the real modal UI waits for a person.
//
// Answers: Message an int button result (0 = the close box); Menu an int item id (0 = Escape);
// Save a SaveAnswer; Print a bool (true = OK in the print dialog).
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

    // The message box records what it shows; the test driver takes the list.
    void recordMessage(const ShownMessage& message);
    QList<ShownMessage> takeMessages();

    // True while a scripted session drives the module: a finished print document is then
    // written as PDF instead of being shown in the preview.
    bool unattended() const { return unattended_; }
    void setUnattended(bool unattended) { unattended_ = unattended; }

private:
    InteractionSeam() = default;

    QList<std::pair<ModalKind, QVariant>> answers_;
    QList<ShownMessage> messages_;
    bool unattended_ = false;
};

} // namespace didev

Q_DECLARE_METATYPE(didev::SaveAnswer)
