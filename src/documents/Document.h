#pragma once
// A document turned into something that can be read aloud: a title, an
// author where the file names one, and its chapters in reading order, each a
// title and plain text with one paragraph per line.

#include <QString>

#include <optional>
#include <vector>

struct Chapter {
    QString title;
    QString text;
};

struct Document {
    QString title;
    QString author;
    std::vector<Chapter> chapters;
};

// Either a document or, when the file cannot be read, a message in words
// that names the file and the cause.
struct DocumentResult {
    std::optional<Document> document;
    QString error;
};

// Reads any supported document. The format is chosen by the file's content
// (EPUB, DOCX, ODT, FB2, HTML, PDF), then by its extension (Markdown), else
// the file is plain text. A chapter with no title of its own takes the
// document's (the file's name when it names none). A document whose text would pass textLimit
// characters is refused as too large, and so are containers whose entries
// unpack to far more than that.
DocumentResult ReadDocument(const QString &path, qint64 textLimit);

// Whether the file is read as plain text, as text files always were: not a
// container, markup, Markdown or PDF. False when it cannot be opened.
bool IsPlainTextFile(const QString &path);
bool IsPdfFile(const QString &path);

// A chapter's text as it is read aloud: its own heading as the first line,
// then its text. The heading is left out when the chapter is only named
// after the book (a text file, the pages before a PDF's first bookmark).
QString ChapterText(const Document &document, const Chapter &chapter);
// The whole document as one text: every chapter's ChapterText, in order.
QString DocumentText(const Document &document);
