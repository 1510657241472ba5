#pragma once

#include "MemoListUnit.h"
#include "MessageService.h"

#include <QStringList>

#include <vector>

namespace ArticlesTest {

inline const QByteArray S = "||||||Voxtrella MP3 Start of Article||||||\r\n";
inline const QByteArray E = "||||||Voxtrella MP3 End of Article||||||\r\n";

// Answers every message box and remembers the texts.
struct MessageLog {
    QStringList texts;
    MessageLog()
    {
        MessageService::setHandler([this](const MessageService::Message &m) {
            texts << m.text;
            return UserInteraction::Ok;
        });
    }
    ~MessageLog() { MessageService::setHandler({}); }
};

inline QStringList texts(const TMemoListBox &list)
{
    QStringList out;
    for (int i = 0; i < list.Count(); ++i)
        out << list.Entry(i)->Text();
    return out;
}

// The 1-based rows of the articles shown.
inline std::vector<int> shownRows(const TMemoListBox &list)
{
    std::vector<int> out;
    for (const TMemoEntryView *v : list.ShownViews())
        out.push_back(list.FindEntry(v->Entry()));
    return out;
}

}  // namespace ArticlesTest
