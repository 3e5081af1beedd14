#include "ui/Registry.h"

#include "ui/RegistryFile.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <array>

namespace didev {

namespace {

// The predefined root keys, by their handles from 0x80000000 on.
constexpr uint32_t kFirstRootHandle = 0x80000000;
constexpr std::array kRootNames{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG"};

} // namespace

QString registryRootName(int32_t root)
{
    const uint32_t index = static_cast<uint32_t>(root) - kFirstRootHandle;
    return index < kRootNames.size() ? QString::fromLatin1(kRootNames[index]) : QString();
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
