#pragma once
// Zip containers and EPUBs the tests write themselves, with libzip: shared
// by the document tests and the command line's audiobook tests.

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace TestEpub {

using Entries = std::vector<std::pair<QString, QByteArray>>;

// Writes a zip named name in the test's home; the first entry is stored, as
// EPUB wants its mimetype. Returns its path.
QString WriteZip(const QString &name, const Entries &entries);
// An XHTML page around body.
QByteArray Xhtml(const QByteArray &body);
// An EPUB 3 titled "The Book" by "Ann Author": its container, package
// (manifest and spine as given) and files.
Entries Epub(const QByteArray &manifest, const QByteArray &spine, Entries files);

}  // namespace TestEpub
