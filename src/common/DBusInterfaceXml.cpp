#include "common/DBusInterfaceXml.h"

#include "common/DBusNames.h"

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

InterfaceMethods methodsOf(const QString& interfaceXml)
{
    InterfaceMethods methods;
    QXmlStreamReader reader(interfaceXml);
    MethodSignature* method = nullptr;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == u"method")
            method = nullptr;
        if (!reader.isStartElement())
            continue;
        const auto attributes = reader.attributes();
        if (reader.name() == u"method")
            method = &methods[attributes.value(QStringLiteral("name")).toString()];
        else if (reader.name() == u"arg" && method)
            (attributes.value(QStringLiteral("direction")) == u"out" ? method->out : method->in)
                += attributes.value(QStringLiteral("type"));
    }
    return methods;
}

const InterfaceMethods& interfaceMethods(const QString& interfaceName)
{
    // Built once, before any caller's thread can race it.
    static const std::map<QString, InterfaceMethods> all = [] {
        std::map<QString, InterfaceMethods> methods;
        for (const char* name : {dbus::kFactoryInterface, dbus::kAutomationInterface, dbus::kSinkInterface,
                 dbus::kTestDriverInterface}) {
            const QString interfaceName = QString::fromLatin1(name);
            methods[interfaceName] = methodsOf(dbusInterfaceXml(interfaceName));
        }
        // The bus's own interface, not one of ours: its signatures are fixed by D-Bus itself.
        methods[QString::fromLatin1(dbus::kPropertiesInterface)] = {
            {QStringLiteral("Get"), {QStringLiteral("ss"), QStringLiteral("v")}},
            {QStringLiteral("Set"), {QStringLiteral("ssv"), QString()}},
            {QStringLiteral("GetAll"), {QStringLiteral("s"), QStringLiteral("a{sv}")}},
        };
        return methods;
    }();
    static const InterfaceMethods none;
    const auto found = all.find(interfaceName);
    return found == all.end() ? none : found->second;
}

} // namespace didev
