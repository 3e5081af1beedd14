#pragma once

#include "common/HostBoolean.h"

#include <QString>

#include <cstdint>

namespace didev {

// Caption of every message box whose caller gave no title.
inline constexpr const char* kMessageCaption = "Didev Evivod";

// What the caller asks of the message box and what it answers. A record that nobody reset
// holds zeros, and the box warns about it.
struct MessageRequest {
    HostBoolean Initialized = kHostFalse;
    QString Prompt;
    QString Title;
    QString InputText;        // follows the input box while it is open
    int16_t CheckValue = 0;   // 0 clear, 1 ticked; follows the check box while it is open
    QString CheckCaption;
    int16_t unused1 = 0;
    int16_t Result = 0;       // code of the button that closed the box
    int32_t Left = 0;         // -1 centres the box horizontally on the screen
    int32_t Top = 0;          // -1 centres it vertically
    int32_t unused2 = 0;
    int32_t unused3 = 0;
    int16_t InputMaxChars = 0;
    HostBoolean ShowInput = kHostFalse;
    HostBoolean ShowCheck = kHostFalse;
    int16_t unused4 = 0;
    int32_t Style = 0;        // button set in the low four bits, icon in bits 4 to 7

    bool operator==(const MessageRequest&) const = default;
};

// The module's one request record.
MessageRequest& messageRequest();

// Sets every field of messageRequest() to its reset value: Initialized true, Title "Didev
// Evivod", Result 1, Left and Top -1 (centred), Style 1, no input box and no check box.
void ResetMessageRequest();

} // namespace didev
