#pragma once
// Where the dialogs send a user who needs help or a speech engine.

#include <QString>

namespace ContactLinks {

// Explains how to install eSpeak NG and Flite (Debian packages
// espeak-ng-data and libflite1) and where to get more voices.
inline const QString EngineDownloadPage = QStringLiteral("https://voxtrella.org/download/speech-engines");

inline const QString SupportAddress = QStringLiteral("support@voxtrella.org");

}  // namespace ContactLinks
