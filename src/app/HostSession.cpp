#include "app/HostSession.h"

#include "app/HostCallError.h"
#include "common/ReplacingFileWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

namespace didev {

namespace {

int16_t integerArgument(const QString& text)
{
    return static_cast<int16_t>(text.toInt());
}

QString booleanText(HostBoolean value)
{
    return value == kHostTrue ? QStringLiteral("True") : value == kHostFalse ? QStringLiteral("False") : QString::number(value);
}

// An automation date (days since 1899-12-30, local time) as text.
QString dateText(double date)
{
    const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    return epoch.addMSecs(static_cast<qint64>(date * 86400000.0 + (date >= 0 ? 0.5 : -0.5)))
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString entryOrBlank(const HostStringArray& array, int subscript)
{
    return array.contains(subscript) ? array.at(subscript) : QString();
}

} // namespace

HostSession::HostSession(AutomationClient& client, QTextStream& out, const std::atomic<bool>& stop)
    : client_(client)
    , out_(out)
    , stop_(stop)
{
}

HostSession::~HostSession()
{
    if (cookie_ != 0) {
        try {
            client_.Unadvise(cookie_);
        } catch (const HostCallError&) {
            // The instance may be gone already; the sink goes with this process anyway.
        }
    }
}

void HostSession::start()
{
    sink_ = std::make_unique<HostEventSink>(client_.bus(), QStringLiteral("/org/kelvara/DidevHost/Sink"));
    if (!sink_->exportObject())
        throw HostCallError(QStringLiteral("sink"), QStringLiteral("cannot export the event sink"));
    sink_->onFormClosed = [this](HostStringArray& passDataArray) {
        formClosed_ = true;
        print(QStringLiteral("event FormClosed: ") + geometryText(passDataArray));
    };
    sink_->onSettingsChanged = [this](HostStringArray& passDataArray) {
        print(QStringLiteral("event SettingsChanged: ") + geometryText(passDataArray));
    };
    sink_->onKeyDown = [this](int16_t& keyCode, int16_t& shift) {
        print(QStringLiteral("event KeyDown: KeyCode=%1 Shift=%2").arg(keyCode).arg(shift));
    };
    cookie_ = client_.Advise(sink_->path());
}

void HostSession::run(const HostCommand& command)
{
    const QStringList& a = command.arguments;
    try {
        switch (command.kind) {
        case HostCommandKind::Show: show(a); break;
        case HostCommandKind::Close: close(a); break;
        case HostCommandKind::Settings: settings(); break;
        case HostCommandKind::Snap: print(QStringLiteral("snap: %1").arg(client_.TakeSnapshot())); break;
        case HostCommandKind::Count: print(QStringLiteral("count: %1").arg(client_.GetSnapshotCount())); break;
        case HostCommandKind::Get: get(integerArgument(a[0])); break;
        case HostCommandKind::Mark: {
            int16_t index = integerArgument(a[0]);
            HostBoolean setting = a.size() > 1 ? integerArgument(a[1]) : kHostTrue;
            client_.PictureSavedByLogger(index, setting);
            print(QStringLiteral("mark %1: %2").arg(index).arg(booleanText(setting)));
            break;
        }
        case HostCommandKind::Purge:
            client_.ClearSavedSnapshots();
            print(QStringLiteral("purge: %1 left").arg(client_.GetSnapshotCount()));
            break;
        case HostCommandKind::Clear: client_.ClearSnapshots(); print(QStringLiteral("clear: done")); break;
        case HostCommandKind::Save: save(a); break;
        case HostCommandKind::Pointers: pointers(a); break;
        case HostCommandKind::Property: {
            int16_t propID = integerArgument(a[0]);
            QString propValue = a[1];
            client_.SetProperty(propID, propValue);
            print(QStringLiteral("property %1: set").arg(propID));
            break;
        }
        case HostCommandKind::Allow: allow(a); break;
        case HostCommandKind::Picture: picture(a[0].toInt(), a[1]); break;
        case HostCommandKind::Watch: watch(a.isEmpty() ? 0 : a[0].toInt()); break;
        case HostCommandKind::Demo: demo(a.isEmpty() ? QStringLiteral(".") : a[0]); break;
        }
    } catch (const HostCallError& error) {
        throw HostCallError(error.name(), command.text() + QStringLiteral(": ") + error.message());
    }
}

void HostSession::show(const QStringList& arguments)
{
    // Entry 1 asks for FormClosed; 2..9 are the geometry. "" reads as 0: nothing stored.
    QStringList entries(9);
    entries[0] = arguments.value(0, QStringLiteral("Y"));
    for (qsizetype k = 1; k < arguments.size(); ++k)
        entries[k] = arguments[k];
    HostStringArray passDataArray(1, entries);
    int16_t formID = 0;
    const HostBoolean shown = client_.ShowForm(formID, passDataArray);
    print(QStringLiteral("show: %1 (instance %2)").arg(booleanText(shown), client_.path()));
}

void HostSession::close(const QStringList& arguments)
{
    HostStringArray passDataArray(1, QStringList{arguments.value(0)});
    int16_t formID = 0;
    client_.CloseForm(formID, passDataArray);
    print(QStringLiteral("close: done"));
}

void HostSession::settings()
{
    HostStringArray passDataArray(1, 8);
    client_.GetSettings(passDataArray);
    print(QStringLiteral("settings: ") + geometryText(passDataArray));
}

void HostSession::get(int16_t index)
{
    const int16_t count = client_.GetSnapshotCount();
    if (index < 1 || index > count)
        print(QStringLiteral("get %1: no frame %1 (%2 stored): the module shows a message box, and this call waits "
                             "until a person at its screen answers it")
                  .arg(index)
                  .arg(count));
    int32_t hPicture = 0;
    int16_t frameID = 0;
    double frameTime = 0;
    QString frameTimecode;
    client_.GetSnapshot(index, hPicture, frameID, frameTime, frameTimecode);
    print(QStringLiteral("get %1: hPicture=%2 frameID=%3 frameTime=%4 (%5) frameTimecode=\"%6\"")
              .arg(index)
              .arg(hPicture)
              .arg(frameID)
              .arg(frameTime, 0, 'f', 8)
              .arg(dateText(frameTime), frameTimecode));
}

void HostSession::save(const QStringList& arguments)
{
    int16_t index = integerArgument(arguments[0]);
    // The module writes where it runs: a relative name is taken from here.
    QString fileName = QDir::current().absoluteFilePath(arguments[1]);
    int16_t format = integerArgument(arguments[2]);
    int16_t colorDepth = arguments.size() > 3 ? integerArgument(arguments[3]) : 0;
    int16_t colorReduction = arguments.size() > 4 ? integerArgument(arguments[4]) : 0;
    const HostBoolean saved = client_.SaveSnapshot(index, fileName, format, colorDepth, colorReduction);
    print(QStringLiteral("save %1: %2 %3").arg(index).arg(booleanText(saved), fileName));
}

void HostSession::pointers(const QStringList& arguments)
{
    QString appMainWindow = arguments[0];
    QString apPath = arguments[1];
    QString wkPath = arguments[2];
    QString tmpPath = arguments[3];
    int32_t userRegArea = arguments[4].toInt();
    client_.SetPointers(appMainWindow, apPath, wkPath, tmpPath, userRegArea);
    print(QStringLiteral("pointers: set"));
}

void HostSession::allow(const QStringList& arguments)
{
    if (!arguments.isEmpty())
        client_.setAllowInternalCapture(integerArgument(arguments[0]));
    print(QStringLiteral("allow: %1").arg(booleanText(client_.AllowInternalCapture())));
}

void HostSession::picture(int32_t handle, const QString& fileName)
{
    const QByteArray bitmap = client_.GetPictureData(handle);
    ReplacingFileWriter file(QFile::encodeName(fileName).toStdString());
    if (!file.write(bitmap.constData(), static_cast<size_t>(bitmap.size())) || !file.commit())
        throw HostCallError(QStringLiteral("file"),
            fileName + QStringLiteral(": ") + QString::fromStdString(file.failure()->reason()));
    print(QStringLiteral("picture %1: %2 bytes to %3").arg(handle).arg(bitmap.size()).arg(fileName));
}

bool HostSession::captureWindowLoaded()
{
    HostStringArray passDataArray(1, 8);
    client_.GetSettings(passDataArray);
    return !passDataArray.at(3).isEmpty();   // Width, empty while no window is loaded
}

void HostSession::watch(int seconds)
{
    print(QStringLiteral("watch: waiting for events"));
    formClosed_ = false;
    const QDeadlineTimer deadline = seconds > 0 ? QDeadlineTimer(seconds * 1000) : QDeadlineTimer(QDeadlineTimer::Forever);
    QDeadlineTimer nextCheck(0);
    while (!stop_ && !formClosed_ && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
        if (nextCheck.hasExpired()) {
            if (!captureWindowLoaded())
                break;
            nextCheck.setRemainingTime(1000);
        }
    }
    print(QStringLiteral("watch: done"));
}

void HostSession::demo(const QString& folder)
{
    const QDir target(folder);
    if (!target.exists())
        throw HostCallError(QStringLiteral("file"), QStringLiteral("no folder %1").arg(folder));
    show({});
    for (int grab = 0; grab < 3; ++grab)
        print(QStringLiteral("snap: %1").arg(client_.TakeSnapshot()));
    const int16_t count = client_.GetSnapshotCount();
    print(QStringLiteral("count: %1").arg(count));
    if (count > 0) {
        get(1);
        save({QStringLiteral("1"), target.absoluteFilePath(QStringLiteral("didev-demo-1.jpg")), QStringLiteral("3")});
        save({QStringLiteral("1"), target.absoluteFilePath(QStringLiteral("didev-demo-1.bmp")), QStringLiteral("1")});
    }
    settings();
    close({});
}

void HostSession::print(const QString& line)
{
    out_ << line << Qt::endl;
}

QString HostSession::geometryText(const HostStringArray& array)
{
    const auto window = [&](const char* name, int first) {
        QString text = QLatin1String(name);
        const char* fields[] = {"Top", "Left", "Width", "Height"};
        for (int k = 0; k < 4; ++k)
            text += QStringLiteral(" %1=%2").arg(QLatin1String(fields[k]), entryOrBlank(array, first + k));
        return text;
    };
    return window("capture", 1) + QStringLiteral("; ") + window("viewer", 5);
}

} // namespace didev
