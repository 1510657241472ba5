// Feeds the document reader zips built from the input: the bytes up to each
// NUL are the next part of an EPUB (container, package, navigation, NCX,
// two chapters), an ODT or a DOCX, so the fuzzer works on the XML inside
// rather than on compressed bytes. Inputs whose first byte is odd are
// written as they are, for the zip reader itself.
#include "Document.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <zip.h>

namespace {

QString g_path;

const char *const kEpubParts[] = {"META-INF/container.xml", "OEBPS/content.opf", "OEBPS/nav.xhtml",
                                  "OEBPS/toc.ncx",          "OEBPS/c1.xhtml",    "OEBPS/c2.xhtml"};

bool WriteZip(uint8_t flags, QByteArrayView rest)
{
    std::vector<std::pair<QByteArray, QByteArray>> entries;
    switch ((flags >> 1) % 3) {
    case 0:
        entries.emplace_back("mimetype", "application/epub+zip");
        for (const char *name : kEpubParts)
            entries.emplace_back(name, QByteArray());
        break;
    case 1:
        entries = {{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", {}}, {"meta.xml", {}}};
        break;
    default:
        entries = {{"word/document.xml", {}}, {"docProps/core.xml", {}}};
        break;
    }
    for (size_t i = entries[0].first == "mimetype" ? 1 : 0; i < entries.size(); ++i) {
        const qsizetype nul = rest.indexOf('\0');
        entries[i].second = rest.first(nul < 0 ? rest.size() : nul).toByteArray();
        rest = rest.sliced(nul < 0 ? rest.size() : nul + 1);
    }
    int code = 0;
    zip_t *zip = zip_open(QFile::encodeName(g_path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!zip)
        return false;
    for (const auto &[name, data] : entries) {
        zip_source_t *source = zip_source_buffer(zip, data.constData(), zip_uint64_t(data.size()), 0);
        if (zip_file_add(zip, name.constData(), source, ZIP_FL_OVERWRITE) < 0)
            zip_source_free(source);
    }
    return zip_close(zip) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QTemporaryDir dir;
    new QCoreApplication(*argc, *argv);
    g_path = dir.path() + "/book";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArrayView rest(data + 1, qsizetype(size - 1));
    if (data[0] & 1) {
        QFile file(g_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(rest.data(), rest.size()) != rest.size())
            std::abort();
    } else if (!WriteZip(data[0], rest)) {
        std::abort();
    }
    // A small limit, so that the size checks are reached too.
    const DocumentResult result = ReadDocument(g_path, 4096);
    if (result.document.has_value() == !result.error.isEmpty() || (!result.document && !result.error.contains(g_path)))
        std::abort();  // always exactly one of a document and a message naming the file
    if (result.document) {
        qint64 total = 0;
        for (const Chapter &c : result.document->chapters)
            total += c.text.size();
        if (total > 4096)
            std::abort();
    }
    return 0;
}
