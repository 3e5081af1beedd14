#pragma once

#include <QLoggingCategory>

// What the capture road tells the log (stderr): the format chosen for each device, and every
// device that fails, with its name and GStreamer's reason.
Q_DECLARE_LOGGING_CATEGORY(captureLog)
