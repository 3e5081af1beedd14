#pragma once

#include "ui/MessageBoxLayout.h"

#include <QDialog>

#include <array>

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
class CustomInputBox final : public QDialog {
    Q_OBJECT

public:
    CustomInputBox();
    ~CustomInputBox() override;

    // Loads the box from messageRequest(), shows it modally (through the interaction seam) and
    // returns once it has closed.
    void run();

    // The newest box on the screen now, if any, and how many are on it.
    static CustomInputBox* current();
    static int shownCount();

    const MessageBoxGeometry& layout() const { return layout_; }
    QPushButton* command(int number) const;    // Command1 to Command5
    QLineEdit* text1() const { return text1_; }
    QCheckBox* check1() const { return check1_; }
    QLabel* iconImage() const { return iconImage_; }
    MessageImage* messageImage() const { return messageImage_; }

    // The result code a button carries in its tag.
    static int tagOf(const QPushButton& button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void load();
    void warnNotInitialized();
    void apply(const MessageBoxGeometry& g);
    void commandClicked(QPushButton* button);
    // The typed character as an accelerator: true when it clicked a button.
    bool clickAccelerator(const QString& typed);
    void giveScriptedAnswer(const QVariant& answer);

    QLabel* iconImage_;
    MessageImage* messageImage_;
    std::array<QPushButton*, 5> commands_{};
    QLineEdit* text1_;
    QCheckBox* check1_;
    MessageBoxGeometry layout_;
};

} // namespace didev
