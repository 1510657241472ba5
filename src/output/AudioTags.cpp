#include "AudioTags.h"

#include <QFile>

#include <taglib/chapterframe.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>

namespace {

TagLib::String utf8(const QString &text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

// A text frame in UTF-8, which ID3v2.4 allows and every current player reads.
TagLib::ID3v2::Frame *textFrame(const char *id, const QString &text)
{
    auto *frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), TagLib::String::UTF8);
    frame->setText(utf8(text));
    return frame;
}

}  // namespace

QString TAudioTags::TrackText() const
{
    if (Track <= 0)
        return QString();
    return TrackCount > 0 ? QStringLiteral("%1/%2").arg(Track).arg(TrackCount) : QString::number(Track);
}

QString WriteMp3Tags(const QString &mp3File, const TAudioTags &tags, qint64 durationMs, const QString &shownName)
{
    TagLib::MPEG::File file(QFile::encodeName(mp3File).constData(), false);
    if (!file.isValid())
        return QStringLiteral("The tags of \"%1\" cannot be written: it cannot be opened as an MP3 file")
            .arg(shownName);
    TagLib::ID3v2::Tag *tag = file.ID3v2Tag(true);
    const auto set = [tag](const char *id, const QString &text) {
        tag->removeFrames(id);
        if (!text.isEmpty())
            tag->addFrame(textFrame(id, text));
    };
    set("TIT2", tags.Title);
    set("TALB", tags.Album);
    set("TPE1", tags.Artist);
    set("TRCK", tags.TrackText());

    tag->removeFrames("CHAP");
    tag->removeFrames("CTOC");
    if (tags.Chapters.size() >= 2) {
        TagLib::ByteVectorList ids;
        for (size_t i = 0; i < tags.Chapters.size(); ++i) {
            const TChapterMark &mark = tags.Chapters[i];
            const qint64 end = i + 1 < tags.Chapters.size() ? tags.Chapters[i + 1].StartMs : durationMs;
            const TagLib::ByteVector id(("chp" + std::to_string(i)).c_str());
            ids.append(id);
            TagLib::ID3v2::FrameList embedded;
            embedded.append(textFrame("TIT2", mark.Title));
            // Offsets of all ones: the times alone place the chapter.
            tag->addFrame(new TagLib::ID3v2::ChapterFrame(id, uint(std::max<qint64>(mark.StartMs, 0)),
                                                          uint(std::max(end, mark.StartMs)), 0xFFFFFFFF, 0xFFFFFFFF,
                                                          embedded));
        }
        auto *toc = new TagLib::ID3v2::TableOfContentsFrame(TagLib::ByteVector("toc"), ids);
        toc->setIsTopLevel(true);
        toc->setIsOrdered(true);
        tag->addFrame(toc);
    }
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v4))
        return QStringLiteral("The tags of \"%1\" cannot be written (is the disk full?)").arg(shownName);
    return QString();
}
