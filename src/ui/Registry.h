#pragma once

#include <QString>

#include <cstdint>

namespace didev {

// The registry's longest value that ReadRegistryString returns, in characters.
inline constexpr int kRegistryStringMax = 254;

// The name of a predefined root key by its handle (0x80000001: HKEY_CURRENT_USER, ...), empty for
// a handle that names no root.
QString registryRootName(int32_t root);

// Where the .reg files live: $DIDEV_REGISTRY_DIR, else $XDG_CONFIG_HOME/kelvara/registry, else
// ~/.config/kelvara/registry.
QString registryDirectory();

// The REG_SZ value `valueName` of root\subKey. Every other outcome gives the empty string: no
// such root, key or value, another type, or a value longer than kRegistryStringMax characters.
QString ReadRegistryString(int32_t root, const QString& subKey, const QString& valueName);

} // namespace didev
