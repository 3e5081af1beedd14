#pragma once

#include "common/AutomationMembers.h"
#include "common/HostBoolean.h"
#include "common/HostStringArray.h"

#include <QMetaObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace didev {

class CaptureWindow;
class Module;
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
// the module it is given (state, viewer, devices), the capture window, export and the viewer.
// Creating an instance resets the module's state for every instance. The module outlives the
// instance. Boolean values other than -1 and 0 are kept as given.
class cDidevEvivod : public AutomationMembers {
public:
    explicit cDidevEvivod(Module& module);
    ~cDidevEvivod() override;
    cDidevEvivod(const cDidevEvivod&) = delete;
    cDidevEvivod& operator=(const cDidevEvivod&) = delete;

    // Sinks receive the events in the order they were added; a sink must outlive its registration.
    void addEventSink(cDidevEvivodEvents* sink);
    void removeEventSink(cDidevEvivodEvents* sink);

    // Takes its window off the screen at once, as a first step of a destruction that has to
    // wait; the window is unloaded by the destruction itself.
    void hideWindows();

    // The window ShowForm created last: null before it, still set after a user close
    // (unloaded then), cleared by CloseForm.
    CaptureWindow* captureWindow() const;

    DIDEV_AUTOMATION_MEMBERS(, override)

private:
    // The capture window's events, passed on to the sinks. FormClosed carries the placements
    // the window stored as it unloaded.
    void FormClosed();

    // Drops the reference; the window goes once control is back in the event loop, as it may
    // be on the stack (a host that shows a new window from FormClosed).
    void releaseCaptureWindow();

    void raiseFormClosed(HostStringArray& passDataArray);
    void raiseKeyDown(int16_t& KeyCode, int16_t& Shift);

    Module& module_;
    QPointer<CaptureWindow> captureWindow_;
    QMetaObject::Connection formClosedConnection_;
    QMetaObject::Connection keyDownConnection_;
    std::unique_ptr<PictureWriter> pictureWriter_;
    std::vector<cDidevEvivodEvents*> sinks_;
    // True while the window's unload is raising FormClosed: a host that closes or drops the
    // window from its handler must not start the unload again.
    bool windowUnloading_ = false;
};

} // namespace didev
