#include "ui/ShowMessage.h"

#include "ui/CustomInputBox.h"
#include "ui/MessageRequest.h"

namespace didev {

int16_t ShowMessage(const QString& prompt, int16_t style, const QString& title)
{
    ResetMessageRequest();
    MessageRequest& request = messageRequest();
    request.Prompt = prompt;
    request.Title = title.isEmpty() ? QString::fromLatin1(kMessageCaption) : title;
    request.Style = style;
    request.ShowCheck = vbFalse;

    // Each showing loads the box afresh.
    CustomInputBox box;
    box.run();
    return messageRequest().Result;
}

} // namespace didev
