#pragma once
// The settings store that stands in for the registry of the current user:
// one INI-style text file (AppPaths::settingsFile()) of keys ("[Software\VarnyxTech\Voxtrella]")
// holding typed values. Value kinds are kept apart like the registry's
// REG_SZ, REG_DWORD and REG_BINARY:
//     "Name"="text"          REG_SZ      (QString)
//     "Name"=dword:0000012c  REG_DWORD   (quint32)
//     "Name"=hex:01,ff       REG_BINARY  (QByteArray)
//
// A RegistryStore reads the whole file when it is constructed and writes it
// back only in save(), atomically (temporary file and rename), so a failed
// save leaves the previous file whole. A damaged or unreadable file reads as
// empty; the damaged file is kept beside the new one as "<name>.damaged" on
// the first save. Key paths and value names compare ignoring letter case,
// as the registry does; "\" and "/" both separate key path pieces.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <vector>

class RegistryStore
{
public:
    enum class ValueType { None, String, DWord, Binary };
    enum class LoadStatus { Ok, Missing, Damaged, Unreadable };

    // Reads fileName, or AppPaths::settingsFile() when it is empty.
    explicit RegistryStore(const QString &fileName = QString());

    QString fileName() const { return m_fileName; }
    LoadStatus loadStatus() const { return m_status; }

    // Keys. The root ("" or "\") always exists. A key exists when it was
    // created or holds values, or when one of its subkeys exists.
    bool keyExists(const QString &keyPath) const;
    void createKey(const QString &keyPath);
    bool deleteKey(const QString &keyPath);  // the key and all its subkeys
    QStringList subKeys(const QString &keyPath) const;

    // Values. value() gives an invalid QVariant when the key or value is
    // missing; else a QString (REG_SZ), quint32 (REG_DWORD) or QByteArray
    // (REG_BINARY). Setting a value creates its key.
    QStringList valueNames(const QString &keyPath) const;
    ValueType valueType(const QString &keyPath, const QString &name) const;
    QVariant value(const QString &keyPath, const QString &name) const;
    void setString(const QString &keyPath, const QString &name, const QString &text);
    void setDWord(const QString &keyPath, const QString &name, quint32 number);
    void setBinary(const QString &keyPath, const QString &name, const QByteArray &data);
    bool deleteValue(const QString &keyPath, const QString &name);

    // Writes the whole store to the file atomically. On failure the file on
    // disk is unchanged and errorString() says why.
    bool save();
    QString errorString() const { return m_error; }

    // The key path in the form the file uses: pieces joined with "\",
    // without leading, trailing or doubled separators.
    static QString normalizeKey(const QString &keyPath);

private:
    struct Value {
        QString name;
        ValueType type = ValueType::None;
        QVariant data;
    };
    struct Key {
        QString path;                      // as first written
        std::vector<Value> values;         // in the order first written
        std::map<QString, size_t> byName;  // lower-cased name -> index in values
        const Value *find(const QString &name) const;
    };

    void load();
    bool parse(const QByteArray &bytes);
    QByteArray serialize() const;
    Key *findKey(const QString &keyPath);
    const Key *findKey(const QString &keyPath) const;
    Key &ensureKey(const QString &keyPath);
    void setValue(const QString &keyPath, const QString &name, ValueType type, const QVariant &data);
    static void putValue(Key &key, Value value);

    QString m_fileName;
    LoadStatus m_status = LoadStatus::Missing;
    QString m_error;
    std::map<QString, Key> m_keys;  // by lower-cased normalized path
};
