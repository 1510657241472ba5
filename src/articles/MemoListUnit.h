#pragma once
// The scrolling list of articles: owns them, lays a window of them out in
// equal rows, tracks and colours the current one, and saves and restores
// them in the saved-articles file. Articles are data; only the rows in view
// (and the article being read) have widgets, reused as the list scrolls.

#include "AppError.h"
#include "MemoEntryUnit.h"
#include "SavedArticles.h"

#include <QColor>
#include <QFrame>
#include <QList>
#include <QPointer>
#include <QString>

#include <optional>
#include <vector>

class QMenu;
class TPreferences;
class QScrollBar;
class QTimer;

class EMemoEntryLocked : public EAppError
{
public:
    EMemoEntryLocked() : EAppError(QStringLiteral("Memo Entry Locked")) {}
};

class TMemoListBox : public QFrame
{
    Q_OBJECT
public:
    using TEntryEvent = TMemoEntry::TEntryEvent;

    explicit TMemoListBox(QWidget *parent = nullptr, QMenu *popupMenu = nullptr);
    ~TMemoListBox() override;

    // Puts text into a blank visible article, or into a new one (in
    // Single-Article mode the new one replaces the article shown, and the
    // articles set aside stay as they are); returns it.
    TMemoEntry *Add(const QString &text, const QString &voiceName);
    void MarkEntry(int position);
    void OnEntryHandler(TMemoEntry *entry);
    void DeleteSelected();
    void DeleteMemoEntry(TMemoEntry *entry);
    void DeleteAll();
    void HideEntry(TMemoEntry *entry);
    void DeleteHiddenEntries();
    void DeleteBlankEntries();
    void UnlockAllEntries();
    // 1-based position among all articles, hidden ones included; 0 if absent.
    int FindEntry(TMemoEntry *entry) const;
    void ScrollToTop(int first);
    void ScrollToFirstShown();

    int GetVisibleCount() const { return int(m_entries.size()) - m_hiddenCount; }
    TMemoEntry *CurrentEntry() const { return m_current; }
    int Count() const { return int(m_entries.size()); }
    // 0-based, hidden ones at the end.
    TMemoEntry *Entry(int index) const { return m_entries.value(index); }

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
    std::optional<std::vector<SavedArticles::Record>> RecordsToSave(const QString &fileName) const;
    // What the user is told when a save fails.
    static QString SaveFailedText(const QString &fileName, const QString &reason);
    // Appends the file's articles, each with the given menu and handlers,
    // in either list mode. A file that exists but holds no saved articles
    // (another kind of file, unreadable, too large) is renamed aside with
    // ".unreadable-<date>" and the user is told, so it is never overwritten.
    void ImportList(const QString &fileName, QMenu *popupMenu, const TEntryEvent &onRead,
                    const TEntryEvent &onReadToFile, const TEntryEvent &onDelete);
    // Ends a running import at its next step; the articles it has not read
    // stay in the file written by the next ExportList.
    void StopImport() { m_stopImport = true; }
    // After the exit has saved: no later export may run, whatever command
    // an exit interrupted.
    void Seal() { m_sealed = true; }
    bool Sealed() const { return m_sealed; }

    int VisibleEntries() const { return m_visibleEntries; }
    void SetVisibleEntries(int n);
    bool MultiArticle() const { return m_multiArticle; }
    // Multi-Article mode gives every article its Read, Read to File and
    // Delete buttons and brings back the articles Single-Article mode set
    // aside; Single-Article mode takes the buttons away and keeps only the
    // current article (else the first) in the list: see SetAsideAllBut.
    void SetMultiArticle(bool on);
    // Articles kept out of the list by Single-Article mode.
    int SetAsideCount() const { return int(m_asideBefore.size() + m_asideAfter.size()); }
    QColor SelectedColor() const { return m_selectedColor; }
    void SetSelectedColor(const QColor &c) { m_selectedColor = c; }
    QColor UnselectedColor() const { return m_unselectedColor; }
    void SetUnselectedColor(const QColor &c) { m_unselectedColor = c; }
    int TitleLength() const { return m_titleLength; }
    void SetTitleLength(int n) { m_titleLength = n; }
    int HiddenCount() const { return m_hiddenCount; }
    QString LastTitle() const { return m_lastTitle; }
    bool Exporting() const { return m_exporting; }
    bool Importing() const { return m_importing; }

    // The settings asked whether Single-Article titles are made from the text.
    void SetPreferences(const TPreferences *prefs) { m_prefs = prefs; }

    // The voices that article headers offer.
    void SetVoiceProvider(VoiceProvider voices)
    {
        m_voices = std::move(voices);
        for (TMemoEntryView *v : std::as_const(m_views))
            v->Header->SetVoiceProvider(m_voices);
    }

    // The widgets showing entry, bound now if it has none. An article out of
    // view keeps them until another article out of view asks: the one being
    // read keeps its highlight while the user scrolls elsewhere.
    TMemoEntryView *ViewFor(TMemoEntry *entry);
    // The rows of the list now, in order (the window of articles in view).
    QList<TMemoEntryView *> ShownViews() const;

    QScrollBar *ScrollBar() const { return m_scrollBar; }
    QWidget *InnerPanel() const { return m_inner; }

    // Single-Article mode with default titles: an article that still has no
    // title (one typed after Add New) gets one made from its text now.
    void GiveDefaultTitle(TMemoEntry *entry);

signals:
    // The user changed the text, title or voice of an article.
    void ArticleEdited();
    // The only article got its first text or lost all of it, so the article
    // count shown for it changes; told a moment after typing stops.
    void SoleArticleBlankChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QString ListInfo() const;
    void Trace(const QString &operation) const;
    void PlaceInner();
    void FreeEntry(TMemoEntry *entry);
    // Hides and releases the widgets showing entry, if any.
    void DropView(TMemoEntry *entry);
    // Positions (1-based) of the rows in view; empty range when none.
    bool InWindow(int position) const;
    // A view showing no article in view (nor the one kept), or a new one.
    TMemoEntryView *SpareView();
    void OrderTabStops();
    void SetScrollMax(int max);
    void SetScrollPosition(int pos);
    void LetMessagesRun(bool force = false);
    // A new article inserted before the hidden ones.
    TMemoEntry *CreateEntry(const QString &voiceName);
    void MakeCurrent(TMemoEntry *entry);
    // Single-Article mode shows, reads and replaces one article. The others
    // wait outside the list, in their places before and after it: saved with
    // it in their order, and back in the list in Multi-Article mode.
    void SetAsideAllBut(TMemoEntry *shown);
    void BringBackSetAside();
    // Lays the rows out for the current mode with the current article in view.
    void LayOutAroundCurrent();
    // Renames an unusable saved file aside and tells the user.
    void SetAside(const QString &fileName, const QString &reason);
    // Why an export to fileName would write nothing now; empty when it would.
    QString ExportBypass(const QString &fileName) const;
    // Every article, the ones set aside included, in the order they are saved.
    QList<TMemoEntry *> EntriesInSavedOrder() const;

    QList<TMemoEntry *> m_entries;
    QList<TMemoEntry *> m_asideBefore;
    QList<TMemoEntry *> m_asideAfter;
    QTimer *m_soleEditTimer;
    QPointer<TMemoEntry> m_soleEntry;
    bool m_soleBlank = true;
    QList<TMemoEntryView *> m_views;
    int m_first = 0;  // position of the first row in view, 0 before any layout
    QPointer<TMemoEntry> m_kept;
    const TPreferences *m_prefs = nullptr;
    QWidget *m_inner;
    QScrollBar *m_scrollBar;
    QPointer<QMenu> m_popup;
    TMemoEntry *m_current = nullptr;
    VoiceProvider m_voices;
    int m_visibleEntries = 1;
    bool m_multiArticle = false;
    QColor m_selectedColor;
    QColor m_unselectedColor;
    int m_titleLength = 20;
    int m_hiddenCount = 0;
    QString m_lastTitle = QStringLiteral(" ");
    bool m_exporting = false;
    bool m_importing = false;
    bool m_layingOut = false;
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
