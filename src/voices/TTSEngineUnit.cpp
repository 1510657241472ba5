#include "TTSEngineUnit.h"

#include "TaggedFile.h"

#include "RegistryEnhanced.h"
#include "RegistryStore.h"

#include "AppPaths.h"
#include "PreferenceUnit.h"
#include "DiagnosticLog.h"
#include "speech/TTS.h"

#include <QHash>
#include <QSet>
#include <QLocale>

#include <algorithm>
#include <optional>


const QString AudioTestFileName = QStringLiteral("AudioTest.chl");

namespace {

// Per-engine and per-voice settings live beside the program's own ones.
constexpr uint8_t kVoiceSettingsLocation = 2;

const QString kUsEnglish = QStringLiteral("US English");
const QString kMicrosoft = QStringLiteral("Microsoft");
const QString kDigaloUs = QStringLiteral("Digalo - US English");
const QString kHelpVoiceNames = QStringLiteral("MaryMikeSam");
const QString kNameDash = QStringLiteral(" \u2013 ");

// The engine naming table's rows for the Windows engines. They have no
// driver on this platform, so the catalogue keeps them itself; every other
// row comes from an installed driver's facts.
const std::vector<sapi::EngineFacts> &windowsEngineRows()
{
    using sapi::FavoriteDefault;
    const QString lh = QStringLiteral("Lernout & Hauspie");
    const QString favorites = QStringLiteral("MaryMikeSamPeterSidneyEddie");
    // maker, display name, + " - " language, group, fixed language, short name,
    // features, lexicon, favourites, favourite names
    static const std::vector<sapi::EngineFacts> rows = {
        {kMicrosoft, kMicrosoft, false, kMicrosoft, kUsEnglish, QString(), 3, false, FavoriteDefault::NamedVoices,
         favorites},
        {QStringLiteral("Lernout && Hauspie Speech Products"), QStringLiteral("L & H TruVoice"), false, lh, kUsEnglish,
         QStringLiteral("Lrn1"), 0, false, FavoriteDefault::NamedVoices, favorites},
        {lh, QStringLiteral("L & H"), true, lh, QString(), QStringLiteral("Lrn2"), 0, false, FavoriteDefault::AllVoices,
         QString()},
        {QStringLiteral("Eloquent Technology, Inc."), QStringLiteral("Eloquent"), true,
         QStringLiteral("Eloquent Technology, Inc."), QString(), QStringLiteral("Eloq"), 0, false,
         FavoriteDefault::AllVoices, QString()},
        {QStringLiteral("ELAN Informatique"), QStringLiteral("Digalo"), true, QStringLiteral("Digalo"), QString(),
         QStringLiteral("Diga"), 0, false, FavoriteDefault::AllVoices, QString()},
    };
    return rows;
}

bool isWindowsEngine(const QString &maker)
{
    const auto &rows = windowsEngineRows();
    return std::any_of(rows.begin(), rows.end(), [&](const sapi::EngineFacts &row) { return row.maker == maker; });
}

// The naming table's row for a manufacturer; nullopt for one it has no row for.
std::optional<sapi::EngineFacts> engineRow(const QString &maker)
{
    for (const sapi::EngineFacts &row : windowsEngineRows())
        if (row.maker == maker)
            return row;
    for (const auto &engine : sapi::SpeechPlatform::engines()) {
        sapi::EngineFacts facts = engine->facts();
        if (facts.maker == maker)
            return facts;
    }
    return std::nullopt;
}

struct LanguageRow {
    int32_t id;
    const char *name;
    const char *code;  // nullptr: the row has a name only
};

// Some names are spelled as engines have always shown them.
// clang-format off
constexpr LanguageRow kLanguages[] = {
    {1025, "Arabic", "ara"},      {1026, "Bulgarian", "bul"},  {1027, "Catalan", "cat"},
    {1028, "Chinese", "chi"},     {1029, "Czech", "cze"},      {1030, "Danish", "dan"},
    {1031, "German", "deu"},      {1032, "Greek", "gre"},      {1033, "US English", "eng"},
    {1034, "Spanish", "spa"},     {1035, "Finnish", "fin"},     {1036, "French", "fre"},
    {1037, "Hebrew", "heb"},      {1038, "Hungarian", "hun"},  {1039, "Icelandic", "ice"},
    {1040, "Italian", "ita"},     {1041, "Japanese", "jpn"},   {1042, "Korean", "kor"},
    {1043, "Dutch", "dut"},       {1044, "Norwegian", "nor"},  {1045, "Polish", "pol"},
    {1046, "Portuguese [Brazilian]", "por"},                   {1048, "Romanian", "ron"},
    {1049, "Russian", "rus"},     {1050, "Croatian", "cro"},   {1051, "Slovak", "slo"},
    {1052, "Albanian", "alb"},    {1053, "Swedish", "swe"},    {1054, "Thai", "tha"},
    {2057, "UK English", nullptr},
    {2058, "Spanish [Mexican]", nullptr},
    {2070, "Portuguese", nullptr},
    {3082, "Spanish [Modern]", nullptr},
    {4106, "Spanish [Guatemala]", nullptr},
    {5130, "Spanish [Costa Rica]", nullptr},
    {6154, "Spanish [Panama]", nullptr},
    {7178, "Spanish [Domican Republic]", nullptr},
    {8202, "Spanish [Venezuela]", nullptr},
    {9226, "Spanish [Columbia]", nullptr},
    {10250, "Spanish [Peru]", nullptr},
    {11274, "Spanish [Argentina]", nullptr},
    {12298, "Spanish [Ecuador]", nullptr},
    {13322, "Spanish [Chile]", nullptr},
    {14346, "Spanish [Uruguay]", nullptr},
    {15370, "Spanish [Paraguay]", nullptr},
    {16394, "Spanish [Bolivia]", nullptr},
    {17418, "Spanish [El Salvador]", nullptr},
    {18442, "Spanish [Hondurus]", nullptr},
    {19466, "Spanish [Nicaragua]", nullptr},
    {20490, "Spanish [Puerto Rico]", nullptr},
};
// clang-format on

template <class Pick>
QString lookupLanguage(int32_t id, Pick pick)
{
    for (const int32_t candidate : {id, (id & 255) + 1024}) {
        for (const LanguageRow &row : kLanguages) {
            if (row.id == candidate && pick(row))
                return QString::fromLatin1(pick(row));
        }
    }
    return QString();
}

QString fieldText(const char16_t *field)
{
    qsizetype n = 0;
    while (n < sapi::TTSI_NAMELEN && field[n])
        ++n;
    return QString::fromUtf16(field, n);
}

// Blanks and control characters trimmed from both ends, as mode names are
// compared.
QString trimControls(const QString &text)
{
    qsizetype a = 0, b = text.size();
    while (a < b && text.at(a).unicode() <= ' ')
        ++a;
    while (b > a && text.at(b - 1).unicode() <= ' ')
        --b;
    return text.mid(a, b - a);
}

// Registers a per-engine or per-voice setting unless the record has it
// already (a catalogue built a second time in one run).
void registerSetting(TPreferences *prefs, const QString &name, const QVariant &def, TItemKind kind)
{
    if (!prefs)
        return;
    for (const auto &item : prefs->Items)
        if (item->Name.compare(name, Qt::CaseInsensitive) == 0)
            return;
    // Until the record is next loaded the new setting holds its default.
    if (BaseRegClass *item = prefs->AddItem(name, kVoiceSettingsLocation, def, kind))
        item->SetAsString(item->GetDefaultAsString());
}

// Windows primary language of the user's locale; English when the locale
// names no language the table knows.
int32_t localePrimaryLanguage()
{
    struct Row {
        QLocale::Language language;
        int32_t primary;
    };
    static const Row rows[] = {
        {QLocale::Arabic, 0x01},   {QLocale::Bulgarian, 0x02},       {QLocale::Catalan, 0x03},
        {QLocale::Chinese, 0x04},  {QLocale::Czech, 0x05},           {QLocale::Danish, 0x06},
        {QLocale::German, 0x07},   {QLocale::Greek, 0x08},           {QLocale::English, 0x09},
        {QLocale::Spanish, 0x0A},  {QLocale::Finnish, 0x0B},         {QLocale::French, 0x0C},
        {QLocale::Hebrew, 0x0D},   {QLocale::Hungarian, 0x0E},       {QLocale::Icelandic, 0x0F},
        {QLocale::Italian, 0x10},  {QLocale::Japanese, 0x11},        {QLocale::Korean, 0x12},
        {QLocale::Dutch, 0x13},    {QLocale::NorwegianBokmal, 0x14}, {QLocale::NorwegianNynorsk, 0x14},
        {QLocale::Polish, 0x15},   {QLocale::Portuguese, 0x16},      {QLocale::Romanian, 0x18},
        {QLocale::Russian, 0x19},  {QLocale::Croatian, 0x1A},        {QLocale::Slovak, 0x1B},
        {QLocale::Albanian, 0x1C}, {QLocale::Swedish, 0x1D},         {QLocale::Thai, 0x1E},
    };
    const QLocale::Language language = QLocale().language();
    for (const Row &row : rows)
        if (row.language == language)
            return row.primary;
    return 0x09;
}

}  // namespace

// ---------------------------------------------------------------------------

QString LanguageNameOf(int32_t languageID)
{
    return lookupLanguage(languageID, [](const LanguageRow &r) { return r.name; });
}

QString LanguageCodeOf(int32_t languageID)
{
    return lookupLanguage(languageID, [](const LanguageRow &r) { return r.code; });
}

QString GetTestMessage(const TEngineEntry *engine)
{
    if (!engine)
        return QString();
    const QString code = LanguageCodeOf(engine->LanguageID);
    if (code.isEmpty())
        return QString();
    TaggedFile file;
    if (!file.LoadFromFile(AppPaths::dataDir() + QLatin1Char('/') + AudioTestFileName).isEmpty())
        return QString();
    return file.GetValue(QStringLiteral("/"), code);
}

// ---------------------------------------------------------------------------
// TEngineList

void TEngineList::NameEngine(TEngineEntry &e)
{
    const std::optional<sapi::EngineFacts> row = engineRow(e.MfgName);
    if (!row) {
        e.DisplayName.clear();
        e.GroupName.clear();
        e.LanguageName.clear();
        e.ShortName.clear();
        e.Features = 0;
        e.HasLexicon = false;
        e.FavoriteRule = sapi::FavoriteDefault::AllVoices;
        e.FavoriteNames.clear();
        e.LanguageFirst = e.PerLanguage = e.PlaysItself = e.SpeakerNames = false;
        return;
    }
    e.LanguageFirst = !isWindowsEngine(e.MfgName);
    e.PerLanguage = row->languageInName;
    e.LanguageName = row->languageName.isEmpty() ? LanguageNameOf(e.LanguageID) : row->languageName;
    e.DisplayName = row->languageInName ? row->displayName + QStringLiteral(" - ") + e.LanguageName : row->displayName;
    e.GroupName = row->groupName;
    e.ShortName = row->shortName;
    e.Features = row->features;
    e.HasLexicon = row->hasLexicon;
    e.FavoriteRule = row->favorites;
    e.FavoriteNames = row->favoriteNames;
    e.PlaysItself = row->playsItself;
    e.SpeakerNames = row->speakerNames;
}

TEngineEntry *TEngineList::FindOrAddEngine(const TTTS &tts)
{
    sapi::TTSMODEINFOW info;
    tts.GetModeInfo(info);
    return FindOrAddEngine(info);
}

TEngineEntry *TEngineList::FindOrAddEngine(const sapi::TTSMODEINFOW &mode)
{
    const QString mfg = fieldText(mode.szMfgName);
    const QString product = fieldText(mode.szProductName);
    const int32_t language = mode.language.LanguageID;
    for (const auto &e : m_items)
        if (e->MfgName == mfg && e->ProductName == product && e->LanguageID == language)
            return e.get();

    auto entry = std::make_unique<TEngineEntry>();
    entry->MfgName = mfg;
    entry->ProductName = product;
    entry->LanguageID = language;
    entry->Enabled = true;
    NameEngine(*entry);
    if (entry->GroupName.isEmpty() || entry->LanguageName.isEmpty())
        return nullptr;
    registerSetting(Preferences, QStringLiteral("ENG_") + entry->DisplayName, true, ikBoolean);
    m_items.push_back(std::move(entry));
    return m_items.back().get();
}

TEngineEntry *TEngineList::FindEngine(const QString &displayName) const
{
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        if ((*it)->DisplayName == displayName)
            return it->get();
    return nullptr;
}

TEngineEntry *TEngineList::LexiconEngine() const
{
    for (const auto &e : m_items)
        if (e->HasLexicon)
            return e.get();
    return nullptr;
}

void TEngineList::SetGroupEnabled(const QString &groupName, bool flag)
{
    for (const auto &e : m_items)
        if (e->GroupName == groupName)
            e->Enabled = flag;
}

void TEngineList::LoadEngineFlags()
{
    TPreferences *prefs = Preferences;
    if (!prefs)
        return;
    for (const auto &e : m_items) {
        const QVariant v = prefs->GetValue(QStringLiteral("ENG_") + e->DisplayName);
        if (v.isValid())
            e->Enabled = v.toBool();
    }
}

void TEngineList::SaveEngineFlags()
{
    TPreferences *prefs = Preferences;
    if (!prefs)
        return;
    for (const auto &e : m_items)
        prefs->SetValue(QStringLiteral("ENG_") + e->DisplayName, e->Enabled);
}

// ---------------------------------------------------------------------------
// TVoiceList

TVoiceEntry *TVoiceList::Add(std::unique_ptr<TVoiceEntry> voice)
{
    m_items.push_back(std::move(voice));
    return m_items.back().get();
}

TVoiceEntry *TVoiceList::FindVoice(const QString &name) const
{
    for (const auto &v : m_items)
        if (v->DisplayName == name)
            return v.get();
    for (const auto &v : m_items)
        if (v->FormerName == name)
            return v.get();
    return nullptr;
}

QString TVoiceList::CurrentName(const QString &storedName) const
{
    const TVoiceEntry *voice = FindVoice(storedName);
    return voice ? voice->DisplayName : storedName;
}

TVoiceEntry *TVoiceList::FindHelpVoice() const
{
    for (const auto &v : m_items)
        if (kHelpVoiceNames.contains(v->DisplayName))
            return v.get();
    for (const auto &v : m_items)
        if (v->Engine && LanguageCodeOf(v->Engine->LanguageID) == QLatin1String("eng"))
            return v.get();
    return nullptr;
}

// ---------------------------------------------------------------------------
// TVoiceCatalog

void TVoiceCatalog::SetPreferences(TPreferences *prefs)
{
    m_prefs = prefs;
    Engines.Preferences = prefs;
}

TPreferences *TVoiceCatalog::prefs() const
{
    return m_prefs;
}

bool TVoiceCatalog::DefaultFavorite(const TEngineEntry &engine, const QString &displayName)
{
    switch (engine.FavoriteRule) {
    case sapi::FavoriteDefault::NamedVoices:
        return engine.FavoriteNames.contains(displayName);
    case sapi::FavoriteDefault::LocaleLanguage:
        return (engine.LanguageID & 0x3FF) == localePrimaryLanguage();
    case sapi::FavoriteDefault::AllVoices:
        break;
    }
    return true;
}

bool TVoiceCatalog::LoadRanges(TVoiceEntry &voice)
{
    const std::optional<sapi::ModeRanges> r = sapi::SpeechPlatform::ranges(voice.ModeID);
    if (!r)
        return false;
    voice.PitchMin = r->minPitch;
    voice.PitchMax = r->maxPitch;
    voice.PitchDefault = r->defaultPitch;
    voice.SpeedMin = int32_t(r->minSpeed);
    voice.SpeedMax = int32_t(r->maxSpeed);
    voice.SpeedDefault = int32_t(r->defaultSpeed);
    if (voice.Pitch <= 0)
        voice.Pitch = voice.PitchDefault;
    if (voice.Speed <= 0)
        voice.Speed = voice.SpeedDefault;
    return true;
}

void TVoiceCatalog::Initialize(QObject *)
{
    DiagnosticLog::WriteLog(QStringLiteral("Entering TTSForm.Initialize"));
    // One walk over the installed modes gives the names, the records and the
    // engine's own default. Looking each name up on its own walks every mode
    // again for every mode, which made the first start take seconds with a
    // hundred and more eSpeak NG voices.
    if (!sapi::SpeechPlatform::installed())
        DiagnosticLog::WriteLog(QStringLiteral("Listing the voices failed: the speech platform is not installed"));
    const sapi::InstalledModes installed = sapi::SpeechPlatform::installedModes();
    AddModes(installed.modes);
    LogDriverProblems();
    m_engineDefault = installed.defaultMode;
    EnsureDefaultVoice();
    DiagnosticLog::WriteLog(QStringLiteral("Exiting TTSForm.Initialize"));
}

int TVoiceCatalog::AddNewModes()
{
    const int before = Voices.Count();
    const int added = AddModes(sapi::SpeechPlatform::installedModes().modes);
    LogDriverProblems();
    TPreferences *p = prefs();
    if (!p || added == 0)
        return added;
    if (!m_missingDefault.isEmpty() && FindVoice(m_missingDefault)) {
        p->SetValue(QStringLiteral("TTS_DefaultVoiceName"), CurrentName(m_missingDefault));
        p->TTS_DefaultVoiceName = CurrentName(m_missingDefault);
        m_missingDefault.clear();
    }
    // The new settings were registered after the record was read: read
    // them now, or the next save would overwrite what the user chose for
    // these voices in an earlier run. Only the new voices take their stored
    // settings; the others may hold changes not stored yet.
    RegistryStore store;
    TRegistryEnhanced registry(&store);
    const QString unset = QStringLiteral("<not stored>");
    auto readStored = [&](const QString &name) {
        for (const auto &item : p->Items) {
            if (item->Name.compare(name, Qt::CaseInsensitive) == 0) {
                registry.Key = p->ItemKey(*item);
                const QString text = registry.ReadValue(item->Name, unset).toString();
                if (text != unset)
                    item->SetAsString(text);
                return;
            }
        }
    };
    for (int i = 0; i < Engines.Count(); ++i) {
        TEngineEntry *e = Engines.Items(i);
        if (!e->PlaysItself)
            continue;  // only a service's engines come late
        readStored(QStringLiteral("ENG_") + e->DisplayName);
        if (const QVariant v = p->GetValue(QStringLiteral("ENG_") + e->DisplayName); v.isValid())
            e->Enabled = v.toBool();
    }
    for (int i = before; i < Voices.Count(); ++i) {
        TVoiceEntry *v = Voices.Items(i);
        for (const QString &prefix : {QStringLiteral("FAV_"), QStringLiteral("SPD_"), QStringLiteral("PIT_")})
            readStored(prefix + v->KeyName);
        if (const QVariant fav = p->GetValue(QStringLiteral("FAV_") + v->KeyName); fav.isValid())
            v->Favorite = fav.toBool();
        if (const QVariant spd = p->GetValue(QStringLiteral("SPD_") + v->KeyName); spd.isValid())
            v->Speed = spd.toInt();
        if (const QVariant pit = p->GetValue(QStringLiteral("PIT_") + v->KeyName); pit.isValid())
            v->Pitch = pit.toInt();
    }
    return added;
}

void TVoiceCatalog::LogDriverProblems()
{
    for (const auto &engine : sapi::SpeechPlatform::engines()) {
        const QString problem = engine->problem();
        const QString line = engine->facts().displayName + QStringLiteral(" has no voices: ") + problem;
        if (!problem.isEmpty() && !m_loggedProblems.contains(line)) {
            m_loggedProblems << line;
            DiagnosticLog::WriteLog(line);
        }
    }
}

TVoiceEntry *TVoiceCatalog::FileVoiceFor(const QString &name) const
{
    TVoiceEntry *voice = FindVoice(name);
    if (voice && voice->WritesFiles())
        return voice;
    TVoiceEntry *fallback = m_prefs ? FindVoice(m_prefs->TTS_DefaultVoiceName) : nullptr;
    if (fallback && fallback->WritesFiles())
        return fallback;
    fallback = nullptr;
    for (int i = 0; i < Voices.Count(); ++i) {
        TVoiceEntry *v = Voices.Items(i);
        if (v->WritesFiles() && (v->Offered() || !fallback)) {
            if (v->Offered())
                return v;
            fallback = v;
        }
    }
    return fallback;
}

bool TVoiceCatalog::IsAbsentServiceVoice(const QString &name) const
{
    const TPreferences *p = m_prefs;
    if (!p || name.trimmed().isEmpty() || FindVoice(name))
        return false;
    RegistryStore store;
    const QStringList stored = store.valueNames(SettingsRecord::BaseKey + u'\\' + p->Section);
    for (const auto &engine : sapi::SpeechPlatform::engines()) {
        const sapi::EngineFacts facts = engine->facts();
        if (!facts.playsItself)
            continue;
        // Voice keys are the short name, the voice's name and its language number.
        const QString prefix = QStringLiteral("FAV_") + facts.shortName + name;
        for (const QString &key : stored) {
            bool number = false;
            if (key.startsWith(prefix, Qt::CaseInsensitive) && (key.mid(prefix.size()).toInt(&number), number))
                return true;
        }
    }
    return false;
}

int TVoiceCatalog::AddModes(const std::vector<sapi::TTSMODEINFOW> &records)
{
    // A name stands for the first mode of that name, as a lookup by name gives.
    QHash<QString, size_t> firstByName;
    for (size_t i = records.size(); i-- > 0;)  // backwards: the first of equal names stays
        firstByName.insert(trimControls(fieldText(records[i].szModeName)), i);

    QSet<QByteArray> known;
    for (int i = 0; i < Voices.Count(); ++i)
        known.insert(QByteArray(reinterpret_cast<const char *>(&Voices.Items(i)->ModeID), sizeof(sapi::GUID)));

    int added = 0;
    TPreferences *p = prefs();
    for (const sapi::TTSMODEINFOW &record : records) {
        const QString name = fieldText(record.szModeName);
        const sapi::TTSMODEINFOW &info = records[firstByName.value(trimControls(name))];
        const sapi::GUID id = info.gModeID;
        const QByteArray idKey(reinterpret_cast<const char *>(&id), sizeof(sapi::GUID));
        if (known.contains(idKey))
            continue;
        TEngineEntry *engine = Engines.FindOrAddEngine(info);
        if (!engine)
            continue;
        if (name.contains(QLatin1String("Telephone")))
            continue;

        const QString speaker = fieldText(info.szSpeaker);

        auto voice = std::make_unique<TVoiceEntry>();
        voice->Engine = engine;
        if (engine->DisplayName == kMicrosoft) {
            voice->FormerName = name;
            voice->KeyName = name;
        } else if (engine->DisplayName == kDigaloUs) {
            voice->FormerName = QStringLiteral("Digalo ") + speaker;
            voice->KeyName = engine->ShortName + speaker + QString::number(engine->LanguageID);
        } else {
            voice->FormerName = speaker;
            voice->KeyName = engine->ShortName + speaker + QString::number(engine->LanguageID);
        }
        if (engine->LanguageName != kUsEnglish && !engine->SpeakerNames)
            voice->FormerName += QStringLiteral(" (") + engine->LanguageName + QLatin1Char(')');
        voice->DisplayName = voice->FormerName;
        if (engine->LanguageFirst && !engine->SpeakerNames) {
            // A long list reads like an index: language first, and the
            // language's own voice (its mode carries no variant after " - ")
            // by the language alone.
            const bool ownVoice = engine->PerLanguage && !name.endsWith(QStringLiteral(" - ") + speaker);
            voice->DisplayName = ownVoice ? engine->LanguageName : engine->LanguageName + kNameDash + speaker;
        }
        voice->ModeID = id;

        const bool favorite = DefaultFavorite(*engine, voice->DisplayName);
        registerSetting(p, QStringLiteral("FAV_") + voice->KeyName, favorite, ikBoolean);
        registerSetting(p, QStringLiteral("SPD_") + voice->KeyName, 0, ikInteger);
        registerSetting(p, QStringLiteral("PIT_") + voice->KeyName, 0, ikInteger);

        TVoiceEntry *addedVoice = Voices.Add(std::move(voice));
        ++added;
        DiagnosticLog::WriteLog(QStringLiteral("Loaded voice ") + addedVoice->DisplayName);
    }
    return added;
}

void TVoiceCatalog::EnsureDefaultVoice()
{
    TPreferences *p = prefs();
    if (Voices.Count() > 0 && p) {
        QString &current = p->TTS_DefaultVoiceName;
        if (!current.trimmed().isEmpty() && !FindVoice(current)) {
            // A speech service may bring it back later in this run.
            m_missingDefault = current;
            current.clear();
        }
        current = CurrentName(current);
        if (current.trimmed().isEmpty()) {
            // A fresh start gets a voice that is offered for reading, the
            // engine's own choice first, rather than whichever language
            // happens to be listed first.
            const TVoiceEntry *engineChoice = nullptr;
            const TVoiceEntry *firstFavorite = nullptr;
            for (int i = 0; i < Voices.Count(); ++i) {
                const TVoiceEntry *v = Voices.Items(i);
                if (!engineChoice && v->ModeID == m_engineDefault)
                    engineChoice = v;
                if (!firstFavorite && DefaultFavorite(*v->Engine, v->DisplayName))
                    firstFavorite = v;
            }
            const TVoiceEntry *chosen = engineChoice;
            if (!chosen || !DefaultFavorite(*chosen->Engine, chosen->DisplayName))
                chosen = firstFavorite ? firstFavorite : engineChoice;
            current = (chosen ? chosen : Voices.Items(0))->DisplayName;
        }
        p->SetValue(QStringLiteral("TTS_DefaultVoiceName"), current);
    }
}

void TVoiceCatalog::LoadVoicePrefs()
{
    Engines.LoadEngineFlags();
    TPreferences *p = prefs();
    if (!p)
        return;
    for (int i = 0; i < Voices.Count(); ++i) {
        TVoiceEntry *v = Voices.Items(i);
        const QVariant fav = p->GetValue(QStringLiteral("FAV_") + v->KeyName);
        const QVariant spd = p->GetValue(QStringLiteral("SPD_") + v->KeyName);
        const QVariant pit = p->GetValue(QStringLiteral("PIT_") + v->KeyName);
        if (fav.isValid())
            v->Favorite = fav.toBool();
        if (spd.isValid())
            v->Speed = spd.toInt();
        if (pit.isValid())
            v->Pitch = pit.toInt();
    }
}

void TVoiceCatalog::SaveVoicePrefs()
{
    Engines.SaveEngineFlags();
    TPreferences *p = prefs();
    if (!p)
        return;
    for (int i = 0; i < Voices.Count(); ++i) {
        const TVoiceEntry *v = Voices.Items(i);
        p->SetValue(QStringLiteral("FAV_") + v->KeyName, v->Favorite);
        p->SetValue(QStringLiteral("SPD_") + v->KeyName, v->Speed);
        p->SetValue(QStringLiteral("PIT_") + v->KeyName, v->Pitch);
    }
}

void TVoiceCatalog::SetEngineEnabled(const QString &groupName, bool flag)
{
    // The favourites stay as the user chose them while the group is off (a
    // disabled engine offers none of them anyway), so switching it on again
    // brings back exactly those. Only a group left with no favourite at all,
    // as older versions left every disabled group, starts from the default
    // favourites rather than from nothing or from all of its voices.
    std::vector<TVoiceEntry *> group;
    bool anyFavorite = false;
    for (int i = 0; i < Voices.Count(); ++i) {
        TVoiceEntry *v = Voices.Items(i);
        if (v->Engine && v->Engine->GroupName == groupName) {
            group.push_back(v);
            anyFavorite = anyFavorite || v->Favorite;
        }
    }
    if (flag && !anyFavorite)
        for (TVoiceEntry *v : group)
            v->Favorite = DefaultFavorite(*v->Engine, v->DisplayName);
    SetGroupEnabled(groupName, flag);
}
