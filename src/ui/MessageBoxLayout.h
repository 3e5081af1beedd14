#pragma once

#include "common/Twips.h"
#include "ui/MessageRequest.h"
#include "ui/MessageStyle.h"
#include "ui/WindowFrame.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace didev {

// The four icons by their place in the box's image list; None shows no icon.
enum class MessageIcon { None = 0, Stop = 1, Question = 2, Exclamation = 3, Information = 4 };

// The icon of a style (bits 4 to 7: 16 stop, 32 question, 48 exclamation, 64 information).
MessageIcon messageIcon(int32_t style);

struct MessageButton {
    QString caption;    // with its "&" before the accelerator letter
    MessageResult result;
};

// The buttons of a style (its low four bits), in order from the first.
QList<MessageButton> messageButtons(int32_t style);

// Text measured in twips: widths in the message's font and in the input box's font (which the
// icon box takes too), and the height of one line of the message ("X").
struct TextMeasure {
    std::function<double(const QString&)> messageWidth;
    std::function<double(const QString&)> inputWidth;
    double messageLineHeight = 0;
};

// The message cut into lines no wider than maxTextWidth at spaces; a word wider than that
// stays whole on a line of its own.
QStringList wrapMessage(const QString& prompt, double maxTextWidth, const std::function<double(const QString&)>& width);

// A control's rectangle in the box's client area.
using ControlRect = TwipsRect<double>;

// Every geometry of the box in twips. Controls are placed in the client area; the form's
// Left/Top/Width/Height are its outer frame on the screen.
struct MessageBoxGeometry {
    int32_t maxFormWidth = 0;
    double maxTextWidth = 0;

    MessageIcon icon = MessageIcon::None;
    ControlRect iconRect;

    ControlRect messageRect;
    QStringList lines;
    QList<double> lineTops;      // in messageRect

    int buttonCount = 0;
    std::array<MessageButton, 5> buttons{};
    std::array<ControlRect, 5> buttonRects{};

    bool inputVisible = false;
    ControlRect inputRect;
    bool checkVisible = false;
    ControlRect checkRect;

    ControlRect formRect;   // the outer frame on the screen
};

// Design sizes of the box's controls, in twips.
namespace messagebox {
inline constexpr ControlRect kIconRect{120, 120, 495, 555};
inline constexpr ControlRect kMessageRect{120, 270, 4035, 615};
inline constexpr ControlRect kInputRect{150, 480, 4005, 315};
inline constexpr ControlRect kCheckRect{150, 1590, 4005, 255};
inline constexpr double kButtonWidth = 1005;
inline constexpr double kButtonHeight = 345;
inline constexpr double kButtonTop = 1080;
inline constexpr std::array<double, 5> kButtonLefts{90, 1140, 2190, 3240, 4290};
inline constexpr double kCheckIndicatorWidth = 255;
} // namespace messagebox

// Lays the box out for the request on a screen of the given size (twips) with the given frame
// metrics. Pure: the window applies the result as it is.
MessageBoxGeometry layoutMessageBox(const MessageRequest& request, double screenWidth, double screenHeight,
    const WindowMetrics& metrics, const TextMeasure& measure);

} // namespace didev
