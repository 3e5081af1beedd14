#include "app/StandaloneSession.h"

#include "app/QuitSignals.h"
#include "app/WindowSettingsFile.h"
#include "capture/CaptureWindow.h"
#include "capture/VideoView.h"
#include "common/AutomationError.h"
#include "ui/StatusPanel.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>

namespace didev {

namespace {

constexpr const char* kTestPatternName = "Test Pattern";
constexpr int16_t kHostJpegFormat = 3;
constexpr int16_t kHostBitmapFormat = 1;
constexpr int kGeometryEntries = 8;
constexpr int kFirstFrameWait = 5000;

const char* const kEntryNames[kGeometryEntries] = {
    "capture top", "capture left", "capture width", "capture height",
    "viewer top", "viewer left", "viewer width", "viewer height"};

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

QString automationDateText(double date)
{
    const double days = std::floor(date);
    const auto milliseconds = static_cast<qint64>(std::llround((date - days) * 86400000.0));
    const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    return epoch.addDays(static_cast<qint64>(days)).addMSecs(milliseconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

void printArray(QTextStream& out, const HostStringArray& array)
{
    for (int entry = 1; entry <= kGeometryEntries; ++entry) {
        const QString& value = array.at(entry);
        out << "  " << entry << " " << kEntryNames[entry - 1] << ": " << (value.isEmpty() ? QStringLiteral("(empty)") : value)
            << "\n";
    }
}

} // namespace

StandaloneSession::StandaloneSession(Settings settings, QTextStream& out)
    : settings_(std::move(settings))
    , out_(out)
{
}

StandaloneSession::~StandaloneSession()
{
    if (automation_)
        automation_->removeEventSink(this);
}

void StandaloneSession::chooseDevices()
{
    // Listing the devices once tells whether the built-in pattern has to stand in for a camera.
    bool noVideo = false;
    {
        CaptureControl probe(settings_.capture);
        noVideo = probe.videoDevices().count() == 0;
    }
    if (noVideo) {
        VirtualVideoDevice pattern;
        pattern.name = QString::fromLatin1(kTestPatternName);
        pattern.format = {1280, 720, 25};
        settings_.capture.virtualVideo.append(pattern);
        out_ << "no camera found: using the built-in \"" << kTestPatternName << "\"\n";
    }
    module_.setCaptureOptions(settings_.capture);
}

int StandaloneSession::run()
{
    chooseDevices();
    automation_ = std::make_unique<cDidevEvivod>(module_);
    automation_->addEventSink(this);

    QString appMainWindow;
    QString apPath = QCoreApplication::applicationDirPath();
    QString wkPath = QDir::currentPath();
    QString tmpPath = QDir::tempPath();
    int32_t userRegArea = 0;
    automation_->SetPointers(appMainWindow, apPath, wkPath, tmpPath, userRegArea);

    const WindowSettingsFile file(settings_.settingsFile);
    HostStringArray showFormArray = file.showFormArray(QStringLiteral("Y"));
    out_ << "ShowForm with \"Y\" and the geometry of " << file.path() << ":\n";
    for (int entry = 2; entry <= 9; ++entry) {
        const QString& value = showFormArray.at(entry);
        out_ << "  " << entry << " " << kEntryNames[entry - 2] << ": " << (value.isEmpty() ? QStringLiteral("(empty)") : value)
             << "\n";
    }

    QElapsedTimer sinceShown;
    sinceShown.start();
    int16_t formID = 0;
    try {
        automation_->ShowForm(formID, showFormArray);
    } catch (const AutomationError& error) {
        // A kept file the module cannot read must not stop every later run.
        out_ << "ShowForm: error " << error.number() << " (" << error.what()
             << "); showing the window at its design size instead\n";
        showFormArray = HostStringArray(1, 9);
        showFormArray.set(1, QStringLiteral("Y"));
        automation_->ShowForm(formID, showFormArray);
    }
    CaptureWindow& window = *automation_->captureWindow();
    printDevices();
    // Told once: the view may show frames from a streaming thread, and every further notice
    // would wake this thread for nothing.
    auto firstFrame = std::make_shared<QMetaObject::Connection>();
    *firstFrame = connect(&window.videoView(), &VideoView::framePainted, this, [this, firstFrame, sinceShown] {
        // Notices posted before the first is taken find it let go.
        if (!QObject::disconnect(*firstFrame))
            return;
        out_ << "first frame painted " << sinceShown.elapsed() << " ms after ShowForm was called\n" << Qt::flush;
    });
    report("opened");

    if (!settings_.offscreen) {
        out_ << "close the window to quit; \"S\" grabs a frame; keys pressed in it are printed\n" << Qt::flush;
        connect(qApp, &QApplication::lastWindowClosed, qApp, &QApplication::quit);
        // Interrupted from the terminal, the host still closes the window and keeps its geometry.
        QuitSignals quitSignals;
        connect(&quitSignals, &QuitSignals::received, this, [this](int signalNumber) {
            out_ << "signal " << signalNumber << ": CloseForm\n" << Qt::flush;
            int16_t closeFormID = 0;
            HostStringArray closeArray(1, 1);
            automation_->CloseForm(closeFormID, closeArray);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        });
        const int code = formClosed_ ? 0 : QApplication::exec();
        automation_.reset();
        return code;
    }
    const bool played = playOffscreen();
    automation_.reset();
    return played ? 0 : 1;
}

void StandaloneSession::printDevices()
{
    const CaptureControl& capture = automation_->captureWindow()->captureControl();
    out_ << "video devices: " << capture.videoDevices().count() << "\n";
    for (int i = 0; i < capture.videoDevices().count(); ++i)
        out_ << "  " << i << ": " << capture.videoDevices().itemName(i) << "\n";
    out_ << "audio devices: " << capture.audioDevices().count() << "\n";
    for (int i = 0; i < capture.audioDevices().count(); ++i)
        out_ << "  " << i << ": " << capture.audioDevices().itemName(i) << "\n";
    out_ << Qt::flush;
}

bool StandaloneSession::playOffscreen()
{
    CaptureWindow& window = *automation_->captureWindow();
    const int total = std::max(1, settings_.seconds) * 1000;
    QElapsedTimer clock;
    clock.start();
    // A grab needs a frame to take; the first one comes within moments of the start.
    while (window.videoView().framesShown() == 0 && clock.elapsed() < kFirstFrameWait)
        waitFor(50);
    waitFor(std::max(0, total / 2 - static_cast<int>(clock.elapsed())));
    report("live");
    const bool saved = grabAndSave();

    // Then the compression the crew would judge, and back to the source.
    window.captureControl().setPreviewStage(2);
    out_ << "preview stage: " << stageName(2) << "\n";
    waitFor(total / 4);
    report("compressed");
    window.captureControl().setPreviewStage(0);
    out_ << "preview stage: " << stageName(0) << "\n";
    waitFor(std::max(0, total - static_cast<int>(clock.elapsed())));

    printSettings();
    const bool shot = saveScreenshot();
    int16_t formID = 0;
    HostStringArray closeArray(1, 1);
    out_ << "CloseForm\n" << Qt::flush;
    automation_->CloseForm(formID, closeArray);
    report("closed");
    return saved && shot && formClosed_;
}

bool StandaloneSession::grabAndSave()
{
    const int16_t frameID = automation_->TakeSnapshot();
    const int16_t count = automation_->GetSnapshotCount();
    out_ << "TakeSnapshot: frame " << frameID << ", " << count << " frame(s) stored\n";
    if (frameID == 0 || count == 0) {
        out_ << "no frame was grabbed\n" << Qt::flush;
        return false;
    }
    int16_t index = count;
    int32_t hPicture = 0;
    int16_t storedID = 0;
    double frameTime = 0;
    QString frameTimecode;
    automation_->GetSnapshot(index, hPicture, storedID, frameTime, frameTimecode);
    out_ << "GetSnapshot " << index << ": picture handle " << hPicture << ", frame " << storedID << ", taken "
         << automationDateText(frameTime) << " (" << QString::number(frameTime, 'f', 8) << ")\n";

    const QString folder = outputFolder();
    if (folder.isEmpty())
        return false;
    const QString base = QDir(folder).filePath(QStringLiteral("frame-%1").arg(storedID));
    const bool jpeg = saveFrame(index, base + QStringLiteral(".jpg"), kHostJpegFormat, "JPEG");
    const bool bitmap = saveFrame(index, base + QStringLiteral(".bmp"), kHostBitmapFormat, "bitmap");
    return jpeg && bitmap;
}

QString StandaloneSession::outputFolder()
{
    if (!outputFolder_.isEmpty())
        return outputFolder_;
    if (settings_.outputFolder.isEmpty()) {
        QTemporaryDir temporary(QDir::temp().filePath(QStringLiteral("didev-evivod-XXXXXX")));
        if (!temporary.isValid()) {
            out_ << "no temporary folder for the frames: " << temporary.errorString() << "\n" << Qt::flush;
            return {};
        }
        // The files stay for the user to look at.
        temporary.setAutoRemove(false);
        outputFolder_ = temporary.path();
    } else if (QDir().mkpath(settings_.outputFolder)) {
        outputFolder_ = settings_.outputFolder;
    } else {
        out_ << "cannot create " << settings_.outputFolder << "\n" << Qt::flush;
    }
    return outputFolder_;
}

bool StandaloneSession::saveFrame(int16_t index, const QString& fileName, int16_t format, const char* kind)
{
    QString name = fileName;
    int16_t colorDepth = 0;
    int16_t colorReduction = 0;
    HostBoolean result = kHostFalse;
    try {
        result = automation_->SaveSnapshot(index, name, format, colorDepth, colorReduction);
    } catch (const AutomationError& error) {
        out_ << "SaveSnapshot " << kind << ": error " << error.number() << ": " << error.what() << "\n" << Qt::flush;
        return false;
    }
    out_ << "SaveSnapshot " << kind << ": " << result;
    if (result == kHostTrue)
        out_ << ", " << QFileInfo(name).size() << " bytes: " << name;
    out_ << "\n" << Qt::flush;
    return result == kHostTrue;
}

void StandaloneSession::printSettings()
{
    HostStringArray settings(1, kGeometryEntries);
    automation_->GetSettings(settings);
    out_ << "GetSettings (twips):\n";
    printArray(out_, settings);
    out_ << Qt::flush;
}

void StandaloneSession::report(const char* what)
{
    CaptureWindow* window = automation_->captureWindow();
    if (!window) {
        out_ << what << ": " << automation_->GetSnapshotCount() << " frame(s) stored\n" << Qt::flush;
        return;
    }
    const CaptureControl& capture = window->captureControl();
    const VideoView& view = window->videoView();
    out_ << what << ": video \"" << window->panel(1).text() << "\", audio \"" << window->panel(2).text() << "\", preview "
         << (capture.preview() ? "on" : "off") << ", frames received " << capture.frames().framesReceived()
         << ", frames shown " << view.framesShown() << ", dropped " << capture.frames().framesDropped();
    if (view.lastLatency())
        out_ << ", latency " << std::chrono::duration_cast<std::chrono::microseconds>(*view.lastLatency()).count() / 1000.0
             << " ms";
    out_ << "\n" << Qt::flush;
}

bool StandaloneSession::saveScreenshot()
{
    QString file = settings_.screenshot;
    if (file.isEmpty()) {
        const QString folder = outputFolder();
        if (folder.isEmpty())
            return false;
        file = QDir(folder).filePath(QStringLiteral("didev-evivod.png"));
    }
    const QImage shot = automation_->captureWindow()->grab().toImage();
    if (!shot.save(file, "PNG")) {
        out_ << "could not write the screenshot " << file << "\n" << Qt::flush;
        return false;
    }
    out_ << "screenshot " << shot.width() << " x " << shot.height() << ": " << file << "\n" << Qt::flush;
    return true;
}

void StandaloneSession::FormClosed(HostStringArray& passDataArray)
{
    formClosed_ = true;
    out_ << "FormClosed, subscripts " << passDataArray.lowerBound() << " to " << passDataArray.upperBound() << ":\n";
    printArray(out_, passDataArray);
    const WindowSettingsFile file(settings_.settingsFile);
    QString error;
    if (file.store(passDataArray, &error))
        out_ << "kept as the next ShowForm input in " << file.path() << "\n";
    else
        out_ << "could not keep the geometry in " << file.path() << ": " << error << "\n";
    out_ << Qt::flush;
    // Later: quitting closes every window, and this one is still in its unload.
    if (!settings_.offscreen)
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void StandaloneSession::SettingsChanged(HostStringArray&)
{
}

void StandaloneSession::KeyDown(int16_t& KeyCode, int16_t& Shift)
{
    out_ << "key " << KeyCode << " shift " << Shift << "\n" << Qt::flush;
}

} // namespace didev
