#include "reg_file_registry.h"

#include <QFile>
#include <QTextCodec>
#include <algorithm>

namespace tarn3d {

struct RegFileRegistry::Key {
    QString name;
    // Children and values are keyed by the lower-case name; the stored name
    // keeps the spelling of its first appearance.
    std::map<QString, std::unique_ptr<Key>> children;
    std::map<QString, std::pair<QString, QString>> values;
};

namespace {

// The registry nests keys at most 512 levels deep; a deeper path in an export
// is damaged, and following it would only build a tree that is costly to
// walk and to free.
constexpr int kMaxKeyDepth = 512;

QStringList splitKeyPath(const QString& keyPath)
{
    QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (!parts.isEmpty()) {
        const QString first = parts.first().toUpper();
        if (first == QLatin1String("HKCU"))
            parts.first() = QStringLiteral("HKEY_CURRENT_USER");
        else if (first == QLatin1String("HKLM"))
            parts.first() = QStringLiteral("HKEY_LOCAL_MACHINE");
    }
    return parts;
}

QString decodeText(const QByteArray& data)
{
    if (data.startsWith("\xFF\xFE"))
        return QTextCodec::codecForName("UTF-16LE")->toUnicode(data.mid(2));
    if (data.startsWith("\xFE\xFF"))
        return QTextCodec::codecForName("UTF-16BE")->toUnicode(data.mid(2));
    if (data.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(data.mid(3));
    // UTF-16LE without a byte order mark still shows zero high bytes in ASCII text.
    if (data.size() >= 4 && data.at(0) != 0 && data.at(1) == 0 && data.at(3) == 0)
        return QTextCodec::codecForName("UTF-16LE")->toUnicode(data);
    return QString::fromUtf8(data);
}

// Reads a quoted string starting at text[pos] == '"'. On success pos points
// just past the closing quote.
bool readQuoted(const QString& text, int& pos, QString& out)
{
    if (pos >= text.size() || text.at(pos) != QLatin1Char('"'))
        return false;
    out.clear();
    for (int i = pos + 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\')) {
            if (i + 1 >= text.size())
                return false;
            out.append(text.at(++i));
        } else if (c == QLatin1Char('"')) {
            pos = i + 1;
            return true;
        } else {
            out.append(c);
        }
    }
    return false;
}

bool decodeHexBytes(const QString& text, QByteArray& out)
{
    out.clear();
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool ok = false;
        const uint byte = part.trimmed().toUInt(&ok, 16);
        if (!ok || byte > 0xFF)
            return false;
        out.append(static_cast<char>(byte));
    }
    return true;
}

QString utf16FromBytes(const QByteArray& bytes)
{
    QString text;
    for (int i = 0; i + 1 < bytes.size(); i += 2) {
        const ushort unit = static_cast<uchar>(bytes.at(i)) | (static_cast<uchar>(bytes.at(i + 1)) << 8);
        text.append(QChar(unit));
    }
    return text;
}

} // namespace

RegFileRegistry::RegFileRegistry() : root_(std::make_unique<Key>()) {}
RegFileRegistry::~RegFileRegistry() = default;

bool RegFileRegistry::load(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        root_ = std::make_unique<Key>();
        error_ = QStringLiteral("cannot read registry file %1: %2").arg(filePath, file.errorString());
        return false;
    }
    if (!parse(file.readAll())) {
        error_ = QStringLiteral("%1: %2").arg(filePath, error_);
        return false;
    }
    return true;
}

bool RegFileRegistry::parse(const QByteArray& data)
{
    root_ = std::make_unique<Key>();
    error_.clear();
    skippedLines_ = 0;

    QString text = decodeText(data);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList rawLines = text.split(QLatin1Char('\n'));

    // Hex values may continue over several lines, each ending in a backslash.
    QStringList lines;
    QString pending;
    for (const QString& raw : rawLines) {
        const QString line = raw.trimmed();
        if (!pending.isEmpty()) {
            pending += line;
        } else {
            pending = line;
        }
        if (pending.endsWith(QLatin1Char('\\')) && pending.contains(QLatin1String("=hex"), Qt::CaseInsensitive)) {
            pending.chop(1);
            continue;
        }
        lines.append(pending);
        pending.clear();
    }
    if (!pending.isEmpty())
        lines.append(pending);

    int index = 0;
    while (index < lines.size() && lines.at(index).isEmpty())
        ++index;
    if (index >= lines.size()
        || (lines.at(index) != QLatin1String("Windows Registry Editor Version 5.00")
            && lines.at(index) != QLatin1String("REGEDIT4"))) {
        error_ = QStringLiteral("not a registry export (missing \"Windows Registry Editor Version 5.00\" header)");
        return false;
    }

    Key* current = nullptr;
    for (++index; index < lines.size(); ++index) {
        const QString& line = lines.at(index);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3) {
                current = nullptr;
                ++skippedLines_;
                continue;
            }
            const QString path = line.mid(1, line.size() - 2);
            if (splitKeyPath(path).size() > kMaxKeyDepth) {
                current = nullptr;
                ++skippedLines_;
                continue;
            }
            if (path.startsWith(QLatin1Char('-'))) {
                removeKey(path.mid(1));
                current = nullptr;
            } else {
                current = makeKey(path);
            }
            continue;
        }
        if (!current || !parseValueLine(current, line))
            ++skippedLines_;
    }
    return true;
}

bool RegFileRegistry::parseValueLine(Key* key, const QString& line)
{
    QString name;
    int pos = 0;
    if (line.startsWith(QLatin1Char('@'))) {
        pos = 1;
    } else if (!readQuoted(line, pos, name)) {
        return false;
    }
    while (pos < line.size() && line.at(pos).isSpace())
        ++pos;
    if (pos >= line.size() || line.at(pos) != QLatin1Char('='))
        return false;
    QString data = line.mid(pos + 1).trimmed();
    const QString id = name.toLower();

    if (data == QLatin1String("-")) {
        key->values.erase(id);
        return true;
    }
    QString value;
    if (data.startsWith(QLatin1Char('"'))) {
        int at = 0;
        if (!readQuoted(data, at, value) || !data.mid(at).trimmed().isEmpty())
            return false;
    } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        bool ok = false;
        const uint number = data.mid(6).trimmed().toUInt(&ok, 16);
        if (!ok)
            return false;
        value = QString::number(number);
    } else if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
        const int colon = data.indexOf(QLatin1Char(':'));
        if (colon < 0)
            return false;
        const QString type = data.left(colon).toLower();
        QByteArray bytes;
        if (!decodeHexBytes(data.mid(colon + 1), bytes))
            return false;
        if (type == QLatin1String("hex(1)") || type == QLatin1String("hex(2)")) {
            value = utf16FromBytes(bytes);
            const int nul = value.indexOf(QChar(0));
            if (nul >= 0)
                value.truncate(nul);
        } else if (type == QLatin1String("hex(7)")) {
            QStringList items = utf16FromBytes(bytes).split(QChar(0));
            while (!items.isEmpty() && items.last().isEmpty())
                items.removeLast();
            value = items.join(QLatin1Char('\n'));
        }
    } else {
        return false;
    }
    key->values[id] = {name, value};
    return true;
}

RegFileRegistry::Key* RegFileRegistry::findKey(const QString& keyPath) const
{
    Key* key = root_.get();
    for (const QString& part : splitKeyPath(keyPath)) {
        const auto it = key->children.find(part.toLower());
        if (it == key->children.end())
            return nullptr;
        key = it->second.get();
    }
    return key;
}

RegFileRegistry::Key* RegFileRegistry::makeKey(const QString& keyPath)
{
    Key* key = root_.get();
    for (const QString& part : splitKeyPath(keyPath)) {
        auto& child = key->children[part.toLower()];
        if (!child) {
            child = std::make_unique<Key>();
            child->name = part;
        }
        key = child.get();
    }
    return key;
}

void RegFileRegistry::removeKey(const QString& keyPath)
{
    QStringList parts = splitKeyPath(keyPath);
    if (parts.isEmpty())
        return;
    const QString last = parts.takeLast().toLower();
    Key* parent = root_.get();
    for (const QString& part : parts) {
        const auto it = parent->children.find(part.toLower());
        if (it == parent->children.end())
            return;
        parent = it->second.get();
    }
    parent->children.erase(last);
}

QStringList RegFileRegistry::subkeys(const QString& keyPath) const
{
    QStringList names;
    if (const Key* key = findKey(keyPath)) {
        for (const auto& child : key->children)
            names.append(child.second->name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QStringList RegFileRegistry::valueNames(const QString& keyPath) const
{
    QStringList names;
    if (const Key* key = findKey(keyPath)) {
        for (const auto& value : key->values)
            names.append(value.second.first);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QString RegFileRegistry::readString(const QString& keyPath, const QString& valueName) const
{
    const Key* key = findKey(keyPath);
    if (!key)
        return QString();
    const auto it = key->values.find(valueName.toLower());
    return it == key->values.end() ? QString() : it->second.second;
}

} // namespace tarn3d
