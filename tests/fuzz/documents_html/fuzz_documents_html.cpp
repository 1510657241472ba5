// Feeds web pages (and, by the first byte, Markdown) to the document reader
// as files: whatever a page holds, the result is chapters within the text
// limit or one message naming the file.
#include "Document.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {
QString g_dir;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QTemporaryDir dir;
    new QCoreApplication(*argc, *argv);
    g_dir = dir.path();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QString path = g_dir + ((data[0] & 1) ? "/page.md" : "/page.html");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1)) != qint64(size - 1))
        std::abort();
    file.close();
    const DocumentResult result = ReadDocument(path, 2048);
    if (result.document.has_value() == !result.error.isEmpty() || (!result.document && !result.error.contains(path)))
        std::abort();
    if (result.document) {
        qint64 total = 0;
        for (const Chapter &c : result.document->chapters) {
            total += c.text.size();
            if (c.title.isEmpty() || c.text.isEmpty())
                std::abort();  // every chapter has a title and something to read
        }
        if (total > 2048)
            std::abort();
    }
    return 0;
}
