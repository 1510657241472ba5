#include "ArticleCommands.h"

#include "ArticleEditor.h"
#include "ArticleListView.h"
#include "ArticleSaving.h"
#include "ArticleText.h"
#include "Document.h"
#include "reader/ReadingController.h"
#include "platform/paths/AppPaths.h"
#include "platform/shell/MessageService.h"
#include "voices/TTSEngineUnit.h"
#include "settings/PreferenceUnit.h"
#include "util/DiagnosticLog.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QActionGroup>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>

namespace {

const QString kLockedMessage = QStringLiteral("This item is currently being read and cannot be deleted");
const QString kReplaceShownQuestion = QStringLiteral(
    "In Single-Article mode a new article takes the place of the one shown.\r\r"
    "Replace the article \"%1\"? Its text will be deleted. The other articles stay saved "
    "and show again in Multi-Article mode.");
constexpr int kTitleLength = 20;
const QString kOpenTitle = QStringLiteral("Open");
const QString kDocumentFilter = QStringLiteral(
    "Documents (*.epub *.pdf *.docx *.odt *.fb2 *.html *.htm *.xhtml *.md *.markdown *.txt);;All files (*)");
// A document that takes longer than this shows the progress bar.
constexpr int kProgressDelayMs = 500;

// A text file's article title: its name without the folder, cut at the
// first dot ("report.v2.txt" is "report").
QString FileTitle(const QString &path)
{
    QString name = QFileInfo(path).fileName();
    const int dot = name.indexOf(QLatin1Char('.'));
    return dot >= 0 ? name.left(dot) : name;
}

// A title the document did not give but was made from the file name
// follows the text files' rule.
QString ArticleTitle(const QString &title, const QString &path)
{
    return ArticleText::MakeTitle(title == QFileInfo(path).completeBaseName() ? FileTitle(path) : title, kTitleLength);
}

// A chapter's text as an article holds it: no empty line after its last
// one, as with a text file.
QString ChapterText(const QString &text)
{
    return text.endsWith(QLatin1Char('\n')) ? text.chopped(1) : text;
}

// The whole document as one article: each chapter's title on a line of its
// own before its text, unless the text opens with it anyway.
QString WholeText(const Document &document)
{
    if (document.chapters.size() == 1)
        return ChapterText(document.chapters.front().text);
    QStringList parts;
    for (const Chapter &chapter : document.chapters) {
        const QString text = ChapterText(chapter.text);
        const bool titled = text == chapter.title || text.startsWith(chapter.title + QLatin1Char('\n'));
        parts << (titled ? text : chapter.title + QLatin1Char('\n') + text);
    }
    return parts.join(QStringLiteral("\n\n"));
}

}  // namespace

ArticleCommands::ArticleCommands(ArticleList &list, ArticleListView &view, TPreferences &prefs, ArticleSaving &saving,
                                 const ReadingController &reading, const Controls &controls, QWidget &dialogParent)
    : m_list(list), m_view(view), m_prefs(prefs), m_saving(saving), m_reading(reading), m_controls(controls),
      m_dialogParent(dialogParent), m_random(std::random_device{}()),
      m_readWatcher(new QFutureWatcher<DocumentResult>(this)), m_progressDelay(new QTimer(this))
{
    connect(m_readWatcher, &QFutureWatcherBase::finished, this, &ArticleCommands::FileRead);
    m_progressDelay->setSingleShot(true);
    m_progressDelay->setInterval(kProgressDelayMs);
    connect(m_progressDelay, &QTimer::timeout, this, [this] {
        QProgressBar *progress = m_controls.OpenProgress;
        progress->setRange(0, 0);  // the reader tells no progress of its own
        progress->setToolTip(QStringLiteral("Opening %1").arg(QFileInfo(m_fileBeingRead).fileName()));
        progress->setAccessibleDescription(progress->toolTip());
        progress->show();
    });
    auto *mode = new QActionGroup(this);
    mode->addAction(controls.SingleItem);
    mode->addAction(controls.MultiItem);
    auto *modeButtons = new QButtonGroup(this);
    modeButtons->addButton(controls.SingleButton);
    modeButtons->addButton(controls.MultiButton);

    connect(controls.SingleButton, &QAbstractButton::clicked, this, &ArticleCommands::SwitchToSingleArticle);
    connect(controls.SingleItem, &QAction::triggered, this, &ArticleCommands::SwitchToSingleArticle);
    connect(controls.MultiButton, &QAbstractButton::clicked, this, &ArticleCommands::SwitchToMultiArticle);
    connect(controls.MultiItem, &QAction::triggered, this, &ArticleCommands::SwitchToMultiArticle);
    connect(controls.ReadFileButton, &QAbstractButton::clicked, this, &ArticleCommands::ReadFileBtnClick);
    connect(controls.OpenTextFileItem, &QAction::triggered, this, &ArticleCommands::ReadFileBtnClick);
    connect(controls.PasteButton, &QAbstractButton::clicked, this, &ArticleCommands::PasteIntoArticle);
    connect(controls.PasteItem, &QAction::triggered, this, &ArticleCommands::PasteIntoArticle);
    connect(&view, &ArticleListView::DeleteRequested, this, &ArticleCommands::ArticleDeleteRequest);
}

ArticleCommands::~ArticleCommands()
{
    // The reader holds nothing of ours and cannot be stopped: it is left to
    // the shared thread pool, which the application waits for at its very
    // end, after the window, the tray and the single-instance channel are
    // gone, so that a new start is not kept waiting for it.
    if (!m_fileBeingRead.isEmpty())
        DiagnosticLog::WriteLog(QStringLiteral("Not opened at exit: ") + m_fileBeingRead);
}

bool ArticleCommands::Exiting() const
{
    return m_reading.State() == rsExiting;
}

// ----------------------------------------------------------------- voices

QString ArticleCommands::ChooseVoice()
{
    const uint8_t policy = m_prefs.VoiceSelection();
    // With no favourite at all there is nothing to pick from: the default
    // voice is still a voice the user chose.
    if (policy == 0 || m_favoriteVoices.isEmpty())
        return m_prefs.TTS_DefaultVoiceName;
    if (policy == 1) {
        std::uniform_int_distribution<int> pick(0, static_cast<int>(m_favoriteVoices.size()) - 1);
        return m_favoriteVoices.at(pick(m_random));
    }
    ++m_roundRobinIndex;
    if (m_roundRobinIndex >= m_favoriteVoices.size())
        m_roundRobinIndex = 0;
    return m_favoriteVoices.at(m_roundRobinIndex);
}

void ArticleCommands::LoadFavoriteVoices()
{
    DiagnosticLog::WriteLog(QStringLiteral("Entering LoadFavoriteVoices"));
    m_roundRobinIndex = -1;
    m_favoriteVoices.clear();
    if (m_voices) {
        for (int i = 0; i < m_voices->Count(); ++i) {
            const TVoiceEntry *v = m_voices->Items(i);
            if (v->Favorite && v->Engine && v->Engine->Enabled)
                m_favoriteVoices.append(v->DisplayName);
        }
    }
    FillDefaultVoiceCombo();
}

void ArticleCommands::FillDefaultVoiceCombo()
{
    QComboBox *combo = m_controls.DefaultVoice;
    QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(m_favoriteVoices);
    const int index = m_favoriteVoices.indexOf(m_prefs.TTS_DefaultVoiceName);
    combo->setCurrentIndex(index >= 0 ? index : (m_favoriteVoices.isEmpty() ? -1 : 0));
}

// --------------------------------------------------------------- articles

std::vector<VoiceChoice> ArticleCommands::VoiceChoices() const
{
    std::vector<VoiceChoice> choices;
    if (m_voices) {
        for (int i = 0; i < m_voices->Count(); ++i) {
            const TVoiceEntry *v = m_voices->Items(i);
            // A disabled engine keeps its favourites but offers none of them.
            choices.push_back({v->DisplayName, v->Offered(), v->Engine && v->Engine->Enabled});
        }
    }
    return choices;
}

ArticleEntry *ArticleCommands::AddNewArticle()
{
    return CreateArticle(QString(), ChooseVoice());
}

template <class Change>
bool ArticleCommands::ChangeList(Change change)
{
    try {
        change();
        return true;
    } catch (const EMemoEntryLocked &e) {
        DiagnosticLog::WriteLog(QStringLiteral("AddMemo Exception: ") + e.message());
        MessageService::error(kLockedMessage);
    } catch (const EAppError &e) {
        DiagnosticLog::WriteLog(QStringLiteral("AddMemo Exception: ") + e.message());
        MessageService::error(e.message());
    } catch (const std::exception &e) {
        DiagnosticLog::WriteLog(QStringLiteral("AddMemo Exception: ") + QString::fromUtf8(e.what()));
        MessageService::error(QString::fromUtf8(e.what()));
    } catch (...) {
        DiagnosticLog::WriteLog(QStringLiteral("AddMemo Failed"));
        MessageService::error(QStringLiteral("AddMemo Failed"));
    }
    return false;
}

ArticleEntry *ArticleCommands::CreateArticle(const QString &text, const QString &voiceName)
{
    if (Exiting())
        return nullptr;
    ArticleEntry *entry = nullptr;
    ChangeList([&] { entry = m_list.Add(text, voiceName); });
    SaveList();
    emit CountChanged();
    return entry;
}

void ArticleCommands::SaveList()
{
    m_saving.Save();
}

bool ArticleCommands::MayReplaceShownArticle()
{
    if (m_prefs.IsMultiArticleMode())
        return true;
    ArticleEntry *shown = m_list.GetVisibleCount() > 0 ? m_list.Entry(0) : nullptr;
    // A blank article is reused, and one being read is refused with its own message.
    if (!shown || shown->Locked || shown->IsBlank())
        return true;
    const QString title = shown->Title().trimmed();
    return MessageService::ask(UserInteraction::Kind::Question,
                               kReplaceShownQuestion.arg(title.isEmpty() ? QStringLiteral("(untitled)") : title),
                               UserInteraction::Yes | UserInteraction::No, UserInteraction::No) == UserInteraction::Yes;
}

void ArticleCommands::ReadFileBtnClick()
{
    std::unique_ptr<QFileDialog> dialog = CreateOpenDialog();
    if (dialog->exec() != QDialog::Accepted || Exiting())
        return;
    OpenFiles(dialog->selectedFiles());
}

std::unique_ptr<QFileDialog> ArticleCommands::CreateOpenDialog()
{
    auto dialog = std::make_unique<QFileDialog>(&m_dialogParent, kOpenTitle, m_prefs.OpenDlgInitialDir);
    dialog->setObjectName(QStringLiteral("OpenDialog1"));
    // Name filters match in any letter case unless QDir::CaseSensitive is
    // set, so "NOTES.TXT" is offered too.
    dialog->setNameFilter(kDocumentFilter);
    dialog->setFileMode(m_prefs.ML_ListMode == 1 ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setSizeGripEnabled(true);
    return dialog;
}

void ArticleCommands::OpenFiles(const QStringList &paths)
{
    if (paths.isEmpty() || Exiting())
        return;
    if (!m_listReady) {
        m_openWhenReady += paths;
        return;
    }
    QStringList files = paths;
    if (!m_prefs.IsMultiArticleMode()) {
        // Each file would replace the one before it in the only article.
        if (files.size() > 1)
            DiagnosticLog::WriteLog(
                QStringLiteral("Single-Article mode opens only the first of %1 files").arg(files.size()));
        files = files.mid(0, 1);
        if (!MayReplaceShownArticle() || Exiting())
            return;
    }
    m_prefs.OpenDlgInitialDir = QFileInfo(files.first()).absolutePath();
    m_filesToOpen += files;
    ReadNextFile();
}

void ArticleCommands::ListReady()
{
    m_listReady = true;
    OpenFiles(std::exchange(m_openWhenReady, {}));
}

void ArticleCommands::ReadNextFile()
{
    // One file at a time; the next starts once the last one is in the list
    // and its message, if any, is closed.
    if (!m_fileBeingRead.isEmpty() || m_addingDocument)
        return;
    if (m_filesToOpen.isEmpty() || Exiting()) {
        m_filesToOpen.clear();
        m_controls.OpenProgress->hide();
        return;
    }
    m_fileBeingRead = m_filesToOpen.takeFirst();
    DiagnosticLog::WriteLog(QStringLiteral("Opening ") + m_fileBeingRead);
    auto promise = std::make_shared<QPromise<DocumentResult>>();
    m_readWatcher->setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, path = m_fileBeingRead] {
        promise->start();
        try {
            promise->addResult(ReadDocument(path, ArticleEntry::kMaxTextFileBytes));
        } catch (...) {
            promise->addResult(DocumentResult{
                std::nullopt, QStringLiteral("The document \"%1\" cannot be read: it is damaged.").arg(path)});
        }
        promise->finish();
    });
    if (m_controls.OpenProgress->isHidden())
        m_progressDelay->start();
}

void ArticleCommands::FileRead()
{
    m_progressDelay->stop();
    const QString path = std::exchange(m_fileBeingRead, QString());
    if (path.isEmpty())
        return;
    if (m_readWatcher->future().resultCount() == 0) {
        ReadNextFile();
        return;
    }
    DocumentResult result = m_readWatcher->future().takeResult();
    // An exit while it was read has saved the list: the document is dropped.
    if (Exiting()) {
        DiagnosticLog::WriteLog(QStringLiteral("Opening dropped at exit: ") + path);
        ReadNextFile();
        return;
    }
    m_addingDocument = true;
    if (result.document) {
        AddDocument(path, std::move(*result.document));
    } else {
        DiagnosticLog::WriteLog(QStringLiteral("Open failed: ") + result.error);
        m_controls.OpenProgress->hide();
        MessageService::error(result.error);
    }
    m_addingDocument = false;
    ReadNextFile();
}

void ArticleCommands::AddDocument(const QString &path, Document document)
{
    // A document holding no text still opens as an empty article, as an
    // empty text file always has.
    std::vector<Chapter> &chapters = document.chapters;
    if (chapters.empty())
        chapters.push_back({document.title, QString()});
    // One voice for the whole document: its chapters belong together.
    const QString voice = ChooseVoice();
    ArticleEntry *first = nullptr;
    if (m_prefs.IsMultiArticleMode()) {
        std::vector<SavedArticles::Record> records;
        records.reserve(chapters.size());
        for (const Chapter &chapter : chapters)
            records.push_back({ArticleTitle(chapter.title, path), voice, ChapterText(chapter.text)});
        ChangeList([&] {
            const QList<ArticleEntry *> added = m_list.AddAll(records);
            first = added.value(0);
        });
    } else {
        ChangeList([&] {
            first = m_list.Add(WholeText(document), voice);
            first->SetTitle(ArticleTitle(document.title, path));
        });
    }
    // A message box above let an exit run, which saved and emptied the list.
    if (Exiting())
        return;
    SaveList();
    emit CountChanged();
    if (first && m_prefs.AutoSpeak())
        emit AutoSpeakWanted(first);
}

void ArticleCommands::ArticleDeleteRequest(ArticleEntry *entry)
{
    try {
        m_list.HideEntry(entry);
    } catch (const EMemoEntryLocked &) {
        MessageService::error(kLockedMessage);
        return;
    }
    AfterRemoval(m_reading.State() != rsReading);
}

void ArticleCommands::DelSelPopupClick()
{
    if (!m_list.CurrentEntry())
        QApplication::beep();
    try {
        m_list.DeleteSelected();
    } catch (const EMemoEntryLocked &) {
        MessageService::error(kLockedMessage);
        return;
    }
    AfterRemoval(true);
}

void ArticleCommands::AfterRemoval(bool showCount)
{
    // Never an empty list.
    if (m_list.GetVisibleCount() == 0)
        AddNewArticle();
    SaveList();
    if (showCount)
        emit CountChanged();
}

void ArticleCommands::AddNewPopupClick()
{
    if (MayReplaceShownArticle())
        AddNewArticle();
}

void ArticleCommands::PasteIntoArticle()
{
    if (ArticleEntry *entry = m_list.CurrentEntry())
        m_view.EditorFor(entry)->paste();
}

void ArticleCommands::UpdatePasteCommands()
{
    const bool selected = m_list.CurrentEntry() != nullptr;
    m_controls.PasteButton->setEnabled(selected);
    m_controls.PasteItem->setEnabled(selected);
}

// ------------------------------------------------------------- list modes

void ArticleCommands::CheckMode(bool multi)
{
    (multi ? m_controls.MultiButton : m_controls.SingleButton)->setChecked(true);
    (multi ? m_controls.MultiItem : m_controls.SingleItem)->setChecked(true);
    emit ModeChecked(multi);
}

void ArticleCommands::SwitchToSingleArticle()
{
    SwitchListMode(false);
}

void ArticleCommands::SwitchToMultiArticle()
{
    SwitchListMode(true);
}

void ArticleCommands::SwitchListMode(bool multi)
{
    if (m_prefs.ML_ListMode == (multi ? 1 : 0)) {
        // Keep the controls showing the mode that is active.
        CheckMode(multi);
        return;
    }
    DiagnosticLog::WriteLog(multi ? QStringLiteral("Entering Multi-Article Mode")
                                  : QStringLiteral("Entering Single-Article Mode"));
    CheckMode(multi);
    m_prefs.ML_ListMode = multi ? 1 : 0;
    // Blank articles are dropped from the whole list, also from those that
    // Single-Article mode sets aside or brings back.
    if (!multi)
        m_list.DeleteBlankEntries();
    m_view.SetVisibleEntries(multi ? m_prefs.ML_VisibleEntries : 1);
    m_list.SetMultiArticle(multi);
    emit ModeSheetWanted(multi);
    if (multi)
        m_list.DeleteBlankEntries();
    if (m_list.GetVisibleCount() == 0) {
        DiagnosticLog::WriteLog(QStringLiteral("Calling AddNew"));
        AddNewArticle();
    }
    emit ModeSwitched();
}

void ArticleCommands::AddEditingItems(QMenu &menu)
{
    const struct {
        const char *name;
        const char *caption;
        QKeySequence::StandardKey key;
        void (*command)(QPlainTextEdit *editor);
    } editing[] = {
        {"UndoPopup", "&Undo", QKeySequence::Undo, [](QPlainTextEdit *editor) { editor->undo(); }},
        {"RedoPopup", "&Redo", QKeySequence::Redo, [](QPlainTextEdit *editor) { editor->redo(); }},
        {"CutPopup", "Cu&t", QKeySequence::Cut, [](QPlainTextEdit *editor) { editor->cut(); }},
        {"CopyPopup", "&Copy", QKeySequence::Copy, [](QPlainTextEdit *editor) { editor->copy(); }},
    };
    for (const auto &e : editing) {
        QAction *item = menu.addAction(QLatin1String(e.caption));
        item->setObjectName(QLatin1String(e.name));
        item->setShortcut(e.key);
        connect(item, &QAction::triggered, this, [this, command = e.command] {
            ArticleEntry *entry = m_list.CurrentEntry();
            if (entry)
                command(m_view.EditorFor(entry));
        });
    }
}

void ArticleCommands::AddSelectAllItem(QMenu &menu)
{
    QAction *selectAll = menu.addAction(QStringLiteral("Select A&ll"));
    selectAll->setObjectName(QStringLiteral("SelectAllPopup"));
    selectAll->setShortcut(QKeySequence::SelectAll);
    connect(selectAll, &QAction::triggered, this, [this] {
        ArticleEntry *entry = m_list.CurrentEntry();
        if (entry)
            m_view.EditorFor(entry)->selectAll();
    });
}

void ArticleCommands::AddNewArticleShortcut(QWidget &window)
{
    auto *newArticle = new QAction(QStringLiteral("New Article"), &window);
    newArticle->setObjectName(QStringLiteral("NewArticleShortcut"));
    newArticle->setShortcut(QKeySequence::New);
    connect(newArticle, &QAction::triggered, this, [this] {
        if (m_prefs.ML_ListMode == 1 && m_reading.State() == rsIdle)
            AddNewPopupClick();
    });
    window.addAction(newArticle);
}
