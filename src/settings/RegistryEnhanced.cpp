#include "RegistryEnhanced.h"

#include "RegistryStore.h"

#include <QDateTime>
#include <QtEndian>

#include <cstring>
#include <memory>

namespace {

// Days since 30 December 1899, the registry's binary form of a date.
double toDateNumber(const QDateTime &when)
{
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    return double(epoch.msecsTo(when)) / 86400000.0;
}

QByteArray doubleBytes(double number)
{
    QByteArray bytes(sizeof number, '\0');
    qToLittleEndian(number, bytes.data());
    return bytes;
}

// The store one call works on: the caller's, or the settings file read for
// this call alone, which the call then saves itself.
class StoreForCall
{
public:
    explicit StoreForCall(RegistryStore *shared) : m_store(shared)
    {
        if (!m_store) {
            m_own = std::make_unique<RegistryStore>();
            m_store = m_own.get();
        }
    }
    RegistryStore *operator->() const { return m_store; }
    // Saves a store read for this call; a caller's store is the caller's to save.
    bool commit(QString &error)
    {
        if (m_own && !m_own->save()) {
            error = m_own->errorString();
            return false;
        }
        return true;
    }

private:
    std::unique_ptr<RegistryStore> m_own;
    RegistryStore *m_store;
};

}  // namespace

void TRegistryEnhanced::SplitName(const QString &name, QString &keyPath, QString &valueName) const
{
    QStringList pieces = name.split(u'\\', Qt::SkipEmptyParts);
    valueName = pieces.isEmpty() ? QString() : pieces.takeLast();
    pieces.prepend(Key);
    keyPath = RegistryStore::normalizeKey(pieces.join(u'\\'));
}

bool TRegistryEnhanced::WriteValue(const QString &name, const QVariant &value)
{
    m_lastError.clear();
    StoreForCall store(m_store);
    QString keyPath, valueName;
    SplitName(name, keyPath, valueName);

    switch (value.typeId()) {
    case QMetaType::Bool:
        store->setDWord(keyPath, valueName, value.toBool() ? 1 : 0);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        store->setDWord(keyPath, valueName, quint32(value.toLongLong()));
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        store->setBinary(keyPath, valueName, doubleBytes(value.toDouble()));
        break;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        store->setBinary(keyPath, valueName, doubleBytes(toDateNumber(value.toDateTime())));
        break;
    default:
        store->setString(keyPath, valueName, value.toString());
        break;
    }

    return store.commit(m_lastError);
}

QVariant TRegistryEnhanced::ReadValue(const QString &name, const QVariant &defaultValue)
{
    StoreForCall store(m_store);
    QString keyPath, valueName;
    SplitName(name, keyPath, valueName);
    if (!store->keyExists(keyPath))
        return defaultValue;
    const QVariant data = store->value(keyPath, valueName);
    switch (store->valueType(keyPath, valueName)) {
    case RegistryStore::ValueType::String:
        return data.toString();
    case RegistryStore::ValueType::DWord:
        return QVariant(qint32(data.toUInt()));
    case RegistryStore::ValueType::Binary:
        return QVariant(qint32(data.toByteArray().size()));
    case RegistryStore::ValueType::None:
        break;
    }
    return defaultValue;
}

bool TRegistryEnhanced::KeyExists(const QString &subKey)
{
    StoreForCall store(m_store);
    return store->keyExists(Key + u'\\' + subKey);
}

bool TRegistryEnhanced::DeleteValue(const QString &name)
{
    m_lastError.clear();
    StoreForCall store(m_store);
    QString keyPath, valueName;
    SplitName(name, keyPath, valueName);
    if (!store->deleteValue(keyPath, valueName))
        return false;
    return store.commit(m_lastError);
}
