#pragma once
// A document turned into plain text: its title, its author where the file
// names one, and its chapters in reading order.

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

// Either the document or, when it cannot be read, a message for the user
// that names the file and the cause.
struct DocumentResult {
    std::optional<Document> document;
    QString error;
};
