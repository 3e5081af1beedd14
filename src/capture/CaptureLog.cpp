#include "capture/CaptureLog.h"

Q_LOGGING_CATEGORY(captureLog, "didev.capture", QtInfoMsg)
