#include "ui/Registry.h"

#include "ui/RegistryFile.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace didev {

QString registryRootName(int32_t root)
{
    switch (static_cast<RegistryRoot>(static_cast<uint32_t>(root))) {
    case RegistryRoot::ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case RegistryRoot::CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case RegistryRoot::LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case RegistryRoot::Users:
        return QStringLiteral("HKEY_USERS");
    case RegistryRoot::PerformanceData:
        return QStringLiteral("HKEY_PERFORMANCE_DATA");
    case RegistryRoot::CurrentConfig:
        return QStringLiteral("HKEY_CURRENT_CONFIG");
    }
    return {};
}

QString registryDirectory()
{
    const QString own = qEnvironmentVariable("DIDEV_REGISTRY_DIR");
    if (!own.isEmpty())
        return own;
    // A relative XDG_CONFIG_HOME is to be ignored.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QFileInfo(config).isRelative())
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1String("/kelvara/registry");
}

QString ReadRegistryString(int32_t root, const QString& subKey, const QString& valueName)
{
    const QString rootName = registryRootName(root);
    if (rootName.isEmpty())
        return {};
    const std::shared_ptr<const RegistryFile> file = RegistryFile::load(registryDirectory(), rootName);
    if (!file->hasKey(subKey))
        return {};
    const auto value = file->value(subKey, valueName);
    if (!value || value->type != static_cast<int>(RegistryType::String))
        return {};
    // The reader's buffer holds the value and its terminating zero.
    const qsizetype characters = value->text.toUcs4().size();
    if (characters > kRegistryStringMax)
        return {};
    return value->text;
}

} // namespace didev
