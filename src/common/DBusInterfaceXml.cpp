#include "common/DBusInterfaceXml.h"

#include <QFile>
#include <QHash>
#include <QXmlStreamReader>

namespace didev {

namespace {

const char* const kInterfaceFiles[] = {
    ":/dbus/org.kelvara.DidevEvivod.xml",
    ":/dbus/org.kelvara.DidevEvivod.TestDriver.xml",
};

QString readResource(const char* path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

QString interfaceElement(const QString& fileText, const QString& interfaceName)
{
    QXmlStreamReader reader(fileText);
    // The reader skips the DOCTYPE's external subset; only the element offsets matter here.
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token != QXmlStreamReader::StartElement || reader.name() != u"interface"
            || reader.attributes().value(QStringLiteral("name")) != interfaceName)
            continue;
        const qsizetype start = fileText.lastIndexOf(u"<interface", reader.characterOffset() - 1);
        reader.skipCurrentElement();
        if (reader.hasError() || start < 0)
            return {};
        return fileText.mid(start, reader.characterOffset() - start);
    }
    return {};
}

QString dbusInterfaceXml(const QString& interfaceName)
{
    static QHash<QString, QString> cache;
    const auto found = cache.constFind(interfaceName);
    if (found != cache.constEnd())
        return *found;
    QString element;
    for (const char* path : kInterfaceFiles) {
        element = interfaceElement(readResource(path), interfaceName);
        if (!element.isEmpty())
            break;
    }
    cache.insert(interfaceName, element);
    return element;
}

} // namespace didev
