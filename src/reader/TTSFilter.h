#pragma once
// The text filter: rewrites what speech engines read badly (punctuation
// runs, markup symbols, web addresses, "AP", words in capitals, US state
// codes) and keeps replacement records so that word positions reported on
// the filtered text can be mapped back to the text the user sees.
//
// Widget-free: used by the reading driver, tested without a window.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <vector>

// One replacement that changed the length of the text.
struct TOffsetRecord {
    int Start = 0;   // 0-based index in the filtered text where the replacement begins
    int End = 0;     // Start + length of the replacement
    int Change = 0;  // replaced length - replacement length (negative when the text grew)

    bool operator==(const TOffsetRecord &) const = default;
};

using TOffsetList = std::vector<TOffsetRecord>;

// Keys and values in two parallel lists; keys compare without regard to case,
// the first matching key wins.
class TLookupTable
{
public:
    void Add(const QString &key, const QString &value);
    // The value for key, or an empty text when there is none.
    QString Lookup(QStringView key) const;
    // Like Lookup, without copying: nullptr when key is not in the table.
    const QString *Find(QStringView key) const;
    int Count() const { return m_count; }
    const QStringList &Keys() const { return m_keys; }
    const QStringList &Values() const { return m_values; }

    // The program's table of two-letter US state codes.
    static const TLookupTable &StateCodes();

private:
    QStringList m_keys;
    QStringList m_values;
    int m_count = 0;
    QHash<QString, int> m_index;  // upper-cased key -> first position
};

class TTTSFilter
{
public:
    // Bit of an engine's Features byte: the engine expands state codes itself.
    static constexpr uint8_t FeatureExpandsStateCodes = 2;

    TTTSFilter();

    // Filters one text for an engine with the given Features byte.
    // filterSymbols mirrors the TTS_FilterSymbols preference: markup symbols
    // become blanks. Replaces the records of the previous call.
    QString FilterText(uint8_t engineFeatures, const QString &text, bool filterSymbols);

    // Maps a 0-based position in the last filtered text back to the text
    // that was given; a position inside a replacement maps to where the
    // replaced text began.
    int MapPosition(int position) const;

    // Records one replacement; earlier records that start after it move by
    // -change. Records stay sorted by start.
    void AddOffset(int start, int end, int change);

    const TOffsetList &Offsets() const { return m_offsets; }
    void ClearOffsets();

private:
    int scanWord(const QString &in, int i, QString &out);
    int webAddress(const QString &in, int wordStartIn, int wordStartOut, int dotIn, QString &out);
    void replaceWord(QString &out, int wordStartOut, bool caps);

    TOffsetList m_offsets;
    std::vector<int> m_prefix;  // m_prefix[k]: sum of the changes of the first k records
    bool m_disjoint = true;     // records ascend and do not touch: MapPosition can bisect
    const TLookupTable &m_states;
    uint8_t m_features = 0;
    bool m_filterSymbols = false;
};
