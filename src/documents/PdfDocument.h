#pragma once
// Reads a PDF file as a document through Poppler, without any widget.
//
// Chapters come from the outline (bookmarks); without one the whole file is
// one chapter titled by the document's title, else by the file name. Text
// follows Poppler's reading order (columns are read one after another), one
// paragraph per line. A word broken by a hyphen at a line end is joined, and
// lines that repeat at the top or bottom of most pages (running headers,
// footers, page numbers, digits aside) are dropped.
//
// An encrypted, damaged or text-less PDF (scanned pages), or one holding more
// than textLimit characters of text, gives an error naming the file.

#include "Document.h"

#include <QString>

DocumentResult ReadPdfDocument(const QString &path, qint64 textLimit);
