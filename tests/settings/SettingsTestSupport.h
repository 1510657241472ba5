#pragma once

#include "RegistryStore.h"
#include "TestSupport.h"

#include <QStringList>

inline const QString PrefsKey = QStringLiteral("Software\\VarnyxTech\\Voxtrella");
using Texts = QList<QPair<QString, QString>>;

// Writes values as text straight into the store, as an earlier run would.
inline void storeTexts(const Texts &values, const QString &key = PrefsKey)
{
    RegistryStore store;
    for (const auto &[name, text] : values)
        store.setString(key, name, text);
    store.save();
}
