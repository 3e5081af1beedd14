#pragma once

#include "capture/CaptureOptions.h"
#include "capture/CaptureWindowEvents.h"

#include <QObject>
#include <QString>
#include <QTextStream>

#include <memory>

namespace didev {

class DidevEvivod;

// The capture window opened without a host: on the first camera, or on a built-in test
// pattern when there is none. Interactive, it runs until the window is closed; offscreen, it
// plays a short session, prints what it did and saves a screenshot of the window.
class StandaloneSession final : public QObject, private CaptureWindowEvents {
    Q_OBJECT

public:
    struct Settings {
        CaptureOptions capture;
        bool offscreen = false;
        int seconds = 4;
        QString screenshot;
    };

    StandaloneSession(Settings settings, QTextStream& out);
    ~StandaloneSession() override;

    // Opens the window; returns the process's exit code once the session is over.
    int run();

private:
    void FormClosed(HostStringArray& passDataArray) override;
    void SettingsChanged(HostStringArray& passDataArray) override;
    void KeyDown(int16_t& keyCode, int16_t& shift) override;

    void printDevices();
    void playOffscreen();
    void report(const char* what);
    bool saveScreenshot();

    Settings settings_;
    QTextStream& out_;
    std::unique_ptr<DidevEvivod> window_;
};

} // namespace didev
