#pragma once
// PDF documents.

#include "Document.h"

DocumentResult ReadPdfDocument(const QString &path, qint64 textLimit);
