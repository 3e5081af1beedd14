#include "ui/ShowMessage.h"

#include "ui/CustomInputBox.h"
#include "ui/InteractionSeam.h"
#include "ui/MessageRequest.h"

namespace didev {

int16_t ShowMessage(const QString& prompt, int16_t style, const QString& title)
{
    // A host's call never opens a box over an open one: it is answered at once, as if its box
    // had been closed, because each box's loop serves the next queued call and would stack
    // boxes (and the stack) without end; queueing it instead would make the user answer them all.
    const InteractionSeam& seam = InteractionSeam::instance();
    if (seam.currentOwner() != nullptr && seam.modalOpen())
        return kClosedWithoutButton;

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
