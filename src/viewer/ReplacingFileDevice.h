#pragma once

#include "common/ReplacingFileWriter.h"

#include <QIODevice>
#include <QString>

#include <optional>

namespace didev {

// A write-only device over the module's file writer, for Qt writers that stream into a device
// (the PDF writer): the bytes go to a new file, and the name is replaced only by commit().
class ReplacingFileDevice final : public QIODevice {
public:
    // Open when the new file could be made; failure() says why not.
    explicit ReplacingFileDevice(const QString& fileName);

    bool commit();
    const std::optional<ReplacingFileWriter::Failure>& failure() const noexcept { return writer_.failure(); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    ReplacingFileWriter writer_;
};

} // namespace didev
