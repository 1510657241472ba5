#include "OutputNames.h"

#include "AppError.h"
#include "PendingFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextBoundaryFinder>

namespace {

qsizetype fileBytes(const QString &s)
{
    return QFile::encodeName(s).size();
}

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// "/", control characters and broken UTF-16 replaced; leading dots and
// blanks removed.
QString cleanTitle(const QString &title)
{
    QString out;
    out.reserve(title.size());
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QChar c = title.at(i);
        if (c.isHighSurrogate() && i + 1 < title.size() && title.at(i + 1).isLowSurrogate()) {
            out += c;
            out += title.at(++i);
        } else if (c.isSurrogate()) {
            out += QChar(QChar::ReplacementCharacter);
        } else if (c == QLatin1Char('/')) {
            out += QLatin1Char('_');
        } else if (isControl(c.unicode())) {
            out += QLatin1Char(' ');
        } else {
            out += c;
        }
    }
    qsizetype start = 0;
    while (start < out.size() && (out.at(start) == QLatin1Char('.') || out.at(start).isSpace()))
        ++start;
    out = out.mid(start).trimmed();
    return out.isEmpty() ? QString::fromLatin1(TOutputNames::UntitledName) : out;
}

// The longest start of base, ending at a boundary of the given kind, that
// fits in budget bytes.
QString cutAt(const QString &base, qsizetype budget, QTextBoundaryFinder::BoundaryType type)
{
    QTextBoundaryFinder finder(type, base);
    qsizetype best = 0;
    for (qsizetype b = finder.toNextBoundary(); b > 0; b = finder.toNextBoundary()) {
        if (fileBytes(base.left(b)) > budget)
            break;
        best = b;
    }
    return base.left(best);
}

// base + suffix + extension within MaxNameBytes; base is cut where needed.
QString fitName(const QString &base, const QString &suffix, const QString &extension)
{
    const qsizetype budget = TOutputNames::MaxNameBytes - fileBytes(suffix) - fileBytes(extension);
    if (fileBytes(base) <= budget)
        return base + suffix + extension;
    // Whole user-perceived characters first; a single character longer than
    // the budget (a letter with hundreds of accents) is cut by code point.
    QString cut = cutAt(base, budget, QTextBoundaryFinder::Grapheme);
    if (cut.isEmpty()) {
        QString points;
        for (char32_t c : base.toUcs4()) {
            const QString next = points + QString::fromUcs4(&c, 1);
            if (fileBytes(next) > budget)
                break;
            points = next;
        }
        cut = points;
    }
    cut = cut.trimmed();
    if (cut.isEmpty())
        cut = QString::fromLatin1(TOutputNames::UntitledName);
    return cut + suffix + extension;
}

}  // namespace

TOutputNames::TOutputNames(QString outputDirectory, bool avoidExisting)
    : m_directory(std::move(outputDirectory)), m_avoidExisting(avoidExisting)
{
}

TOutputNames::~TOutputNames() = default;

QString TOutputNames::SafeFileName(const QString &title, const QString &extension)
{
    return fitName(cleanTitle(title), QString(), extension);
}

QString TOutputNames::JoinPath(const QString &directory, const QString &name)
{
    QString path = directory + QLatin1Char('/') + name;
    while (path.contains(QLatin1String("//")))
        path.replace(QLatin1String("//"), QLatin1String("/"));
    return path;
}

QString TOutputNames::NumberedName(const QString &path, int n)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const QString numbered = fitName(name.left(name.size() - extension.size()), QStringLiteral(" (%1)").arg(n),
                                     extension);
    return path.left(path.size() - name.size()) + numbered;
}

QString TOutputNames::uniqueName(const QString &title, const QString &extension, QString *taken)
{
    const QString base = cleanTitle(title);
    const auto free = [&](const QString &name) {
        return !m_used.contains(name) && !(m_avoidExisting && PendingFile::Exists(JoinPath(m_directory, name)));
    };
    QString name = fitName(base, QString(), extension);
    if (!free(name) && !m_used.contains(name))
        *taken = JoinPath(m_directory, name);
    for (int n = 2; !free(name); ++n)
        name = fitName(base, QStringLiteral(" (%1)").arg(n), extension);
    m_used.insert(name);
    return name;
}

QString TOutputNames::TempDirectory() const
{
    return m_temp ? m_temp->path() : QString();
}

TOutputNames::TFiles TOutputNames::Build(const QString &title, SoundFormat format)
{
    TFiles files;
    if (format == SoundFormat::Wav) {
        files.WavFile = JoinPath(m_directory, uniqueName(title, QString::fromLatin1(WavExtension), &files.Taken));
        return files;
    }
    if (!m_temp) {
        auto temp = std::make_unique<QTemporaryDir>(PendingFile::TempFolderTemplate());
        if (!temp->isValid())
            throw EAppError(QStringLiteral("Cannot create a temporary folder: ") + temp->errorString());
        m_temp = std::move(temp);
    }
    files.WavFile = JoinPath(m_temp->path(), QString::fromLatin1(TempWavName));
    files.EncodedFile = JoinPath(m_directory,
                                 uniqueName(title, QString::fromLatin1(ExtensionOf(format)), &files.Taken));
    return files;
}
