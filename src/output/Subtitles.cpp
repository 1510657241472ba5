#include "Subtitles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// LAME starts every stream with this many samples before the first one
// given, and an MP3 decoder's filter bank adds its own (both at the MP3's
// rate, whatever rate went in).
constexpr qint64 kLameEncoderDelay = 576;
constexpr qint64 kDecoderDelay = 529;

bool isSentenceEnd(const QString &word)
{
    int end = int(word.size());
    // Closing quotes and brackets after the stop still end the sentence.
    static const QString closing = QStringLiteral("\"')]}\u2019\u201D\u00BB");
    while (end > 0 && closing.contains(word.at(end - 1)))
        --end;
    if (end == 0)
        return false;
    static const QString stops = QStringLiteral(".!?\u2026\u3002\uFF01\uFF1F");
    return stops.contains(word.at(end - 1));
}

bool startsLowercase(const QString &word)
{
    for (const QChar c : word) {
        if (c.isLetter())
            return c.isLower();
        if (c.isDigit())
            return true;  // "p. 12" goes on
    }
    return false;
}

bool breaksLine(QStringView between)
{
    return std::any_of(between.begin(), between.end(), [](QChar c) {
        return c == u'\n' || c == u'\r' || c == QChar(QChar::ParagraphSeparator) || c == QChar(QChar::LineSeparator);
    });
}

// The word as it is shown: no control characters, no line break inside.
QString cleanWord(QStringView word)
{
    QString out;
    out.reserve(word.size());
    for (const QChar c : word) {
        if (c.isSpace())
            out += u' ';
        else if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
            out += c;
    }
    return out.simplified();
}

QString clock(qint64 us, QChar fraction)
{
    const qint64 ms = std::max<qint64>(0, us) / 1000;
    return QStringLiteral("%1:%2:%3%4%5")
        .arg(ms / 3'600'000, 2, 10, QChar(u'0'))
        .arg(ms / 60'000 % 60, 2, 10, QChar(u'0'))
        .arg(ms / 1000 % 60, 2, 10, QChar(u'0'))
        .arg(fraction)
        .arg(ms % 1000, 3, 10, QChar(u'0'));
}

// LRC's [mm:ss.xx]: minutes run on past an hour.
QString lrcClock(qint64 us)
{
    const qint64 cs = std::max<qint64>(0, us) / 10'000;
    return QStringLiteral("%1:%2.%3")
        .arg(cs / 6000, 2, 10, QChar(u'0'))
        .arg(cs / 100 % 60, 2, 10, QChar(u'0'))
        .arg(cs % 100, 2, 10, QChar(u'0'));
}

QString vttEscaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'>')
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

// Each word of the cue with the time it begins; first is the cue's start.
template <typename Stamp>
QString timedWords(const SubtitleCue &cue, QStringView text, Stamp stamp, bool stampFirst)
{
    QString out;
    qint64 last = cue.startUs;
    for (size_t i = 0; i < cue.words.size(); ++i) {
        const int from = cue.words[i].at;
        const int to = i + 1 < cue.words.size() ? cue.words[i + 1].at : int(text.size());
        const qint64 at = cue.words[i].startUs;
        // A stamp must lie after the one before it and inside the cue.
        if ((i == 0 && stampFirst) || (i > 0 && at > last && at < cue.endUs)) {
            out += stamp(i == 0 ? cue.startUs : at);
            last = at;
        }
        out += text.mid(from, to - from);
    }
    return out;
}

}  // namespace

QString SubtitleExtension(SubtitleFormat format)
{
    switch (format) {
    case SubtitleFormat::Srt:
        return QStringLiteral(".srt");
    case SubtitleFormat::WebVtt:
        return QStringLiteral(".vtt");
    case SubtitleFormat::Lrc:
        return QStringLiteral(".lrc");
    case SubtitleFormat::None:
        break;
    }
    return QString();
}

QString SubtitleFileBeside(const QString &audioFile, SubtitleFormat format)
{
    const QFileInfo info(audioFile);
    const QString name = info.fileName();
    const int dot = int(name.lastIndexOf(u'.'));
    return info.path() + u'/' + (dot > 0 ? name.left(dot) : name) + SubtitleExtension(format);
}

void SubtitleTrack::BeginText(const QString &text)
{
    m_text = text;
    m_newText = true;
    m_lastWordEnd = 0;
}

void SubtitleTrack::AddWord(qint64 timeUs, int offset, int length)
{
    if (offset < 0 || length <= 0 || offset >= m_text.size())
        return;
    length = std::min(length, int(m_text.size()) - offset);
    // A part of the word before ("3" of "MP3", which an engine says apart)
    // is shown already.
    if (!m_newText && offset < m_lastWordEnd)
        return;
    // What sticks to the word's front (an opening bracket or quote the
    // engine left out) is shown with it.
    const int floor = m_newText ? 0 : std::min(m_lastWordEnd, offset);
    int start = offset;
    while (start > floor && !m_text.at(start - 1).isSpace())
        --start;
    length += offset - start;
    offset = start;
    bool newLine = m_newText;
    // Words the engine passed over without a word of their own ("the" in
    // "on the lake") are shown all the same, timed with the word before.
    if (!m_newText && offset > m_lastWordEnd) {
        const QStringView gap = QStringView(m_text).mid(m_lastWordEnd, offset - m_lastWordEnd);
        qsizetype at = 0;
        while (at < gap.size()) {
            const qsizetype from = at;
            while (at < gap.size() && gap.at(at).isSpace())
                ++at;
            newLine = breaksLine(gap.mid(from, at - from));
            const qsizetype wordStart = at;
            while (at < gap.size() && !gap.at(at).isSpace())
                ++at;
            if (at > wordStart && Append(cleanWord(gap.mid(wordStart, at - wordStart)), m_lastUs, newLine))
                newLine = false;
        }
    }
    if (Append(cleanWord(QStringView(m_text).mid(offset, length)), timeUs, newLine))
        m_lastWordEnd = offset + length;
}

bool SubtitleTrack::Append(const QString &word, qint64 timeUs, bool newLine)
{
    if (word.isEmpty())
        return false;
    timeUs = std::max(timeUs, m_lastUs);
    if (m_hasOpen) {
        const bool sentence = isSentenceEnd(m_lastWord) && !startsLowercase(word);
        const bool fits = m_lineLength + 1 + word.size() <= LineLength;
        if (newLine || sentence || (!fits && m_lines >= MaxLines)) {
            CloseCue(timeUs);
            timeUs = std::max(timeUs, m_lastUs);
        } else if (fits) {
            m_open.text += u' ';
            ++m_lineLength;
        } else {
            m_open.text += u'\n';
            m_lineLength = 0;
            ++m_lines;
        }
    }
    if (!m_hasOpen) {
        m_open = SubtitleCue();
        m_open.startUs = timeUs;
        m_hasOpen = true;
        m_lines = 1;
        m_lineLength = 0;
    }
    m_open.words.push_back({int(m_open.text.size()), timeUs});
    m_open.text += word;
    m_lineLength += int(word.size());
    m_lastWord = word;
    m_lastUs = timeUs;
    m_newText = false;
    return true;
}

void SubtitleTrack::CloseCue(qint64 nextUs)
{
    if (!m_hasOpen)
        return;
    const qint64 lastWord = m_open.words.back().startUs;
    m_open.endUs = std::min(nextUs, lastWord + MaxTailUs);
    // A cue never ends before it starts, however the events came.
    m_open.endUs = std::max(m_open.endUs, lastWord + 1000);
    m_lastUs = std::max(m_lastUs, m_open.endUs);
    m_cues.push_back(std::move(m_open));
    m_open = SubtitleCue();
    m_hasOpen = false;
}

void SubtitleTrack::Finish(qint64 endUs)
{
    if (!m_hasOpen)
        return;
    const qint64 lastWord = m_open.words.back().startUs;
    m_open.endUs = std::max(endUs, lastWord + 1000);
    m_cues.push_back(std::move(m_open));
    m_open = SubtitleCue();
    m_hasOpen = false;
}

QByteArray SubtitleTrack::Format(SubtitleFormat format, qint64 shiftUs, const QString &title) const
{
    QString out;
    const auto shifted = [shiftUs](SubtitleCue cue) {
        cue.startUs += shiftUs;
        cue.endUs += shiftUs;
        for (SubtitleCue::Word &w : cue.words)
            w.startUs += shiftUs;
        return cue;
    };
    switch (format) {
    case SubtitleFormat::None:
        return QByteArray();
    case SubtitleFormat::Srt: {
        int number = 0;
        for (const SubtitleCue &c : m_cues) {
            const SubtitleCue cue = shifted(c);
            QString text = cue.text;
            // A line of its own with an arrow would read as a timing line.
            text.replace(QStringLiteral("-->"), QStringLiteral("->"));
            out += QString::number(++number) + u'\n' + clock(cue.startUs, u',') + QStringLiteral(" --> ") +
                   clock(cue.endUs, u',') + u'\n' + text + QStringLiteral("\n\n");
        }
        break;
    }
    case SubtitleFormat::WebVtt: {
        out = QStringLiteral("WEBVTT\n\n");
        int number = 0;
        for (const SubtitleCue &c : m_cues) {
            const SubtitleCue cue = shifted(c);
            // Escaped word by word, so that each word's place stays known.
            SubtitleCue escaped = cue;
            escaped.text.clear();
            for (size_t i = 0; i < cue.words.size(); ++i) {
                const int from = cue.words[i].at;
                const int to = i + 1 < cue.words.size() ? cue.words[i + 1].at : int(cue.text.size());
                escaped.words[i].at = int(escaped.text.size());
                escaped.text += vttEscaped(QStringView(cue.text).mid(from, to - from));
            }
            out += QString::number(++number) + u'\n' + clock(cue.startUs, u'.') + QStringLiteral(" --> ") +
                   clock(cue.endUs, u'.') + u'\n' +
                   timedWords(
                       escaped, escaped.text, [](qint64 us) { return u'<' + clock(us, u'.') + u'>'; }, false) +
                   QStringLiteral("\n\n");
        }
        break;
    }
    case SubtitleFormat::Lrc: {
        QString name = title;
        name.remove(u']').remove(u'\n').remove(u'\r');
        if (!name.trimmed().isEmpty())
            out += QStringLiteral("[ti:") + name.trimmed() + QStringLiteral("]\n");
        for (size_t i = 0; i < m_cues.size(); ++i) {
            const SubtitleCue cue = shifted(m_cues[i]);
            // One line a cue: its two lines are joined.
            QString text = cue.text;
            text.replace(u'\n', u' ');
            out += u'[' + lrcClock(cue.startUs) + u']' +
                   timedWords(
                       cue, text, [](qint64 us) { return u'<' + lrcClock(us) + u'>'; }, true) +
                   u'\n';
            // An empty line clears the words where silence follows.
            const bool gap = i + 1 == m_cues.size() || m_cues[i + 1].startUs > m_cues[i].endUs;
            if (gap)
                out += u'[' + lrcClock(cue.endUs) + QStringLiteral("]\n");
        }
        break;
    }
    }
    return out.toUtf8();
}

bool SubtitleTrack::Save(const QString &target, SubtitleFormat format, qint64 shiftUs, const QString &title,
                         OutputPlacement placement, QString *error) const
{
    const QByteArray bytes = Format(format, shiftUs, title);
    PendingFile file(target);
    if (file.Create() && file.Write(bytes.constData(), bytes.size()) && file.Place(placement))
        return true;
    if (error)
        *error = file.ErrorString();
    return false;
}

qint64 Mp3StartDelayUs(const QString &mp3File, int outputSampleRate)
{
    const qint64 delayUs = (kLameEncoderDelay + kDecoderDelay) * 1'000'000 / std::max(1, outputSampleRate);
    QFile file(mp3File);
    if (!file.open(QIODevice::ReadOnly))
        return delayUs;
    // Past the ID3v2 tags to the first frame.
    qint64 at = 0;
    for (;;) {
        if (!file.seek(at))
            return delayUs;
        const QByteArray head = file.read(10);
        if (head.size() < 10 || !head.startsWith("ID3"))
            break;
        qint64 size = 0;
        for (int i = 6; i < 10; ++i)
            size = (size << 7) | (uchar(head[i]) & 0x7F);
        at += 10 + size + ((uchar(head[5]) & 0x10) ? 10 : 0);
    }
    if (!file.seek(at))
        return delayUs;
    const QByteArray frame = file.read(512);
    if (frame.size() < 4 || uchar(frame[0]) != 0xFF || (uchar(frame[1]) & 0xE0) != 0xE0)
        return delayUs;
    const bool mpeg1 = ((uchar(frame[1]) >> 3) & 3) == 3;
    const bool mono = ((uchar(frame[3]) >> 6) & 3) == 3;
    const bool crc = (uchar(frame[1]) & 1) == 0;
    int tag = 4 + (crc ? 2 : 0) + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (frame.size() < tag + 8)
        return delayUs;
    const QByteArray kind = frame.mid(tag, 4);
    if (kind != "Xing" && kind != "Info")
        return delayUs;
    const uint32_t flags = (uchar(frame[tag + 4]) << 24) | (uchar(frame[tag + 5]) << 16) |
                           (uchar(frame[tag + 6]) << 8) | uchar(frame[tag + 7]);
    tag += 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    // The encoder's tag that follows says how much to skip; players do.
    const QByteArray encoder = frame.mid(tag, 4);
    return encoder == "LAME" || encoder.startsWith("Lav") ? 0 : delayUs;
}

void SubtitleTrack::InsertGap(qint64 atUs, qint64 gapUs)
{
    const auto move = [&](qint64 &us) {
        if (us >= atUs)
            us += gapUs;
    };
    for (SubtitleCue &cue : m_cues) {
        move(cue.startUs);
        move(cue.endUs);
        for (SubtitleCue::Word &word : cue.words)
            move(word.startUs);
    }
}
