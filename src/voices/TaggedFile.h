#pragma once
// Reader of the program's small tagged text files ("AudioTest.chl",
// "AudioHelp.chl"): a tree of named sections, each holding name/value pairs.
//
//   <key=Voices>            a section; its name is the text after "="
//     <eng>Hello</eng>      a value; closing tags match the name exactly
//     <Topics>2</Topics>    a list: its count, then Topics0, Topics1
//   </key>
//
// Line breaks vanish when a file is read: each line is trimmed and joined
// to the next without a separator.

#include "TaggedSection.h"

#include <QString>
#include <QStringList>

#include <memory>

class TaggedFile
{
public:
    TaggedFile();

    QString FileName;
    QString Text;
    std::unique_ptr<TaggedSection> Root;

    // Clears, then reads and parses the file. Returns an empty text on
    // success, else a message ("File:" + name + " Not Found." when it does
    // not exist); the object then stays empty.
    QString LoadFromFile(const QString &fileName);

    // Parses text as if it were the joined content of a file.
    void LoadFromText(const QString &text);

    // The value called name in the section whose Path equals path exactly;
    // empty when the section or the name is missing.
    QString GetValue(const QString &path, const QString &name) const;

    // Clears list, then appends the list called name of that section.
    void GetList(const QString &path, const QString &name, QStringList &list) const;

    void Clear();

    // Content further than this beyond the last element read is ignored.
    static constexpr int ParseWindow = 100000;
    // Sections nested deeper than this are skipped: the shipped files use
    // one level, and each level keeps its own copy of its text.
    static constexpr int MaxDepth = 32;
    // Larger files are refused: the shipped files are a few kilobytes, and
    // parsing time grows with the square of the number of elements.
    static constexpr qint64 MaxFileSize = 256 * 1024;

    // Decodes file bytes: UTF-8 when valid (a leading byte order mark is
    // dropped), Windows-1252 otherwise.
    static QString DecodeText(const QByteArray &bytes);

    // Trims every line (blanks and control characters at both ends) and
    // joins them with nothing between. CR LF, LF and lone CR all end lines.
    static QString JoinLines(const QString &content);

private:
    void parse();
    void parseSection(TaggedSection *item, std::vector<TaggedSection *> &pending);
};
