#pragma once
// The article list: owns the articles (text, title, voice, lock and hidden
// state, their order and the ones Single-Article mode sets aside), keeps
// track of the current one, and saves and restores them in the
// saved-articles file. It has no widgets: a view observes it through its
// signals and shows a window of the articles in rows.

#include "AppError.h"
#include "ArticleEntry.h"
#include "AutoSave.h"
#include "SavedArticles.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>
#include <vector>

class TPreferences;
class QTimer;

class EMemoEntryLocked : public EAppError
{
public:
    EMemoEntryLocked() : EAppError(QStringLiteral("Memo Entry Locked")) {}
};

class ArticleList : public QObject, public SaveSource
{
    Q_OBJECT
public:
    // How the view lays its rows out after a change.
    enum class Scroll {
        ToTop,      // the first rows, after an article left
        KeepPlace,  // the rows where they were, the gap closed
        ToCurrent,  // the current article in view
    };

    explicit ArticleList(QObject *parent = nullptr);
    ~ArticleList() override;

    // Puts text into a blank visible article, or into a new one (in
    // Single-Article mode the new one replaces the article shown, and the
    // articles set aside stay as they are); returns it.
    ArticleEntry *Add(const QString &text, const QString &voiceName);
    // Adds several articles in one go (the chapters of a document), each
    // with its title, voice and text, as Add would one by one, but the rows
    // are laid out once at the end. Meant for Multi-Article mode, where
    // nothing is replaced. Returns the new articles in order.
    QList<ArticleEntry *> AddAll(const std::vector<SavedArticles::Record> &records);
    // Makes the article at a 1-based position current and asks the view to
    // show it.
    void MarkEntry(int position);
    // Makes entry current (focus went into it).
    void SetCurrent(ArticleEntry *entry);
    // With no current article the user is told so (the window beeps first).
    void DeleteSelected();
    void DeleteMemoEntry(ArticleEntry *entry);
    void DeleteAll();
    void HideEntry(ArticleEntry *entry);
    void DeleteHiddenEntries();
    void DeleteBlankEntries();
    void UnlockAllEntries();
    // 1-based position among all articles, hidden ones included; 0 if absent.
    int FindEntry(ArticleEntry *entry) const;

    int GetVisibleCount() const { return int(m_entries.size()) - m_hiddenCount; }
    ArticleEntry *CurrentEntry() const { return m_current; }
    int Count() const { return int(m_entries.size()); }
    // 0-based, hidden ones at the end.
    ArticleEntry *Entry(int index) const { return m_entries.value(index); }

    // Writes the articles that are not hidden, followed by those of a running
    // import that are not articles yet, so a save during the import loses
    // none of them. An existing file is replaced only once the new one is
    // complete. False when nothing was written (also after Seal).
    // With reason given, a failure is left to the caller to tell and reason
    // says why; else the user is told once. A save that is not made (see
    // RecordsToSave) is no failure: false with reason left empty.
    bool ExportList(const QString &fileName, QString *reason = nullptr);
    // What ExportList would write now, for a save away from the window's
    // thread; none while ExportList would write nothing to fileName.
    std::optional<std::vector<SavedArticles::Record>> RecordsToSave(const QString &fileName) const override;
    // What the user is told when a save fails.
    static QString SaveFailedText(const QString &fileName, const QString &reason);
    // Appends the file's articles, in either list mode. A file that exists
    // but holds no saved articles (another kind of file, unreadable, too
    // large) is renamed aside with ".unreadable-<date>" and the user is
    // told, so it is never overwritten.
    void ImportList(const QString &fileName);
    // Ends a running import at its next step; the articles it has not read
    // stay in the file written by the next ExportList.
    void StopImport() { m_stopImport = true; }
    // After the exit has saved: no later export may run, whatever command
    // an exit interrupted.
    void Seal() { m_sealed = true; }
    bool Sealed() const { return m_sealed; }

    bool MultiArticle() const { return m_multiArticle; }
    // Multi-Article mode brings back the articles Single-Article mode set
    // aside; Single-Article mode keeps only the current article (else the
    // first) in the list: see SetAsideAllBut.
    void SetMultiArticle(bool on);
    // Articles kept out of the list by Single-Article mode.
    int SetAsideCount() const { return int(m_asideBefore.size() + m_asideAfter.size()); }
    int TitleLength() const { return m_titleLength; }
    void SetTitleLength(int n) { m_titleLength = n; }
    int HiddenCount() const { return m_hiddenCount; }
    QString LastTitle() const { return m_lastTitle; }
    bool Exporting() const { return m_exporting; }
    bool Importing() const { return m_importing; }
    // An import lays the rows out once, at its end.
    bool LayoutDeferred() const { return m_deferLayout; }

    // The settings asked whether Single-Article titles are made from the text.
    void SetPreferences(const TPreferences *prefs) { m_prefs = prefs; }

    // Single-Article mode with default titles: an article that still has no
    // title (one typed after Add New) gets one made from its text now.
    void GiveDefaultTitle(ArticleEntry *entry);

    // Lets the window repaint and take input during a long loop, at most
    // every 100 ms unless forced.
    void LetMessagesRun(bool force = false);

    // The view reports the user's edits of a shown article.
    void TextEdited(ArticleEntry *entry);
    void HeaderEdited();

signals:
    // The user changed the text, title or voice of an article.
    void ArticleEdited();
    // The only article got its first text or lost all of it, so the article
    // count shown for it changes; told a moment after typing stops.
    void SoleArticleBlankChanged();

    // For the view.
    void MultiArticleChanged(bool on);
    void CurrentChanged(ArticleEntry *current, ArticleEntry *before);
    // An article left the list (deleted, hidden, set aside): no row shows it.
    void Leaving(ArticleEntry *entry);
    // A new article is the last one shown and takes the focus.
    void Added(ArticleEntry *entry);
    // MarkEntry: the article at position comes into view with the focus.
    void Marked(ArticleEntry *entry, int position);
    void RowsChanged(ArticleList::Scroll scroll);
    // An import that added articles ended: the last of them come into view.
    void ImportEnded(bool added);

private:
    QString ListInfo() const;
    void Trace(const QString &operation) const;
    void FreeEntry(ArticleEntry *entry);
    // A new article inserted before the hidden ones.
    ArticleEntry *CreateEntry(const QString &voiceName);
    void MakeCurrent(ArticleEntry *entry);
    void ChangeRows(Scroll scroll);
    // Single-Article mode shows, reads and replaces one article. The others
    // wait outside the list, in their places before and after it: saved with
    // it in their order, and back in the list in Multi-Article mode.
    void SetAsideAllBut(ArticleEntry *shown);
    void BringBackSetAside();
    // Renames an unusable saved file aside and tells the user.
    void SetAside(const QString &fileName, const QString &reason);
    // Why an export to fileName would write nothing now; empty when it would.
    QString ExportBypass(const QString &fileName) const;
    // Every article, the ones set aside included, in the order they are saved.
    QList<ArticleEntry *> EntriesInSavedOrder() const;

    QList<ArticleEntry *> m_entries;
    QList<ArticleEntry *> m_asideBefore;
    QList<ArticleEntry *> m_asideAfter;
    QTimer *m_soleEditTimer;
    QPointer<ArticleEntry> m_soleEntry;
    bool m_soleBlank = true;
    const TPreferences *m_prefs = nullptr;
    ArticleEntry *m_current = nullptr;
    bool m_multiArticle = false;
    int m_titleLength = 20;
    int m_hiddenCount = 0;
    QString m_lastTitle = QStringLiteral(" ");
    bool m_exporting = false;
    bool m_importing = false;
    bool m_deferLayout = false;  // an import lays out once, at its end
    bool m_exportFailed = false;
    bool m_stopImport = false;
    bool m_sealed = false;
    // The records of a running import that are not articles yet.
    const std::vector<SavedArticles::Record> *m_pending = nullptr;
    size_t m_pendingIndex = 0;
    // A saved file that could not be read nor renamed aside: never written.
    QString m_protectedFile;
    qint64 m_lastMessagesRun = 0;
    mutable int m_findHint = 0;  // where FindEntry found the last article
};
