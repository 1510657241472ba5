#pragma once
// Keeps the saved-articles file current: saves when an article command
// asks, on its own while articles are edited, and at the exit. A save that
// fails at the exit is never passed over: the user chooses to try again, to
// exit without saving or to stay; when nobody can be asked (a termination
// request, the end of the session) a recovery copy is kept elsewhere, and
// the next start offers it.

#include "articles/AutoSave.h"

#include <QObject>
#include <QString>

class ArticleList;

class ArticleSaving : public QObject
{
    Q_OBJECT
public:
    ArticleSaving(ArticleList &list, QString fileName, QObject *parent = nullptr);

    // Saves now; false when nothing was written (a failure is told once
    // until a save succeeds again).
    bool Save();

    // The exit command, before anything stops: true when the articles are
    // saved or the user chose to exit without saving, false when the user
    // stays (or a termination request ended the program meanwhile).
    bool SaveBeforeExit();
    // The exit's last save: when it fails, a recovery copy is kept.
    void SaveAtExit();
    bool ExitWithoutSaving() const { return m_exitWithoutSaving; }

    // Start-up, before the articles are read: the file to read them from,
    // usual or a recovery copy of an earlier run that the user wants back.
    // Saving starts here: before, the list is empty, and saving it would
    // put an empty file in place of the saved articles.
    QString ArticlesFile(const QString &usual);
    // After they were read: a restored copy is saved as the articles and
    // then removed.
    void ArticlesRead();

    AutoSave &Auto() { return m_autoSave; }

private:
    // reason gets why the save failed; it stays empty when no save was
    // to be made (the list refuses to write, see ExportList).
    bool SaveNow(QString *reason);
    void TellFailure(const QString &reason);
    void AutoSaveWritten(bool ok, const QString &error);
    void KeepRecoveryCopy(const QString &reason);
    QString OfferRecoveryCopy(const QString &usual);

    ArticleList &m_list;
    QString m_fileName;
    AutoSave m_autoSave;
    bool m_loading = false;
    bool m_failureTold = false;
    bool m_saving = false;
    bool m_exitWithoutSaving = false;
    bool m_restored = false;
};
