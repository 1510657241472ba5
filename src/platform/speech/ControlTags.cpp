#include "ControlTags.h"

namespace sapi {

namespace {

bool isSentenceEnd(QChar c)
{
    return c == u'.' || c == u'!' || c == u'?' || c == u';' || c == u':' || c == QChar(0x2026) || c == QChar(0x3002);
}

}  // namespace

TextWalker::TextWalker(const QString &block, bool tagged, qsizetype maxChunk)
    : m_block(block), m_tagged(tagged), m_maxChunk(std::max<qsizetype>(16, maxChunk))
{
}

bool TextWalker::parseTag(qsizetype at, TextPiece &piece, qsizetype &after) const
{
    // at points at a backslash. A tag is \Name\ or \Name=value\.
    qsizetype i = at + 1;
    const qsizetype n = m_block.size();
    qsizetype nameStart = i;
    while (i < n && i - nameStart < 16 && m_block[i].isLetter() && m_block[i].unicode() < 128)
        ++i;
    if (i == nameStart)
        return false;
    const QString name = m_block.mid(nameStart, i - nameStart).toLower();
    QString value;
    if (i < n && m_block[i] == u'=') {
        qsizetype v = ++i;
        while (i < n && m_block[i] != u'\\' && i - v < 64)
            ++i;
        value = m_block.mid(v, i - v).trimmed();
    }
    if (i >= n || m_block[i] != u'\\')
        return false;
    after = i + 1;

    bool ok = false;
    const qulonglong number = value.toULongLong(&ok);
    const uint32_t v = ok ? static_cast<uint32_t>(std::min<qulonglong>(number, 0xFFFFFFFFull)) : 0;
    piece = TextPiece();
    if (name == u"pit" && ok)
        piece.kind = TextPiece::Pitch;
    else if (name == u"spd" && ok)
        piece.kind = TextPiece::Speed;
    else if (name == u"vol" && ok)
        piece.kind = TextPiece::Volume;
    else if (name == u"pau" && ok)
        piece.kind = TextPiece::Pause;
    else if (name == u"mrk" && ok)
        piece.kind = TextPiece::Mark;
    else if (name == u"rst")
        piece.kind = TextPiece::Reset;
    else
        piece.kind = TextPiece::End;  // a tag we do not act on: skipped, never spoken
    piece.value = v;
    return true;
}

qsizetype TextWalker::chunkEnd(qsizetype from, qsizetype limit) const
{
    // The first sentence end (followed by white space) within the limit;
    // failing that the last white space; failing that a hard cut that does
    // not split a surrogate pair.
    const qsizetype hard = std::min(limit, from + m_maxChunk);
    qsizetype lastSpace = -1;
    for (qsizetype i = from; i < hard; ++i) {
        const QChar c = m_block[i];
        if (c == u'\n' || c == u'\r') {
            qsizetype e = i + 1;
            while (e < limit && m_block[e].isSpace())
                ++e;
            return e;
        }
        if (isSentenceEnd(c) && (i + 1 >= limit || m_block[i + 1].isSpace())) {
            qsizetype e = i + 1;
            while (e < limit && m_block[e].isSpace())
                ++e;
            return e;
        }
        if (c.isSpace())
            lastSpace = i + 1;
    }
    if (hard >= limit)
        return limit;
    if (lastSpace > from)
        return lastSpace;
    qsizetype e = hard;
    if (e > from + 1 && m_block[e - 1].isHighSurrogate())
        --e;
    return e;
}

TextPiece TextWalker::next()
{
    const qsizetype n = m_block.size();
    while (m_pos < n) {
        if (m_tagged && m_block[m_pos] == u'\\') {
            if (m_pos + 1 < n && m_block[m_pos + 1] == u'\\') {
                // An escaped backslash speaks as one backslash.
                TextPiece piece;
                piece.kind = TextPiece::Text;
                piece.start = m_pos + 1;
                piece.text = m_block.mid(m_pos + 1, 1);
                m_pos += 2;
                return piece;
            }
            TextPiece piece;
            qsizetype after = 0;
            if (parseTag(m_pos, piece, after)) {
                m_pos = after;
                if (piece.kind == TextPiece::End)
                    continue;
                return piece;
            }
        }
        // Plain text up to the next backslash (when tagged) or the end.
        qsizetype limit = n;
        if (m_tagged) {
            qsizetype b = m_block.indexOf(u'\\', m_pos + (m_block[m_pos] == u'\\' ? 1 : 0));
            if (b >= 0)
                limit = b;
        }
        const qsizetype end = chunkEnd(m_pos, limit);
        TextPiece piece;
        piece.kind = TextPiece::Text;
        piece.start = m_pos;
        piece.text = m_block.mid(m_pos, end - m_pos);
        m_pos = end;
        return piece;
    }
    return {};
}

}  // namespace sapi
