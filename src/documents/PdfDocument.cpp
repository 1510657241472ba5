#include "PdfDocument.h"

#include <QDir>

// Stands in until the Poppler reader is built in.
DocumentResult ReadPdfDocument(const QString &path, qint64)
{
    return {std::nullopt, QStringLiteral("The document \"%1\" cannot be read: PDF support is not built.")
                              .arg(QDir::toNativeSeparators(path))};
}
