#include "ArticleList.h"

#include "ArticleText.h"
#include "DiagnosticLog.h"
#include "MessageService.h"
#include "PreferenceUnit.h"
#include "SafeFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

const QString kRestoreError = QStringLiteral("Error restoring saved articles");
const QString kNoRowsSelected = QStringLiteral("No rows are currently selected");

// A saved file this big is not ours; refusing it beats running out of memory.
constexpr qint64 kMaxSavedFileBytes = 512LL * 1024 * 1024;
// How often long loops let the window repaint and take input.
constexpr qint64 kMessagesIntervalMs = 100;
// How long typing pauses before the count of a sole article is looked at.
constexpr int kSoleEditDelayMs = 300;

}  // namespace

ArticleList::ArticleList(QObject *parent) : QObject(parent)
{
    m_soleEditTimer = new QTimer(this);
    m_soleEditTimer->setSingleShot(true);
    m_soleEditTimer->setInterval(kSoleEditDelayMs);
    connect(m_soleEditTimer, &QTimer::timeout, this, [this] {
        ArticleEntry *sole = GetVisibleCount() == 1 ? m_entries.first() : nullptr;
        if (!sole)
            return;
        const bool blank = sole->IsBlank();
        if (sole != m_soleEntry || blank != m_soleBlank) {
            m_soleEntry = sole;
            m_soleBlank = blank;
            emit SoleArticleBlankChanged();
        }
    });
}

ArticleList::~ArticleList()
{
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - Destroy"));
    m_current = nullptr;
    qDeleteAll(std::exchange(m_entries, {}));
    qDeleteAll(std::exchange(m_asideBefore, {}));
    qDeleteAll(std::exchange(m_asideAfter, {}));
}

void ArticleList::SetMultiArticle(bool on)
{
    m_multiArticle = on;
    emit MultiArticleChanged(on);
    if (on)
        BringBackSetAside();
    else
        SetAsideAllBut(m_current);
}

void ArticleList::ChangeRows(Scroll scroll)
{
    emit RowsChanged(scroll);
}

void ArticleList::TextEdited(ArticleEntry *entry)
{
    entry->TextChanged();
    emit ArticleEdited();
    if (GetVisibleCount() == 1)
        m_soleEditTimer->start();
}

void ArticleList::HeaderEdited()
{
    emit ArticleEdited();
}

QString ArticleList::ListInfo() const
{
    return QStringLiteral(" [%1 %2]").arg(m_entries.size()).arg(m_hiddenCount);
}

void ArticleList::Trace(const QString &operation) const
{
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - ") + operation + ListInfo());
}

void ArticleList::SetAsideAllBut(ArticleEntry *shown)
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
    const QList<ArticleEntry *> before = m_entries.mid(0, at);
    const QList<ArticleEntry *> after = m_entries.mid(at + 1, visible - at - 1);
    for (ArticleEntry *e : before + after) {
        // Its edits go back into the article; no row shows it any more.
        emit Leaving(e);
        if (e == m_current)
            m_current = nullptr;
    }
    m_asideBefore += before;
    m_asideAfter = after + m_asideAfter;
    m_entries.remove(at + 1, visible - at - 1);
    m_entries.remove(0, at);
    m_findHint = 0;
    MakeCurrent(m_entries.first());
    ChangeRows(Scroll::ToCurrent);
}

void ArticleList::BringBackSetAside()
{
    if (m_asideBefore.isEmpty() && m_asideAfter.isEmpty())
        return;
    Trace(QStringLiteral("BringBackSetAside"));
    const int visible = GetVisibleCount();
    QList<ArticleEntry *> entries = std::exchange(m_asideBefore, {});
    entries += m_entries.mid(0, visible);
    entries += std::exchange(m_asideAfter, {});
    entries += m_entries.mid(visible);  // the hidden ones stay last
    m_entries = entries;
    m_findHint = 0;
    ChangeRows(Scroll::ToCurrent);
}

void ArticleList::GiveDefaultTitle(ArticleEntry *entry)
{
    if (entry && !m_multiArticle && m_prefs && m_prefs->SI_DefaultTitles && entry->Title().trimmed().isEmpty())
        entry->TitleFromText(m_titleLength);
}

void ArticleList::LetMessagesRun(bool force)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (force || now - m_lastMessagesRun >= kMessagesIntervalMs) {
        QCoreApplication::processEvents();
        m_lastMessagesRun = QDateTime::currentMSecsSinceEpoch();
    }
}

void ArticleList::FreeEntry(ArticleEntry *entry)
{
    if (entry == m_current)
        m_current = nullptr;
    // Until it is really gone an export that is letting messages run may
    // still hold it; a hidden article is not written.
    entry->Hidden = true;
    emit Leaving(entry);
    // Later, not now: the request to delete may come from the article's own
    // popup menu or button, whose code is still running.
    entry->deleteLater();
}

ArticleEntry *ArticleList::CreateEntry(const QString &voiceName)
{
    ArticleEntry *entry = nullptr;
    try {
        // Not a child of the list: ten thousand children would make every
        // removal a search.
        entry = new ArticleEntry;
    } catch (...) {
        DiagnosticLog::WriteLog(QStringLiteral("Create Memo Entry Failed"));
        throw;
    }
    entry->SetVoiceName(voiceName);
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

void ArticleList::MakeCurrent(ArticleEntry *entry)
{
    ArticleEntry *before = std::exchange(m_current, entry);
    emit CurrentChanged(entry, before);
}

ArticleEntry *ArticleList::Add(const QString &text, const QString &voiceName)
{
    Trace(QStringLiteral("Add"));
    if (m_entries.isEmpty())
        m_hiddenCount = 0;

    ArticleEntry *entry = nullptr;
    for (int i = 0; i < GetVisibleCount(); ++i) {
        ArticleEntry *e = m_entries.at(i);
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
    entry->SetTitle(defaultTitles ? ArticleText::MakeTitle(text, m_titleLength) : m_lastTitle);

    MakeCurrent(entry);
    emit Added(entry);
    return entry;
}

QList<ArticleEntry *> ArticleList::AddAll(const std::vector<SavedArticles::Record> &records)
{
    QList<ArticleEntry *> added;
    // Laying the rows out after each Add costs as much as the Add itself
    // for a book of many chapters.
    const bool deferred = std::exchange(m_deferLayout, true);
    struct Relayout {
        ArticleList *list;
        const QList<ArticleEntry *> &added;
        bool deferred;
        ~Relayout()
        {
            list->m_deferLayout = deferred;
            if (!deferred)
                emit list->ImportEnded(!added.isEmpty());
        }
    } relayout{this, added, deferred};
    for (const SavedArticles::Record &record : records) {
        ArticleEntry *entry = Add(record.Text, record.Voice);
        entry->SetTitle(record.Title);
        added.append(entry);
    }
    return added;
}

void ArticleList::MarkEntry(int position)
{
    Trace(QStringLiteral("MarkEntry"));
    if (position < 1 || position > GetVisibleCount()) {
        DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - MarkEntry position %1 out of range").arg(position));
        return;
    }
    ArticleEntry *entry = m_entries.at(position - 1);
    MakeCurrent(entry);
    emit Marked(entry, position);
}

void ArticleList::SetCurrent(ArticleEntry *entry)
{
    MakeCurrent(entry);
}

void ArticleList::DeleteSelected()
{
    Trace(QStringLiteral("DeleteSelected"));
    if (m_current) {
        DeleteMemoEntry(m_current);
        m_current = nullptr;
        DeleteHiddenEntries();
    } else {
        MessageService::notice(kNoRowsSelected);
    }
}

void ArticleList::DeleteMemoEntry(ArticleEntry *entry)
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
    if (GetVisibleCount() > 0)
        ChangeRows(Scroll::ToTop);
}

void ArticleList::DeleteAll()
{
    Trace(QStringLiteral("DeleteAll"));
    if (m_entries.isEmpty()) {
        DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - DeleteAll - Empty List"));
        m_current = nullptr;
        return;
    }
    for (const ArticleEntry *e : std::as_const(m_entries)) {
        if (e->Locked)
            throw EMemoEntryLocked();
    }
    const QList<ArticleEntry *> entries = std::exchange(m_entries, {});
    for (ArticleEntry *e : entries) {
        m_lastTitle = e->Title();
        FreeEntry(e);
    }
    m_entries.reserve(1);
    m_current = nullptr;
    m_hiddenCount = 0;
}

void ArticleList::HideEntry(ArticleEntry *entry)
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
    emit Leaving(entry);
    m_entries.move(index, m_entries.size() - 1);
    ChangeRows(Scroll::ToTop);
}

void ArticleList::DeleteHiddenEntries()
{
    Trace(QStringLiteral("DeleteHiddenEntries"));
    for (int k = 0; k < m_hiddenCount && !m_entries.isEmpty(); ++k) {
        ArticleEntry *last = m_entries.last();
        if (!last->Hidden)
            break;
        m_entries.removeLast();
        FreeEntry(last);
    }
    m_hiddenCount = 0;
    m_entries.squeeze();
}

void ArticleList::DeleteBlankEntries()
{
    Trace(QStringLiteral("DeleteBlankEntries"));
    DeleteHiddenEntries();
    bool removed = false;
    while (!m_entries.isEmpty()) {
        ArticleEntry *last = m_entries.last();
        // An article being read stays, blank or not.
        if (last->Locked || !last->IsBlank())
            break;
        m_entries.removeLast();
        FreeEntry(last);
        removed = true;
    }
    m_entries.squeeze();
    // Close the gap the removed rows leave, in the current row count.
    if (removed && GetVisibleCount() > 0)
        ChangeRows(Scroll::KeepPlace);
}

void ArticleList::UnlockAllEntries()
{
    Trace(QStringLiteral("UnlockAllEntries"));
    for (ArticleEntry *e : std::as_const(m_entries))
        e->Locked = false;
}

int ArticleList::FindEntry(ArticleEntry *entry) const
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

QString ArticleList::ExportBypass(const QString &fileName) const
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

QList<ArticleEntry *> ArticleList::EntriesInSavedOrder() const
{
    // The articles Single-Article mode set aside are saved in their places.
    return m_asideBefore + m_entries + m_asideAfter;
}

std::optional<std::vector<SavedArticles::Record>> ArticleList::RecordsToSave(const QString &fileName) const
{
    if (!ExportBypass(fileName).isEmpty())
        return std::nullopt;
    // Copies of the texts out of view share their data; only the rows in
    // view copy their editors' text.
    std::vector<SavedArticles::Record> records;
    const QList<ArticleEntry *> entries = EntriesInSavedOrder();
    records.reserve(size_t(entries.size()) + (m_pending ? m_pending->size() - m_pendingIndex : 0));
    for (const ArticleEntry *e : entries) {
        if (!e->Hidden)
            records.push_back({e->Title(), e->VoiceName(), e->Text()});
    }
    for (size_t k = m_pending ? m_pendingIndex : 0; m_pending && k < m_pending->size(); ++k)
        records.push_back(m_pending->at(k));
    return records;
}

QString ArticleList::SaveFailedText(const QString &fileName, const QString &reason)
{
    return QStringLiteral("The articles could not be saved to \"%1\".\n%2").arg(fileName, reason);
}

bool ArticleList::ExportList(const QString &fileName, QString *reason)
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
    QList<QPointer<ArticleEntry>> entries;
    for (ArticleEntry *e : EntriesInSavedOrder())
        entries.append(e);

    for (const QPointer<ArticleEntry> &e : std::as_const(entries)) {
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

void ArticleList::SetAside(const QString &fileName, const QString &reason)
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

void ArticleList::ImportList(const QString &fileName)
{
    Trace(QStringLiteral("ImportList"));
    if (m_importing) {
        DiagnosticLog::WriteLog(QStringLiteral("Bypass Import - already in progress"));
        return;
    }
    m_importing = true;
    m_stopImport = false;
    struct Finish {
        ArticleList *list;
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
        ArticleList *list;
        bool added = false;
        ~Relayout()
        {
            list->m_deferLayout = false;
            emit list->ImportEnded(added);
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
        ArticleEntry *entry = CreateEntry(rec.Voice);
        entry->SetText(rec.Text);
        entry->SetTitle(rec.Title);
        MakeCurrent(entry);
        relayout.added = true;
        m_pendingIndex = k + 1;
    }
    m_pending = nullptr;
    // Single-Article mode shows the first article, the one the start selects.
    if (!m_multiArticle && !m_stopImport && !m_entries.isEmpty())
        SetAsideAllBut(m_entries.first());

    m_importing = false;
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - Import Complete"));
}
