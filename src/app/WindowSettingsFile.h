#pragma once

#include "common/HostStringArray.h"

#include <QProcessEnvironment>
#include <QString>

namespace didev {

// Where the standalone host keeps the geometry between runs: the next ShowForm array, one entry
// per line (subscripts 1 to 9). The module keeps no settings; this file is the host's own.
class WindowSettingsFile {
public:
    explicit WindowSettingsFile(QString path);

    // $XDG_STATE_HOME/didev-evivod/show-form-settings; ~/.local/state when the variable is
    // unset or not an absolute path.
    static QString defaultPath(const QProcessEnvironment& environment);

    const QString& path() const noexcept { return path_; }

    // The ShowForm array with `closeNotify` in entry 1 and the stored geometry in 2 to 9; a
    // missing file or line leaves its entries empty, so the window takes its design size.
    HostStringArray showFormArray(const QString& closeNotify) const;

    // What FormClosed or GetSettings delivered (entries 1 to 8), moved up by one as the next
    // ShowForm input. False, with the reason in `error`, when the file cannot be written.
    bool store(const HostStringArray& settings, QString* error = nullptr) const;

    // Entries 1 to 8 of a FormClosed or GetSettings array shifted to 2 to 9 of a ShowForm array.
    static HostStringArray nextShowFormArray(const HostStringArray& settings, const QString& closeNotify);

private:
    QString path_;
};

} // namespace didev
