#pragma once
// A list of name/value pairs, as read from a tagged text file. Names compare
// without regard to letter case; the first matching name wins.

#include <QString>
#include <QStringList>

class NameValueList
{
public:
    QStringList Names;
    QStringList Values;

    // The value of name, or an empty text.
    QString Get(const QString &name) const;
    // Replaces the value of an existing name (keeping its spelling), else
    // appends the pair.
    void Set(const QString &name, const QString &value);
    void Clear();
    int Count() const { return int(Names.size()); }

    // A list N is stored as N (the count, in decimal) and N0 .. N(count-1).
    // Clears list, then appends the entries, each empty when missing. A
    // count that is missing, not a number or negative counts as 0.
    void GetList(const QString &name, QStringList &list) const;

    // More entries than this are not read: no real list is this long, and a
    // damaged count must not fill memory with empty entries.
    static constexpr int MaxListCount = 100000;

private:
    int indexOf(const QString &name) const;
};
