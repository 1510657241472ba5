#pragma once

#include "ArticleList.h"
#include "MessageService.h"

#include <QStringList>

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

inline QStringList texts(const ArticleList &list)
{
    QStringList out;
    for (int i = 0; i < list.Count(); ++i)
        out << list.Entry(i)->Text();
    return out;
}

}  // namespace ArticlesTest
