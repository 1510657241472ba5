#pragma once
// Helpers shared by the settings tests.

#include "MessageService.h"
#include "RegistryStore.h"
#include "TestSupport.h"

#include <QStringList>

inline const QString PrefsKey = QStringLiteral("Software\\VarnyxTech\\Voxtrella");

// Writes values as text straight into the store, as an earlier run would.
inline void storeTexts(const QList<QPair<QString, QString>> &values, const QString &key = PrefsKey)
{
    RegistryStore store;
    for (const auto &[name, text] : values)
        store.setString(key, name, text);
    store.save();
}

// Records message boxes instead of showing them.
class MessageRecorder
{
public:
    MessageRecorder()
    {
        MessageService::setHandler([this](const MessageService::Message &m) {
            texts.append(m.text);
            return QMessageBox::Ok;
        });
    }
    ~MessageRecorder() { MessageService::setHandler({}); }
    QStringList texts;
};
