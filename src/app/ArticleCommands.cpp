#include "ArticleCommands.h"

#include "ui_MainWindow.h"
#include "ui_MiscOptionsForm.h"

#include "ArticleSaving.h"
#include "MainWindow.h"
#include "ReadingBinder.h"
#include "articles/MemoEntryUnit.h"
#include "articles/MemoListUnit.h"
#include "platform/paths/AppPaths.h"
#include "platform/shell/MessageService.h"
#include "reader/Speaker.h"
#include "settings/PreferenceUnit.h"
#include "util/DiagnosticLog.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QPlainTextEdit>

namespace {

const QString kLockedMessage = QStringLiteral("This item is currently being read and cannot be deleted");
const QString kReplaceShownQuestion = QStringLiteral(
    "In Single-Article mode a new article takes the place of the one shown.\r\r"
    "Replace the article \"%1\"? Its text will be deleted. The other articles stay saved "
    "and show again in Multi-Article mode.");
constexpr int kTitleLength = 20;

}  // namespace

ArticleCommands::ArticleCommands(MainWindow &form) : m_form(form), m_random(std::random_device{}())
{
    Ui::MainWindow *ui = form.form();
    auto *mode = new QActionGroup(this);
    mode->addAction(ui->SingleMItm);
    mode->addAction(ui->MultiMItm);
    auto *modeButtons = new QButtonGroup(this);
    modeButtons->addButton(ui->ToolButton1);
    modeButtons->addButton(ui->ToolButton2);

    connect(ui->ToolButton1, &QToolButton::clicked, this, &ArticleCommands::SwitchToSingleArticle);
    connect(ui->SingleMItm, &QAction::triggered, this, &ArticleCommands::SwitchToSingleArticle);
    connect(ui->ToolButton2, &QToolButton::clicked, this, &ArticleCommands::SwitchToMultiArticle);
    connect(ui->MultiMItm, &QAction::triggered, this, &ArticleCommands::SwitchToMultiArticle);
    connect(ui->ReadFileBtn, &QToolButton::clicked, this, &ArticleCommands::ReadFileBtnClick);
    connect(ui->OpenTextFile1, &QAction::triggered, this, &ArticleCommands::ReadFileBtnClick);
    connect(ui->PasteBtn, &QToolButton::clicked, this, &ArticleCommands::PasteIntoArticle);
    connect(ui->Paste1, &QAction::triggered, this, &ArticleCommands::PasteIntoArticle);
}

bool ArticleCommands::Exiting() const
{
    return m_form.State() == rsExiting;
}

// ----------------------------------------------------------------- voices

QString ArticleCommands::ChooseVoice()
{
    const uint8_t policy = m_form.Preferences().VoiceSelection();
    // With no favourite at all there is nothing to pick from: the default
    // voice is still a voice the user chose.
    if (policy == 0 || m_favoriteVoices.isEmpty())
        return m_form.Preferences().TTS_DefaultVoiceName;
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
    if (Speaker *driver = m_form.Driver()) {
        TVoiceList &voices = driver->Voices();
        for (int i = 0; i < voices.Count(); ++i) {
            TVoiceEntry *v = voices.Items(i);
            if (v->Favorite && v->Engine && v->Engine->Enabled)
                m_favoriteVoices.append(v->DisplayName);
        }
    }
    FillDefaultVoiceCombo();
}

void ArticleCommands::FillDefaultVoiceCombo()
{
    QComboBox *combo = m_form.form()->MiscSheet->Controls().DfltVoiceCB;
    QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(m_favoriteVoices);
    const int index = m_favoriteVoices.indexOf(m_form.Preferences().TTS_DefaultVoiceName);
    combo->setCurrentIndex(index >= 0 ? index : (m_favoriteVoices.isEmpty() ? -1 : 0));
}

// --------------------------------------------------------------- articles

void ArticleCommands::GiveArticleHandlers(TMemoEntry *entry)
{
    entry->OnRead = [this](TMemoEntry *e) {
        if (ReadingController *reading = m_form.Reading())
            reading->ArticleReadClick(e);
    };
    entry->OnReadToFile = [this](TMemoEntry *e) {
        if (ReadingController *reading = m_form.Reading())
            reading->ArticleReadToFileClick(e);
    };
    entry->OnDelete = [this](TMemoEntry *e) { ArticleDeleteRequest(e); };
    entry->SetPopupMenu(m_form.PopupMenu1());
}

TMemoEntry *ArticleCommands::AddNewArticle()
{
    TMemoEntry *entry = CreateArticle(QString(), ChooseVoice());
    if (entry)
        GiveArticleHandlers(entry);
    return entry;
}

TMemoEntry *ArticleCommands::CreateArticle(const QString &text, const QString &voiceName)
{
    if (Exiting())
        return nullptr;
    TMemoEntry *entry = nullptr;
    try {
        entry = m_form.List()->Add(text, voiceName);
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
    SaveList();
    m_form.ReadingCommands().UpdateStatus(m_form.ReadingCommands().ArticleCountText());
    return entry;
}

void ArticleCommands::SaveList()
{
    m_form.Saving().Save();
}

bool ArticleCommands::MayReplaceShownArticle()
{
    if (m_form.Preferences().IsMultiArticleMode())
        return true;
    TMemoListBox *list = m_form.List();
    TMemoEntry *shown = list->GetVisibleCount() > 0 ? list->Entry(0) : nullptr;
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
    if (!MayReplaceShownArticle())
        return;
    OpenTextFiles(dialog->selectedFiles());
}

std::unique_ptr<QFileDialog> ArticleCommands::CreateOpenDialog()
{
    auto dialog = std::make_unique<QFileDialog>(&m_form, QStringLiteral("Open Text File"),
                                                m_form.Preferences().OpenDlgInitialDir);
    dialog->setObjectName(QStringLiteral("OpenDialog1"));
    // Name filters match in any letter case unless QDir::CaseSensitive is
    // set, so "NOTES.TXT" is offered too.
    dialog->setNameFilter(QStringLiteral("Text files (*.txt)"));
    dialog->setFileMode(m_form.Preferences().ML_ListMode == 1 ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setSizeGripEnabled(true);
    return dialog;
}

void ArticleCommands::OpenTextFiles(const QStringList &files)
{
    if (files.isEmpty())
        return;
    m_form.Preferences().OpenDlgInitialDir = QFileInfo(files.first()).absolutePath();
    for (const QString &file : files) {
        TMemoEntry *entry = AddNewArticle();
        if (!entry)
            continue;
        QString name = QFileInfo(file).fileName();
        const int dot = name.indexOf(QLatin1Char('.'));
        if (dot >= 0)
            name = name.left(dot);
        entry->TitleFromString(name, kTitleLength);
        if (!entry->LoadFromFile(file))
            MessageService::error(QStringLiteral("The file could not be opened:\r") + file);
        // An exit while a box was open has saved and emptied the list.
        if (Exiting())
            return;
        if (m_form.Preferences().AutoSpeak())
            m_form.ReadingCommands().StartAutoSpeak(entry);
        QCoreApplication::processEvents();
        if (Exiting())
            return;
    }
    SaveList();
    m_form.ReadingCommands().UpdateStatus(m_form.ReadingCommands().ArticleCountText());
}

void ArticleCommands::ArticleDeleteRequest(TMemoEntry *entry)
{
    try {
        m_form.List()->HideEntry(entry);
    } catch (const EMemoEntryLocked &) {
        MessageService::error(kLockedMessage);
        return;
    }
    AfterRemoval(m_form.State() != rsReading);
}

void ArticleCommands::DelSelPopupClick()
{
    try {
        m_form.List()->DeleteSelected();
    } catch (const EMemoEntryLocked &) {
        MessageService::error(kLockedMessage);
        return;
    }
    AfterRemoval(true);
}

void ArticleCommands::AfterRemoval(bool showCount)
{
    // Never an empty list.
    if (m_form.List()->GetVisibleCount() == 0)
        AddNewArticle();
    SaveList();
    if (showCount)
        m_form.ReadingCommands().UpdateStatus(m_form.ReadingCommands().ArticleCountText());
}

void ArticleCommands::AddNewPopupClick()
{
    if (MayReplaceShownArticle())
        AddNewArticle();
}

void ArticleCommands::PasteIntoArticle()
{
    if (TMemoEntry *entry = m_form.List()->CurrentEntry())
        entry->Editor()->paste();
}

void ArticleCommands::UpdatePasteCommands()
{
    const bool selected = m_form.List() && m_form.List()->CurrentEntry();
    m_form.form()->PasteBtn->setEnabled(selected);
    m_form.form()->Paste1->setEnabled(selected);
}

// ------------------------------------------------------------- list modes

void ArticleCommands::CheckMode(bool multi)
{
    Ui::MainWindow *ui = m_form.form();
    (multi ? ui->ToolButton2 : ui->ToolButton1)->setChecked(true);
    (multi ? ui->MultiMItm : ui->SingleMItm)->setChecked(true);
    m_form.TrayItem(multi ? "MIPoNtry" : "SIPoNtry")->setChecked(true);
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
    if (m_form.Preferences().ML_ListMode == (multi ? 1 : 0)) {
        // Keep the controls showing the mode that is active.
        CheckMode(multi);
        return;
    }
    DiagnosticLog::WriteLog(multi ? QStringLiteral("Entering Multi-Article Mode")
                                  : QStringLiteral("Entering Single-Article Mode"));
    CheckMode(multi);
    m_form.Preferences().ML_ListMode = multi ? 1 : 0;
    TMemoListBox *list = m_form.List();
    // Blank articles are dropped from the whole list, also from those that
    // Single-Article mode sets aside or brings back.
    if (!multi)
        list->DeleteBlankEntries();
    list->SetVisibleEntries(multi ? m_form.Preferences().ML_VisibleEntries : 1);
    list->SetMultiArticle(multi);
    m_form.ShowModeSheet(multi);
    if (multi)
        list->DeleteBlankEntries();
    if (list->GetVisibleCount() == 0) {
        DiagnosticLog::WriteLog(QStringLiteral("Calling AddNew"));
        AddNewArticle();
    }
    m_form.ReadingCommands().SetReadingState(m_form.State());
    if (m_form.State() == rsIdle)
        m_form.ReadingCommands().UpdateStatus(m_form.ReadingCommands().ArticleCountText());
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
            TMemoEntry *entry = m_form.List()->CurrentEntry();
            if (entry)
                command(entry->Editor());
        });
    }
}

void ArticleCommands::AddSelectAllItem(QMenu &menu)
{
    QAction *selectAll = menu.addAction(QStringLiteral("Select A&ll"));
    selectAll->setObjectName(QStringLiteral("SelectAllPopup"));
    selectAll->setShortcut(QKeySequence::SelectAll);
    connect(selectAll, &QAction::triggered, this, [this] {
        TMemoEntry *entry = m_form.List()->CurrentEntry();
        if (entry)
            entry->Editor()->selectAll();
    });
}

void ArticleCommands::AddNewArticleShortcut(QWidget &window)
{
    auto *newArticle = new QAction(QStringLiteral("New Article"), &window);
    newArticle->setObjectName(QStringLiteral("NewArticleShortcut"));
    newArticle->setShortcut(QKeySequence::New);
    connect(newArticle, &QAction::triggered, this, [this] {
        if (m_form.Preferences().ML_ListMode == 1 && m_form.State() == rsIdle)
            AddNewPopupClick();
    });
    window.addAction(newArticle);
}
