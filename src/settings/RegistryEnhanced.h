#pragma once
// Registry access as the settings store uses it: a base key path (Key), set
// before each call, under the current user's root. Every call opens the
// store and closes it again, unless the object works on a store the caller
// holds open (used to load or save many values with one file access).

#include <QString>
#include <QVariant>

#include <cstdint>

class RegistryStore;

class TRegistryEnhanced
{
public:
    static constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

    TRegistryEnhanced() = default;
    // Works on the caller's store; the caller saves it.
    explicit TRegistryEnhanced(RegistryStore *store) : m_store(store) {}

    QString Key;                       // leading and trailing "\" are ignored
    uint32_t Access = KEY_ALL_ACCESS;  // kept for callers; the store has no access rights

    // Writes by the variant's type: string as REG_SZ, integer as REG_DWORD,
    // boolean as REG_DWORD 0/1, floating point and date/time as REG_BINARY
    // of the 8-byte number. Pieces of name before its last "\" are subkeys
    // of Key. Creates missing keys. False when the store cannot be saved.
    bool WriteValue(const QString &name, const QVariant &value);

    // Reads without creating anything. REG_SZ gives its text, REG_DWORD its
    // integer, REG_BINARY the size of its data; a missing key or value gives
    // defaultValue.
    QVariant ReadValue(const QString &name, const QVariant &defaultValue);

    // Whether Key (plus any subkey path) exists.
    bool KeyExists(const QString &subKey = QString());

    // Removes a value; false when it did not exist or could not be saved.
    bool DeleteValue(const QString &name);

    // Why the last write failed.
    QString LastError() const { return m_lastError; }

private:
    // Splits name into the full key path and the value name.
    void SplitName(const QString &name, QString &keyPath, QString &valueName) const;

    RegistryStore *m_store = nullptr;
    QString m_lastError;
};
