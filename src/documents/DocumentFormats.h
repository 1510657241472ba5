#pragma once
// The readers of each format, shared by the dispatcher and the tests. Each
// throws DocumentError with the cause in words; ReadDocument adds the file.

#include "Document.h"

#include <QByteArray>
#include <QString>

#include <stdexcept>

class ZipArchive;

class DocumentError : public std::runtime_error
{
public:
    explicit DocumentError(const QString &cause) : std::runtime_error(cause.toStdString()), m_cause(cause) {}
    const QString &cause() const { return m_cause; }

private:
    QString m_cause;
};

namespace DocumentFormats {

// Unpacked markup may be this many times the text limit: markup outweighs
// its text, but a zip bomb outweighs both by far.
constexpr qint64 kMarkupFactor = 8;

QString TooLargeCause(qint64 textLimit);

Document ReadEpub(ZipArchive &zip, qint64 textLimit);
Document ReadDocx(ZipArchive &zip, qint64 textLimit);
Document ReadOdt(ZipArchive &zip, qint64 textLimit);
Document ReadFb2(const QByteArray &xml, qint64 textLimit);
Document ReadHtml(const QByteArray &html, qint64 textLimit);
Document ReadMarkdown(const QString &text, qint64 textLimit);

}  // namespace DocumentFormats
