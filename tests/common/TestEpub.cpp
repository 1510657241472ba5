#include "TestEpub.h"

#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>
#include <zip.h>

namespace TestEpub {

QString WriteZip(const QString &name, const Entries &entries)
{
    const QString path = TestSupport::homeDir() + "/" + name;
    int code = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    EXPECT_NE(zip, nullptr);
    for (size_t i = 0; i < entries.size(); ++i) {
        const QByteArray &data = entries[i].second;
        zip_source_t *source = zip_source_buffer(zip, data.constData(), zip_uint64_t(data.size()), 0);
        const zip_int64_t index = zip_file_add(zip, entries[i].first.toUtf8().constData(), source, ZIP_FL_OVERWRITE);
        EXPECT_GE(index, 0);
        if (i == 0)
            zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    EXPECT_EQ(zip_close(zip), 0);
    return path;
}

QByteArray Xhtml(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" "
           "\"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
           "xmlns:epub=\"http://www.idpf.org/2007/ops\"><head><title>ignored</title>"
           "<style>p { color: red }</style></head><body>" +
           body + "</body></html>";
}

Entries Epub(const QByteArray &manifest, const QByteArray &spine, Entries files)
{
    Entries entries{
        {"mimetype", "application/epub+zip"},
        {"META-INF/container.xml", "<?xml version=\"1.0\"?><container version=\"1.0\" "
                                   "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
                                   "full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
                                   "</rootfiles></container>"},
        {"OEBPS/content.opf", "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\">"
                              "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>The Book</dc:title>"
                              "<dc:creator>Ann Author</dc:creator></metadata><manifest>" +
                                  manifest + "</manifest>" + spine + "</package>"}};
    entries.insert(entries.end(), files.begin(), files.end());
    return entries;
}

}  // namespace TestEpub
