#pragma once

#include <QString>

#include <cstdint>

namespace didev {

// What ShowMessage returns for a box closed without a button.
constexpr int16_t kClosedWithoutButton = 1;

// Shows the prompt in the module's message box with the buttons and icon of `style` and
// returns the code of the button pressed; kClosedWithoutButton when the box was closed without
// one, or when a host's call asked for it while a modal window was open (no box is shown then).
// An empty title becomes "Didev Evivod".
int16_t ShowMessage(const QString& prompt, int16_t style, const QString& title = QString());

} // namespace didev
