#include "ZipArchive.h"

#include "DocumentFormats.h"

#include <QFile>

#include <zip.h>

ZipArchive::ZipArchive(const QString &path, qint64 unpackBudget, const QString &tooLargeCause)
    : m_budget(unpackBudget), m_tooLarge(tooLargeCause)
{
    int code = 0;
    m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!m_zip) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString why = QString::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        throw DocumentError(QStringLiteral("the zip container is damaged (%1)").arg(why));
    }
}

ZipArchive::~ZipArchive()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipArchive::contains(const QString &name) const
{
    return zip_name_locate(m_zip, name.toUtf8().constData(), 0) >= 0;
}

std::optional<QByteArray> ZipArchive::read(const QString &name)
{
    const zip_int64_t index = zip_name_locate(m_zip, name.toUtf8().constData(), 0);
    if (index < 0)
        return std::nullopt;
    zip_file_t *file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file)
        throw DocumentError(QStringLiteral("the entry \"%1\" of the zip container cannot be unpacked (%2)")
                                .arg(name, QString::fromUtf8(zip_strerror(m_zip))));
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        // The stored size may lie, so the budget is checked on what unpacks.
        const zip_int64_t got = zip_fread(file, chunk, sizeof chunk);
        if (got < 0) {
            const QString why = QString::fromUtf8(zip_file_strerror(file));
            zip_fclose(file);
            throw DocumentError(QStringLiteral("the entry \"%1\" of the zip container is damaged (%2)").arg(name, why));
        }
        if (got == 0)
            break;
        m_budget -= got;
        if (m_budget < 0) {
            zip_fclose(file);
            throw DocumentError(m_tooLarge);
        }
        bytes.append(chunk, qsizetype(got));
    }
    zip_fclose(file);
    return bytes;
}
