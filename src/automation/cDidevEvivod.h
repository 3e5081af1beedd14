#pragma once

#include "capture/CaptureOptions.h"
#include "capture/CaptureWindowEvents.h"
#include "common/HostBoolean.h"
#include "common/HostStringArray.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace didev {

class CaptureWindow;
class PictureWriter;

// The host's side of the events. They are raised synchronously from inside the window's
// handlers, so a host that calls back into the module from a handler re-enters it on the same
// thread (GetSettings from FormClosed still finds the window loaded). Arguments are by
// reference, as the host may change them.
class cDidevEvivodEvents {
public:
    virtual ~cDidevEvivodEvents() = default;
    virtual void FormClosed(HostStringArray& passDataArray) = 0;
    virtual void SettingsChanged(HostStringArray& passDataArray) = 0;
    virtual void KeyDown(int16_t& KeyCode, int16_t& Shift) = 0;
};

// The module's automation class: the whole of its contract with the host. A thin façade over
// the module-wide state, the capture window, the frame store, export and the viewer. Creating
// an instance resets the module-wide state for every instance. Integer is int16_t, Long
// int32_t, Boolean a 16-bit value with true = -1 (other values kept as given).
class cDidevEvivod : private CaptureWindowEvents {
public:
    cDidevEvivod();
    ~cDidevEvivod() override;
    cDidevEvivod(const cDidevEvivod&) = delete;
    cDidevEvivod& operator=(const cDidevEvivod&) = delete;

    // Sinks receive the events in the order they were added; a sink must outlive its registration.
    void addEventSink(cDidevEvivodEvents* sink);
    void removeEventSink(cDidevEvivodEvents* sink);

    // The devices that capture windows created from now on list. Without a choice, the
    // system's devices and the virtual ones named by the environment, read at each creation.
    static void setCaptureOptions(std::optional<CaptureOptions> options);

    // Takes its window off the screen at once, as a first step of a destruction that has to
    // wait; the window is unloaded by the destruction itself.
    void hideWindows();

    // The window ShowForm created last: null before it, still set after a user close
    // (unloaded then), cleared by CloseForm.
    CaptureWindow* captureWindow() const;

    void ClearSnapshots();
    void ClearSavedSnapshots();
    void CloseForm(int16_t& formID, HostStringArray& passDataArray);
    void GetSettings(HostStringArray& passDataArray);
    void GetSnapshot(int16_t& index, int32_t& hPicture, int16_t& frameID, double& frameTime, QString& frameTimecode);
    int16_t GetSnapshotCount();
    void PictureSavedByLogger(int16_t& index, HostBoolean& setting);
    HostBoolean SaveSnapshot(int16_t& index, QString& fileName, int16_t& format, int16_t& colorDepth,
        int16_t& colorReduction);
    void SetPointers(QString& appMainWindow, QString& apPath, QString& wkPath, QString& tmpPath, int32_t& userRegArea);
    void SetProperty(int16_t& propID, QString& propValue);
    HostBoolean ShowForm(int16_t& formID, HostStringArray& passDataArray);
    int16_t TakeSnapshot();
    HostBoolean AllowInternalCapture() const;
    void setAllowInternalCapture(HostBoolean value);

private:
    // The capture window's events, passed on to the sinks.
    void FormClosed(HostStringArray& passDataArray) override;
    void SettingsChanged(HostStringArray& passDataArray) override;
    void KeyDown(int16_t& keyCode, int16_t& shift) override;

    // Drops the reference; the window goes once control is back in the event loop, as it may
    // be on the stack (a host that shows a new window from FormClosed).
    void releaseCaptureWindow();

    void raiseFormClosed(HostStringArray& passDataArray);
    void raiseSettingsChanged(HostStringArray& passDataArray);
    void raiseKeyDown(int16_t& KeyCode, int16_t& Shift);

    QPointer<CaptureWindow> captureWindow_;
    std::unique_ptr<PictureWriter> pictureWriter_;
    std::vector<cDidevEvivodEvents*> sinks_;
    // True while the window's unload is raising FormClosed: a host that closes or drops the
    // window from its handler must not start the unload again.
    bool windowUnloading_ = false;
};

} // namespace didev
