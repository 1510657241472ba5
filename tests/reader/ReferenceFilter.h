#pragma once
// The text filter written the straightforward way: the text is rewritten in
// place while it is scanned (1-based, as the algorithm is usually stated)
// and every new record moves the records added before it. Quadratic, and
// kept only as the yardstick the real filter is compared against.

#include <QString>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace reference {

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
        int i = 1;
        bool runPending = false;
        int runStart = 0;
        while (i <= len()) {
            QChar c = at(i);
            if (blank(c)) {
                ++i;
                continue;
            }
            // 1. period runs
            if (runPending) {
                if (punct(c)) {
                    ++i;
                    continue;
                }
                runPending = false;
                const QString run = s.mid(runStart - 1, i - runStart);
                if (run.size() > 1 && trimmed(run).size() > 1) {
                    s[runStart - 1] = QLatin1Char(',');
                    for (int k = runStart + 1; k <= i - 1; ++k)
                        s[k - 1] = QLatin1Char(' ');
                }
            }
            if (c == QLatin1Char('.')) {
                runPending = true;
                runStart = i;
                ++i;
                continue;
            }
            // 2. word start
            bool wordOpen = false;
            int ws = 0;
            bool caps = false;
            if (alnum(c)) {
                wordOpen = true;
                ws = i;
                caps = upper(c) || digit(c);
            }
            // 3. symbols
            if (symbols && symbol(c))
                s[i - 1] = QLatin1Char(' ');
            if (!wordOpen) {
                ++i;
                continue;
            }
            // 4. word scan
            bool dotSeen = false, terminated = false, webDone = false;
            int j = i;
            while (wordOpen && !terminated && j <= len()) {
                c = at(j);
                if (lower(c))
                    caps = false;
                if (c == QLatin1Char(':') && s.mid(ws - 1, 7) == QLatin1String("http://")) {
                    for (int k = 0; k < 7; ++k)
                        s[ws - 1 + k] = QLatin1Char(' ');
                    j = ws + 7;
                    if (j <= len() && alnum(at(j))) {
                        ws = j;
                        caps = upper(at(j)) || digit(at(j));
                    } else {
                        wordOpen = false;
                    }
                    continue;
                }
                if (c == QLatin1Char('.') && !dotSeen) {
                    dotSeen = true;
                    const int p = webAddress(ws, j);
                    if (p > 0) {
                        j = p;
                        webDone = true;
                        continue;
                    }
                    c = at(j);
                } else if (alnum(c)) {
                    ++j;
                    continue;
                }
                terminated = true;
                if (symbols && symbol(c))
                    s[j - 1] = QLatin1Char(' ');
            }
            if (!wordOpen || !terminated || webDone) {
                i = j;
                continue;
            }
            // 5. word replacement
            const QString word = s.mid(ws - 1, j - ws);
            const QString r = lookup(word, caps, features);
            if (r != word) {
                s.replace(ws - 1, word.size(), r);
                if (r.size() != word.size())
                    addOffset(ws - 1, ws - 1 + int(r.size()), int(word.size() - r.size()));
                i = ws + int(r.size());
            } else {
                i = j;
            }
        }
        std::sort(records.begin(), records.end(),
                  [](const Record &a, const Record &b) { return a.start < b.start; });
        m_s = nullptr;
        return s;
    }

    int map(int p) const
    {
        int sum = 0;
        for (const Record &r : records) {
            if (r.start <= p && p <= r.end)
                return r.start + sum;
            if (r.start < p)
                sum += r.change;
            else
                return p + sum;
        }
        return p + sum;
    }

private:
    QString *m_s = nullptr;

    int len() const { return int(m_s->size()); }
    QChar at(int i) const { return m_s->at(i - 1); }

    void addOffset(int start, int end, int change)
    {
        for (Record &r : records) {
            if (r.start > start) {
                r.start -= change;
                r.end -= change;
            }
        }
        records.push_back({start, end, change});
    }

    // Returns the 1-based position of the blank that ends "web link ", or 0.
    // dot follows the period when the text grows in front of it.
    int webAddress(int ws, int &dot)
    {
        QString &s = *m_s;
        bool letterSeen = false;
        int k = ws;
        if (s.mid(ws - 1, 3) == QLatin1String("www")) {
            s.replace(ws - 1, 3, QStringLiteral("w w w"));
            addOffset(ws - 1, ws + 4, -2);
            letterSeen = true;
            k = ws + 5;
            dot += 2;
        }
        int periods = 0;
        for (; k <= len(); ++k) {
            const QChar c = at(k);
            if (blank(c))
                return 0;
            if (c == QLatin1Char('/')) {
                if (periods == 0 || !letterSeen)
                    return 0;
                break;
            }
            if (upper(c) || lower(c))
                letterSeen = true;
            if (c == QLatin1Char('.'))
                ++periods;
        }
        if (k > len())
            return 0;
        s[k - 1] = QLatin1Char(' ');
        const int ps = k + 1;
        int pe = ps;
        while (pe <= len() && !blank(at(pe)))
            ++pe;
        const int plen = pe - ps;
        s.replace(ps - 1, plen, QStringLiteral("web link "));
        if (plen != 9)
            addOffset(ps - 1, ps + 8, plen - 9);
        return ps + 8;
    }

    static QString lookup(const QString &word, bool caps, uint8_t features)
    {
        static const char *const states[][2] = {
            {"AK", "Alaska"}, {"AL", "Alabama"}, {"AR", "Arkansas"}, {"AZ", "Arizona"},
            {"CA", "Callifornia"}, {"CO", "Colorado"}, {"CT", "Connecticut"}, {"DE", "Delaware"},
            {"FL", "Florida"}, {"GA", "Georgia"}, {"HI", "Hawaii"}, {"IA", "Iowa"},
            {"ID", "Idaho"}, {"IL", "Illinois"}, {"IN", "Indiania"}, {"KS", "Kansas"},
            {"KY", "Kentucky"}, {"LA", "Louisiana"}, {"MA", "Massachusetts"}, {"MD", "Maryland"},
            {"ME", "Maine"}, {"MI", "Michigan"}, {"MN", "Minnesota"}, {"MO", "Missouri"},
            {"MS", "Mississippi"}, {"MT", "Montana"}, {"NC", "North Carolina"},
            {"ND", "North Dakota"}, {"NE", "Nebraska"}, {"NH", "New Hampshire"},
            {"NJ", "New Jersey"}, {"NM", "New Mexico"}, {"NV", "Nevada"}, {"NY", "New York"},
            {"OH", "Ohio"}, {"OK", "Oklahoma"}, {"OR", "Oregon"}, {"PA", "Pennsylvania"},
            {"RI", "Rhode Island"}, {"SC", "South Carolina"}, {"SD", "South Dakota"},
            {"TN", "Tennessee"}, {"TX", "Texas"}, {"UT", "Utah"}, {"VA", "Virginia"},
            {"VT", "Vermont"}, {"WA", "Washington"}, {"WI", "Wisconsin"},
            {"WV", "West Virginia"}, {"WY", "Wyoming"},
        };
        if (word == QLatin1String("AP"))
            return QStringLiteral("Associated Press");
        if (word.size() > 4 && caps) {
            QString lowered = word;
            for (QChar &ch : lowered)
                if (upper(ch))
                    ch = QChar(ch.unicode() + 32);
            return lowered;
        }
        if (caps && !(features & 2)) {
            for (const auto &e : states)
                if (word.compare(QLatin1String(e[0]), Qt::CaseInsensitive) == 0)
                    return QString::fromLatin1(e[1]);
        }
        return word;
    }

    static bool upper(QChar c) { return c >= QLatin1Char('A') && c <= QLatin1Char('Z'); }
    static bool lower(QChar c) { return c >= QLatin1Char('a') && c <= QLatin1Char('z'); }
    static bool digit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
    static bool alnum(QChar c) { return upper(c) || lower(c) || digit(c); }
    static bool blank(QChar c) { return QStringView(u" \t\n\r\v\f").contains(c); }
    static bool punct(QChar c) { return QStringView(u"!,-.;?").contains(c); }
    static bool symbol(QChar c) { return QStringView(u"()*<=>[\\]^_{|}~`").contains(c); }

    static QString trimmed(const QString &t)
    {
        int a = 0, b = int(t.size());
        while (a < b && blank(t.at(a)))
            ++a;
        while (b > a && blank(t.at(b - 1)))
            --b;
        return t.mid(a, b - a);
    }
};

}  // namespace reference
