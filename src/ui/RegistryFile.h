#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>

namespace didev {

// Value types as the registry numbers them.
enum class RegistryType : int {
    None = 0,
    String = 1,          // REG_SZ
    ExpandString = 2,    // REG_EXPAND_SZ
    Binary = 3,          // REG_BINARY
    Dword = 4,           // REG_DWORD
    MultiString = 7,     // REG_MULTI_SZ
    Qword = 11,          // REG_QWORD
};

struct RegistryValue {
    int type = static_cast<int>(RegistryType::None);
    QString text;        // the text of a string value
    QByteArray data;     // the raw bytes of any other type
};

// The keys and values of one root key, read from a REGEDIT4 text file:
//   REGEDIT4
//   [HKEY_CURRENT_USER\SOFTWARE\Halvern Pictures\Kelvara Suite]
//   "ReportDir"="C:\\Reports"
//   "Count"=dword:00000002
// Keys and value names compare case-insensitively; lines that do not parse are skipped, as
// are keys of another root. "[-key]" and "name"=- remove what earlier lines declared.
class RegistryFile {
public:
    // Parses the text of a file whose keys all start with `rootName` (HKEY_CURRENT_USER, ...).
    RegistryFile(const QString& rootName, const QString& text);

    // The file of the root in `directory` (rootName + ".reg"), parsed again only when it changed;
    // empty when it is not a regular file (a FIFO is never waited on) or cannot be read.
    static std::shared_ptr<const RegistryFile> load(const QString& directory, const QString& rootName);

    // True for the root itself, every key declared and every key above a declared one.
    bool hasKey(const QString& subKey) const;
    // The value of a key; the empty name is the key's default value ("@").
    std::optional<RegistryValue> value(const QString& subKey, const QString& valueName) const;

private:
    void parseLine(const QString& line, QString& currentKey, bool& inRoot);
    void declareKey(const QString& key);
    void removeKey(const QString& key);

    QString rootName_;
    QHash<QString, QHash<QString, RegistryValue>> keys_;   // case-folded key path -> values
};

} // namespace didev
