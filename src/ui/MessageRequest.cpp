#include "ui/MessageRequest.h"

namespace didev {

MessageRequest& messageRequest()
{
    static MessageRequest request;
    return request;
}

void ResetMessageRequest()
{
    MessageRequest& r = messageRequest();
    r.Initialized = kHostTrue;
    r.Prompt.clear();
    r.Title = QString::fromLatin1(kMessageCaption);
    r.InputText.clear();
    r.CheckValue = 0;
    r.CheckCaption.clear();
    r.unused1 = 1;
    r.Result = 1;
    r.Left = -1;
    r.Top = -1;
    r.unused2 = -1;
    r.unused3 = -1;
    r.InputMaxChars = 0;
    r.ShowInput = kHostFalse;
    r.ShowCheck = kHostFalse;
    r.unused4 = 0;
    r.Style = 1;
}

} // namespace didev
