#include "viewer/ReplacingFileDevice.h"

#include <QFile>

namespace didev {

ReplacingFileDevice::ReplacingFileDevice(const QString& fileName)
    : writer_(QFile::encodeName(fileName).toStdString())
{
    if (!writer_.failure())
        open(QIODevice::WriteOnly);
}

qint64 ReplacingFileDevice::writeData(const char* data, qint64 size)
{
    return writer_.write(data, static_cast<size_t>(size)) ? size : -1;
}

bool ReplacingFileDevice::commit()
{
    close();
    return writer_.commit();
}

} // namespace didev
