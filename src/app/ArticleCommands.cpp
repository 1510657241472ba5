#include "ArticleCommands.h"

#include "ArticleEditor.h"
#include "ArticleListView.h"
#include "ArticleSaving.h"
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

namespace {

const QString kLockedMessage = QStringLiteral("This item is currently being read and cannot be deleted");
const QString kReplaceShownQuestion = QStringLiteral(
    "In Single-Article mode a new article takes the place of the one shown.\r\r"
    "Replace the article \"%1\"? Its text will be deleted. The other articles stay saved "
    "and show again in Multi-Article mode.");
constexpr int kTitleLength = 20;

}  // namespace

ArticleCommands::ArticleCommands(ArticleList &list, ArticleListView &view, TPreferences &prefs, ArticleSaving &saving,
                                 const ReadingController &reading, const Controls &controls, QWidget &dialogParent)
    : m_list(list), m_view(view), m_prefs(prefs), m_saving(saving), m_reading(reading), m_controls(controls),
      m_dialogParent(dialogParent), m_random(std::random_device{}())
{
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

ArticleEntry *ArticleCommands::CreateArticle(const QString &text, const QString &voiceName)
{
    if (Exiting())
        return nullptr;
    ArticleEntry *entry = nullptr;
    try {
        entry = m_list.Add(text, voiceName);
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
    if (!MayReplaceShownArticle())
        return;
    OpenTextFiles(dialog->selectedFiles());
}

std::unique_ptr<QFileDialog> ArticleCommands::CreateOpenDialog()
{
    auto dialog = std::make_unique<QFileDialog>(&m_dialogParent, QStringLiteral("Open Text File"),
                                                m_prefs.OpenDlgInitialDir);
    dialog->setObjectName(QStringLiteral("OpenDialog1"));
    // Name filters match in any letter case unless QDir::CaseSensitive is
    // set, so "NOTES.TXT" is offered too.
    dialog->setNameFilter(QStringLiteral("Text files (*.txt)"));
    dialog->setFileMode(m_prefs.ML_ListMode == 1 ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setSizeGripEnabled(true);
    return dialog;
}

void ArticleCommands::OpenTextFiles(const QStringList &files)
{
    if (files.isEmpty())
        return;
    m_prefs.OpenDlgInitialDir = QFileInfo(files.first()).absolutePath();
    for (const QString &file : files) {
        ArticleEntry *entry = AddNewArticle();
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
        if (m_prefs.AutoSpeak())
            emit AutoSpeakWanted(entry);
        QCoreApplication::processEvents();
        if (Exiting())
            return;
    }
    SaveList();
    emit CountChanged();
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
