#include "TTSEngineUnit.h"

#include "MessageService.h"
#include "PreferenceUnit.h"
#include "ScriptedEngine.h"
#include "TestSupport.h"
#include "platform/speech/EspeakEngine.h"
#include "platform/speech/FliteEngine.h"
#include "platform/speech/SpeechDispatcherEngine.h"
#include "RegistryStore.h"
#include "SettingsRecord.h"
#include "speech/TTS.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QSet>

#include <map>
#include <optional>

using namespace sapi;
using namespace Qt::StringLiterals;

namespace {

void setField(char16_t (&field)[TTSI_NAMELEN], QStringView text)
{
    copyName(field, text.utf16(), size_t(text.size()));
}

TTSMODEINFOW mode(uint32_t n, QStringView mfg, QStringView name, QStringView speaker, uint16_t language)
{
    TTSMODEINFOW m;
    m.gModeID = GUID{n};
    m.gEngineID.Data1 = 1;
    setField(m.szMfgName, mfg);
    setField(m.szProductName, u"Product");
    setField(m.szModeName, name);
    setField(m.szSpeaker, speaker);
    m.language.LanguageID = language;
    m.dwFeatures = TTSFEATURE_TAGGED;
    m.dwInterfaces = TTSI_ITTSATTRIBUTES;
    return m;
}

constexpr char16_t kLH[] = u"Lernout & Hauspie", kEloq[] = u"Eloquent Technology, Inc.", kEspeak[] = u"eSpeak NG";
const TTSMODEINFOW kEspeakArabic = mode(11, kEspeak, u"eSpeak Arabic", u"Arabic", 1025);
const TTSMODEINFOW kEspeakUS = mode(12, kEspeak, u"eSpeak English", u"English (America)", 1033);
const TTSMODEINFOW kEspeakFrench = mode(13, kEspeak, u"eSpeak French", u"French (France)", 1036);
const TTSMODEINFOW kEspeakUK = mode(17, kEspeak, u"eSpeak UK", u"English (Great Britain)", 2057);

std::vector<TTSMODEINFOW> windowsAndLinuxModes()
{
    return {mode(1, u"Microsoft", u"Mary", u"Mary", 1033),
            mode(2, u"Microsoft", u"Robo", u"Robo", 1033),
            mode(3, u"Microsoft", u"Mary for Telephone", u"Mary", 1033),
            mode(4, kLH, u"LH French", u"Jean-Luc", 1036),
            mode(5, kLH, u"LH German", u"Hans", 1031),
            mode(6, kEloq, u"Eloq Jean", u"Jean", 1036),
            mode(7, kEloq, u"Eloq Telephone Only", u"Tel", 1031),
            mode(8, kEloq, u"Eloq 1047", u"Nobody", 1047),
            mode(9, u"ELAN Informatique", u"Digalo Eddy", u"Eddy", 1033),
            mode(10, u"Acme Speech", u"Acme One", u"One", 1033),
            kEspeakArabic,
            kEspeakUS,
            kEspeakFrench,
            mode(14, kEspeak, u"eSpeak English", u"Annie", 1033),
            mode(15, u"Carnegie Mellon University", u"Flite slt", u"slt", 1033),
            mode(16, kLH, u"LH Mexican", u"Juan", 2058)};
}

// A catalogue over its own settings record, built from the installed engines.
struct Catalogue {
    TPreferences prefs;
    TVoiceCatalog c;
    explicit Catalogue(bool restore = false, const QString &defaultVoice = QString())
    {
        prefs.TTS_DefaultVoiceName = defaultVoice;
        c.SetPreferences(&prefs);
        c.Initialize();
        if (restore) {
            prefs.LoadFromRegistry();
            c.LoadVoicePrefs();
        }
    }
    TVoiceEntry *voice(const QString &name) { return c.FindVoice(name); }
    bool registered(const QString &name) const
    {
        return std::any_of(prefs.Items.begin(), prefs.Items.end(), [&](const auto &i) { return i->Name == name; });
    }
    void expectFavourites(std::initializer_list<std::pair<const char16_t *, bool>> keys)
    {
        for (const auto &[key, fav] : keys) {
            const QString name = u"FAV_"_s + QString::fromUtf16(key);
            EXPECT_EQ(prefs.GetValue(name).toBool(), fav) << name.toStdString();
        }
    }
};

class VoiceCatalog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        MessageService::setHandler([this](const MessageService::Message &m) {
            messages << m.text;
            return UserInteraction::Ok;
        });
    }
    void TearDown() override
    {
        SpeechPlatform::restoreDefaultEngines();
        MessageService::setHandler({});
        QLocale::setDefault(QLocale::system());
    }
    // One driver lists the modes, whatever their makers; the facts of the
    // eSpeak NG and Flite drivers name those of their makers.
    void install(std::vector<TTSMODEINFOW> modes, std::optional<GUID> def = std::nullopt)
    {
        lister = std::make_shared<scripted::ScriptedEngine>();
        lister->catalogFacts = EspeakEngine::engineFacts();
        for (const TTSMODEINFOW &m : modes)
            lister->addMode(m);
        lister->defaultModeId = def;
        auto flite = std::make_shared<scripted::ScriptedEngine>();
        flite->catalogFacts = FliteEngine::engineFacts();
        SpeechPlatform::setEngines({lister, flite});
    }

    std::shared_ptr<scripted::ScriptedEngine> lister;

    QStringList messages;
};

}  // namespace

TEST_F(VoiceCatalog, NamesEnginesAndVoicesAndSkipsUnknownOnes)
{
    install(windowsAndLinuxModes());
    Catalogue k;
    TVoiceCatalog &c = k.c;
    QStringList engines, groups, voices, keys;
    for (int i = 0; i < c.Engines.Count(); ++i)
        engines << c.Engines.Items(i)->DisplayName, groups << c.Engines.GroupName(i);
    EXPECT_EQ(engines, u"Microsoft|L & H - French|L & H - German|Eloquent - French|Eloquent - German|"
                       u"Digalo - US English|eSpeak NG - Arabic|eSpeak NG - US English|eSpeak NG - French|Flite|"
                       u"L & H - Spanish [Mexican]"_s.split(u'|'));
    EXPECT_EQ(groups.count(u"Lernout & Hauspie"_s), 3);
    EXPECT_EQ(groups.count(u"eSpeak NG"_s), 3);

    for (int i = 0; i < c.Voices.Count(); ++i)
        voices << c.Voices.Items(i)->DisplayName, keys << c.Voices.Items(i)->KeyName;
    // Telephone modes, unknown makers and unnamed languages give no voice;
    // the two modes named alike both come from the first of them.
    // The engines of this platform name voices language first; the Windows ones keep their names.
    EXPECT_EQ(voices, u"Mary|Robo|Jean-Luc (French)|Hans (German)|Jean (French)|Digalo Eddy|Arabic|US English|"
                      u"French|US English|US English \u2013 slt|Juan (Spanish [Mexican])"_s.split(u'|'));
    EXPECT_EQ(keys, u"Mary|Robo|Lrn2Jean-Luc1036|Lrn2Hans1031|EloqJean1036|DigaEddy1033|EspkArabic1025|"
                    u"EspkEnglish (America)1033|EspkFrench (France)1036|EspkEnglish (America)1033|Flteslt1033|"
                    u"Lrn2Juan2058"_s.split(u'|'));
    EXPECT_TRUE(c.Voices.Items(8)->ModeID == GUID{13});
    EXPECT_TRUE(c.Voices.Items(9)->ModeID == GUID{12});

    ASSERT_TRUE(c.FindEngine(u"Microsoft"_s) && c.FindEngine(u"Flite"_s));
    EXPECT_EQ(c.FindEngine(u"Microsoft"_s)->Features, 3);
    EXPECT_EQ(c.FindEngine(u"Flite"_s)->Features, 0);
    EXPECT_EQ(c.Engines.LexiconEngine(), c.FindEngine(u"eSpeak NG - Arabic"_s));
    EXPECT_EQ(lister->log.selects, 0);  // nothing was selected, let alone activated

    // The settings are registered with their defaults; for eSpeak NG only the
    // locale's language starts as favourite.
    for (const QString &name :
         {u"ENG_Eloquent - German"_s, u"FAV_EloqJean1036"_s, u"SPD_Lrn2Hans1031"_s, u"PIT_Flteslt1033"_s})
        EXPECT_TRUE(k.registered(name)) << name.toStdString();
    EXPECT_FALSE(k.registered(u"ENG_Eloquent - "_s));
    EXPECT_FALSE(k.registered(u"FAV_Mary for Telephone"_s));
    k.expectFavourites({{u"Mary", true},
                        {u"Robo", false},
                        {u"EloqJean1036", true},
                        {u"Flteslt1033", true},
                        {u"EspkEnglish (America)1033", true},
                        {u"EspkArabic1025", false},
                        {u"EspkFrench (France)1036", false}});

    // Until the settings are loaded a voice is no favourite.
    const TVoiceEntry *mary = k.voice(u"Mary"_s);
    ASSERT_TRUE(mary);
    EXPECT_FALSE(mary->Favorite);
    c.LoadVoicePrefs();
    EXPECT_TRUE(mary->Favorite);
    EXPECT_FALSE(k.voice(u"Robo"_s)->Favorite);
    EXPECT_TRUE(messages.isEmpty());
    // Voices are found by their exact name; Mary reads the help.
    EXPECT_EQ(k.voice(u"mary"_s), nullptr);
    EXPECT_EQ(k.voice(u"Mary "_s), nullptr);
    EXPECT_EQ(c.FindHelpVoice(), mary);

    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    Catalogue french;
    french.expectFavourites(
        {{u"EspkFrench (France)1036", true}, {u"EspkEnglish (America)1033", false}, {u"Flteslt1033", true}});
}

// A voice's ranges come from its engine without selecting its mode; the user's own values stay.
TEST_F(VoiceCatalog, LoadRangesAsksTheEngineWithoutSelectingAndKeepsTheUsersSpeed)
{
    auto engine = std::make_shared<scripted::ScriptedEngine>();
    engine->addMode(u"Ann"_s);
    engine->script.minPitch = 60, engine->script.maxPitch = 240, engine->script.pitch = 110;
    engine->script.minSpeed = 90, engine->script.maxSpeed = 400, engine->script.speed = 190;
    SpeechPlatform::setEngines({engine});
    TVoiceEntry ann;
    ann.ModeID = scripted::ScriptedEngine::modeGuid(1);
    ann.Speed = 300;
    ASSERT_TRUE(TVoiceCatalog::LoadRanges(ann));
    EXPECT_EQ((std::vector{ann.PitchMin, ann.PitchMax, ann.PitchDefault, ann.Pitch, ann.SpeedMin, ann.SpeedMax,
                           ann.SpeedDefault, ann.Speed}),
              (std::vector{60, 240, 110, 110, 90, 400, 190, 300}));
    EXPECT_EQ(engine->log.selects, 0);

    TVoiceEntry gone;
    gone.ModeID = GUID{99};
    EXPECT_FALSE(TVoiceCatalog::LoadRanges(gone));
    EXPECT_EQ(gone.PitchMin, -1);
}

TEST_F(VoiceCatalog, DefaultVoiceNameAlwaysNamesACataloguedVoice)
{
    const QString uk = u"UK English"_s, us = u"US English"_s;
    const struct {
        QString stored;
        std::optional<GUID> engineDefault;
        QString expected;
    } cases[] = {
        {QString(), GUID{17}, uk},     // the engine's choice
        {u"   "_s, std::nullopt, us},  // first favourite
        {QString(), GUID{13}, us},     // engine's choice not a favourite
        {u"Gone Voice"_s, GUID{17}, uk},
        {u"Arabic"_s, GUID{12}, u"Arabic"_s},                       // kept
        {u"English (Great Britain) (UK English)"_s, GUID{12}, uk},  // an earlier name
    };
    for (const auto &k : cases) {
        install({kEspeakArabic, kEspeakUS, kEspeakUK, kEspeakFrench}, k.engineDefault);
        EXPECT_EQ(Catalogue(false, k.stored).prefs.TTS_DefaultVoiceName, k.expected) << k.stored.toStdString();
    }

    // With no catalogued voice the name is left alone.
    install({mode(10, u"Acme Speech", u"Acme", u"One", 1033)});
    Catalogue none(false, u"Old"_s);
    EXPECT_EQ(none.c.Voices.Count(), 0);
    EXPECT_EQ(none.prefs.TTS_DefaultVoiceName, u"Old"_s);
}

TEST_F(VoiceCatalog, VoicesAreNamedLanguageFirstAndTheNamesOfEarlierVersionsStillFindThem)
{
    install({mode(21, kEspeak, u"eSpeak NG Thai", u"Thai", 1054),
             mode(22, kEspeak, u"eSpeak NG Thai - Andrea", u"Andrea", 1054),
             mode(23, kEspeak, u"eSpeak NG English (America) - Andrea", u"Andrea", 1033),
             mode(24, u"Carnegie Mellon University", u"Flite slt", u"slt", 1033)});
    Catalogue k;
    // Stored name > name now; a name of neither kind stays as it is.
    for (const QString &pair :
         u"Thai (Thai)>Thai|Andrea (Thai)>Thai \u2013 Andrea|Andrea>US English \u2013 Andrea|"
         u"slt>US English \u2013 slt|US English \u2013 slt>US English \u2013 slt|Gone>Gone"_s.split(u'|')) {
        const QString stored = pair.section(u'>', 0, 0), now = pair.section(u'>', 1);
        EXPECT_EQ(k.c.CurrentName(stored), now);
        EXPECT_EQ(k.voice(stored), k.voice(now)) << stored.toStdString();
    }
    EXPECT_EQ(k.voice(u"Andrea"_s)->KeyName, u"EspkAndrea1033"_s);  // the settings keys stay
}

TEST_F(VoiceCatalog, HelpVoiceIsTheFirstEnglishOneWithoutMaryMikeOrSam)
{
    install({kEspeakFrench, kEspeakUK, kEspeakUS});
    Catalogue other;
    ASSERT_TRUE(other.c.FindHelpVoice());
    EXPECT_EQ(other.c.FindHelpVoice()->DisplayName, u"UK English"_s);
    // Without an English voice the window says so: tests/app/MainWindowTest (AudioHelpMenu...).
    SpeechPlatform::setEngines({}, false);  // no speech platform at all
    Catalogue empty;
    EXPECT_EQ(empty.c.Voices.Count(), 0);
    EXPECT_EQ(empty.c.Engines.Count(), 0);
    EXPECT_EQ(empty.c.FindHelpVoice(), nullptr);
}

// Every installed language's test sentence is checked with the real engines below, and a
// language without one through the window (tests/app/VoicesPageTest, TestSpeaksTheBuiltInSentence...).
TEST_F(VoiceCatalog, LanguagesFallBackToPrimaryLanguage)
{
    // A region of its own keeps its name; another falls back to its primary language's.
    EXPECT_EQ(LanguageNameOf(2057), u"UK English"_s);
    EXPECT_EQ(LanguageNameOf(3081), u"US English"_s);
    EXPECT_EQ(LanguageCodeOf(20490), u"spa"_s);
    for (int unnamed : {1047, 0, -1})
        EXPECT_TRUE(LanguageNameOf(unnamed).isEmpty() && LanguageCodeOf(unnamed).isEmpty()) << unnamed;
}

// The real engines of this machine.
TEST_F(VoiceCatalog, InstalledEnginesAreListedAndGiveTheRangesOfAnActivatedComponent)
{
    SpeechPlatform::restoreDefaultEngines();
    Catalogue k;
    TVoiceCatalog &c = k.c;
    QSet<QString> groups;
    for (int i = 0; i < c.Voices.Count(); ++i) {
        const TVoiceEntry *v = c.Voices.Items(i);
        SCOPED_TRACE(v->DisplayName.toStdString());
        ASSERT_TRUE(v->Engine);
        const QString &language = v->Engine->LanguageName;
        const bool espeak = v->Engine->GroupName == "eSpeak NG"_L1;
        groups << v->Engine->GroupName;
        EXPECT_EQ(c.FindVoice(v->DisplayName), v) << "display names are unique";
        EXPECT_FALSE(LanguageNameOf(v->Engine->LanguageID).isEmpty());
        EXPECT_TRUE(v->KeyName.startsWith(espeak ? "Espk"_L1 : "Flte"_L1));
        // Only the locale's language starts as favourite; Flite speaks nothing else.
        EXPECT_EQ(k.prefs.GetValue(u"FAV_"_s + v->KeyName).toBool(), (v->Engine->LanguageID & 0x3FF) == 0x09);
        if (espeak) {
            EXPECT_EQ(v->Engine->DisplayName, u"eSpeak NG - "_s + language);
            // The language's own voice by the language alone, the variants after it.
            EXPECT_TRUE(v->DisplayName == language || v->DisplayName.startsWith(language + u" \u2013 "_s));
        } else {
            EXPECT_EQ(language, u"US English"_s);
        }
    }
    // Flite's 8 kHz voice is named a telephone mode by its driver (tests/platform/speech/EngineTest),
    // and telephone modes are left out (NamesEnginesAndVoicesAndSkipsUnknownOnes).
    EXPECT_EQ(groups, QSet<QString>({u"eSpeak NG"_s, u"Flite"_s}));
    ASSERT_TRUE(c.FindEngine(u"eSpeak NG - US English"_s));
    ASSERT_TRUE(c.Engines.LexiconEngine());
    EXPECT_EQ(c.Engines.LexiconEngine()->GroupName, u"eSpeak NG"_s);
    EXPECT_TRUE(c.FindVoice(k.prefs.TTS_DefaultVoiceName));
    ASSERT_TRUE(c.FindHelpVoice());
    EXPECT_EQ(LanguageCodeOf(c.FindHelpVoice()->Engine->LanguageID), u"eng"_s);
    for (int i = 0; i < c.Engines.Count(); ++i)  // every installed language has its test sentence
        EXPECT_FALSE(GetTestMessage(c.Engines.Items(i)).trimmed().isEmpty())
            << c.Engines.Items(i)->DisplayName.toStdString();

    // Favourites (both ways) and engine switches of real voices (names with
    // blanks and brackets) survive a restart.
    c.LoadVoicePrefs();
    QList<bool> favourites;
    for (int i = 0; i < c.Voices.Count(); ++i)
        favourites << (c.Voices.Items(i)->Favorite = !c.Voices.Items(i)->Favorite);
    ASSERT_TRUE(favourites.contains(true) && favourites.contains(false));
    c.SetGroupEnabled(u"Flite"_s, false);
    c.SaveVoicePrefs();
    ASSERT_TRUE(k.prefs.SaveToRegistry());
    Catalogue again(true);
    ASSERT_EQ(again.c.Voices.Count(), c.Voices.Count());
    for (int i = 0; i < c.Voices.Count(); ++i) {
        const TVoiceEntry *v = again.c.Voices.Items(i);
        EXPECT_EQ(v->Favorite, favourites[i]) << v->DisplayName.toStdString();
        EXPECT_EQ(v->Engine->Enabled, v->Engine->GroupName != "Flite"_L1) << v->DisplayName.toStdString();
    }

    // The ranges the catalogue gives without activating are those a component
    // activated for the voice reports, for a dozen voices of each engine.
    std::map<QString, std::vector<TVoiceEntry *>> byGroup;
    for (int i = 0; i < c.Voices.Count(); ++i)
        byGroup[c.Voices.Items(i)->Engine->GroupName].push_back(c.Voices.Items(i));
    for (const auto &[group, voices] : byGroup) {
        const size_t step = std::max<size_t>(1, voices.size() / 12);
        for (size_t i = 0; i < voices.size(); i += step) {
            TVoiceEntry &v = *voices[i];
            SCOPED_TRACE(v.DisplayName.toStdString());
            v.Pitch = v.Speed = 0;
            ASSERT_TRUE(TVoiceCatalog::LoadRanges(v));
            TTTS tts;
            tts.SetModeID(v.ModeID);
            tts.SetOutputDest(odFile);
            tts.SetOutputFile(TestSupport::homeDir() + u"/ranges.wav"_s);
            tts.SetActive(true);
            ASSERT_TRUE(tts.Active());
            const int32_t pitch = tts.Pitch(), speed = int32_t(tts.Speed());
            // Pitch and Speed were 0, so they take the defaults.
            EXPECT_EQ((std::vector{v.PitchMin, v.PitchMax, v.PitchDefault, v.Pitch, v.SpeedMin, v.SpeedMax,
                                   v.SpeedDefault, v.Speed}),
                      (std::vector{int32_t(tts.MinPitch()), int32_t(tts.MaxPitch()), pitch, pitch,
                                   int32_t(tts.MinSpeed()), int32_t(tts.MaxSpeed()), speed, speed}));
            EXPECT_EQ(std::pair(tts.Pitch(), int32_t(tts.Speed())), std::pair(pitch, speed)) << "not put back";
            tts.SetActive(false);
        }
    }
}

TEST_F(VoiceCatalog, ServiceVoicesComingLateKeepTheirStoredSettingsAndReadFilesWithABuiltInVoice)
{
    const QString service = u"English (America) (espeak-ng)"_s;
    {
        // An earlier run with the service: its voice the default, slower and no favourite.
        TPreferences earlier;
        earlier.TTS_DefaultVoiceName = service;
        earlier.FieldsToItems();
        ASSERT_TRUE(earlier.SaveToRegistry());
        RegistryStore store;
        const QString key = SettingsRecord::BaseKey + u'\\' + earlier.Section;
        store.setString(key, u"FAV_SpDp"_s + service + u"1033"_s, u"0"_s);
        store.setString(key, u"SPD_SpDp"_s + service + u"1033"_s, u"300"_s);
        ASSERT_TRUE(store.save());
    }
    install({kEspeakUS});
    auto speechService = std::make_shared<scripted::ScriptedEngine>();
    speechService->catalogFacts = SpeechDispatcherEngine::engineFacts();
    SpeechPlatform::setEngines({lister, speechService});

    // The service has not answered yet: its voice reads with the default voice meanwhile.
    Catalogue cat;
    cat.prefs.LoadFromRegistry();
    cat.prefs.ItemsToFields();
    cat.c.EnsureDefaultVoice();
    cat.c.LoadVoicePrefs();
    EXPECT_EQ(cat.prefs.TTS_DefaultVoiceName, u"US English"_s);
    EXPECT_TRUE(cat.c.IsAbsentServiceVoice(service));
    EXPECT_FALSE(cat.c.IsAbsentServiceVoice(u"Nobody"_s));
    EXPECT_EQ(cat.c.AddNewModes(), 0);

    speechService->addMode(mode(30, u"Speech Dispatcher", u"Speech Dispatcher "_s + service, service, 1033));
    ASSERT_EQ(cat.c.AddNewModes(), 1);
    EXPECT_EQ(cat.c.AddNewModes(), 0);
    TVoiceEntry *late = cat.voice(service);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->Speed, 300);
    EXPECT_FALSE(late->Favorite);
    EXPECT_FALSE(late->WritesFiles());
    EXPECT_FALSE(cat.c.IsAbsentServiceVoice(service));
    EXPECT_EQ(cat.prefs.TTS_DefaultVoiceName, service);
    ASSERT_TRUE(cat.c.FileVoiceFor(service));
    EXPECT_EQ(cat.c.FileVoiceFor(service)->DisplayName, u"US English"_s);
    // Saved again, the earlier settings are still there.
    cat.c.SaveVoicePrefs();
    EXPECT_EQ(cat.prefs.GetValue(u"SPD_SpDp"_s + service + u"1033"_s).toInt(), 300);
}
