#include "ui/RegistryFile.h"

#include "common/RegularFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>
#include <QStringTokenizer>

#include <map>
#include <mutex>

namespace didev {

namespace {

QString folded(const QString& text)
{
    return text.toCaseFolded();
}

// A key path without its trailing backslash, folded for comparison.
QString keyPath(QString path)
{
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return folded(path);
}

// Reads a quoted string at `pos` (on the opening quote) with \\ and \" escapes; `pos` ends
// after the closing quote. Nothing when it is not closed.
std::optional<QString> quoted(const QString& line, qsizetype& pos)
{
    if (pos >= line.size() || line[pos] != QLatin1Char('"'))
        return std::nullopt;
    QString text;
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            text += line[++i];
        } else if (c == QLatin1Char('"')) {
            pos = i + 1;
            return text;
        } else {
            text += c;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> hexBytes(QStringView list)
{
    QByteArray bytes;
    bytes.reserve(list.size() / 3 + 1);
    for (const QStringView part : QStringTokenizer(list, u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const uint byte = part.trimmed().toUInt(&ok, 16);
        if (!ok || byte > 0xFF)
            return std::nullopt;
        bytes.append(static_cast<char>(byte));
    }
    return bytes;
}

// Bytes of a file or of a hex(1) value: UTF-8 when they are valid UTF-8, else Latin-1.
QString decodedText(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes.data(), bytes.size());
    return text;
}

std::optional<RegistryValue> parsedData(const QString& data)
{
    RegistryValue value;
    if (data.startsWith(QLatin1Char('"'))) {
        qsizetype pos = 0;
        auto text = quoted(data, pos);
        if (!text || !data.mid(pos).trimmed().isEmpty())
            return std::nullopt;
        value.type = static_cast<int>(RegistryType::String);
        value.text = *text;
        return value;
    }
    if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        bool ok = false;
        const uint dword = data.mid(6).trimmed().toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        value.type = static_cast<int>(RegistryType::Dword);
        for (int shift = 0; shift < 32; shift += 8)
            value.data.append(static_cast<char>((dword >> shift) & 0xFF));
        return value;
    }
    if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
        const qsizetype colon = data.indexOf(QLatin1Char(':'));
        if (colon < 0)
            return std::nullopt;
        const QString kind = data.mid(3, colon - 3);
        if (kind.isEmpty()) {
            value.type = static_cast<int>(RegistryType::Binary);
        } else if (kind.startsWith(QLatin1Char('(')) && kind.endsWith(QLatin1Char(')'))) {
            bool ok = false;
            value.type = kind.mid(1, kind.size() - 2).toInt(&ok, 16);
            if (!ok)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
        auto bytes = hexBytes(QStringView(data).sliced(colon + 1));
        if (!bytes)
            return std::nullopt;
        value.data = *bytes;
        if (value.type == static_cast<int>(RegistryType::String)) {
            // A string in hex carries its terminating zero.
            QByteArray text = value.data;
            if (text.endsWith('\0'))
                text.chop(1);
            value.text = decodedText(text);
        }
        return value;
    }
    return std::nullopt;
}

// True for a value line whose data is hex ("name"=hex..:, @=hex(2):), which may go on over lines.
bool startsHexValue(QStringView line)
{
    qsizetype pos = 0;
    if (line.startsWith(u'@')) {
        pos = 1;
    } else if (!line.startsWith(u'"')) {
        return false;
    } else {
        // The name's closing quote: the first one that no backslash escapes.
        for (pos = 1; pos < line.size() && line[pos] != u'"'; ++pos)
            if (line[pos] == u'\\')
                ++pos;
        if (pos >= line.size())
            return false;
        ++pos;
    }
    const QStringView data = line.sliced(pos).trimmed();
    if (!data.startsWith(u'='))
        return false;
    const QStringView value = data.sliced(1).trimmed();
    return value.startsWith(QLatin1String("hex"), Qt::CaseInsensitive) && value.contains(u':');
}

} // namespace

RegistryFile::RegistryFile(const QString& rootName, const QString& text) : rootName_(rootName)
{
    QString currentKey;
    bool inRoot = false;
    // Long hex values go on over lines that end in a backslash; the parts are gathered once.
    QString continued;
    bool continuing = false;
    for (const QStringView rawLine : QStringTokenizer(text, u'\n')) {
        const QStringView line = rawLine.trimmed();
        const bool goesOn = line.endsWith(u'\\');
        if (!continuing && goesOn && startsHexValue(line)) {
            continuing = true;
            continued.clear();
        }
        if (!continuing) {
            parseLine(line.toString(), currentKey, inRoot);
            continue;
        }
        continued += goesOn ? line.chopped(1) : line;
        if (!goesOn) {
            continuing = false;
            parseLine(continued, currentKey, inRoot);
        }
    }
    if (continuing)
        parseLine(continued, currentKey, inRoot);
}

std::shared_ptr<const RegistryFile> RegistryFile::load(const QString& directory, const QString& rootName)
{
    struct Parsed {
        FileStamp stamp;
        std::shared_ptr<const RegistryFile> file;
    };
    // A file is parsed again only when it changed. There are six roots and, but in tests, one
    // folder; the bound only keeps a changing folder from growing the cache.
    constexpr size_t kCachedFiles = 16;
    static std::mutex mutex;
    static std::map<std::string, Parsed> cache;

    const std::string path = QFile::encodeName(directory + QLatin1Char('/') + rootName + QLatin1String(".reg")).toStdString();
    const std::lock_guard lock(mutex);
    const std::optional<FileStamp> stamp = regularFileStamp(path);
    if (const auto it = cache.find(path); it != cache.end() && stamp && it->second.stamp == *stamp)
        return it->second.file;
    cache.erase(path);

    FileStamp readStamp;
    const std::optional<std::string> bytes = stamp ? readRegularFile(path, &readStamp) : std::nullopt;
    if (!bytes)
        return std::make_shared<const RegistryFile>(rootName, QString());
    QByteArrayView text(bytes->data(), static_cast<qsizetype>(bytes->size()));
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    auto file = std::make_shared<const RegistryFile>(rootName, decodedText(text));
    if (cache.size() >= kCachedFiles)
        cache.clear();
    cache.insert_or_assign(path, Parsed{readStamp, file});
    return file;
}

void RegistryFile::parseLine(const QString& line, QString& currentKey, bool& inRoot)
{
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
        return;
    if (line.startsWith(QLatin1Char('['))) {
        if (!line.endsWith(QLatin1Char(']'))) {
            inRoot = false;
            return;
        }
        QString name = line.mid(1, line.size() - 2);
        const bool removal = name.startsWith(QLatin1Char('-'));
        if (removal)
            name.remove(0, 1);
        const QString root = folded(rootName_);
        const QString path = keyPath(name);
        QString subKey;
        if (path == root) {
            subKey.clear();
        } else if (path.startsWith(root + QLatin1Char('\\'))) {
            subKey = path.mid(root.size() + 1);
        } else {
            inRoot = false;
            return;
        }
        if (removal) {
            removeKey(subKey);
            inRoot = false;
            return;
        }
        inRoot = true;
        currentKey = subKey;
        declareKey(subKey);
        return;
    }
    if (!inRoot)
        return;

    QString name;
    qsizetype pos = 0;
    if (line.startsWith(QLatin1Char('@'))) {
        pos = 1;
    } else {
        auto quotedName = quoted(line, pos);
        if (!quotedName)
            return;
        name = *quotedName;
    }
    while (pos < line.size() && line[pos].isSpace())
        ++pos;
    if (pos >= line.size() || line[pos] != QLatin1Char('='))
        return;
    const QString data = line.mid(pos + 1).trimmed();
    QHash<QString, RegistryValue>& values = keys_[currentKey];
    if (data == QLatin1String("-")) {
        values.remove(folded(name));
        return;
    }
    if (auto value = parsedData(data))
        values.insert(folded(name), *value);
}

void RegistryFile::declareKey(const QString& key)
{
    // Every key above a declared key exists too.
    QString path = key;
    while (!keys_.contains(path)) {
        keys_.insert(path, {});
        const qsizetype slash = path.lastIndexOf(QLatin1Char('\\'));
        if (path.isEmpty())
            break;
        path = slash < 0 ? QString() : path.left(slash);
    }
}

void RegistryFile::removeKey(const QString& key)
{
    const QString below = key + QLatin1Char('\\');
    for (auto it = keys_.begin(); it != keys_.end();) {
        if (it.key() == key || it.key().startsWith(below) || key.isEmpty())
            it = keys_.erase(it);
        else
            ++it;
    }
}

bool RegistryFile::hasKey(const QString& subKey) const
{
    return subKey.isEmpty() || keys_.contains(keyPath(subKey));
}

std::optional<RegistryValue> RegistryFile::value(const QString& subKey, const QString& valueName) const
{
    const auto key = keys_.constFind(keyPath(subKey));
    if (key == keys_.constEnd())
        return std::nullopt;
    const auto value = key->constFind(folded(valueName));
    if (value == key->constEnd())
        return std::nullopt;
    return *value;
}

} // namespace didev
