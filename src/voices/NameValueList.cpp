#include "NameValueList.h"

int NameValueList::indexOf(const QString &name) const
{
    for (int i = 0; i < Names.size(); ++i)
        if (Names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString NameValueList::Get(const QString &name) const
{
    const int i = indexOf(name);
    return i < 0 ? QString() : Values.at(i);
}

void NameValueList::Set(const QString &name, const QString &value)
{
    const int i = indexOf(name);
    if (i >= 0) {
        Values[i] = value;
    } else {
        Names.append(name);
        Values.append(value);
    }
}

void NameValueList::Clear()
{
    Names.clear();
    Values.clear();
}

void NameValueList::GetList(const QString &name, QStringList &list) const
{
    list.clear();
    bool ok = false;
    const int count = Get(name).trimmed().toInt(&ok, 10);
    if (!ok || count <= 0)
        return;
    const int n = qMin(count, MaxListCount);
    list.reserve(n);
    for (int i = 0; i < n; ++i)
        list.append(Get(name + QString::number(i)));
}
