#pragma once
// Splits a text at every occurrence of a delimiter into a list of pieces;
// the settings store uses it to take key paths apart at "\".

#include <QString>
#include <QStringList>

class TBrkApart
{
public:
    QString BaseString;             // the text to split
    QString BreakString;            // the delimiter, may be longer than one character
    bool AllowEmptyString = false;  // keep empty pieces
    QStringList StringList;         // the pieces after BreakApart()

    // Fills StringList from BaseString. The comparison is case-sensitive; an
    // empty BreakString never matches, so the whole text is one piece.
    void BreakApart();
};
