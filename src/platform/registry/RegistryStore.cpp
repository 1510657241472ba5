#include "RegistryStore.h"

#include "AppPaths.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

// Anything bigger is not a settings file; reading it would only cost memory.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

const QLatin1String DWordPrefix("dword:");
const QLatin1String HexPrefix("hex:");

QString lowerKey(const QString &normalized)
{
    return normalized.toLower();
}

// Value names and string data: inside double quotes, with backslash escapes.
QString quote(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
    return out;
}

// Reads a quoted text starting at line[pos]; pos ends after the closing quote.
bool unquote(const QString &line, qsizetype &pos, QString &text)
{
    if (pos >= line.size() || line[pos] != u'"')
        return false;
    ++pos;
    text.clear();
    while (pos < line.size()) {
        const QChar c = line[pos++];
        if (c == u'"')
            return true;
        if (c != u'\\') {
            text += c;
            continue;
        }
        if (pos >= line.size())
            return false;
        const QChar e = line[pos++];
        switch (e.unicode()) {
        case '\\':
            text += u'\\';
            break;
        case '"':
            text += u'"';
            break;
        case 'n':
            text += u'\n';
            break;
        case 'r':
            text += u'\r';
            break;
        case 't':
            text += u'\t';
            break;
        case 'x': {
            bool ok = false;
            const uint code = line.mid(pos, 2).toUInt(&ok, 16);
            if (!ok || pos + 2 > line.size())
                return false;
            text += QChar(char16_t(code));
            pos += 2;
            break;
        }
        default:
            return false;
        }
    }
    return false;
}

// Key paths in section headers: readable as they are, with "%" and control
// characters percent-encoded so a header always stays on one line.
QString encodeKeyPath(const QString &path)
{
    QString out;
    for (const QChar c : path) {
        if (c == u'%' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

bool decodeKeyPath(const QString &encoded, QString &path)
{
    path.clear();
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != u'%') {
            path += encoded[i];
            continue;
        }
        bool ok = false;
        const uint code = encoded.mid(i + 1, 2).toUInt(&ok, 16);
        if (!ok || i + 3 > encoded.size())
            return false;
        path += QChar(char16_t(code));
        i += 2;
    }
    return true;
}

}  // namespace

RegistryStore::RegistryStore(const QString &fileName)
    : m_fileName(fileName.isEmpty() ? AppPaths::settingsFile() : fileName)
{
    load();
}

QString RegistryStore::normalizeKey(const QString &keyPath)
{
    QString path = keyPath;
    path.replace(u'/', u'\\');
    const QStringList pieces = path.split(u'\\', Qt::SkipEmptyParts);
    return pieces.join(u'\\');
}

void RegistryStore::load()
{
    m_keys.clear();
    // Only a regular file is read: a FIFO in its place must not hang the start.
    const SafeFile::ReadResult read = SafeFile::readRegularFile(m_fileName, MaxFileSize);
    switch (read.status) {
    case SafeFile::ReadStatus::Ok:
        break;
    case SafeFile::ReadStatus::Missing:
        m_status = LoadStatus::Missing;
        return;
    case SafeFile::ReadStatus::TooLarge:
        m_status = LoadStatus::Damaged;
        return;
    case SafeFile::ReadStatus::NotRegular:
    case SafeFile::ReadStatus::Failed:
        m_status = LoadStatus::Unreadable;
        return;
    }
    if (parse(read.bytes)) {
        m_status = LoadStatus::Ok;
    } else {
        // Nothing from a damaged file is trusted: it reads as empty.
        m_keys.clear();
        m_status = LoadStatus::Damaged;
    }
}

bool RegistryStore::parse(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return false;

    Key *current = nullptr;
    const QStringList lines = text.split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
            continue;
        if (trimmed.startsWith(u'[')) {
            if (!trimmed.endsWith(u']'))
                return false;
            QString path;
            if (!decodeKeyPath(trimmed.mid(1, trimmed.size() - 2), path))
                return false;
            current = &ensureKey(path);
            continue;
        }
        if (!current)
            return false;
        qsizetype pos = 0;
        QString name;
        if (!unquote(trimmed, pos, name) || pos >= trimmed.size() || trimmed[pos] != u'=')
            return false;
        const QString data = trimmed.mid(pos + 1);
        Value value;
        value.name = name;
        if (data.startsWith(u'"')) {
            qsizetype p = 0;
            QString s;
            if (!unquote(data, p, s) || p != data.size())
                return false;
            value.type = ValueType::String;
            value.data = s;
        } else if (data.startsWith(DWordPrefix, Qt::CaseInsensitive)) {
            const QString digits = data.mid(DWordPrefix.size());
            bool ok = false;
            const quint32 number = digits.toUInt(&ok, 16);
            if (!ok || digits.isEmpty() || digits.size() > 8)
                return false;
            value.type = ValueType::DWord;
            value.data = QVariant::fromValue<quint32>(number);
        } else if (data.startsWith(HexPrefix, Qt::CaseInsensitive)) {
            const QString list = data.mid(HexPrefix.size());
            QByteArray binary;
            if (!list.isEmpty()) {
                for (const QString &item : list.split(u',')) {
                    bool ok = false;
                    const uint byte = item.toUInt(&ok, 16);
                    if (!ok || item.size() != 2)
                        return false;
                    binary.append(char(byte));
                }
            }
            value.type = ValueType::Binary;
            value.data = binary;
        } else {
            return false;
        }
        putValue(*current, std::move(value));
    }
    return true;
}

QByteArray RegistryStore::serialize() const
{
    QString out = QStringLiteral("; Voxtrella MP3 settings\n");
    for (const auto &[lower, key] : m_keys) {
        out += u'\n';
        out += u'[' + encodeKeyPath(key.path) + QLatin1String("]\n");
        for (const Value &value : key.values) {
            out += quote(value.name) + u'=';
            switch (value.type) {
            case ValueType::String:
                out += quote(value.data.toString());
                break;
            case ValueType::DWord:
                out += DWordPrefix + QStringLiteral("%1").arg(value.data.toUInt(), 8, 16, QLatin1Char('0'));
                break;
            case ValueType::Binary: {
                out += HexPrefix;
                const QByteArray binary = value.data.toByteArray();
                out += QString::fromLatin1(binary.toHex(','));
                break;
            }
            case ValueType::None:
                break;
            }
            out += u'\n';
        }
    }
    return out.toUtf8();
}

bool RegistryStore::save()
{
    m_error.clear();
    const QFileInfo info(m_fileName);
    if (!QDir().mkpath(info.absolutePath())) {
        m_error = QStringLiteral("Cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    // Keep a damaged file for the user to look at instead of overwriting it.
    if (m_status == LoadStatus::Damaged && QFile::exists(m_fileName)) {
        const QString kept = m_fileName + QStringLiteral(".damaged");
        QFile::remove(kept);
        QFile::copy(m_fileName, kept);
    }
    if (!SafeFile::writeAtomically(m_fileName, serialize(), &m_error))
        return false;
    m_status = LoadStatus::Ok;
    return true;
}

const RegistryStore::Value *RegistryStore::Key::find(const QString &name) const
{
    const auto it = byName.find(name.toLower());
    return it == byName.end() ? nullptr : &values[it->second];
}

RegistryStore::Key *RegistryStore::findKey(const QString &keyPath)
{
    const auto it = m_keys.find(lowerKey(normalizeKey(keyPath)));
    return it == m_keys.end() ? nullptr : &it->second;
}

const RegistryStore::Key *RegistryStore::findKey(const QString &keyPath) const
{
    const auto it = m_keys.find(lowerKey(normalizeKey(keyPath)));
    return it == m_keys.end() ? nullptr : &it->second;
}

RegistryStore::Key &RegistryStore::ensureKey(const QString &keyPath)
{
    const QString normalized = normalizeKey(keyPath);
    Key &key = m_keys[lowerKey(normalized)];
    if (key.path.isEmpty())
        key.path = normalized;
    return key;
}

bool RegistryStore::keyExists(const QString &keyPath) const
{
    const QString lower = lowerKey(normalizeKey(keyPath));
    if (lower.isEmpty() || m_keys.count(lower))
        return true;
    const QString prefix = lower + u'\\';
    const auto it = m_keys.lower_bound(prefix);
    return it != m_keys.end() && it->first.startsWith(prefix);
}

void RegistryStore::createKey(const QString &keyPath)
{
    if (!normalizeKey(keyPath).isEmpty())
        ensureKey(keyPath);
}

bool RegistryStore::deleteKey(const QString &keyPath)
{
    const QString lower = lowerKey(normalizeKey(keyPath));
    if (lower.isEmpty())
        return false;
    const QString prefix = lower + u'\\';
    bool removed = m_keys.erase(lower) > 0;
    for (auto it = m_keys.lower_bound(prefix); it != m_keys.end() && it->first.startsWith(prefix);) {
        it = m_keys.erase(it);
        removed = true;
    }
    return removed;
}

QStringList RegistryStore::subKeys(const QString &keyPath) const
{
    const QString normalized = normalizeKey(keyPath);
    const QString prefix = normalized.isEmpty() ? QString() : lowerKey(normalized) + u'\\';
    QStringList names;
    QStringList lowerNames;
    for (auto it = m_keys.lower_bound(prefix); it != m_keys.end() && it->first.startsWith(prefix); ++it) {
        const QString rest = it->second.path.mid(prefix.size());
        const QString child = rest.section(u'\\', 0, 0);
        if (!child.isEmpty() && !lowerNames.contains(child.toLower())) {
            lowerNames.append(child.toLower());
            names.append(child);
        }
    }
    return names;
}

QStringList RegistryStore::valueNames(const QString &keyPath) const
{
    QStringList names;
    if (const Key *key = findKey(keyPath)) {
        for (const Value &value : key->values)
            names.append(value.name);
    }
    return names;
}

RegistryStore::ValueType RegistryStore::valueType(const QString &keyPath, const QString &name) const
{
    const Key *key = findKey(keyPath);
    const Value *value = key ? key->find(name) : nullptr;
    return value ? value->type : ValueType::None;
}

QVariant RegistryStore::value(const QString &keyPath, const QString &name) const
{
    const Key *key = findKey(keyPath);
    const Value *value = key ? key->find(name) : nullptr;
    return value ? value->data : QVariant();
}

void RegistryStore::setValue(const QString &keyPath, const QString &name, ValueType type, const QVariant &data)
{
    putValue(ensureKey(keyPath), {name, type, data});
}

void RegistryStore::putValue(Key &key, Value value)
{
    const auto [it, added] = key.byName.try_emplace(value.name.toLower(), key.values.size());
    if (added) {
        key.values.push_back(std::move(value));
    } else {
        key.values[it->second].type = value.type;
        key.values[it->second].data = value.data;
    }
}

void RegistryStore::setString(const QString &keyPath, const QString &name, const QString &text)
{
    setValue(keyPath, name, ValueType::String, text);
}

void RegistryStore::setDWord(const QString &keyPath, const QString &name, quint32 number)
{
    setValue(keyPath, name, ValueType::DWord, QVariant::fromValue<quint32>(number));
}

void RegistryStore::setBinary(const QString &keyPath, const QString &name, const QByteArray &data)
{
    setValue(keyPath, name, ValueType::Binary, data);
}

bool RegistryStore::deleteValue(const QString &keyPath, const QString &name)
{
    Key *key = findKey(keyPath);
    if (!key)
        return false;
    const auto found = key->byName.find(name.toLower());
    if (found == key->byName.end())
        return false;
    key->values.erase(key->values.begin() + qsizetype(found->second));
    key->byName.clear();
    for (size_t i = 0; i < key->values.size(); ++i)
        key->byName[key->values[i].name.toLower()] = i;
    return true;
}
