#pragma once
// The text filter written the straightforward way: the text is rewritten in
// place while it is scanned (1-based, as the algorithm is usually stated)
// and every new record moves the records added before it. Quadratic, and
// kept only as the yardstick the real filter is compared against.

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace reference {

// The 50 state codes and the names spoken for them, in order.
inline const QStringList &states()
{
    static const QStringList t =
        QStringLiteral("AKAlaska|ALAlabama|ARArkansas|AZArizona|CACallifornia|COColorado|CTConnecticut|DEDelaware|"
                       "FLFlorida|GAGeorgia|HIHawaii|IAIowa|IDIdaho|ILIllinois|INIndiania|KSKansas|KYKentucky|"
                       "LALouisiana|MAMassachusetts|MDMaryland|MEMaine|MIMichigan|MNMinnesota|MOMissouri|"
                       "MSMississippi|MTMontana|NCNorth Carolina|NDNorth Dakota|NENebraska|NHNew Hampshire|"
                       "NJNew Jersey|NMNew Mexico|NVNevada|NYNew York|OHOhio|OKOklahoma|OROregon|PAPennsylvania|"
                       "RIRhode Island|SCSouth Carolina|SDSouth Dakota|TNTennessee|TXTexas|UTUtah|VAVirginia|"
                       "VTVermont|WAWashington|WIWisconsin|WVWest Virginia|WYWyoming")
            .split(QLatin1Char('|'));
    return t;
}

struct Record {
    int start, end, change;
};

class InPlaceFilter
{
public:
    std::vector<Record> records;

    QString filter(uint8_t features, QString s, bool symbols)
    {
        records.clear();
        m_s = &s;
        int i = 1, runStart = 0;
        bool runPending = false;
        while (i <= len()) {
            QChar c = at(i);
            if (blank(c) || (runPending && punct(c))) {
                ++i;
                continue;
            }
            // 1. period runs
            if (runPending) {
                runPending = false;
                if (std::any_of(s.begin() + runStart, s.begin() + i - 1, [](QChar r) { return !blank(r); })) {
                    s[runStart - 1] = QLatin1Char(',');
                    s.replace(runStart, i - 1 - runStart, QString(i - 1 - runStart, QLatin1Char(' ')));
                }
            }
            if (c == QLatin1Char('.')) {
                runPending = true;
                runStart = i++;
                continue;
            }
            // 2. word start, 3. symbols
            if (!alnum(c)) {
                if (symbols && symbol(c))
                    s[i - 1] = QLatin1Char(' ');
                ++i;
                continue;
            }
            int ws = i, j = i;
            bool caps = upper(c) || digit(c), dotSeen = false, replace = false;
            // 4. word scan: ends in a replacement only when the word is terminated
            while (j <= len()) {
                c = at(j);
                if (lower(c))
                    caps = false;
                if (c == QLatin1Char(':') && s.mid(ws - 1, 7) == QLatin1String("http://")) {
                    s.replace(ws - 1, 7, QString(7, QLatin1Char(' ')));
                    j = ws + 7;
                    if (j > len() || !alnum(at(j)))
                        break;
                    ws = j;
                    caps = upper(at(j)) || digit(at(j));
                    continue;
                }
                if (c == QLatin1Char('.') && !dotSeen) {
                    dotSeen = true;
                    if (const int p = webAddress(ws, j); p > 0) {
                        j = p;
                        break;
                    }
                    c = at(j);
                } else if (alnum(c)) {
                    ++j;
                    continue;
                }
                if (symbols && symbol(c))
                    s[j - 1] = QLatin1Char(' ');
                replace = true;
                break;
            }
            i = j;
            if (!replace)
                continue;
            // 5. word replacement
            const QString word = s.mid(ws - 1, j - ws);
            const QString r = lookup(word, caps, features);
            if (r != word) {
                s.replace(ws - 1, word.size(), r);
                if (r.size() != word.size())
                    addOffset(ws - 1, ws - 1 + int(r.size()), int(word.size() - r.size()));
                i = ws + int(r.size());
            }
        }
        std::sort(records.begin(), records.end(), [](const Record &a, const Record &b) { return a.start < b.start; });
        return s;
    }

    int map(int p) const
    {
        int sum = 0;
        for (const Record &r : records) {
            if (r.start <= p && p <= r.end)
                return r.start + sum;
            if (r.start >= p)
                return p + sum;
            sum += r.change;
        }
        return p + sum;
    }

private:
    QString *m_s = nullptr;

    int len() const { return int(m_s->size()); }
    QChar at(int i) const { return m_s->at(i - 1); }

    void addOffset(int start, int end, int change)
    {
        for (Record &r : records)
            if (r.start > start)
                r = {r.start - change, r.end - change, r.change};
        records.push_back({start, end, change});
    }

    // Returns the 1-based position of the blank that ends "web link ", or 0.
    // dot follows the period when the text grows in front of it.
    int webAddress(int ws, int &dot)
    {
        QString &s = *m_s;
        bool letterSeen = false;
        int k = ws, periods = 0;
        if (s.mid(ws - 1, 3) == QLatin1String("www")) {
            s.replace(ws - 1, 3, QStringLiteral("w w w"));
            addOffset(ws - 1, ws + 4, -2);
            letterSeen = true;
            k = ws + 5;
            dot += 2;
        }
        for (; k <= len() && at(k) != QLatin1Char('/'); ++k) {
            if (blank(at(k)))
                return 0;
            letterSeen = letterSeen || upper(at(k)) || lower(at(k));
            periods += at(k) == QLatin1Char('.');
        }
        if (k > len() || periods == 0 || !letterSeen)
            return 0;
        s[k - 1] = QLatin1Char(' ');
        const int ps = k + 1;
        int pe = ps;
        while (pe <= len() && !blank(at(pe)))
            ++pe;
        s.replace(ps - 1, pe - ps, QStringLiteral("web link "));
        if (pe - ps != 9)
            addOffset(ps - 1, ps + 8, pe - ps - 9);
        return ps + 8;
    }

    static QString lookup(const QString &word, bool caps, uint8_t features)
    {
        if (word == QLatin1String("AP"))
            return QStringLiteral("Associated Press");
        if (word.size() > 4 && caps)
            return word.toLower();
        if (caps && !(features & 2))
            for (const QString &e : states())
                if (word.compare(e.left(2), Qt::CaseInsensitive) == 0)
                    return e.mid(2);
        return word;
    }

    static bool upper(QChar c) { return c >= QLatin1Char('A') && c <= QLatin1Char('Z'); }
    static bool lower(QChar c) { return c >= QLatin1Char('a') && c <= QLatin1Char('z'); }
    static bool digit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
    static bool alnum(QChar c) { return upper(c) || lower(c) || digit(c); }
    static bool blank(QChar c) { return QStringView(u" \t\n\r\v\f").contains(c); }
    static bool punct(QChar c) { return QStringView(u"!,-.;?").contains(c); }
    static bool symbol(QChar c) { return QStringView(u"()*<=>[\\]^_{|}~`").contains(c); }
};

}  // namespace reference
