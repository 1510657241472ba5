#pragma once
// The main window's article commands: new articles with a voice chosen by
// the list mode's voice policy, opening text files as articles, deleting,
// pasting, saving the list, and switching between the single and the
// multi-article mode.

#include "ArticleHeader.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <random>

class QAbstractButton;
class QAction;
class QComboBox;
class QFileDialog;
class QMenu;
class QWidget;
class ArticleEntry;
class ArticleList;
class ArticleListView;
class ArticleSaving;
class ReadingController;
class TPreferences;
class TVoiceList;

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
    };

    // reading tells whether a reading runs or the program is exiting;
    // dialogParent carries the file dialog.
    ArticleCommands(ArticleList &list, ArticleListView &view, TPreferences &prefs, ArticleSaving &saving,
                    const ReadingController &reading, const Controls &controls, QWidget &dialogParent);

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
    // The files-chosen half of ReadFileBtnClick.
    void OpenTextFiles(const QStringList &files);
    // Files handed over from outside the window (a later start, the desktop).
    void OpenFiles(const QStringList &paths) { OpenTextFiles(paths); }
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
};
