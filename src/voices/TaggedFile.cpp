#include "TaggedFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unused
// codes map to the C1 controls as Windows itself does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Trims blanks and control characters from both ends, as a line is read.
QStringView trimLine(QStringView line)
{
    qsizetype a = 0, b = line.size();
    while (a < b && line.at(a).unicode() <= ' ')
        ++a;
    while (b > a && line.at(b - 1).unicode() <= ' ')
        --b;
    return line.mid(a, b - a);
}

bool startsWithKey(QStringView tag)
{
    return tag.startsWith(u"key", Qt::CaseInsensitive);
}

}  // namespace

TaggedFile::TaggedFile()
{
    Clear();
}

QString TaggedFile::DecodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    text.resize(bytes.size());
    QChar *d = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(i));
        d[i] = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

void TaggedFile::Clear()
{
    FileName.clear();
    Text.clear();
    Root = std::make_unique<TaggedSection>(nullptr, QString());
}

QString TaggedFile::LoadFromFile(const QString &fileName)
{
    Clear();
    FileName = fileName;
    const QFileInfo info(fileName);
    if (!info.exists() || !info.isFile())
        return QStringLiteral("File:") + fileName + QStringLiteral(" Not Found.");
    if (info.size() > MaxFileSize)
        return QStringLiteral("File:") + fileName + QStringLiteral(" Too Large.");
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("File:") + fileName + QStringLiteral(" Cannot Be Read.");
    const QByteArray bytes = file.read(MaxFileSize + 1);
    file.close();
    if (bytes.size() > MaxFileSize)
        return QStringLiteral("File:") + fileName + QStringLiteral(" Too Large.");

    Text = JoinLines(DecodeText(bytes));
    parse();
    return QString();
}

QString TaggedFile::JoinLines(const QString &content)
{
    QString joined;
    joined.reserve(content.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= content.size(); ++i) {
        if (i == content.size() || content.at(i) == QLatin1Char('\n') || content.at(i) == QLatin1Char('\r')) {
            joined += trimLine(QStringView(content).mid(start, i - start));
            start = i + 1;
        }
    }
    return joined;
}

void TaggedFile::LoadFromText(const QString &text)
{
    Clear();
    Text = text;
    parse();
}

void TaggedFile::parse()
{
    Root->Text = Text;
    std::vector<TaggedSection *> pending{Root.get()};
    while (!pending.empty()) {
        TaggedSection *item = pending.back();
        pending.pop_back();
        parseSection(item, pending);
    }
}

// Reads the elements of one section's text into its values and children;
// children go onto pending to have their own text read.
void TaggedFile::parseSection(TaggedSection *item, std::vector<TaggedSection *> &pending)
{
    const QString &t = item->Text;
    const QStringView all(t);
    qsizetype s = 0;           // start of the remaining text
    qsizetype lim = t.size();  // end of the remaining text
    QHash<QString, qsizetype> closeHits;
    while (s < lim) {
        const QStringView rest = all.mid(s, lim - s);
        const qsizetype lt = rest.indexOf(QLatin1Char('<'));
        if (lt < 0)
            break;
        const qsizetype gt = rest.indexOf(QLatin1Char('>'), lt + 1);
        if (gt < 0)
            break;  // no tag can be completed any more
        const QStringView tag = rest.mid(lt + 1, gt - lt - 1);
        qsizetype end;  // index in rest of the last character of the element

        if (startsWithKey(tag)) {
            const qsizetype eq = tag.indexOf(QLatin1Char('='));
            const QString name = (eq < 0 ? tag : tag.mid(eq + 1)).toString();
            // Find the matching close, counting nested sections.
            int level = 0;
            qsizetype pos = 0;
            end = rest.size() - 1;
            // Each search is redone only once the scan has passed its last
            // hit, which keeps the scan linear in the section's length.
            qsizetype open = -2, close = -2;
            for (;;) {
                if (open != -1 && open < pos)
                    open = rest.indexOf(u"<key", pos, Qt::CaseInsensitive);
                if (close != -1 && close < pos)
                    close = rest.indexOf(u"</key", pos, Qt::CaseInsensitive);
                if (open < 0 && close < 0)
                    break;
                if (open >= 0 && (close < 0 || open < close)) {
                    ++level;
                    pos = open + 4;
                } else {
                    --level;
                    pos = close + 5;
                    if (level == 0) {
                        const qsizetype g = rest.indexOf(QLatin1Char('>'), pos);
                        end = g < 0 ? rest.size() - 1 : g;
                        break;
                    }
                }
            }
            const QStringView element = rest.mid(0, end + 1);
            const qsizetype inner = element.lastIndexOf(u"</key", -1, Qt::CaseInsensitive);
            const qsizetype contentEnd = inner > lt ? inner : element.size();
            if (item->Level < MaxDepth) {
                TaggedSection *child = item->AddChild(name);
                child->Text = element.mid(lt + 1, contentEnd - lt - 1).toString();
                pending.push_back(child);
            }
        } else {
            const QString close = QStringLiteral("</") + tag.toString() + QLatin1Char('>');
            // The remaining text only shrinks from both ends, so an earlier
            // search for the same closing tag still answers when its hit
            // lies ahead (or when there was none): junk full of one
            // unclosed tag stays linear.
            qsizetype c;  // index in t, or -1
            const auto known = closeHits.constFind(close);
            if (known != closeHits.constEnd() && (known.value() < 0 || known.value() >= s + gt + 1)) {
                c = known.value();
            } else {
                const qsizetype r = rest.indexOf(close, gt + 1);
                c = r < 0 ? -1 : s + r;
                closeHits.insert(close, c);
            }
            if (c >= 0 && c + close.size() > lim)
                c = -1;
            if (c >= 0)
                c -= s;
            if (c >= 0) {
                item->Values.Set(tag.toString(), rest.mid(gt + 1, c - gt - 1).toString());
                end = c + close.size() - 1;
            } else {
                item->Values.Set(tag.toString(), QString());
                end = rest.indexOf(QLatin1Char('>'));
            }
        }
        s += end + 1;
        lim = qMin(lim, s + ParseWindow);
    }
}

QString TaggedFile::GetValue(const QString &path, const QString &name) const
{
    const TaggedSection *item = Root->FindPath(path);
    return item ? item->Values.Get(name) : QString();
}

void TaggedFile::GetList(const QString &path, const QString &name, QStringList &list) const
{
    list.clear();
    if (const TaggedSection *item = Root->FindPath(path))
        item->Values.GetList(name, list);
}
