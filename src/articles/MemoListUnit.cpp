#include "MemoListUnit.h"

#include "ArticleText.h"

#include "MessageService.h"
#include "PreferenceUnit.h"
#include "SafeFile.h"
#include "DiagnosticLog.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

namespace {

const QString kRestoreError = QStringLiteral("Error restoring saved articles");
const QString kNoRowsSelected = QStringLiteral("No rows are currently selected");

// A saved file this big is not ours; refusing it beats running out of memory.
constexpr qint64 kMaxSavedFileBytes = 512LL * 1024 * 1024;
// How often long loops let the window repaint and take input.
constexpr qint64 kMessagesIntervalMs = 100;
// How long typing pauses before the count of a sole article is looked at.
constexpr int kSoleEditDelayMs = 300;

// Integer division rounded to the nearest, halves to even.
int roundedDiv(int a, int b)
{
    return int(std::lrint(double(a) / double(b)));
}

}  // namespace

TMemoListBox::TMemoListBox(QWidget *parent, QMenu *popupMenu) : QFrame(parent), m_popup(popupMenu)
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

    m_soleEditTimer = new QTimer(this);
    m_soleEditTimer->setSingleShot(true);
    m_soleEditTimer->setInterval(kSoleEditDelayMs);
    connect(m_soleEditTimer, &QTimer::timeout, this, [this] {
        TMemoEntry *sole = GetVisibleCount() == 1 ? m_entries.first() : nullptr;
        if (!sole)
            return;
        const bool blank = sole->IsBlank();
        if (sole != m_soleEntry || blank != m_soleBlank) {
            m_soleEntry = sole;
            m_soleBlank = blank;
            emit SoleArticleBlankChanged();
        }
    });

    m_selectedColor = palette().color(QPalette::Active, QPalette::Base);
    m_unselectedColor = palette().color(QPalette::Active, QPalette::Window);
    PlaceInner();
}

TMemoListBox::~TMemoListBox()
{
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - Destroy"));
    m_current = nullptr;
    const QList<TMemoEntry *> entries = std::exchange(m_entries, {});
    qDeleteAll(entries);
    qDeleteAll(std::exchange(m_asideBefore, {}));
    qDeleteAll(std::exchange(m_asideAfter, {}));
    qDeleteAll(std::exchange(m_views, {}));
}

QString TMemoListBox::ListInfo() const
{
    return QStringLiteral(" [%1 %2]").arg(m_entries.size()).arg(m_hiddenCount);
}

void TMemoListBox::Trace(const QString &operation) const
{
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - ") + operation + ListInfo());
}

void TMemoListBox::SetMultiArticle(bool on)
{
    m_multiArticle = on;
    for (TMemoEntryView *v : std::as_const(m_views))
        v->Header->ShowButtons(on);
    if (on)
        BringBackSetAside();
    else
        SetAsideAllBut(m_current);
}

void TMemoListBox::SetAsideAllBut(TMemoEntry *shown)
{
    const int visible = GetVisibleCount();
    if (visible <= 1)
        return;
    Trace(QStringLiteral("SetAsideAllBut"));
    int at = shown && !shown->Hidden ? int(m_entries.indexOf(shown)) : -1;
    // An article being read stays in view, so its reading goes on.
    for (int i = 0; i < visible; ++i) {
        if (m_entries.at(i)->Locked) {
            at = i;
            break;
        }
    }
    at = std::max(at, 0);
    const QList<TMemoEntry *> before = m_entries.mid(0, at);
    const QList<TMemoEntry *> after = m_entries.mid(at + 1, visible - at - 1);
    for (TMemoEntry *e : before + after) {
        // Its edits go back into the article; no row shows it any more.
        DropView(e);
        if (e == m_current)
            m_current = nullptr;
    }
    m_asideBefore += before;
    m_asideAfter = after + m_asideAfter;
    m_entries.remove(at + 1, visible - at - 1);
    m_entries.remove(0, at);
    m_findHint = 0;
    MakeCurrent(m_entries.first());
    LayOutAroundCurrent();
}

void TMemoListBox::BringBackSetAside()
{
    if (m_asideBefore.isEmpty() && m_asideAfter.isEmpty())
        return;
    Trace(QStringLiteral("BringBackSetAside"));
    const int visible = GetVisibleCount();
    QList<TMemoEntry *> entries = std::exchange(m_asideBefore, {});
    entries += m_entries.mid(0, visible);
    entries += std::exchange(m_asideAfter, {});
    entries += m_entries.mid(visible);  // the hidden ones stay last
    m_entries = entries;
    m_findHint = 0;
    LayOutAroundCurrent();
}

void TMemoListBox::LayOutAroundCurrent()
{
    const int visible = GetVisibleCount();
    if (visible == 0 || m_deferLayout)
        return;
    int first = std::clamp(m_first, 1, std::max(1, visible - m_visibleEntries + 1));
    const int position = m_current && !m_current->Hidden ? FindEntry(m_current) : 0;
    if (position >= 1 && (position < first || position >= first + m_visibleEntries))
        first = std::max(1, position - m_visibleEntries + 1);
    SetScrollMax(visible > m_visibleEntries ? visible - m_visibleEntries : visible - 1);
    ScrollToTop(first);
}

void TMemoListBox::GiveDefaultTitle(TMemoEntry *entry)
{
    if (entry && !m_multiArticle && m_prefs && m_prefs->SI_DefaultTitles && entry->Title().trimmed().isEmpty())
        entry->TitleFromText(m_titleLength);
}

void TMemoListBox::SetVisibleEntries(int n)
{
    const int before = std::exchange(m_visibleEntries, std::max(1, n));
    m_scrollBar->setPageStep(m_visibleEntries);
    // Rows already laid out take the new count at once.
    if (before != m_visibleEntries && m_first >= 1)
        LayOutAroundCurrent();
}

void TMemoListBox::SetScrollMax(int max)
{
    const bool was = std::exchange(m_layingOut, true);
    m_scrollBar->setMaximum(std::max(0, max));
    m_layingOut = was;
}

void TMemoListBox::SetScrollPosition(int pos)
{
    const bool was = std::exchange(m_layingOut, true);
    m_scrollBar->setValue(pos);
    m_layingOut = was;
}

void TMemoListBox::LetMessagesRun(bool force)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (force || now - m_lastMessagesRun >= kMessagesIntervalMs) {
        QCoreApplication::processEvents();
        m_lastMessagesRun = QDateTime::currentMSecsSinceEpoch();
    }
}

void TMemoListBox::PlaceInner()
{
    const QRect area = contentsRect();
    const int barWidth = m_scrollBar->isHidden() ? 0 : m_scrollBar->sizeHint().width();
    m_scrollBar->setGeometry(area.right() + 1 - barWidth, area.top(), barWidth, area.height());
    m_inner->setGeometry(area.left(), area.top(), area.width() - barWidth, area.height());
}

void TMemoListBox::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    PlaceInner();
    ScrollToFirstShown();
}

void TMemoListBox::wheelEvent(QWheelEvent *event)
{
    if (m_scrollBar->isVisible())
        QCoreApplication::sendEvent(m_scrollBar, event);
    else
        QFrame::wheelEvent(event);
}

void TMemoListBox::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_popup)
        m_popup->exec(event->globalPos());
}

void TMemoListBox::FreeEntry(TMemoEntry *entry)
{
    if (entry == m_current)
        m_current = nullptr;
    entry->OnEnter = nullptr;
    // Until it is really gone an export that is letting messages run may
    // still hold it; a hidden article is not written.
    entry->Hidden = true;
    DropView(entry);
    // Later, not now: the request to delete may come from the article's own
    // popup menu or button, whose code is still running.
    entry->deleteLater();
}

void TMemoListBox::DropView(TMemoEntry *entry)
{
    if (TMemoEntryView *view = entry->View()) {
        view->hide();
        view->Release();
    }
}

bool TMemoListBox::InWindow(int position) const
{
    return m_first >= 1 && position >= m_first && position < m_first + m_visibleEntries &&
           position <= GetVisibleCount();
}

TMemoEntryView *TMemoListBox::SpareView()
{
    for (TMemoEntryView *v : std::as_const(m_views)) {
        // Rows in view are shown; every other view is spare but the kept one.
        if (!v->Entry() || (v->isHidden() && v->Entry() != m_kept))
            return v;
    }
    auto *view = new TMemoEntryView(this, m_voices);
    connect(view, &TMemoEntryView::Edited, this, &TMemoListBox::ArticleEdited);
    view->Header->ShowButtons(m_multiArticle);
    connect(view->Memo->document(), &QTextDocument::contentsChanged, this, [this] {
        if (GetVisibleCount() == 1)
            m_soleEditTimer->start();
    });
    view->hide();
    m_views.append(view);
    return view;
}

TMemoEntryView *TMemoListBox::ViewFor(TMemoEntry *entry)
{
    if (!entry)
        return nullptr;
    if (TMemoEntryView *view = entry->View())
        return view;
    const int position = FindEntry(entry);
    if (position == 0)
        return nullptr;
    const bool outOfView = !InWindow(position);
    if (outOfView)
        m_kept = entry;
    TMemoEntryView *view = SpareView();
    view->Bind(entry);
    if (outOfView)
        view->resize(m_inner->width(), std::max(view->height(), m_inner->height() / std::max(1, m_visibleEntries)));
    return view;
}

void TMemoListBox::OrderTabStops()
{
    // Rows are reused in any order: Tab must still go down the rows as they
    // are shown, through each header and then its text.
    QWidget *previous = nullptr;
    for (TMemoEntryView *v : ShownViews()) {
        const TPropertyPanel *h = v->Header;
        for (QWidget *w : std::initializer_list<QWidget *>{h->TitleEdit, h->VoiceCB, h->ReadBtn, h->ReadToFileBtn,
                                                           h->DeleteBtn, v->Memo}) {
            if (previous)
                QWidget::setTabOrder(previous, w);
            previous = w;
        }
    }
}

QList<TMemoEntryView *> TMemoListBox::ShownViews() const
{
    QList<TMemoEntryView *> shown;
    for (int p = m_first; p >= 1 && InWindow(p); ++p) {
        if (TMemoEntryView *v = m_entries.at(p - 1)->View())
            shown.append(v);
    }
    return shown;
}

TMemoEntry *TMemoListBox::CreateEntry(const QString &voiceName)
{
    TMemoEntry *entry = nullptr;
    try {
        entry = new TMemoEntry(this);
    } catch (...) {
        DiagnosticLog::WriteLog(QStringLiteral("Create Memo Entry Failed"));
        throw;
    }
    entry->SetVoiceName(voiceName);
    entry->SetPopupMenu(m_popup);
    if (m_hiddenCount == 0) {
        m_entries.append(entry);
        DiagnosticLog::WriteLog(QStringLiteral("Added entry at position %1").arg(m_entries.size()));
    } else {
        const int at = GetVisibleCount();
        m_entries.insert(at, entry);
        DiagnosticLog::WriteLog(QStringLiteral("Inserting entry at position %1").arg(at + 1));
    }
    return entry;
}

void TMemoListBox::MakeCurrent(TMemoEntry *entry)
{
    if (m_current && m_current != entry) {
        try {
            m_current->SetColor(m_unselectedColor);
        } catch (...) {
            DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - trapped CurrentEntry setcolor exception"));
        }
    }
    entry->SetColor(m_selectedColor);
    entry->OnEnter = [this](TMemoEntry *e) { OnEntryHandler(e); };
    m_current = entry;
}

TMemoEntry *TMemoListBox::Add(const QString &text, const QString &voiceName)
{
    Trace(QStringLiteral("Add"));
    if (m_entries.isEmpty())
        m_hiddenCount = 0;

    TMemoEntry *entry = nullptr;
    for (int i = 0; i < GetVisibleCount(); ++i) {
        TMemoEntry *e = m_entries.at(i);
        if (!e->Hidden && e->IsBlank()) {
            entry = e;
            break;
        }
    }

    if (!entry) {
        if (!m_multiArticle)
            DeleteAll();
        entry = CreateEntry(voiceName);
    }

    entry->SetText(text);

    const bool defaultTitles = m_multiArticle || (m_prefs && m_prefs->SI_DefaultTitles);
    entry->SetTitle(defaultTitles ? MakeTitle(text, m_titleLength) : m_lastTitle);

    MakeCurrent(entry);

    const int visible = GetVisibleCount();
    int first = 1;
    if (visible > m_visibleEntries) {
        first = visible - m_visibleEntries + 1;
        SetScrollMax(first - 1);
    } else {
        SetScrollMax(visible - 1);
    }
    if (!m_deferLayout) {
        ScrollToTop(first);
        if (isVisible())
            entry->Editor()->setFocus(Qt::OtherFocusReason);
    }
    return entry;
}

void TMemoListBox::ScrollToTop(int first)
{
    Trace(QStringLiteral("ScrollToTop(%1)").arg(first));
    const int n = GetVisibleCount();
    if (n == 0)
        return;

    const bool was = std::exchange(m_layingOut, true);
    m_scrollBar->setVisible(n > m_visibleEntries);
    PlaceInner();
    const int rowHeight = roundedDiv(m_inner->height(), std::min(n, m_visibleEntries));
    const int width = m_inner->width();
    m_first = std::max(1, first);
    // Rows that left the window give their widgets up for the new ones.
    const QList<TMemoEntryView *> staying = ShownViews();
    for (TMemoEntryView *v : std::as_const(m_views)) {
        if (!staying.contains(v))
            v->hide();
    }
    int y = m_inner->y();
    for (int p = m_first; InWindow(p); ++p) {
        TMemoEntry *e = m_entries.at(p - 1);
        TMemoEntryView *v = e->View();
        if (!v) {
            v = SpareView();
            v->Bind(e);
        }
        v->Header->show();
        v->setGeometry(m_inner->x(), y, width, rowHeight);
        v->show();
        y += v->height();
    }
    OrderTabStops();
    m_scrollBar->setValue(first - 1);
    m_layingOut = was;
}

void TMemoListBox::ScrollToFirstShown()
{
    const int n = GetVisibleCount();
    if (m_first >= 1 && n > 0)
        ScrollToTop(std::min(m_first, n));
}

void TMemoListBox::MarkEntry(int position)
{
    Trace(QStringLiteral("MarkEntry"));
    const int n = GetVisibleCount();
    if (position < 1 || position > n) {
        DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - MarkEntry position %1 out of range").arg(position));
        return;
    }
    for (int i = 0; i < n; ++i) {
        TMemoEntry *e = m_entries.at(i);
        if (i == position - 1) {
            m_current = e;
            e->SetColor(m_selectedColor);
            if (InWindow(position))
                e->Editor()->setFocus(Qt::OtherFocusReason);
        } else {
            e->SetColor(m_unselectedColor);
        }
    }
    if (m_current && !InWindow(position)) {
        ScrollToTop(position <= m_visibleEntries ? 1 : position - m_visibleEntries + 1);
        LetMessagesRun(true);
    }
}

void TMemoListBox::OnEntryHandler(TMemoEntry *entry)
{
    if (m_current && m_current != entry)
        m_current->SetColor(m_unselectedColor);
    m_current = entry;
    if (entry)
        entry->SetColor(m_selectedColor);
}

void TMemoListBox::DeleteSelected()
{
    Trace(QStringLiteral("DeleteSelected"));
    if (m_current) {
        DeleteMemoEntry(m_current);
        m_current = nullptr;
        DeleteHiddenEntries();
    } else {
        QApplication::beep();
        MessageService::notice(kNoRowsSelected);
    }
}

void TMemoListBox::DeleteMemoEntry(TMemoEntry *entry)
{
    Trace(QStringLiteral("DeleteMemoEntry"));
    if (!entry)
        return;
    if (entry->Locked)
        throw EMemoEntryLocked();
    const int index = FindEntry(entry) - 1;
    if (index < 0)
        return;
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - Deleting position %1").arg(index));
    m_lastTitle = entry->Title();
    if (entry->Hidden)
        --m_hiddenCount;
    m_entries.removeAt(index);
    m_entries.squeeze();
    FreeEntry(entry);

    const int visible = GetVisibleCount();
    if (visible > 0) {
        ScrollToTop(1);
        if (visible > m_visibleEntries)
            SetScrollMax(visible - m_visibleEntries);
    }
}

void TMemoListBox::DeleteAll()
{
    Trace(QStringLiteral("DeleteAll"));
    if (m_entries.isEmpty()) {
        DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - DeleteAll - Empty List"));
        m_current = nullptr;
        return;
    }
    for (const TMemoEntry *e : std::as_const(m_entries)) {
        if (e->Locked)
            throw EMemoEntryLocked();
    }
    const QList<TMemoEntry *> entries = std::exchange(m_entries, {});
    for (TMemoEntry *e : entries) {
        m_lastTitle = e->Title();
        FreeEntry(e);
    }
    m_entries.reserve(1);
    m_current = nullptr;
    m_hiddenCount = 0;
}

void TMemoListBox::HideEntry(TMemoEntry *entry)
{
    Trace(QStringLiteral("HideEntry"));
    if (!entry)
        return;
    if (entry->Locked)
        throw EMemoEntryLocked();
    const int index = m_entries.indexOf(entry);
    if (index < 0 || entry->Hidden)
        return;
    if (entry == m_current)
        m_current = nullptr;
    ++m_hiddenCount;
    entry->Hidden = true;
    DropView(entry);
    m_entries.move(index, m_entries.size() - 1);

    ScrollToTop(1);
    const int visible = GetVisibleCount();
    if (visible > m_visibleEntries)
        SetScrollMax(visible - m_visibleEntries);
}

void TMemoListBox::DeleteHiddenEntries()
{
    Trace(QStringLiteral("DeleteHiddenEntries"));
    for (int k = 0; k < m_hiddenCount && !m_entries.isEmpty(); ++k) {
        TMemoEntry *last = m_entries.last();
        if (!last->Hidden)
            break;
        m_entries.removeLast();
        FreeEntry(last);
    }
    m_hiddenCount = 0;
    m_entries.squeeze();
}

void TMemoListBox::DeleteBlankEntries()
{
    Trace(QStringLiteral("DeleteBlankEntries"));
    DeleteHiddenEntries();
    bool removed = false;
    while (!m_entries.isEmpty()) {
        TMemoEntry *last = m_entries.last();
        // An article being read stays, blank or not.
        if (last->Locked || !last->IsBlank())
            break;
        m_entries.removeLast();
        FreeEntry(last);
        removed = true;
    }
    m_entries.squeeze();
    // Close the gap the removed rows leave, in the current row count.
    const int visible = GetVisibleCount();
    if (removed && visible > 0) {
        SetScrollMax(visible > m_visibleEntries ? visible - m_visibleEntries : visible - 1);
        ScrollToTop(std::clamp(m_scrollBar->value() + 1, 1, std::max(1, visible - m_visibleEntries + 1)));
    }
}

void TMemoListBox::UnlockAllEntries()
{
    Trace(QStringLiteral("UnlockAllEntries"));
    for (TMemoEntry *e : std::as_const(m_entries))
        e->Locked = false;
}

int TMemoListBox::FindEntry(TMemoEntry *entry) const
{
    // The reading queue and the rows ask in list order: look next to the
    // last answer before searching ten thousand articles.
    for (const int near : {m_findHint, m_findHint + 1, m_findHint - 1}) {
        if (entry && near >= 0 && near < m_entries.size() && m_entries.at(near) == entry) {
            m_findHint = near;
            return near + 1;
        }
    }
    const int index = int(m_entries.indexOf(entry));
    if (index >= 0)
        m_findHint = index;
    if (index < 0)
        DiagnosticLog::WriteLog(QStringLiteral("FindEntry Failed"));
    return index + 1;
}

QString TMemoListBox::ExportBypass(const QString &fileName) const
{
    if (m_exporting)
        return QStringLiteral("Bypass Export - already in progress");
    // The exit has saved; whatever asks now would save a list being taken apart.
    if (m_sealed)
        return QStringLiteral("Bypass Export - the articles were saved at exit");
    if (!m_protectedFile.isEmpty() && QFileInfo(fileName) == QFileInfo(m_protectedFile))
        return QStringLiteral("Bypass Export - unreadable saved file kept: ") + fileName;
    return {};
}

QList<TMemoEntry *> TMemoListBox::EntriesInSavedOrder() const
{
    // The articles Single-Article mode set aside are saved in their places.
    return m_asideBefore + m_entries + m_asideAfter;
}

std::optional<std::vector<SavedArticles::Record>> TMemoListBox::RecordsToSave(const QString &fileName) const
{
    if (!ExportBypass(fileName).isEmpty())
        return std::nullopt;
    // Copies of the texts out of view share their data; only the rows in
    // view copy their editors' text.
    std::vector<SavedArticles::Record> records;
    const QList<TMemoEntry *> entries = EntriesInSavedOrder();
    records.reserve(size_t(entries.size()) + (m_pending ? m_pending->size() - m_pendingIndex : 0));
    for (const TMemoEntry *e : entries) {
        if (!e->Hidden)
            records.push_back({e->Title(), e->VoiceName(), e->Text()});
    }
    for (size_t k = m_pending ? m_pendingIndex : 0; m_pending && k < m_pending->size(); ++k)
        records.push_back(m_pending->at(k));
    return records;
}

QString TMemoListBox::SaveFailedText(const QString &fileName, const QString &reason)
{
    return QStringLiteral("The articles could not be saved to \"%1\".\n%2").arg(fileName, reason);
}

bool TMemoListBox::ExportList(const QString &fileName, QString *reason)
{
    Trace(QStringLiteral("ExportList"));
    if (const QString bypass = ExportBypass(fileName); !bypass.isEmpty()) {
        DiagnosticLog::WriteLog(bypass);
        return false;
    }
    m_exporting = true;

    // Written beside the old file and renamed over it only when complete,
    // so a full disk or a crash leaves the previous articles whole.
    SafeFile::AtomicWriter file(fileName);
    bool ok = file.open();

    // Messages run between the records: an article may go meanwhile.
    QList<QPointer<TMemoEntry>> entries;
    for (TMemoEntry *e : EntriesInSavedOrder())
        entries.append(e);

    for (const QPointer<TMemoEntry> &e : std::as_const(entries)) {
        if (!ok)
            break;
        if (!e || e->Hidden)
            continue;
        ok = file.write(SavedArticles::FormatRecord(e->Title(), e->VoiceName(), e->Text(), e->LineCount()));
        LetMessagesRun();
    }
    // The records an import has not turned into articles yet; the import
    // cannot move on while this runs.
    for (size_t k = m_pending ? m_pendingIndex : 0; ok && m_pending && k < m_pending->size(); ++k)
        ok = file.write(SavedArticles::FormatRecord(m_pending->at(k)));
    if (ok)
        ok = file.commit();
    const QString failure = file.errorString();
    if (!ok) {
        file.cancel();
        DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - Export failed: ") + failure);
    }
    m_exporting = false;
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - Export Complete"));

    if (reason) {
        // The caller tells the user.
        *reason = failure;
        if (ok)
            m_exportFailed = false;
        return ok;
    }
    // Tell the user once, not at every later save while the disk stays full.
    if (!ok && !m_exportFailed)
        MessageService::error(SaveFailedText(fileName, failure));
    m_exportFailed = !ok;
    return ok;
}

void TMemoListBox::SetAside(const QString &fileName, const QString &reason)
{
    const QString kept = fileName + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    DiagnosticLog::WriteLog(QStringLiteral("Import error - ") + reason + QStringLiteral(": ") + fileName);
    if (QFile::rename(fileName, kept)) {
        MessageService::notice(QStringLiteral("%1\r\rThe saved articles file \"%2\" could not be read (%3). "
                                              "It has been kept as \"%4\", and Voxtrella starts without it.")
                                   .arg(kRestoreError, fileName, reason, kept));
        return;
    }
    // It cannot be moved: then it must not be overwritten either.
    m_protectedFile = fileName;
    MessageService::notice(QStringLiteral("%1\r\rThe saved articles file \"%2\" could not be read (%3). "
                                          "It is left as it is, and articles are not saved to it in this session.")
                               .arg(kRestoreError, fileName, reason));
}

void TMemoListBox::ImportList(const QString &fileName, QMenu *popupMenu, const TEntryEvent &onRead,
                              const TEntryEvent &onReadToFile, const TEntryEvent &onDelete)
{
    Trace(QStringLiteral("ImportList"));
    if (m_importing) {
        DiagnosticLog::WriteLog(QStringLiteral("Bypass Import - already in progress"));
        return;
    }
    m_importing = true;
    m_stopImport = false;
    struct Finish {
        TMemoListBox *list;
        ~Finish()
        {
            list->m_importing = false;
            list->m_pending = nullptr;
        }
    } finish{this};

    // Only a regular file is read, never more than the limit: a FIFO or a
    // device under the saved file's name must not freeze the start.
    SafeFile::ReadResult read = SafeFile::readRegularFile(fileName, kMaxSavedFileBytes);
    switch (read.status) {
    case SafeFile::ReadStatus::Ok:
        break;
    case SafeFile::ReadStatus::Missing:
        return;
    case SafeFile::ReadStatus::TooLarge:
        SetAside(fileName, QStringLiteral("it is too large"));
        return;
    case SafeFile::ReadStatus::NotRegular:
        SetAside(fileName, QStringLiteral("it is not a regular file"));
        return;
    case SafeFile::ReadStatus::Failed:
        SetAside(fileName, read.error);
        return;
    }

    const SavedArticles::ParseResult parsed = SavedArticles::Parse(std::exchange(read.bytes, {}));
    for (const QString &note : parsed.Notes)
        DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - ") + note);
    if (!parsed.Recognised) {
        SetAside(fileName, QStringLiteral("it holds no saved articles"));
        return;
    }

    // Each Add would lay out the whole list once more only for the next Add
    // to hide the row again; the layout is done once at the end.
    m_deferLayout = true;
    struct Relayout {
        TMemoListBox *list;
        bool added = false;
        ~Relayout()
        {
            list->m_deferLayout = false;
            const int visible = list->GetVisibleCount();
            if (!added || visible == 0)
                return;
            list->SetScrollMax(visible > list->m_visibleEntries ? visible - list->m_visibleEntries : visible - 1);
            list->ScrollToTop(std::max(1, visible - list->m_visibleEntries + 1));
            if (list->isVisible() && list->m_current)
                list->m_current->Editor()->setFocus(Qt::OtherFocusReason);
        }
    } relayout{this};

    // Every record becomes an article of its own, also in Single-Article
    // mode and also when its text is blank: reusing or replacing articles
    // here would drop saved ones at the next save.
    m_pending = &parsed.Records;
    m_pendingIndex = 0;
    for (size_t k = 0; k < parsed.Records.size(); ++k) {
        LetMessagesRun();
        if (m_stopImport) {
            DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - Import stopped"));
            break;
        }
        const SavedArticles::Record &rec = parsed.Records[k];
        Trace(QStringLiteral("Add"));
        TMemoEntry *entry = CreateEntry(rec.Voice);
        entry->SetText(rec.Text);
        entry->SetTitle(rec.Title);
        entry->OnRead = onRead;
        entry->OnReadToFile = onReadToFile;
        entry->OnDelete = onDelete;
        entry->SetPopupMenu(popupMenu);
        MakeCurrent(entry);
        relayout.added = true;
        m_pendingIndex = k + 1;
    }
    m_pending = nullptr;
    // Single-Article mode shows the first article, the one the start selects.
    if (!m_multiArticle && !m_stopImport && !m_entries.isEmpty())
        SetAsideAllBut(m_entries.first());
    for (TMemoEntryView *v : std::as_const(m_views))
        v->Memo->ScrollToFirstLine();

    m_importing = false;
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - Import Complete"));
}
