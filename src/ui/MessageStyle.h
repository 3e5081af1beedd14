#pragma once

#include <cstdint>

namespace didev {

// The styles of the module's own message boxes: the button set in the low four bits, the icon
// in bits 4 to 7.
enum class MessageStyle : int16_t {
    Critical = 16,        // OK, stop icon
    QuestionYesNo = 36,   // Yes and No, question icon
    Exclamation = 48,     // OK, exclamation icon
    Information = 64,     // OK, information icon
};

// Result codes of the message box's buttons.
enum class MessageResult : int16_t {
    Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7, YesToAll = 8, NoToAll = 9,
};

} // namespace didev
