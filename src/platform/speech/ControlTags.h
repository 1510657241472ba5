#pragma once
// Walks a text block piece by piece: control tags ("\Pit=120\", "\Mrk=7\",
// ...) and runs of text cut at sentence ends, so an engine can start
// speaking at once, whatever the length of the text, and tags take effect
// exactly where they stand.

#include <QString>

#include <cstdint>

namespace sapi {

struct TextPiece {
    enum Kind { End, Text, Pitch, Speed, Volume, Pause, Mark, Reset };
    Kind kind = End;
    qsizetype start = 0;  // Text: index of its first UTF-16 unit in the block
    QString text;         // Text: the units of the block from start on
    uint32_t value = 0;   // Pitch, Speed, Volume, Pause (ms), Mark (number)
};

class TextWalker
{
public:
    // tagged: control tags are honoured; otherwise backslashes are plain text.
    TextWalker(const QString &block, bool tagged, qsizetype maxChunk = 240);

    TextPiece next();

private:
    bool parseTag(qsizetype at, TextPiece &piece, qsizetype &after) const;
    qsizetype chunkEnd(qsizetype from, qsizetype limit) const;

    const QString &m_block;
    bool m_tagged;
    qsizetype m_maxChunk;
    qsizetype m_pos = 0;
};

}  // namespace sapi
