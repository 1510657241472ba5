#pragma once
// The main window's article commands: new articles with a voice chosen by
// the list mode's voice policy, opening documents as articles, deleting,
// pasting, saving the list, and switching between the single and the
// multi-article mode.

#include "ArticleHeader.h"

#include <QFutureWatcher>
#include <QObject>
#include <QStringList>

#include <memory>
#include <random>

class QAbstractButton;
class QAction;
class QComboBox;
class QFileDialog;
class QMenu;
class QProgressBar;
class QTimer;
class QWidget;
class ArticleEntry;
class ArticleList;
class ArticleListView;
class ArticleSaving;
class ReadingController;
class TPreferences;
class TVoiceList;
struct Document;
struct DocumentResult;

class ArticleCommands : public QObject, public VoiceChoiceSource
{
    Q_OBJECT
public:
    // The window's controls that give these commands or show the mode.
    struct Controls {
        QAbstractButton *SingleButton;  // the Single-Article and Multi-Article
        QAbstractButton *MultiButton;   // buttons and menu items
        QAction *SingleItem;
        QAction *MultiItem;
        QAbstractButton *ReadFileButton;
        QAction *OpenTextFileItem;
        QAbstractButton *PasteButton;
        QAction *PasteItem;
        QComboBox *DefaultVoice;  // the default voice drop-down of the options
        QProgressBar *OpenProgress;  // shown while a document takes long to open
    };

    // reading tells whether a reading runs or the program is exiting;
    // dialogParent carries the file dialog.
    ArticleCommands(ArticleList &list, ArticleListView &view, TPreferences &prefs, ArticleSaving &saving,
                    const ReadingController &reading, const Controls &controls, QWidget &dialogParent);
    ~ArticleCommands() override;

    // The voice catalogue, once the speech driver is there.
    void UseVoices(const TVoiceList &voices) { m_voices = &voices; }
    // The voices article headers offer.
    std::vector<VoiceChoice> VoiceChoices() const override;

    const QStringList &FavoriteVoices() const { return m_favoriteVoices; }
    int RoundRobinIndex() const { return m_roundRobinIndex; }

    QString ChooseVoice();
    void LoadFavoriteVoices();
    void FillDefaultVoiceCombo();
    ArticleEntry *AddNewArticle();
    ArticleEntry *CreateArticle(const QString &text, const QString &voiceName);
    // Saves the list to the saved-articles file.
    void SaveList();

    void ReadFileBtnClick();
    // OpenDialog1 as the current list mode wants it.
    std::unique_ptr<QFileDialog> CreateOpenDialog();
    // Opens documents of any supported kind as articles, in the given order:
    // the Open dialog, files dropped on the window and files handed to the
    // running program all come here. Each file is read away from the
    // window's thread, one after another; a file that cannot be read is
    // told in one message and adds nothing. In Multi-Article mode each
    // chapter becomes an article; in Single-Article mode the first file
    // becomes the one article.
    // Files handed over before the saved articles are in the list wait
    // until ListReady.
    void OpenFiles(const QStringList &paths);
    // The saved articles are in the list and the voices known.
    void ListReady();
    // Files are being read or wait to be.
    bool Opening() const
    {
        return !m_fileBeingRead.isEmpty() || !m_filesToOpen.isEmpty() || !m_openWhenReady.isEmpty();
    }
    void ArticleDeleteRequest(ArticleEntry *entry);
    void AddNewPopupClick();
    void DelSelPopupClick();
    void PasteIntoArticle();
    void UpdatePasteCommands();

    // The editor's own commands in the article menu (Undo, Redo, Cut,
    // Copy; Select All after Paste), on the selected article.
    void AddEditingItems(QMenu &menu);
    void AddSelectAllItem(QMenu &menu);
    // Ctrl+N in the window: a new article where there can be several; in
    // Single-Article mode it would replace the one there is.
    void AddNewArticleShortcut(QWidget &window);

    // List modes.
    void SwitchToSingleArticle();
    void SwitchToMultiArticle();
    // The mode buttons, menu items and tray items show the given mode.
    void CheckMode(bool multi);

signals:
    // The article count changed: the status bar shows it.
    void CountChanged();
    // A new article from a file is read at once (auto speak).
    void AutoSpeakWanted(ArticleEntry *entry);
    // The options show the sheet of the given mode.
    void ModeSheetWanted(bool multi);
    // The mode's controls outside the window (the tray menu) show it.
    void ModeChecked(bool multi);
    // The list mode changed: the reading commands and the status follow.
    void ModeSwitched();

private:
    // After an article was deleted or hidden: an empty one when none is
    // left, the list saved, the count shown when asked.
    void AfterRemoval(bool showCount);
    void SwitchListMode(bool multi);
    // In Single-Article mode a new article replaces the one shown: true when
    // that loses nothing or the user agrees.
    bool MayReplaceShownArticle();
    bool Exiting() const;
    // Makes a change to the list, telling the user when the list refuses it.
    template <class Change>
    bool ChangeList(Change change);
    void ReadNextFile();
    void FileRead();
    void AddDocument(const QString &path, Document document);

    ArticleList &m_list;
    ArticleListView &m_view;
    TPreferences &m_prefs;
    ArticleSaving &m_saving;
    const ReadingController &m_reading;
    Controls m_controls;
    QWidget &m_dialogParent;
    const TVoiceList *m_voices = nullptr;
    QStringList m_favoriteVoices;
    int m_roundRobinIndex = -1;
    std::mt19937 m_random;

    // The files still to open and the one being read now (empty: none); one
    // at a time, so that they come in the order they were given.
    QStringList m_filesToOpen;
    QString m_fileBeingRead;
    bool m_listReady = false;
    QStringList m_openWhenReady;
    bool m_addingDocument = false;
    QFutureWatcher<DocumentResult> *m_readWatcher;
    QTimer *m_progressDelay;
};
