#pragma once

#include "common/HostBoolean.h"
#include "common/HostStringArray.h"

#include <QString>

#include <cstdint>

// The members of the automation class, as the module serves them (cDidevEvivod) and as a host
// calls them over the bus (AutomationClient). Integer is int16_t, Long int32_t, Boolean a 16-bit
// value with true = -1; by-reference arguments come back changed. Listed once here: an
// implementation declares them with DIDEV_AUTOMATION_MEMBERS(, override).
#define DIDEV_AUTOMATION_MEMBERS(VIRTUAL, SPECIFIER)                                                           \
    VIRTUAL void ClearSnapshots() SPECIFIER;                                                                   \
    VIRTUAL void ClearSavedSnapshots() SPECIFIER;                                                              \
    VIRTUAL void CloseForm(int16_t& formID, HostStringArray& passDataArray) SPECIFIER;                         \
    VIRTUAL void GetSettings(HostStringArray& passDataArray) SPECIFIER;                                        \
    VIRTUAL void GetSnapshot(int16_t& index, int32_t& hPicture, int16_t& frameID, double& frameTime,           \
        QString& frameTimecode) SPECIFIER;                                                                     \
    VIRTUAL int16_t GetSnapshotCount() SPECIFIER;                                                              \
    VIRTUAL void PictureSavedByLogger(int16_t& index, HostBoolean& setting) SPECIFIER;                         \
    VIRTUAL HostBoolean SaveSnapshot(int16_t& index, QString& fileName, int16_t& format, int16_t& colorDepth, \
        int16_t& colorReduction) SPECIFIER;                                                                    \
    VIRTUAL void SetPointers(QString& appMainWindow, QString& apPath, QString& wkPath, QString& tmpPath,       \
        int32_t& userRegArea) SPECIFIER;                                                                       \
    VIRTUAL void SetProperty(int16_t& propID, QString& propValue) SPECIFIER;                                   \
    VIRTUAL HostBoolean ShowForm(int16_t& formID, HostStringArray& passDataArray) SPECIFIER;                   \
    VIRTUAL int16_t TakeSnapshot() SPECIFIER;                                                                  \
    VIRTUAL HostBoolean AllowInternalCapture() const SPECIFIER;                                                \
    VIRTUAL void setAllowInternalCapture(HostBoolean value) SPECIFIER;

namespace didev {

class AutomationMembers {
public:
    virtual ~AutomationMembers() = default;
    DIDEV_AUTOMATION_MEMBERS(virtual, = 0)
};

} // namespace didev
