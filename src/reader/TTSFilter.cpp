#include "TTSFilter.h"

#include <algorithm>

namespace {

// Small character classes, laid out by hand.
// clang-format off

// Letters and digits are ASCII only: an accented letter ends a word.
bool isUpper(QChar c) { return c.unicode() >= 'A' && c.unicode() <= 'Z'; }
bool isLower(QChar c) { return c.unicode() >= 'a' && c.unicode() <= 'z'; }
bool isDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }
bool isLetter(QChar c) { return isUpper(c) || isLower(c); }
bool isAlnum(QChar c) { return isLetter(c) || isDigit(c); }

// Line breaks and tabs count as blanks too, so that a web address at the end
// of a line does not swallow the first word of the next one.
bool isBlank(QChar c)
{
    switch (c.unicode()) {
    case ' ': case '\t': case '\n': case '\r': case '\v': case '\f':
        return true;
    default:
        return false;
    }
}

bool isPunct(QChar c)
{
    switch (c.unicode()) {
    case '!': case ',': case '-': case '.': case ';': case '?':
        return true;
    default:
        return false;
    }
}

bool isSymbol(QChar c)
{
    switch (c.unicode()) {
    case '(': case ')': case '*': case '<': case '=': case '>': case '[': case '\\':
    case ']': case '^': case '_': case '{': case '|': case '}': case '~': case '`':
        return true;
    default:
        return false;
    }
}

// clang-format on

const QString kAssociatedPress = QStringLiteral("Associated Press");
const QString kWebLink = QStringLiteral("web link ");
const QString kSpacedWww = QStringLiteral("w w w");

// Positions are 32-bit and the text can grow several times over; a text
// this long is handed on unfiltered rather than risk overflowing them.
constexpr qsizetype kMaxFilteredLength = 128 * 1024 * 1024;

}  // namespace

// ---------------------------------------------------------------------------
// TLookupTable

void TLookupTable::Add(const QString &key, const QString &value)
{
    m_keys.append(key);
    m_values.append(value);
    const QString upper = key.toUpper();
    if (!m_index.contains(upper))  // the first of repeated keys wins
        m_index.insert(upper, m_count);
    ++m_count;
}

const QString *TLookupTable::Find(QStringView key) const
{
    // Keys are short; upper-casing into a small buffer keeps the lookup cheap.
    const auto it = m_index.constFind(key.toString().toUpper());
    return it == m_index.constEnd() ? nullptr : &m_values.at(it.value());
}

QString TLookupTable::Lookup(QStringView key) const
{
    const QString *v = Find(key);
    return v ? *v : QString();
}

const TLookupTable &TLookupTable::StateCodes()
{
    static const TLookupTable table = [] {
        // Some spellings are deliberately off: they make engines say the
        // name right.
        static const char *const entries[][2] = {
            {"AK", "Alaska"},        {"AL", "Alabama"},       {"AR", "Arkansas"},       {"AZ", "Arizona"},
            {"CA", "Callifornia"},   {"CO", "Colorado"},      {"CT", "Connecticut"},    {"DE", "Delaware"},
            {"FL", "Florida"},       {"GA", "Georgia"},       {"HI", "Hawaii"},         {"IA", "Iowa"},
            {"ID", "Idaho"},         {"IL", "Illinois"},      {"IN", "Indiania"},       {"KS", "Kansas"},
            {"KY", "Kentucky"},      {"LA", "Louisiana"},     {"MA", "Massachusetts"},  {"MD", "Maryland"},
            {"ME", "Maine"},         {"MI", "Michigan"},      {"MN", "Minnesota"},      {"MO", "Missouri"},
            {"MS", "Mississippi"},   {"MT", "Montana"},       {"NC", "North Carolina"}, {"ND", "North Dakota"},
            {"NE", "Nebraska"},      {"NH", "New Hampshire"}, {"NJ", "New Jersey"},     {"NM", "New Mexico"},
            {"NV", "Nevada"},        {"NY", "New York"},      {"OH", "Ohio"},           {"OK", "Oklahoma"},
            {"OR", "Oregon"},        {"PA", "Pennsylvania"},  {"RI", "Rhode Island"},   {"SC", "South Carolina"},
            {"SD", "South Dakota"},  {"TN", "Tennessee"},     {"TX", "Texas"},          {"UT", "Utah"},
            {"VA", "Virginia"},      {"VT", "Vermont"},       {"WA", "Washington"},     {"WI", "Wisconsin"},
            {"WV", "West Virginia"}, {"WY", "Wyoming"},
        };
        TLookupTable t;
        for (const auto &e : entries)
            t.Add(QString::fromLatin1(e[0]), QString::fromLatin1(e[1]));
        return t;
    }();
    return table;
}

// ---------------------------------------------------------------------------
// TTTSFilter
//
// The output is built in one left-to-right pass. Every rewrite touches only
// the tail of the output (the open word or the pending period run) or text
// not yet copied (a web address path), so each character is handled a
// bounded number of times and replacement records arrive in start order.

TTTSFilter::TTTSFilter() : m_states(TLookupTable::StateCodes())
{
    ClearOffsets();
}

QString TTTSFilter::FilterText(uint8_t engineFeatures, const QString &text, bool filterSymbols)
{
    ClearOffsets();
    if (text.size() > kMaxFilteredLength)
        return text;
    m_features = engineFeatures;
    m_filterSymbols = filterSymbols;

    const int n = int(text.size());
    QString out;
    out.reserve(n + n / 4 + 16);

    bool runPending = false;
    int runStart = 0;  // output index of the period that opened the run
    int i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (isBlank(c)) {
            out.append(c);
            ++i;
            continue;
        }
        if (runPending) {
            if (isPunct(c)) {
                out.append(c);
                ++i;
                continue;
            }
            runPending = false;
            // A lone period followed by blanks stays; a period with more
            // punctuation after it becomes one comma pause.
            const int end = int(out.size());
            bool more = false;
            for (int k = runStart + 1; k < end && !more; ++k)
                more = !isBlank(out.at(k));
            if (more) {
                QChar *d = out.data();
                d[runStart] = QLatin1Char(',');
                for (int k = runStart + 1; k < end; ++k)
                    d[k] = QLatin1Char(' ');
            }
        }
        if (c == QLatin1Char('.')) {
            runPending = true;
            runStart = int(out.size());
            out.append(c);
            ++i;
            continue;
        }
        if (isAlnum(c)) {
            i = scanWord(text, i, out);
            continue;
        }
        out.append(m_filterSymbols && isSymbol(c) ? QChar(QLatin1Char(' ')) : c);
        ++i;
    }
    return out;
}

// Copies one word (from in[i], a letter or digit) to the output and replaces
// it once it is terminated. Returns the input index where the main scan
// goes on: the character that ended the word.
int TTTSFilter::scanWord(const QString &in, int i, QString &out)
{
    const int n = int(in.size());
    int wordIn = i;
    int wordOut = int(out.size());
    bool caps = isUpper(in.at(i)) || isDigit(in.at(i));
    bool dotSeen = false;

    for (int j = i;;) {
        if (j >= n)
            return n;  // the last word of a text is never replaced
        const QChar c = in.at(j);
        if (isLower(c))
            caps = false;
        if (c == QLatin1Char(':') && QStringView(in).mid(wordIn, 7) == u"http://") {
            out.truncate(wordOut);
            out.append(QString(7, QLatin1Char(' ')));
            j = wordIn + 7;
            if (j < n && isAlnum(in.at(j))) {
                wordIn = j;
                wordOut = int(out.size());
                caps = isUpper(in.at(j)) || isDigit(in.at(j));
                continue;
            }
            return j;
        }
        if (c == QLatin1Char('.') && !dotSeen) {
            dotSeen = true;
            const int after = webAddress(in, wordIn, wordOut, j, out);
            if (after >= 0)
                return after;  // the rewritten address is not looked up again
            // no path: the period ends the word
        } else if (isAlnum(c)) {
            out.append(c);
            ++j;
            continue;
        }
        replaceWord(out, wordOut, caps);
        return j;
    }
}

// At the first period of a word: spells out a leading "www" and replaces the
// path of an address by "web link ". Returns the input index after the path,
// or -1 when the word holds no path.
int TTTSFilter::webAddress(const QString &in, int wordIn, int wordOut, int dotIn, QString &out)
{
    const int n = int(in.size());
    bool letter = false;
    int k = wordIn;
    if (QStringView(in).mid(wordIn, 3) == u"www") {
        out.replace(wordOut, 3, kSpacedWww);
        AddOffset(wordOut, wordOut + 5, -2);
        letter = true;
        k = wordIn + 3;
    }
    int periods = 0;
    for (; k < n; ++k) {
        const QChar c = in.at(k);
        if (isBlank(c))
            return -1;
        if (c == QLatin1Char('/')) {
            if (periods == 0 || !letter)
                return -1;
            break;
        }
        if (isLetter(c))
            letter = true;
        if (c == QLatin1Char('.'))
            ++periods;
    }
    if (k >= n)
        return -1;

    out.append(QStringView(in).mid(dotIn, k - dotIn));
    out.append(QLatin1Char(' '));  // the slash
    const int pathIn = k + 1;
    int pathEnd = pathIn;
    while (pathEnd < n && !isBlank(in.at(pathEnd)))
        ++pathEnd;
    const int pathOut = int(out.size());
    out.append(kWebLink);
    const int pathLength = pathEnd - pathIn;
    if (pathLength != int(kWebLink.size()))
        AddOffset(pathOut, pathOut + int(kWebLink.size()), pathLength - int(kWebLink.size()));
    return pathEnd;
}

// Replaces the word that is the output's tail from wordOut.
void TTTSFilter::replaceWord(QString &out, int wordOut, bool caps)
{
    const int length = int(out.size()) - wordOut;
    const QStringView word = QStringView(out).mid(wordOut);
    const QString *replacement = nullptr;
    if (word == u"AP") {
        replacement = &kAssociatedPress;
    } else if (length > 4) {
        if (caps) {
            // Same length: lowered in place, no record needed.
            QChar *d = out.data();
            for (int k = wordOut; k < out.size(); ++k)
                if (isUpper(d[k]))
                    d[k] = QChar(d[k].unicode() + ('a' - 'A'));
        }
        return;
    } else if (caps && !(m_features & FeatureExpandsStateCodes)) {
        replacement = m_states.Find(word);
    }
    if (!replacement || *replacement == word)
        return;
    out.truncate(wordOut);
    out.append(*replacement);
    if (length != int(replacement->size()))
        AddOffset(wordOut, wordOut + int(replacement->size()), length - int(replacement->size()));
}

void TTTSFilter::AddOffset(int start, int end, int change)
{
    if (m_offsets.empty() || m_offsets.back().Start <= start) {
        if (!m_offsets.empty() && start <= m_offsets.back().End)
            m_disjoint = false;
        m_prefix.push_back(m_prefix.back() + change);
        m_offsets.push_back({start, end, change});
        return;
    }
    m_disjoint = false;
    for (TOffsetRecord &r : m_offsets) {
        if (r.Start > start) {
            r.Start -= change;
            r.End -= change;
        }
    }
    m_offsets.push_back({start, end, change});
    std::stable_sort(m_offsets.begin(), m_offsets.end(),
                     [](const TOffsetRecord &a, const TOffsetRecord &b) { return a.Start < b.Start; });
}

void TTTSFilter::ClearOffsets()
{
    m_offsets.clear();
    m_prefix.assign(1, 0);
    m_disjoint = true;
}

int TTTSFilter::MapPosition(int position) const
{
    if (m_disjoint) {
        // Records neither overlap nor touch, so their ends ascend too: the
        // first record that does not end before the position decides.
        const auto it = std::lower_bound(m_offsets.begin(), m_offsets.end(), position,
                                         [](const TOffsetRecord &r, int p) { return r.End < p; });
        const int sum = m_prefix[size_t(it - m_offsets.begin())];
        if (it != m_offsets.end() && it->Start <= position)
            return it->Start + sum;
        return position + sum;
    }
    int sum = 0;
    for (const TOffsetRecord &r : m_offsets) {
        if (r.Start <= position && position <= r.End)
            return r.Start + sum;
        if (r.Start < position)
            sum += r.Change;
        else
            return position + sum;
    }
    return position + sum;
}
