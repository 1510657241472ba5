#include "ArticleSaving.h"

#include "articles/ArticleList.h"
#include "articles/SavedArticles.h"
#include "platform/paths/RecoveryCopy.h"
#include "platform/shell/MessageService.h"
#include "util/DiagnosticLog.h"

namespace {

const QString kExitNotSaved = QStringLiteral("The articles could not be saved to \"%1\".\r%2\r\r"
                                             "Retry saves again (after you made room on the disk, for example). "
                                             "Exit without saving loses the changes made since the last save. "
                                             "Cancel keeps Voxtrella running.");
const QString kRetryCaption = QStringLiteral("&Retry");
const QString kExitWithoutSavingCaption = QStringLiteral("E&xit without saving");
const QString kCopyKept = QStringLiteral("The articles could not be saved to \"%1\" (%2).\r\r"
                                         "A copy of them was kept as \"%3\"; Voxtrella offers it when it starts next.");
const QString kRestoreQuestion = QStringLiteral(
    "Restore the articles not saved at the last exit?\r\r"
    "When Voxtrella last ended, the articles could not be saved to \"%1\", so a copy of them was kept as \"%2\".\r\r"
    "Yes brings that copy back in place of the articles saved before. "
    "No starts with the articles saved before and deletes the copy.");

}  // namespace

ArticleSaving::ArticleSaving(ArticleList &list, QString fileName, QObject *parent)
    : QObject(parent), m_list(list), m_fileName(std::move(fileName)), m_autoSave(m_fileName, m_list)
{
    connect(&m_list, &ArticleList::ArticleEdited, &m_autoSave, &AutoSave::edited);
    connect(&m_autoSave, &AutoSave::written, this, &ArticleSaving::AutoSaveWritten);
}

bool ArticleSaving::SaveNow(QString *reason)
{
    if (!m_loading)
        return false;
    m_saving = true;
    // A write still running would put its older copy over this one.
    m_autoSave.wait();
    m_saving = false;
    const quint64 mark = m_autoSave.editMark();
    if (!m_list.ExportList(m_fileName, reason))
        return false;
    m_autoSave.savedUpTo(mark);
    m_failureTold = false;
    return true;
}

bool ArticleSaving::Save()
{
    QString reason;
    if (SaveNow(&reason))
        return true;
    if (!reason.isEmpty())
        TellFailure(reason);
    return false;
}

void ArticleSaving::TellFailure(const QString &reason)
{
    // Once, not at every later save while the disk stays full.
    if (std::exchange(m_failureTold, true))
        return;
    MessageService::error(ArticleList::SaveFailedText(m_fileName, reason));
}

void ArticleSaving::AutoSaveWritten(bool ok, const QString &error)
{
    if (ok) {
        m_failureTold = false;
        return;
    }
    DiagnosticLog::WriteLog(QStringLiteral("MemoListBox - Autosave failed: ") + error);
    // A save waiting for this write reports its own outcome.
    if (!m_saving)
        TellFailure(error);
}

bool ArticleSaving::SaveBeforeExit()
{
    for (;;) {
        QString reason;
        if (SaveNow(&reason) || reason.isEmpty())
            return true;
        DiagnosticLog::WriteLog(QStringLiteral("Exit - the articles could not be saved: ") + reason);
        m_failureTold = true;
        const MessageService::Button answer = MessageService::ask(
            MessageService::Kind::Warning, kExitNotSaved.arg(m_fileName, reason),
            UserInteraction::Retry | UserInteraction::Discard | UserInteraction::Cancel, UserInteraction::Retry,
            {{UserInteraction::Retry, kRetryCaption}, {UserInteraction::Discard, kExitWithoutSavingCaption}});
        // A termination request while the box was open has ended the program.
        if (m_list.Sealed())
            return false;
        if (answer == UserInteraction::Retry)
            continue;
        if (answer != UserInteraction::Discard)
            return false;
        DiagnosticLog::WriteLog(QStringLiteral("Exit without saving the articles"));
        m_exitWithoutSaving = true;
        return true;
    }
}

void ArticleSaving::SaveAtExit()
{
    m_autoSave.stop();
    if (m_exitWithoutSaving)
        return;
    QString reason;
    if (SaveNow(&reason) || reason.isEmpty())
        return;
    DiagnosticLog::WriteLog(QStringLiteral("Exit - the articles could not be saved: ") + reason);
    KeepRecoveryCopy(reason);
}

void ArticleSaving::KeepRecoveryCopy(const QString &reason)
{
    if (!m_loading)
        return;
    const auto records = m_list.RecordsToSave(m_fileName);
    if (!records)
        return;
    QByteArray bytes;
    for (const SavedArticles::Record &r : *records)
        bytes += SavedArticles::FormatRecord(r);
    QString error;
    const QString copy = RecoveryCopy::write(m_fileName, bytes, &error);
    if (copy.isEmpty()) {
        DiagnosticLog::WriteLog(QStringLiteral("Exit - no recovery copy could be kept: ") + error);
        return;
    }
    DiagnosticLog::WriteLog(QStringLiteral("Exit - recovery copy kept: ") + copy);
    // Shown only when someone is there to see it.
    MessageService::notice(kCopyKept.arg(m_fileName, reason, copy));
}

QString ArticleSaving::ArticlesFile(const QString &usual)
{
    const QString file = OfferRecoveryCopy(usual);
    // Not before: an exit while the question is open must not save the empty list.
    m_loading = true;
    return file;
}

QString ArticleSaving::OfferRecoveryCopy(const QString &usual)
{
    const QStringList copies = RecoveryCopy::find(m_fileName);
    if (copies.isEmpty())
        return usual;
    DiagnosticLog::WriteLog(QStringLiteral("Offering the recovery copy ") + copies.first());
    const MessageService::Button answer =
        MessageService::ask(MessageService::Kind::Question, kRestoreQuestion.arg(m_fileName, copies.first()),
                            UserInteraction::Yes | UserInteraction::No, UserInteraction::Yes);
    if (answer == UserInteraction::Yes) {
        m_restored = true;
        return copies.first();
    }
    // No answer (the program is ending): asked again at the next start.
    if (answer == UserInteraction::No)
        RecoveryCopy::removeAll(m_fileName);
    return usual;
}

void ArticleSaving::ArticlesRead()
{
    if (!std::exchange(m_restored, false) || m_list.Sealed())
        return;
    // Only once the articles are back in their file may the copy go.
    if (Save())
        RecoveryCopy::removeAll(m_fileName);
}
