#include "capture/CaptureError.h"

#include "common/AutomationError.h"

namespace didev {

const std::string& captureErrorSource()
{
    static const std::string source = executableName() + ".CaptureControl";
    return source;
}

void raiseCaptureError(CaptureErrorNumber number, const char* call, const QString& detail)
{
    throw AutomationError(static_cast<int32_t>(number), captureErrorSource(),
                          std::string(call) + ": " + detail.toStdString());
}

} // namespace didev
