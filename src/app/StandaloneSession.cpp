#include "app/StandaloneSession.h"

#include "capture/DidevEvivod.h"
#include "capture/StatusPanel.h"
#include "capture/VideoView.h"
#include "state/ModuleState.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QTimer>

namespace didev {

namespace {

constexpr const char* kTestPatternName = "Test Pattern";

void waitFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

const char* stageName(int32_t stage)
{
    static const char* names[] = {"source", "processors", "compressor"};
    return stage >= 0 && stage < 3 ? names[stage] : "?";
}

} // namespace

StandaloneSession::StandaloneSession(Settings settings, QTextStream& out)
    : settings_(std::move(settings))
    , out_(out)
{
}

StandaloneSession::~StandaloneSession() = default;

int StandaloneSession::run()
{
    ModuleState& state = moduleState();
    state.closeNotifyRequest = QStringLiteral("Y");
    window_ = std::make_unique<DidevEvivod>(settings_.capture);
    window_->setEventSink(this);

    CaptureControl& capture = window_->captureControl();
    if (capture.videoDevices().count() == 0) {
        VirtualVideoDevice pattern;
        pattern.name = QString::fromLatin1(kTestPatternName);
        pattern.format = {1280, 720, 25};
        capture.plugVirtualVideo(pattern);
        out_ << "no camera found: using the built-in \"" << kTestPatternName << "\"\n";
    }
    printDevices();

    QElapsedTimer sinceShown;
    window_->Load();
    window_->show();
    sinceShown.start();
    connect(&window_->videoView(), &VideoView::framePainted, this, [this, sinceShown] {
        if (window_->videoView().framesShown() == 1)
            out_ << "first frame painted " << sinceShown.elapsed() << " ms after the window was shown\n" << Qt::flush;
    });
    report("opened");

    if (!settings_.offscreen) {
        out_ << "close the window to quit; keys pressed in it are printed\n" << Qt::flush;
        connect(qApp, &QApplication::lastWindowClosed, qApp, &QApplication::quit);
        const int code = QApplication::exec();
        report("closed");
        return code;
    }
    playOffscreen();
    const bool saved = saveScreenshot();
    window_->close();
    report("closed");
    return saved ? 0 : 1;
}

void StandaloneSession::printDevices()
{
    const CaptureControl& capture = window_->captureControl();
    out_ << "video devices: " << capture.videoDevices().count() << "\n";
    for (int i = 0; i < capture.videoDevices().count(); ++i)
        out_ << "  " << i << ": " << capture.videoDevices().itemName(i) << "\n";
    out_ << "audio devices: " << capture.audioDevices().count() << "\n";
    for (int i = 0; i < capture.audioDevices().count(); ++i)
        out_ << "  " << i << ": " << capture.audioDevices().itemName(i) << "\n";
    out_ << Qt::flush;
}

void StandaloneSession::playOffscreen()
{
    // Most of the time on the source, then the compression the crew would judge, then back.
    const int total = std::max(1, settings_.seconds) * 1000;
    waitFor(total / 2);
    report("live");
    window_->captureControl().setPreviewStage(2);
    out_ << "preview stage: " << stageName(2) << "\n";
    waitFor(total / 4);
    report("compressed");
    window_->captureControl().setPreviewStage(0);
    out_ << "preview stage: " << stageName(0) << "\n";
    waitFor(total - total / 2 - total / 4);
}

void StandaloneSession::report(const char* what)
{
    const CaptureControl& capture = window_->captureControl();
    const VideoView& view = window_->videoView();
    out_ << what << ": video \"" << window_->panel(1).text() << "\", audio \"" << window_->panel(2).text()
         << "\", preview " << (capture.preview() ? "on" : "off") << ", frames received "
         << capture.frames().framesReceived() << ", frames shown " << view.framesShown() << ", dropped "
         << capture.frames().framesDropped();
    if (view.lastLatency())
        out_ << ", latency " << std::chrono::duration_cast<std::chrono::microseconds>(*view.lastLatency()).count() / 1000.0
             << " ms";
    out_ << "\n" << Qt::flush;
}

bool StandaloneSession::saveScreenshot()
{
    if (settings_.screenshot.isEmpty())
        return true;
    const QImage shot = window_->grab().toImage();
    if (!shot.save(settings_.screenshot, "PNG")) {
        out_ << "could not write the screenshot " << settings_.screenshot << "\n" << Qt::flush;
        return false;
    }
    out_ << "screenshot " << shot.width() << " x " << shot.height() << ": " << settings_.screenshot << "\n" << Qt::flush;
    return true;
}

void StandaloneSession::FormClosed(HostStringArray& passDataArray)
{
    out_ << "window closed at top " << passDataArray.at(1) << ", left " << passDataArray.at(2) << ", width "
         << passDataArray.at(3) << ", height " << passDataArray.at(4) << " twips\n" << Qt::flush;
}

void StandaloneSession::SettingsChanged(HostStringArray&)
{
}

void StandaloneSession::KeyDown(int16_t& keyCode, int16_t& shift)
{
    out_ << "key " << keyCode << " shift " << shift << "\n" << Qt::flush;
}

} // namespace didev
