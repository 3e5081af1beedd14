#include "app/StandaloneSession.h"
#include "app/WindowSettingsFile.h"
#include "automation/AutomationServer.h"
#include "capture/DeviceMonitor.h"
#include "capture/NetworkCameras.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QProcessEnvironment>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>

using namespace didev;

namespace {

bool displayAvailable()
{
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv)
{
    // Without a display the window is drawn off screen; the choice has to be made before Qt starts.
    const bool offscreen = !displayAvailable() && !std::getenv("QT_QPA_PLATFORM");
    if (offscreen)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const bool drawnOffscreen = offscreen || qgetenv("QT_QPA_PLATFORM") == "offscreen";

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("didev-evivod"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Kelvara Didev Evivod, the video-assist module, with a host of its own: it shows the capture\n"
        "window on the first camera, or on a built-in \"Test Pattern\" when there is none, at the\n"
        "place and size it had when the last run closed (kept in\n"
        "$XDG_STATE_HOME/didev-evivod/show-form-settings). Without a display it runs off screen for a\n"
        "few seconds, grabs a frame, saves it as JPEG and as bitmap and a screenshot of the window\n"
        "into its output folder, and prints what it did.\n"
        "\n"
        "Virtual devices are also read from DIDEV_VIRTUAL_VIDEO and DIDEV_VIRTUAL_AUDIO\n"
        "(';'-separated; an option of the same kind replaces its variable). A video entry is\n"
        "NAME[:PATTERN[:WIDTHxHEIGHT[@FPS][:KIND]]], PATTERN a videotestsrc pattern (default smpte),\n"
        "size 640x480@25 unless given, KIND raw (YUY2, the default), mjpeg (JPEG only), broken\n"
        "(refuses to start) or vanishing (fails mid-stream as an unplugged camera does). They are\n"
        "devices of the module's own GStreamer device provider, listed after the system's. The log\n"
        "(stderr) names the format chosen for each camera and every camera that fails.\n"
        "\n"
        "Network sources are cameras too: NAME=URI a line in\n"
        "$XDG_CONFIG_HOME/didev-evivod/network-sources ('#' starts a comment), and for one run\n"
        "--network-video or DIDEV_NETWORK_VIDEO (';'-separated). URIs: rtsp://HOST[:PORT]/PATH,\n"
        "srt://HOST:PORT (add ?mode=listener to wait for the sender; MPEG-TS with H.264),\n"
        "udp://ADDRESS:PORT?encoding=JPEG or ?encoding=H264 (RTP), http://HOST[:PORT]/PATH\n"
        "(multipart JPEG). A source is listed while its stream comes and again when it comes back."));
    parser.addHelpOption();
    const QCommandLineOption virtualVideo(QStringLiteral("virtual-video"),
        QStringLiteral("Adds a test-pattern camera (repeatable)."), QStringLiteral("NAME[:PATTERN[:SIZE[:KIND]]]"));
    const QCommandLineOption virtualAudio(QStringLiteral("virtual-audio"),
        QStringLiteral("Adds a test-tone microphone (repeatable)."), QStringLiteral("NAME"));
    const QCommandLineOption networkVideo(QStringLiteral("network-video"),
        QStringLiteral("Adds a network source for this run (repeatable)."), QStringLiteral("NAME=URI"));
    const QCommandLineOption noSystemDevices(QStringLiteral("no-system-devices"),
        QStringLiteral("Lists only the virtual devices."));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
        QStringLiteral("Off screen: how long the session runs (default 4)."), QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
        QStringLiteral("Off screen: where the screenshot goes (default didev-evivod.png in the output folder)."),
        QStringLiteral("FILE"));
    const QCommandLineOption output(QStringLiteral("output"),
        QStringLiteral("Off screen: the folder for the grabbed frame and the screenshot (default a new temporary "
                       "folder)."),
        QStringLiteral("DIR"));
    const QCommandLineOption dbus(QStringLiteral("dbus"),
        QStringLiteral("Serves hosts on the session bus as org.kelvara.DidevEvivod (D-Bus starts it so)."));
    const QCommandLineOption testDriver(QStringLiteral("test-driver"),
        QStringLiteral("With --dbus: also exports the test driver (for end-to-end tests only)."));
    parser.addOptions({virtualVideo, virtualAudio, networkVideo, noSystemDevices, seconds, screenshot, output, dbus, testDriver});
    parser.process(app);

    CaptureOptions capture;
    try {
        capture = captureOptionsFrom(
            parser.isSet(virtualVideo) ? std::optional(parser.values(virtualVideo)) : std::nullopt,
            parser.isSet(virtualAudio) ? std::optional(parser.values(virtualAudio)) : std::nullopt,
            QProcessEnvironment::systemEnvironment());
    } catch (const std::exception& error) {
        err << "didev-evivod: " << error.what() << "\n";
        return 2;
    }
    capture.systemDevices = !parser.isSet(noSystemDevices);

    // One watch over the devices for the whole run, however many windows open; it stops before
    // the application goes. It also announces the virtual devices, which come and go as cameras do.
    std::optional<DeviceMonitor> devices;
    try {
        devices.emplace();
    } catch (const std::exception& error) {
        err << "didev-evivod: " << error.what() << "\n";
        return 1;
    }

    // The network sources, listed by the same provider as the virtual devices once they answer.
    // A bad entry is told and passed over. Each source has had one try (bounded by its
    // connection time) before a window chooses its first camera.
    const NetworkSourceSettings network = networkSourcesFrom(
        parser.isSet(networkVideo) ? std::optional(parser.values(networkVideo)) : std::nullopt,
        QProcessEnvironment::systemEnvironment());
    for (const QString& problem : network.problems)
        err << "didev-evivod: network source skipped: " << problem << "\n";
    err.flush();
    std::optional<NetworkCameras> networkCameras;
    if (!network.streams.empty()) {
        networkCameras.emplace(network.streams);
        networkCameras->waitForFirstAttempts(network.streams.front().timings.connect + std::chrono::milliseconds(500));
    }

    // Other ways of running the module, such as serving hosts over the session bus, branch off
    // here; their capture windows list the same devices.
    if (parser.isSet(dbus)) {
        AutomationServerOptions serverOptions = automationServerOptions(app.arguments());
        if (parser.isSet(virtualVideo) || parser.isSet(virtualAudio) || parser.isSet(noSystemDevices))
            serverOptions.capture = capture;
        return runAutomationServer(serverOptions);
    }

    StandaloneSession::Settings settings;
    settings.capture = capture;
    bool secondsValid = false;
    settings.seconds = parser.value(seconds).toInt(&secondsValid);
    if (!secondsValid || settings.seconds < 1 || settings.seconds > 3600) {
        err << "didev-evivod: --seconds takes a whole number from 1 to 3600\n";
        return 2;
    }
    settings.offscreen = drawnOffscreen;
    settings.settingsFile = WindowSettingsFile::defaultPath(QProcessEnvironment::systemEnvironment());
    if (drawnOffscreen) {
        if (parser.isSet(screenshot))
            settings.screenshot = QDir::current().absoluteFilePath(parser.value(screenshot));
        if (parser.isSet(output))
            settings.outputFolder = QDir::current().absoluteFilePath(parser.value(output));
        out << "no display: running off screen for " << settings.seconds << " s\n";
    }

    try {
        StandaloneSession session(settings, out);
        return session.run();
    } catch (const std::exception& error) {
        err << "didev-evivod: " << error.what() << "\n";
        return 1;
    }
}
