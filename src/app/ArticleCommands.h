#pragma once
// The main window's article commands: new articles with a voice chosen by
// the list mode's voice policy, opening text files as articles, deleting,
// pasting, saving the list, and switching between the single and the
// multi-article mode.

#include <QObject>
#include <QStringList>

#include <memory>
#include <random>

class QFileDialog;
class QMenu;
class QWidget;
class MainWindow;
class TMemoEntry;

class ArticleCommands : public QObject
{
    Q_OBJECT
public:
    explicit ArticleCommands(MainWindow &form);

    const QStringList &FavoriteVoices() const { return m_favoriteVoices; }
    int RoundRobinIndex() const { return m_roundRobinIndex; }

    QString ChooseVoice();
    void LoadFavoriteVoices();
    void FillDefaultVoiceCombo();
    TMemoEntry *AddNewArticle();
    TMemoEntry *CreateArticle(const QString &text, const QString &voiceName);
    // Saves the list to the saved-articles file.
    void SaveList();

    void ReadFileBtnClick();
    // OpenDialog1 as the current list mode wants it.
    std::unique_ptr<QFileDialog> CreateOpenDialog();
    // The files-chosen half of ReadFileBtnClick.
    void OpenTextFiles(const QStringList &files);
    void ArticleDeleteRequest(TMemoEntry *entry);
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

private:
    // After an article was deleted or hidden: an empty one when none is
    // left, the list saved, the count shown when asked.
    void AfterRemoval(bool showCount);
    void SwitchListMode(bool multi);
    // In Single-Article mode a new article replaces the one shown: true when
    // that loses nothing or the user agrees.
    bool MayReplaceShownArticle();
    void GiveArticleHandlers(TMemoEntry *entry);
    bool Exiting() const;

    MainWindow &m_form;
    QStringList m_favoriteVoices;
    int m_roundRobinIndex = -1;
    std::mt19937 m_random;
};
