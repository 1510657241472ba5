#include "SettingsRecord.h"

#include "MessageService.h"
#include "RegistryEnhanced.h"
#include "RegistryStore.h"
#include "DiagnosticLog.h"

#include <QLocale>

#include <cmath>

const QString SettingsRecord::BaseKey = QStringLiteral("Software\\VarnyxTech");
const QString SettingsRecord::WindowsKey = QStringLiteral("Software\\VarnyxTech\\Windows");
const QString SettingsRecord::NoSuchItemMessage = QStringLiteral("No such registry item as name between equals =");

namespace {

const QString DefaultMarker = QStringLiteral("defaultvalue");

bool parseInt(const QString &text, int32_t &value)
{
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok, 10);
    if (ok)
        value = parsed;
    return ok;
}

bool parseReal(const QString &text, double &value)
{
    bool ok = false;
    const double parsed = QLocale::c().toDouble(text.trimmed(), &ok);
    if (ok && std::isfinite(parsed))
        value = parsed;
    return ok && std::isfinite(parsed);
}

}  // namespace

// --- regInt ---------------------------------------------------------------

regInt::regInt(const QString &name, uint8_t location, int32_t defaultValue)
    : BaseRegClass(name, location), Default(defaultValue)
{
}

void regInt::SetAsString(const QString &text)
{
    if (!parseInt(text, Value))
        Value = Default;
}

QString regInt::GetAsString() const
{
    return QString::number(Value);
}
QString regInt::GetDefaultAsString() const
{
    return QString::number(Default);
}
QVariant regInt::GetAsVariant() const
{
    return QVariant(Value);
}

void regInt::SetAsVariant(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString) {
        parseInt(value.toString(), Value);
        return;
    }
    bool ok = false;
    const int number = value.toInt(&ok);
    if (ok)
        Value = number;
}

// --- regReal --------------------------------------------------------------

regReal::regReal(const QString &name, uint8_t location, double defaultValue)
    : BaseRegClass(name, location), Default(defaultValue)
{
}

void regReal::SetAsString(const QString &text)
{
    if (!parseReal(text, Value))
        Value = Default;
}

QString regReal::GetAsString() const
{
    return QString::number(Value, 'g', QLocale::FloatingPointShortest);
}
QString regReal::GetDefaultAsString() const
{
    return QString::number(Default, 'g', QLocale::FloatingPointShortest);
}
QVariant regReal::GetAsVariant() const
{
    return QVariant(Value);
}

void regReal::SetAsVariant(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString) {
        parseReal(value.toString(), Value);
        return;
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (ok && std::isfinite(number))
        Value = number;
}

// --- regBool --------------------------------------------------------------

regBool::regBool(const QString &name, uint8_t location, bool defaultValue)
    : BaseRegClass(name, location), Default(defaultValue)
{
}

void regBool::SetAsString(const QString &text)
{
    Value = text.toLower() == QLatin1String("true");
}

QString regBool::GetAsString() const
{
    return Value ? QStringLiteral("true") : QStringLiteral("false");
}
QString regBool::GetDefaultAsString() const
{
    return Default ? QStringLiteral("true") : QStringLiteral("false");
}
QVariant regBool::GetAsVariant() const
{
    return QVariant(Value);
}

void regBool::SetAsVariant(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        SetAsString(value.toString());
    else if (value.canConvert<bool>())
        Value = value.toBool();
}

// --- regString ------------------------------------------------------------

regString::regString(const QString &name, uint8_t location, const QString &defaultValue)
    : BaseRegClass(name, location), Default(defaultValue)
{
}

void regString::SetAsString(const QString &text)
{
    Value = text;
}
QString regString::GetAsString() const
{
    return Value;
}
QString regString::GetDefaultAsString() const
{
    return Default;
}
QVariant regString::GetAsVariant() const
{
    return QVariant(Value);
}

void regString::SetAsVariant(const QVariant &value)
{
    if (value.isValid() && value.canConvert<QString>())
        Value = value.toString();
}

// --- regList --------------------------------------------------------------

regList::regList(const QString &name, uint8_t location, const QStringList &defaultValue)
    : BaseRegClass(name, location), Default(defaultValue)
{
}

QString regList::ToText(const QStringList &list)
{
    QStringList quoted;
    quoted.reserve(list.size());
    for (QString entry : list)
        quoted.append(u'"' + entry.replace(u'"', QLatin1String("\"\"")) + u'"');
    return quoted.join(u',');
}

bool regList::FromText(const QString &text, QStringList &list)
{
    QStringList result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (n == 0) {
        list = result;
        return true;
    }
    for (;;) {
        if (i >= n || text[i] != u'"')
            return false;
        ++i;
        QString entry;
        for (;;) {
            if (i >= n)
                return false;  // no closing quote
            if (text[i] == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    entry += u'"';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            entry += text[i++];
        }
        result.append(entry);
        if (i == n)
            break;
        if (text[i] != u',')
            return false;
        ++i;
    }
    list = result;
    return true;
}

void regList::SetAsString(const QString &text)
{
    if (!FromText(text, Value))
        Value = Default;
}

QString regList::GetAsString() const
{
    return ToText(Value);
}
QString regList::GetDefaultAsString() const
{
    return ToText(Default);
}
QVariant regList::GetAsVariant() const
{
    return QVariant(Value);
}

void regList::SetAsVariant(const QVariant &value)
{
    if (value.canConvert<QStringList>())
        Value = value.toStringList();
}

// --- SettingsRecord ---------------------------------------------------

BaseRegClass *SettingsRecord::AddItem(const QString &name, uint8_t location, const QVariant &defaultValue,
                                      TItemKind kind)
{
    std::unique_ptr<BaseRegClass> item;
    switch (kind) {
    case ikInteger:
        item = std::make_unique<regInt>(name, location, defaultValue.toInt());
        break;
    case ikReal:
        item = std::make_unique<regReal>(name, location, defaultValue.toDouble());
        break;
    case ikBoolean: {
        const bool value = defaultValue.typeId() == QMetaType::QString
                               ? defaultValue.toString().toLower() == QLatin1String("true")
                               : defaultValue.toBool();
        item = std::make_unique<regBool>(name, location, value);
        break;
    }
    case ikString:
        item = std::make_unique<regString>(name, location, defaultValue.toString());
        break;
    case ikList:
        item = std::make_unique<regList>(name, location, defaultValue.toStringList());
        break;
    }
    if (!item)
        return nullptr;
    Items.push_back(std::move(item));
    return Items.back().get();
}

BaseRegClass *SettingsRecord::FindItem(const QString &name) const
{
    for (const auto &item : Items) {
        if (item->Name.compare(name, Qt::CaseInsensitive) == 0)
            return item.get();
    }
    const QString text = NoSuchItemMessage + name + u'=';
    DiagnosticLog::WriteLog(text);
    MessageService::notice(text);
    return nullptr;
}

QVariant SettingsRecord::GetValue(const QString &name) const
{
    const BaseRegClass *item = FindItem(name);
    return item ? item->GetAsVariant() : QVariant();
}

void SettingsRecord::SetValue(const QString &name, const QVariant &value)
{
    if (BaseRegClass *item = FindItem(name))
        item->SetAsVariant(value);
}

QString SettingsRecord::ItemKey(const BaseRegClass &item) const
{
    return item.Location == 0 ? BaseKey : BaseKey + u'\\' + Section;
}

void SettingsRecord::LoadFromRegistry()
{
    RegistryStore store;
    if (store.loadStatus() == RegistryStore::LoadStatus::Damaged ||
        store.loadStatus() == RegistryStore::LoadStatus::Unreadable) {
        DiagnosticLog::WriteLog(QStringLiteral("Settings file cannot be read, using defaults: ") + store.fileName());
    }
    TRegistryEnhanced registry(&store);
    for (const auto &item : Items) {
        registry.Key = ItemKey(*item);
        QString text = registry.ReadValue(item->Name, DefaultMarker).toString();
        if (text == DefaultMarker)
            text = item->GetDefaultAsString();
        item->SetAsString(text);
    }
}

bool SettingsRecord::SaveToRegistry(QString *error)
{
    // One pass over the store and one atomic write: the previous file stays
    // whole when the write fails.
    RegistryStore store;
    TRegistryEnhanced registry(&store);
    for (const auto &item : Items) {
        registry.Key = ItemKey(*item);
        registry.WriteValue(item->Name, item->GetAsString());
    }
    if (store.save())
        return true;
    DiagnosticLog::WriteLog(
        QStringLiteral("Settings could not be saved to %1: %2").arg(store.fileName(), store.errorString()));
    if (error)
        *error = store.errorString();
    return false;
}
