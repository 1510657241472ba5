#include "EspeakText.h"

#include <algorithm>
#include <iterator>

namespace sapi::EspeakText {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == u'\'' || c == QChar(0x2019);
}

// Blocks eSpeak NG 1.51 spells in their script's own language, where every
// sign that is no letter or mark fails, and further characters that fail
// with some voice (found by speaking every character of the Basic
// Multilingual Plane with a dozen of the catalogue's voices under
// AddressSanitizer).
struct Range {
    char32_t first, last;
};
constexpr Range kSpelledBlocks[] = {{0x0900, 0x0DFF}, {0x10A0, 0x10FF}, {0x1100, 0x11FF}};
constexpr Range kUnnamed[] = {{0x0384, 0x0385}, {0x0387, 0x0387}, {0x03F6, 0x03F6}, {0x09FE, 0x09FE}, {0x0AFD, 0x0AFF},
                              {0x0C80, 0x0C80}, {0x0D00, 0x0D01}, {0x0D04, 0x0D04}, {0x0D55, 0x0D56}, {0x0D5F, 0x0D5F},
                              {0x0D62, 0x0D62}, {0x1180, 0x11A7}, {0x11C3, 0x11FF}};

bool within(char32_t c, const Range *begin, const Range *end)
{
    return std::any_of(begin, end, [c](const Range &r) { return c >= r.first && c <= r.last; });
}

char32_t safeTextChar(char32_t c)
{
    if (c == u'\t' || c == u'\n' || c == u'\r')
        return c;
    if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
        return u' ';  // non-characters
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Surrogate:  // an unpaired half
    case QChar::Other_NotAssigned:
    case QChar::Other_PrivateUse:
        return u' ';
    default:
        break;
    }
    // Digits of any script read as the same digits.
    if (c >= 0x80 && QChar::category(c) == QChar::Number_DecimalDigit)
        return char32_t(u'0' + QChar::digitValue(c));
    if (within(c, std::begin(kUnnamed), std::end(kUnnamed)))
        return u' ';
    const bool danda = c == 0x0964 || c == 0x0965;  // sentence ends it knows
    if (within(c, std::begin(kSpelledBlocks), std::end(kSpelledBlocks)) && !QChar::isLetter(c) && !QChar::isMark(c) &&
        !danda)
        return u' ';
    return c;
}

// Which run of Unicode blocks a letter belongs to, for word breaks: the
// Latin, Greek, Cyrillic, Chinese and Japanese, Hangul and Arabic blocks
// each count as one; other blocks by their 128 code points. 0: goes with
// any (combining marks shared by all scripts, ASCII digits and signs,
// quotes in Latin text).
constexpr Range kBlockGroups[][5] = {
    {{0x0000, 0x02AF}, {0x1D00, 0x1DBF}, {0x1E00, 0x1EFF}, {0x2C60, 0x2C7F}, {0xA720, 0xA7FF}},
    {{0x0370, 0x03FF}, {0x1F00, 0x1FFF}},
    {{0x0400, 0x052F}, {0x1C80, 0x1C8F}, {0x2DE0, 0x2DFF}, {0xA640, 0xA69F}},
    {{0x2E80, 0x31FF}, {0x3400, 0x9FFF}, {0xF900, 0xFAFF}, {0xFF00, 0xFFEF}, {0x20000, 0x3FFFF}},
    {{0x1100, 0x11FF}, {0x3130, 0x318F}, {0xA960, 0xA97F}, {0xAC00, 0xD7FF}},
    {{0x0600, 0x06FF}, {0x0750, 0x077F}, {0x08A0, 0x08FF}, {0xFB50, 0xFDFF}, {0xFE70, 0xFEFF}},
};
constexpr uint32_t kLatinGroup = 1;

uint32_t blockGroup(char32_t c, uint32_t wordGroup)
{
    if (QChar::script(c) == QChar::Script_Inherited || (c < 0x80 && !QChar::isLetter(c)))
        return 0;
    if ((c == 0x2018 || c == 0x2019) && wordGroup == kLatinGroup)
        return 0;  // "don’t"
    for (uint32_t g = 0; g < std::size(kBlockGroups); ++g)
        for (const Range &r : kBlockGroups[g])
            if (r.last > 0 && c >= r.first && c <= r.last)
                return g + 1;
    return 0x100 + (c >> 7);
}

bool isBlank(char32_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

class Builder
{
public:
    EspeakInput input;

    void text(char32_t c, int origin)
    {
        c = safeTextChar(c);
        // "[[" and "]]" switch phoneme input on and off.
        if ((c == u'[' || c == u']') && c == m_last)
            c = u' ';
        // A word of characters from two alphabets is spelled letter by
        // letter, switching between the alphabets' languages, and a switch
        // frees the dictionary the word still reads: one word per alphabet.
        if (!isBlank(c)) {
            const uint32_t group = blockGroup(c, m_group);
            if (group != 0) {
                if (m_group != 0 && group != m_group && m_run > 0)
                    put(u' ', origin, kMaxWordLength);
                m_group = group;
            }
        }
        put(c, origin, kMaxWordLength);
    }

    // origin: where all of them stand in the chunk; -1 when symbols is the chunk.
    void phonemes(const QString &symbols, int origin, int lastOrigin)
    {
        // A bracket just before would make "[[[" or "]][[".
        const int start = std::max(origin, 0);
        if (m_last == u'[' || m_last == u']')
            put(u' ', start, kMaxWordLength);
        put(u'[', start, kMaxPhonemeWordLength);
        put(u'[', start, kMaxPhonemeWordLength);
        for (qsizetype i = 0; i < symbols.size(); ++i) {
            // Phoneme names are printable ASCII; brackets would end the phonemes early.
            const char16_t s = symbols[i].unicode();
            const bool symbol = s > 0x20 && s < 0x7F && s != u'[' && s != u']';
            put(symbol ? s : u' ', origin < 0 ? int(i) : origin, kMaxPhonemeWordLength);
        }
        put(u']', lastOrigin, kMaxPhonemeWordLength);
        put(u']', lastOrigin, kMaxPhonemeWordLength);
        input.phonemes = true;
    }

private:
    void put(char32_t c, int origin, int maxWord)
    {
        if (isBlank(c)) {
            m_run = 0;
            m_group = 0;
        } else if (++m_run > maxWord) {
            append(u' ', origin);
            m_run = 1;
        }
        append(c, origin);
    }

    void append(char32_t c, int origin)
    {
        if (QChar::requiresSurrogates(c)) {
            input.text += QChar(QChar::highSurrogate(c));
            input.text += QChar(QChar::lowSurrogate(c));
        } else {
            input.text += QChar(char16_t(c));
        }
        input.map.push_back(origin);
        m_last = c;
    }

    int m_run = 0;  // code points since the last blank
    char32_t m_last = 0;
    uint32_t m_group = 0;  // blockGroup() of the word's letters so far
};

// The code point at i (an unpaired surrogate stands for itself); i moves past it.
char32_t codePointAt(const QString &s, qsizetype &i)
{
    const QChar c = s[i++];
    if (c.isHighSurrogate() && i < s.size() && s[i].isLowSurrogate())
        return QChar::surrogateToUcs4(c, s[i++]);
    return c.unicode();
}

}  // namespace

EspeakInput fromText(const QString &chunk, const QHash<QString, LexiconEntry> &entries)
{
    Builder b;
    b.input.text.reserve(chunk.size());
    b.input.map.reserve(size_t(chunk.size()));
    qsizetype i = 0;
    while (i < chunk.size()) {
        if (entries.isEmpty() || !isWordChar(chunk[i])) {
            const int origin = int(i);
            b.text(codePointAt(chunk, i), origin);
            continue;
        }
        qsizetype end = i;
        while (end < chunk.size() && isWordChar(chunk[end]))
            ++end;
        auto it = entries.find(Lexicon::key(chunk.mid(i, end - i)));
        if (it == entries.end()) {
            while (i < end) {
                const int origin = int(i);
                b.text(codePointAt(chunk, i), origin);
            }
            continue;
        }
        const QString &sound = it->sound;
        if (it->phonemes()) {
            b.phonemes(sound.mid(2, sound.size() - 4), int(i), int(i));
        } else {
            for (qsizetype k = 0; k < sound.size();)
                b.text(codePointAt(sound, k), int(i));
        }
        i = end;
    }
    return std::move(b.input);
}

EspeakInput fromPhonemes(const QString &chunk)
{
    Builder b;
    b.phonemes(chunk, -1, int(std::max<qsizetype>(0, chunk.size() - 1)));
    return std::move(b.input);
}

}  // namespace sapi::EspeakText
