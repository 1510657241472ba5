#include "PreferenceUnit.h"

#include "AppPaths.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <variant>


const QString TPreferences::SectionName = QStringLiteral("Voxtrella");

namespace {

// Every setting, in registration (and save) order, with its kind, default
// and the field that mirrors it.
using Field = std::variant<std::monostate, bool TPreferences::*, uint8_t TPreferences::*, int32_t TPreferences::*,
                           QString TPreferences::*>;

struct Setting {
    const char *key;
    TItemKind kind;
    QVariant defaultValue;  // OUT_Directory and OpenDlgInitialDir are computed
    Field field;
};

const std::vector<Setting> &settings()
{
    using P = TPreferences;
    static const std::vector<Setting> table = {
        {"ShowOptions", ikBoolean, true, &P::ShowOptions},
        {"ShowToolbar", ikBoolean, true, &P::ShowToolbar},
        {"SI_AutoSpeak", ikBoolean, false, &P::SI_AutoSpeak},
        {"SI_Voice", ikInteger, 0, &P::SI_Voice},
        {"SI_ShowBusyDialog", ikBoolean, true, &P::SI_ShowBusyDialog},
        {"MI_Voice", ikInteger, 0, &P::MI_Voice},
        {"ML_AutoDelete", ikBoolean, false, &P::ML_AutoDelete},
        {"ML_VisibleEntries", ikInteger, 3, &P::ML_VisibleEntries},
        {"ML_ListMode", ikInteger, 0, &P::ML_ListMode},
        {"TTS_DefaultVoiceName", ikString, QString(), &P::TTS_DefaultVoiceName},
        {"TTS_HighlightPosition", ikBoolean, true, &P::TTS_HighlightPosition},
        {"TTS_FilterSymbols", ikBoolean, true, &P::TTS_FilterSymbols},
        {"TTS_AudioDeviceID", ikInteger, -1, &P::TTS_AudioDeviceID},
        {"TTS_SoundCardCheckErr", ikBoolean, true, &P::TTS_SoundCardCheckErr},
        {"CB_Monitor", ikBoolean, true, &P::CB_Monitor},
        {"CB_Prompt", ikBoolean, true, &P::CB_Prompt},
        {"CB_PromptDelay", ikInteger, 3, &P::CB_PromptDelay},
        {"CB_ThreshHold", ikInteger, 10, &P::CB_ThreshHold},
        {"CB_PromptTop", ikInteger, -1, &P::CB_PromptTop},
        {"CB_PromptLeft", ikInteger, -1, &P::CB_PromptLeft},
        {"CB_DfltPromptAction", ikInteger, 2, &P::CB_DfltPromptAction},
        {"CB_LastPromptAction", ikInteger, 2, &P::CB_LastPromptAction},
        {"CB_ClearOnCopy", ikBoolean, false, &P::CB_ClearOnCopy},
        {"OUT_FileDest", ikInteger, 0, &P::OUT_FileDest},
        {"OUT_FileFormat", ikInteger, 0, &P::OUT_FileFormat},
        {"OUT_Directory", ikString, QVariant(), &P::OUT_Directory},
        {"OpenDlgInitialDir", ikString, QVariant(), &P::OpenDlgInitialDir},
        {"RunMinimized", ikBoolean, false, std::monostate()},
        {"ToolbarOnMinOption", ikInteger, 1, &P::ToolbarOnMinOption},
        {"ToolbarOnTop", ikBoolean, false, &P::ToolbarOnTop},
        {"FirstTimeUser", ikBoolean, true, &P::FirstTimeUser},
        {"BitRate", ikInteger, 32, &P::BitRate},
        {"ShowPronEditWarning", ikBoolean, true, &P::ShowPronEditWarning},
        {"SI_DefaultTitles", ikBoolean, true, &P::SI_DefaultTitles},
        {"OptionsHeight", ikInteger, 0, &P::OptionsHeight},
        {"OpusBitRate", ikInteger, 24, &P::OpusBitRate},
        {"OUT_Subtitles", ikInteger, 0, &P::OUT_Subtitles},
    };
    return table;
}

QString makeFilesDir()
{
    const QString dir = AppPaths::userDir() + QStringLiteral("/Files");
    if (QFileInfo(dir).isDir() || QDir().mkpath(dir))
        return dir;
    return QStringLiteral(" ");
}

}  // namespace

TPreferences::TPreferences()
{
    Section = SectionName;
    FilesDir = makeFilesDir();
    for (const Setting &s : settings()) {
        QVariant defaultValue = s.defaultValue;
        const QLatin1String key(s.key);
        if (key == QLatin1String("OUT_Directory"))
            defaultValue = FilesDir;
        else if (key == QLatin1String("OpenDlgInitialDir"))
            defaultValue = QDir::homePath();
        AddItem(key, 2, defaultValue, s.kind);
    }
    // The fields start at the defaults (declared with them); the two
    // computed ones are set here. The items stay empty until a load.
    OUT_Directory = FilesDir;
    OpenDlgInitialDir = QDir::homePath();
}

void TPreferences::ItemsToFields()
{
    // The table's items are the first ones registered, in the same order;
    // items the voice catalogue adds later follow them.
    const auto &table = settings();
    for (size_t i = 0; i < table.size() && i < Items.size(); ++i) {
        const QVariant value = Items[i]->GetAsVariant();
        std::visit(
            [&](auto member) {
                using M = decltype(member);
                if constexpr (std::is_same_v<M, bool TPreferences::*>)
                    this->*member = value.toBool();
                else if constexpr (std::is_same_v<M, uint8_t TPreferences::*>)
                    this->*member = static_cast<uint8_t>(value.toInt());
                else if constexpr (std::is_same_v<M, int32_t TPreferences::*>)
                    this->*member = value.toInt();
                else if constexpr (std::is_same_v<M, QString TPreferences::*>)
                    this->*member = value.toString();
            },
            table[i].field);
    }
    if (OUT_Directory.trimmed().isEmpty())
        OUT_Directory = FilesDir;
}

void TPreferences::FieldsToItems()
{
    const auto &table = settings();
    for (size_t i = 0; i < table.size() && i < Items.size(); ++i) {
        std::visit(
            [&](auto member) {
                using M = decltype(member);
                if constexpr (std::is_same_v<M, uint8_t TPreferences::*>)
                    Items[i]->SetAsVariant(int(this->*member));
                else if constexpr (!std::is_same_v<M, std::monostate>)
                    Items[i]->SetAsVariant(QVariant::fromValue(this->*member));
            },
            table[i].field);
    }
}

bool TPreferences::AutoSpeak() const
{
    return IsMultiArticleMode() ? false : SI_AutoSpeak;
}
void TPreferences::SetAutoSpeak(bool value)
{
    SI_AutoSpeak = value;
}

bool TPreferences::AutoDelete() const
{
    return IsMultiArticleMode() ? ML_AutoDelete : false;
}
void TPreferences::SetAutoDelete(bool value)
{
    ML_AutoDelete = value;
}

int32_t TPreferences::VisibleEntries() const
{
    return IsMultiArticleMode() ? ML_VisibleEntries : 1;
}

uint8_t TPreferences::FileDest() const
{
    return IsMultiArticleMode() ? OUT_FileDest : 0;
}
void TPreferences::SetFileDest(uint8_t value)
{
    OUT_FileDest = value;
}

uint8_t TPreferences::VoiceSelection() const
{
    return IsMultiArticleMode() ? MI_Voice : SI_Voice;
}

void TPreferences::SetVoiceSelection(uint8_t value)
{
    if (IsMultiArticleMode())
        MI_Voice = value;
    else
        SI_Voice = value;
}

bool TPreferences::DefaultTitles() const
{
    return IsMultiArticleMode() ? true : SI_DefaultTitles;
}
void TPreferences::SetDefaultTitles(bool value)
{
    SI_DefaultTitles = value;
}

int32_t TPreferences::OptionsBandHeight(int32_t designed, int32_t minimum, int32_t maximum) const
{
    if (OptionsHeight <= 0)
        return designed;
    return std::clamp(OptionsHeight, minimum, std::max(minimum, maximum));
}
