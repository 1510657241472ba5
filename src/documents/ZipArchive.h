#pragma once
// A zip file opened read-only through libzip. Every entry read counts
// against one budget of unpacked bytes, so a zip bomb stops at the budget
// instead of filling the memory.

#include <QByteArray>
#include <QString>

#include <optional>

struct zip;

class ZipArchive
{
public:
    // Throws DocumentError when the file is no zip or is damaged.
    ZipArchive(const QString &path, qint64 unpackBudget, const QString &tooLargeCause);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool contains(const QString &name) const;
    // The entry's bytes; nullopt when there is no such entry. Throws
    // DocumentError when it is damaged or passes the budget.
    std::optional<QByteArray> read(const QString &name);

private:
    zip *m_zip = nullptr;
    qint64 m_budget;
    QString m_tooLarge;
};
