#pragma once

#include "ui/MessageBoxLayout.h"
#include "ui/MessageStyle.h"

#include <QDialog>
#include <QString>

#include <array>
#include <exception>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace didev {

class MessageImage;

// The module's own message box: an icon, the message, one to five buttons and optionally an
// input box and a check box, laid out from messageRequest(). It is modal, stays above other
// windows and has no owner. A button click stores its result code in the request and closes
// the box; the close box stores nothing.
class MessageBox final : public QDialog {
    Q_OBJECT

public:
    MessageBox();
    ~MessageBox() override;

    // Loads the box from messageRequest(), shows it modally (through the interaction seam) and
    // returns once it has closed.
    void run();

    // The newest box on the screen now, if any, and how many are on it.
    static MessageBox* current();
    static int shownCount();

    const MessageBoxGeometry& layout() const { return layout_; }
    QPushButton* button(int number) const;    // 1 to 5, left to right
    QLineEdit* inputField() const { return inputField_; }
    QCheckBox* checkBox() const { return checkBox_; }
    QLabel* icon() const { return icon_; }
    MessageImage* messageText() const { return messageText_; }

    // The result code a button carries in its tag.
    static int tagOf(const QPushButton& button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void load();
    void warnNotInitialized();
    void apply(const MessageBoxGeometry& g);
    void buttonClicked(QPushButton* button);
    // The typed character as an accelerator: true when it clicked a button.
    bool clickAccelerator(const QString& typed);
    void giveScriptedAnswer(const QVariant& answer);

    QLabel* icon_;
    MessageImage* messageText_;
    std::array<QPushButton*, 5> buttons_{};
    QLineEdit* inputField_;
    QCheckBox* checkBox_;
    MessageBoxGeometry layout_;
};

// What askUser returns for a box closed without a button.
inline constexpr MessageResult kClosedWithoutButton = MessageResult::Ok;

// Shows the prompt in the module's message box with the buttons and icon of `style` and
// returns the button pressed; kClosedWithoutButton when the box was closed without one, or
// when a host's call asked for it while a modal window was open (no box is shown then). An
// empty title becomes "Didev Evivod".
MessageResult askUser(const QString& prompt, MessageStyle style, const QString& title = QString());

// Tells the user of an error that has no caller to go to (a click, a key press): its text in an
// exclamation box. A numbered error's text is "Error <number> (<source>): <description>".
void tellUser(const std::exception& error);

} // namespace didev
