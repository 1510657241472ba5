#pragma once
// The scrolling list of articles: shows a window of the article list's
// articles in equal rows, colours the current one, and passes the rows'
// Read, Read to File and Delete on as its own signals. Only the rows in
// view (and the article being read) have widgets, reused as the list
// scrolls.

#include "ArticleList.h"

#include <QColor>
#include <QFrame>
#include <QList>
#include <QPointer>

class ArticleEditor;
class ArticleRow;
class QMenu;
class QScrollBar;
class VoiceChoiceSource;

class ArticleListView : public QFrame
{
    Q_OBJECT
public:
    explicit ArticleListView(ArticleList &list, QWidget *parent = nullptr, QMenu *popupMenu = nullptr);
    ~ArticleListView() override;

    ArticleList &Articles() const { return m_list; }

    void ScrollToTop(int first);
    void ScrollToFirstShown();

    int VisibleEntries() const { return m_visibleEntries; }
    void SetVisibleEntries(int n);
    QColor SelectedColor() const { return m_selectedColor; }
    void SetSelectedColor(const QColor &c) { m_selectedColor = c; }
    QColor UnselectedColor() const { return m_unselectedColor; }
    void SetUnselectedColor(const QColor &c) { m_unselectedColor = c; }

    // The article menu of every row's editor and of the list.
    void SetPopupMenu(QMenu *menu);
    QMenu *PopupMenu() const { return m_popup; }
    // The voices that article headers offer.
    void SetVoiceChoices(const VoiceChoiceSource *voices);

    // The row showing entry, bound now if it has none. An article out of
    // view keeps it until another article out of view asks: the one being
    // read keeps its highlight while the user scrolls elsewhere.
    ArticleRow *ViewFor(ArticleEntry *entry);
    // The editor showing entry (see ViewFor); null for an article not in
    // the list.
    ArticleEditor *EditorFor(ArticleEntry *entry);
    // A row shows the article now.
    bool OnScreen(ArticleEntry *entry) const;
    // The title box of the article's row gets the focus.
    void FocusHeader(ArticleEntry *entry);
    // The rows of the list now, in order (the window of articles in view).
    QList<ArticleRow *> ShownViews() const;

    QScrollBar *ScrollBar() const { return m_scrollBar; }
    QWidget *InnerPanel() const { return m_inner; }

signals:
    // The Read, Read to File and Delete buttons of an article's row.
    void ReadRequested(ArticleEntry *entry);
    void ReadToFileRequested(ArticleEntry *entry);
    void DeleteRequested(ArticleEntry *entry);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void PlaceInner();
    // Hides and releases the row showing entry, if any.
    void DropView(ArticleEntry *entry);
    bool InWindow(int position) const;
    // A row showing no article in view (nor the one kept), or a new one.
    ArticleRow *SpareView();
    void OrderTabStops();
    void SetScrollMax(int max);
    void ShowMode(bool multi);
    void Recolour(ArticleEntry *current, ArticleEntry *before);
    void ColourRow(ArticleRow *row);
    void ShowAdded(ArticleEntry *entry);
    void ShowMarked(ArticleEntry *entry, int position);
    void LayOut(ArticleList::Scroll scroll);
    // Lays the rows out for the current mode with the current article in view.
    void LayOutAroundCurrent();
    void ShowImported(bool added);

    ArticleList &m_list;
    QList<ArticleRow *> m_views;
    int m_first = 0;  // position of the first row in view, 0 before any layout
    QPointer<ArticleEntry> m_kept;
    QWidget *m_inner;
    QScrollBar *m_scrollBar;
    QPointer<QMenu> m_popup;
    const VoiceChoiceSource *m_voices = nullptr;
    int m_visibleEntries = 1;
    bool m_multiArticle = false;
    QColor m_selectedColor;
    QColor m_unselectedColor;
    bool m_layingOut = false;
};
