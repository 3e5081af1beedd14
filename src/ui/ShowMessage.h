#pragma once

#include <QString>

#include <cstdint>

namespace didev {

// Shows the prompt in the module's message box with the buttons and icon of `style` and
// returns the code of the button pressed; 1 when the box was closed without a button. An empty
// title becomes "Didev Evivod".
int16_t ShowMessage(const QString& prompt, int16_t style, const QString& title = QString());

} // namespace didev
