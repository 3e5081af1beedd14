#include "app/WindowSettingsFile.h"

#include "common/RegularFile.h"
#include "common/ReplacingFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace didev {

namespace {

constexpr int kShowFormEntries = 9;    // subscripts 1 to 9
constexpr int kGeometryEntries = 8;    // 1 to 8 delivered, 2 to 9 handed in

} // namespace

WindowSettingsFile::WindowSettingsFile(QString path)
    : path_(std::move(path))
{
}

QString WindowSettingsFile::defaultPath(const QProcessEnvironment& environment)
{
    QString stateHome = environment.value(QStringLiteral("XDG_STATE_HOME"));
    if (stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome))
        stateHome = QDir(environment.value(QStringLiteral("HOME"), QDir::homePath())).filePath(QStringLiteral(".local/state"));
    return QDir(stateHome).filePath(QStringLiteral("didev-evivod/show-form-settings"));
}

HostStringArray WindowSettingsFile::showFormArray(const QString& closeNotify) const
{
    HostStringArray array(1, kShowFormEntries);
    if (const std::optional<std::string> bytes = readRegularFile(QFile::encodeName(path_).toStdString())) {
        QString text = QString::fromUtf8(bytes->data(), static_cast<qsizetype>(bytes->size()));
        QTextStream in(&text, QIODevice::ReadOnly);
        // Line 1 is the close-notify request of the run that wrote the file; this run sets its own.
        in.readLine();
        for (int subscript = 2; subscript <= kShowFormEntries && !in.atEnd(); ++subscript)
            array.set(subscript, in.readLine());
    }
    array.set(1, closeNotify);
    return array;
}

HostStringArray WindowSettingsFile::nextShowFormArray(const HostStringArray& settings, const QString& closeNotify)
{
    HostStringArray next(1, kShowFormEntries);
    next.set(1, closeNotify);
    for (int entry = 1; entry <= kGeometryEntries; ++entry)
        next.set(entry + 1, settings.at(entry));
    return next;
}

bool WindowSettingsFile::store(const HostStringArray& settings, QString* error) const
{
    const HostStringArray next = nextShowFormArray(settings, QStringLiteral("Y"));
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!QDir().mkpath(QFileInfo(path_).absolutePath()))
        return fail(QStringLiteral("cannot create the folder of %1").arg(path_));
    QByteArray text;
    for (int subscript = 1; subscript <= kShowFormEntries; ++subscript)
        text += next.at(subscript).toUtf8() + '\n';
    ReplacingFileWriter file(QFile::encodeName(path_).toStdString());
    if (!file.write(text.constData(), static_cast<size_t>(text.size())) || !file.commit())
        return fail(QString::fromStdString(file.failure()->reason()));
    return true;
}

} // namespace didev
