#pragma once

#include "automation/Module.h"
#include "automation/cDidevEvivod.h"
#include "capture/CaptureOptions.h"

#include <QObject>
#include <QString>
#include <QTextStream>

#include <memory>

namespace didev {

// didev-evivod without a host of its own: it is the host, in process. It shows the capture
// window through the automation class with "Y" and the geometry saved by the last run, on the
// first camera or a built-in test pattern, and on FormClosed prints the array and keeps it as
// the next run's ShowForm input. Interactive, it runs until the window is closed; offscreen,
// it plays a short scripted session (grab, one JPEG and one bitmap, a screenshot) and says
// what it did.
class StandaloneSession final : public QObject, private cDidevEvivodEvents {
    Q_OBJECT

public:
    struct Settings {
        CaptureOptions capture;
        bool offscreen = false;
        int seconds = 4;
        // Off screen: the screenshot's file; empty puts didev-evivod.png into the output folder.
        QString screenshot;
        // Off screen: where the grabbed frame and the screenshot go; empty makes a new temporary folder.
        QString outputFolder;
        // The host's file of the next ShowForm input.
        QString settingsFile;
    };

    StandaloneSession(Settings settings, QTextStream& out);
    ~StandaloneSession() override;

    // Shows the window; returns the process's exit code once the session is over.
    int run();

private:
    void FormClosed(HostStringArray& passDataArray) override;
    void SettingsChanged(HostStringArray& passDataArray) override;
    void KeyDown(int16_t& KeyCode, int16_t& Shift) override;

    void chooseDevices();
    void printDevices();
    bool playOffscreen();
    // The output folder, made on first use; empty when it cannot be made.
    QString outputFolder();
    bool grabAndSave();
    bool saveFrame(int16_t index, const QString& fileName, int16_t format, const char* kind);
    void printSettings();
    void report(const char* what);
    bool saveScreenshot();

    Settings settings_;
    QTextStream& out_;
    Module module_;
    std::unique_ptr<cDidevEvivod> automation_;
    bool formClosed_ = false;
    QString outputFolder_;
};

} // namespace didev
