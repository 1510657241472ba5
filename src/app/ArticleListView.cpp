#include "ArticleListView.h"

#include "ArticleEditor.h"
#include "ArticleHeader.h"
#include "ArticleRow.h"

#include "DiagnosticLog.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QWheelEvent>

#include <cmath>

namespace {

// Integer division rounded to the nearest, halves to even.
int roundedDiv(int a, int b)
{
    return int(std::lrint(double(a) / double(b)));
}

}  // namespace

ArticleListView::ArticleListView(ArticleList &list, QWidget *parent, QMenu *popupMenu)
    : QFrame(parent), m_list(list), m_popup(popupMenu), m_multiArticle(list.MultiArticle())
{
    setObjectName(QStringLiteral("MemoListBox"));
    setAccessibleName(QStringLiteral("Articles"));
    setFrameShape(QFrame::NoFrame);

    m_inner = new QWidget(this);
    m_inner->setObjectName(QStringLiteral("InnerPanel"));

    m_scrollBar = new QScrollBar(Qt::Vertical, this);
    m_scrollBar->setObjectName(QStringLiteral("ScrollBar"));
    m_scrollBar->setAccessibleName(QStringLiteral("Scroll articles"));
    m_scrollBar->setFocusPolicy(Qt::StrongFocus);
    m_scrollBar->setMinimum(0);
    m_scrollBar->setMaximum(0);
    m_scrollBar->setPageStep(1);
    m_scrollBar->hide();
    connect(m_scrollBar, &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_layingOut)
            ScrollToTop(value + 1);
    });

    m_selectedColor = palette().color(QPalette::Active, QPalette::Base);
    m_unselectedColor = palette().color(QPalette::Active, QPalette::Window);
    PlaceInner();

    connect(&m_list, &ArticleList::MultiArticleChanged, this, &ArticleListView::ShowMode);
    connect(&m_list, &ArticleList::CurrentChanged, this, &ArticleListView::Recolour);
    connect(&m_list, &ArticleList::Leaving, this, &ArticleListView::DropView);
    connect(&m_list, &ArticleList::Added, this, &ArticleListView::ShowAdded);
    connect(&m_list, &ArticleList::Marked, this, &ArticleListView::ShowMarked);
    connect(&m_list, &ArticleList::RowsChanged, this, &ArticleListView::LayOut);
    connect(&m_list, &ArticleList::ImportEnded, this, &ArticleListView::ShowImported);
}

ArticleListView::~ArticleListView()
{
    // The rows hand their edits back to the articles, which outlive them.
    qDeleteAll(std::exchange(m_views, {}));
}

void ArticleListView::ShowMode(bool multi)
{
    m_multiArticle = multi;
    for (ArticleRow *v : std::as_const(m_views))
        v->Header->ShowButtons(multi);
}

void ArticleListView::ColourRow(ArticleRow *row)
{
    if (!row->Entry())
        return;
    // Rows are coloured again at every scroll step: a palette that does not
    // change must not repaint the row.
    const QColor &colour = row->Entry() == m_list.CurrentEntry() ? m_selectedColor : m_unselectedColor;
    if (row->Memo->BackgroundColor() != colour)
        row->Memo->SetBackgroundColor(colour);
}

void ArticleListView::Recolour(ArticleEntry *current, ArticleEntry *before)
{
    for (ArticleEntry *e : {before, current}) {
        if (e && e->Display())
            ColourRow(static_cast<ArticleRow *>(e->Display()));
    }
}

void ArticleListView::SetPopupMenu(QMenu *menu)
{
    m_popup = menu;
    for (ArticleRow *v : std::as_const(m_views))
        v->Memo->SetPopupMenu(menu);
}

void ArticleListView::SetVoiceChoices(const VoiceChoiceSource *voices)
{
    m_voices = voices;
    for (ArticleRow *v : std::as_const(m_views))
        v->Header->SetVoiceChoices(voices);
}

void ArticleListView::LayOut(ArticleList::Scroll scroll)
{
    const int visible = m_list.GetVisibleCount();
    switch (scroll) {
    case ArticleList::Scroll::ToTop:
        ScrollToTop(1);
        if (visible > m_visibleEntries)
            SetScrollMax(visible - m_visibleEntries);
        break;
    case ArticleList::Scroll::KeepPlace:
        SetScrollMax(visible > m_visibleEntries ? visible - m_visibleEntries : visible - 1);
        ScrollToTop(std::clamp(m_scrollBar->value() + 1, 1, std::max(1, visible - m_visibleEntries + 1)));
        break;
    case ArticleList::Scroll::ToCurrent:
        LayOutAroundCurrent();
        break;
    }
}

void ArticleListView::LayOutAroundCurrent()
{
    const int visible = m_list.GetVisibleCount();
    if (visible == 0 || m_list.LayoutDeferred())
        return;
    int first = std::clamp(m_first, 1, std::max(1, visible - m_visibleEntries + 1));
    ArticleEntry *current = m_list.CurrentEntry();
    const int position = current && !current->Hidden ? m_list.FindEntry(current) : 0;
    if (position >= 1 && (position < first || position >= first + m_visibleEntries))
        first = std::max(1, position - m_visibleEntries + 1);
    SetScrollMax(visible > m_visibleEntries ? visible - m_visibleEntries : visible - 1);
    ScrollToTop(first);
}

void ArticleListView::ShowAdded(ArticleEntry *entry)
{
    const int visible = m_list.GetVisibleCount();
    int first = 1;
    if (visible > m_visibleEntries) {
        first = visible - m_visibleEntries + 1;
        SetScrollMax(first - 1);
    } else {
        SetScrollMax(visible - 1);
    }
    if (!m_list.LayoutDeferred()) {
        ScrollToTop(first);
        if (isVisible())
            EditorFor(entry)->setFocus(Qt::OtherFocusReason);
    }
}

void ArticleListView::ShowMarked(ArticleEntry *entry, int position)
{
    if (InWindow(position)) {
        EditorFor(entry)->setFocus(Qt::OtherFocusReason);
        return;
    }
    ScrollToTop(position <= m_visibleEntries ? 1 : position - m_visibleEntries + 1);
    m_list.LetMessagesRun(true);
}

void ArticleListView::ShowImported(bool added)
{
    for (ArticleRow *v : std::as_const(m_views))
        v->Memo->ScrollToFirstLine();
    const int visible = m_list.GetVisibleCount();
    if (!added || visible == 0)
        return;
    SetScrollMax(visible > m_visibleEntries ? visible - m_visibleEntries : visible - 1);
    ScrollToTop(std::max(1, visible - m_visibleEntries + 1));
    if (isVisible() && m_list.CurrentEntry())
        EditorFor(m_list.CurrentEntry())->setFocus(Qt::OtherFocusReason);
}

void ArticleListView::SetVisibleEntries(int n)
{
    const int before = std::exchange(m_visibleEntries, std::max(1, n));
    m_scrollBar->setPageStep(m_visibleEntries);
    // Rows already laid out take the new count at once.
    if (before != m_visibleEntries && m_first >= 1)
        LayOutAroundCurrent();
}

void ArticleListView::SetScrollMax(int max)
{
    const bool was = std::exchange(m_layingOut, true);
    m_scrollBar->setMaximum(std::max(0, max));
    m_layingOut = was;
}

void ArticleListView::PlaceInner()
{
    const QRect area = contentsRect();
    const int barWidth = m_scrollBar->isHidden() ? 0 : m_scrollBar->sizeHint().width();
    m_scrollBar->setGeometry(area.right() + 1 - barWidth, area.top(), barWidth, area.height());
    m_inner->setGeometry(area.left(), area.top(), area.width() - barWidth, area.height());
}

void ArticleListView::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    PlaceInner();
    ScrollToFirstShown();
}

void ArticleListView::wheelEvent(QWheelEvent *event)
{
    if (m_scrollBar->isVisible())
        QCoreApplication::sendEvent(m_scrollBar, event);
    else
        QFrame::wheelEvent(event);
}

void ArticleListView::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_popup)
        m_popup->exec(event->globalPos());
}

void ArticleListView::DropView(ArticleEntry *entry)
{
    if (auto *view = static_cast<ArticleRow *>(entry->Display())) {
        view->hide();
        view->Release();
    }
}

bool ArticleListView::InWindow(int position) const
{
    return m_first >= 1 && position >= m_first && position < m_first + m_visibleEntries &&
           position <= m_list.GetVisibleCount();
}

ArticleRow *ArticleListView::SpareView()
{
    for (ArticleRow *v : std::as_const(m_views)) {
        // Rows in view are shown; every other row is spare but the kept one.
        if (!v->Entry() || (v->isHidden() && v->Entry() != m_kept))
            return v;
    }
    auto *view = new ArticleRow(this, m_voices);
    view->Memo->SetPopupMenu(m_popup);
    view->Header->ShowButtons(m_multiArticle);
    connect(view, &ArticleRow::TextEdited, &m_list, &ArticleList::TextEdited);
    connect(view, &ArticleRow::HeaderEdited, &m_list, &ArticleList::HeaderEdited);
    connect(view, &ArticleRow::Entered, &m_list, &ArticleList::SetCurrent);
    connect(view, &ArticleRow::ReadClicked, this, &ArticleListView::ReadRequested);
    connect(view, &ArticleRow::ReadToFileClicked, this, &ArticleListView::ReadToFileRequested);
    connect(view, &ArticleRow::DeleteClicked, this, &ArticleListView::DeleteRequested);
    view->hide();
    m_views.append(view);
    return view;
}

ArticleRow *ArticleListView::ViewFor(ArticleEntry *entry)
{
    if (!entry)
        return nullptr;
    if (ArticleDisplay *display = entry->Display())
        return static_cast<ArticleRow *>(display);
    const int position = m_list.FindEntry(entry);
    if (position == 0)
        return nullptr;
    const bool outOfView = !InWindow(position);
    if (outOfView)
        m_kept = entry;
    ArticleRow *view = SpareView();
    view->Bind(entry);
    ColourRow(view);
    if (outOfView)
        view->resize(m_inner->width(), std::max(view->height(), m_inner->height() / std::max(1, m_visibleEntries)));
    return view;
}

ArticleEditor *ArticleListView::EditorFor(ArticleEntry *entry)
{
    ArticleRow *view = ViewFor(entry);
    return view ? view->Memo : nullptr;
}

bool ArticleListView::OnScreen(ArticleEntry *entry) const
{
    const auto *view = entry ? static_cast<const ArticleRow *>(entry->Display()) : nullptr;
    return view && !view->isHidden();
}

void ArticleListView::FocusHeader(ArticleEntry *entry)
{
    if (ArticleRow *view = ViewFor(entry))
        view->FocusHeader();
}

void ArticleListView::OrderTabStops()
{
    // Rows are reused in any order: Tab must still go down the rows as they
    // are shown, through each header and then its text.
    QWidget *previous = nullptr;
    for (ArticleRow *v : ShownViews()) {
        const ArticleHeader *h = v->Header;
        for (QWidget *w : std::initializer_list<QWidget *>{h->TitleEdit, h->VoiceCB, h->ReadBtn, h->ReadToFileBtn,
                                                           h->DeleteBtn, v->Memo}) {
            if (previous)
                QWidget::setTabOrder(previous, w);
            previous = w;
        }
    }
}

QList<ArticleRow *> ArticleListView::ShownViews() const
{
    QList<ArticleRow *> shown;
    for (int p = m_first; p >= 1 && InWindow(p); ++p) {
        if (ArticleDisplay *d = m_list.Entry(p - 1)->Display())
            shown.append(static_cast<ArticleRow *>(d));
    }
    return shown;
}

void ArticleListView::ScrollToTop(int first)
{
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - ScrollToTop(%1) [%2 %3]")
                                .arg(first)
                                .arg(m_list.Count())
                                .arg(m_list.HiddenCount()));
    const int n = m_list.GetVisibleCount();
    if (n == 0)
        return;

    const bool was = std::exchange(m_layingOut, true);
    m_scrollBar->setVisible(n > m_visibleEntries);
    PlaceInner();
    const int rowHeight = roundedDiv(m_inner->height(), std::min(n, m_visibleEntries));
    const int width = m_inner->width();
    m_first = std::max(1, first);
    // Rows that left the window give their widgets up for the new ones.
    const QList<ArticleRow *> staying = ShownViews();
    for (ArticleRow *v : std::as_const(m_views)) {
        if (!staying.contains(v))
            v->hide();
    }
    int y = m_inner->y();
    for (int p = m_first; InWindow(p); ++p) {
        ArticleEntry *e = m_list.Entry(p - 1);
        auto *v = static_cast<ArticleRow *>(e->Display());
        if (!v) {
            v = SpareView();
            v->Bind(e);
        }
        ColourRow(v);
        v->Header->show();
        v->setGeometry(m_inner->x(), y, width, rowHeight);
        v->show();
        y += v->height();
    }
    OrderTabStops();
    m_scrollBar->setValue(first - 1);
    m_layingOut = was;
}

void ArticleListView::ScrollToFirstShown()
{
    const int n = m_list.GetVisibleCount();
    if (m_first >= 1 && n > 0)
        ScrollToTop(std::min(m_first, n));
}
