#include "TTSEngineUnit.h"

#include "MessageService.h"
#include "PreferenceUnit.h"
#include "platform/speech/SpeechEngine.h"
#include "speech/SpTools.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <optional>

using namespace sapi;

namespace {

void setField(char16_t *field, const QString &text)
{
    const qsizetype n = qMin<qsizetype>(text.size(), TTSI_NAMELEN - 1);
    for (qsizetype i = 0; i < n; ++i)
        field[i] = text.at(i).unicode();
    field[n] = 0;
}

TTSMODEINFOW mode(uint32_t n, const QString &mfg, const QString &name, const QString &speaker, uint16_t language,
                  const QString &product = QStringLiteral("Product"))
{
    TTSMODEINFOW m;
    m.gModeID.Data1 = n;
    m.gEngineID.Data1 = 1;
    setField(m.szMfgName, mfg);
    setField(m.szProductName, product);
    setField(m.szModeName, name);
    setField(m.szSpeaker, speaker);
    m.language.LanguageID = language;
    m.dwFeatures = TTSFEATURE_TAGGED;
    m.dwInterfaces = TTSI_ITTSATTRIBUTES;
    return m;
}

// Offers a fixed set of modes; never speaks (the catalogue never activates).
class ListedEngine : public SpeechEngine
{
public:
    ListedEngine(std::vector<TTSMODEINFOW> modes, std::optional<GUID> def) : m_modes(std::move(modes)), m_def(def) {}
    std::vector<TTSMODEINFOW> modes() override { return m_modes; }
    std::optional<GUID> defaultMode() override { return m_def; }
    HRESULT select(const GUID &, const UnknownPtr &, std::shared_ptr<ITTSCentralW> &) override { return E_NOTIMPL; }

private:
    std::vector<TTSMODEINFOW> m_modes;
    std::optional<GUID> m_def;
};

const QString kLH = QStringLiteral("Lernout & Hauspie");
const QString kEloq = QStringLiteral("Eloquent Technology, Inc.");
const QString kEspeak = QStringLiteral("eSpeak NG");

std::vector<TTSMODEINFOW> windowsAndLinuxModes()
{
    return {
        mode(1, QStringLiteral("Microsoft"), QStringLiteral("Mary"), QStringLiteral("Mary"), 1033),
        mode(2, QStringLiteral("Microsoft"), QStringLiteral("Robo"), QStringLiteral("Robo"), 1033),
        mode(3, QStringLiteral("Microsoft"), QStringLiteral("Mary for Telephone"), QStringLiteral("Mary"), 1033),
        mode(4, kLH, QStringLiteral("LH French"), QStringLiteral("Jean-Luc"), 1036),
        mode(5, kLH, QStringLiteral("LH German"), QStringLiteral("Hans"), 1031),
        mode(6, kEloq, QStringLiteral("Eloq Jean"), QStringLiteral("Jean"), 1036),
        mode(7, kEloq, QStringLiteral("Eloq Telephone Only"), QStringLiteral("Tel"), 1031),
        mode(8, kEloq, QStringLiteral("Eloq 1047"), QStringLiteral("Nobody"), 1047),
        mode(9, QStringLiteral("ELAN Informatique"), QStringLiteral("Digalo Eddy"), QStringLiteral("Eddy"), 1033),
        mode(10, QStringLiteral("Acme Speech"), QStringLiteral("Acme One"), QStringLiteral("One"), 1033),
        mode(11, kEspeak, QStringLiteral("eSpeak Arabic"), QStringLiteral("Arabic"), 1025),
        mode(12, kEspeak, QStringLiteral("eSpeak English"), QStringLiteral("English (America)"), 1033),
        mode(13, kEspeak, QStringLiteral("eSpeak French"), QStringLiteral("French (France)"), 1036),
        mode(14, kEspeak, QStringLiteral("eSpeak English"), QStringLiteral("Annie"), 1033),
        mode(15, QStringLiteral("Carnegie Mellon University"), QStringLiteral("Flite slt"), QStringLiteral("slt"), 1033),
        mode(16, kLH, QStringLiteral("LH Mexican"), QStringLiteral("Juan"), 2058),
    };
}

GUID guid(uint32_t n)
{
    GUID g;
    g.Data1 = n;
    return g;
}

class VoiceCatalog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        MessageService::setHandler([this](const MessageService::Message &m) {
            messages << m.text;
            return QMessageBox::Ok;
        });
    }
    void TearDown() override
    {
        SpeechPlatform::restoreDefaultEngines();
        MessageService::setHandler({});
        QLocale::setDefault(QLocale::system());
    }

    void install(std::vector<TTSMODEINFOW> modes, std::optional<GUID> def = std::nullopt)
    {
        SpeechPlatform::setEngines({std::make_shared<ListedEngine>(std::move(modes), def)});
    }

    bool registered(const TPreferences &p, const QString &name) const
    {
        for (const auto &item : p.Items)
            if (item->Name == name)
                return true;
        return false;
    }

    QStringList messages;
};

}  // namespace

TEST_F(VoiceCatalog, NamesEnginesAndVoicesAndSkipsUnknownOnes)
{
    install(windowsAndLinuxModes());
    TPreferences prefs;
    TVoiceCatalog c;
    c.SetPreferences(&prefs);
    c.Initialize();

    QStringList engines, groups;
    for (int i = 0; i < c.Engines.Count(); ++i) {
        engines << c.Engines.Items(i)->DisplayName;
        groups << c.Engines.GroupName(i);
    }
    EXPECT_EQ(engines, (QStringList{"Microsoft", "L & H - French", "L & H - German", "Eloquent - French",
                                    "Eloquent - German", "Digalo - US English", "eSpeak NG - Arabic",
                                    "eSpeak NG - US English", "eSpeak NG - French", "Flite",
                                    "L & H - Spanish [Mexican]"}));
    EXPECT_EQ(groups.count(QStringLiteral("Lernout & Hauspie")), 3);
    EXPECT_EQ(groups.count(QStringLiteral("eSpeak NG")), 3);

    QStringList voices, keys;
    for (int i = 0; i < c.Voices.Count(); ++i) {
        voices << c.Voices.Items(i)->DisplayName;
        keys << c.Voices.Items(i)->KeyName;
    }
    // Telephone modes, unknown makers and unnamed languages give no voice;
    // the two modes named alike both come from the first of them.
    EXPECT_EQ(voices, (QStringList{"Mary", "Robo", "Jean-Luc (French)", "Hans (German)", "Jean (French)",
                                   "Digalo Eddy", "Arabic (Arabic)", "English (America)", "French (France) (French)",
                                   "English (America)", "slt", "Juan (Spanish [Mexican])"}));
    EXPECT_EQ(keys, (QStringList{"Mary", "Robo", "Lrn2Jean-Luc1036", "Lrn2Hans1031", "EloqJean1036",
                                 "DigaEddy1033", "EspkArabic1025", "EspkEnglish (America)1033",
                                 "EspkFrench (France)1036", "EspkEnglish (America)1033", "Flteslt1033",
                                 "Lrn2Juan2058"}));
    EXPECT_TRUE(c.Voices.Items(8)->ModeID == guid(13));
    EXPECT_TRUE(c.Voices.Items(9)->ModeID == guid(12));
    EXPECT_EQ(c.Voices.Items(3)->Engine, c.FindEngine(QStringLiteral("L & H - German")));

    const TEngineEntry *ms = c.FindEngine(QStringLiteral("Microsoft"));
    ASSERT_TRUE(ms);
    EXPECT_EQ(ms->Features, 3);
    EXPECT_TRUE(ms->ShortName.isEmpty());
    EXPECT_EQ(c.FindEngine(QStringLiteral("Flite"))->Features, 0);
    EXPECT_EQ(c.FindEngine(QStringLiteral("eSpeak NG - French"))->ShortName, QStringLiteral("Espk"));
    EXPECT_EQ(c.FindEngine(QStringLiteral("Acme")), nullptr);

    // The settings are registered with their defaults.
    EXPECT_TRUE(registered(prefs, QStringLiteral("ENG_Eloquent - German")));
    EXPECT_FALSE(registered(prefs, QStringLiteral("ENG_Eloquent - ")));
    EXPECT_TRUE(registered(prefs, QStringLiteral("FAV_EloqJean1036")));
    EXPECT_TRUE(registered(prefs, QStringLiteral("SPD_Lrn2Hans1031")));
    EXPECT_TRUE(registered(prefs, QStringLiteral("PIT_Flteslt1033")));
    EXPECT_FALSE(registered(prefs, QStringLiteral("FAV_Mary for Telephone")));
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_Mary")).toBool(), true);
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_Robo")).toBool(), false);
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_EloqJean1036")).toBool(), true);
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_Flteslt1033")).toBool(), true);
    // eSpeak NG: only the locale's language starts as favourite.
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_EspkEnglish (America)1033")).toBool(), true);
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_EspkArabic1025")).toBool(), false);
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_EspkFrench (France)1036")).toBool(), false);
    EXPECT_EQ(prefs.GetValue(QStringLiteral("SPD_Mary")).toInt(), 0);

    // Until the settings are loaded a voice is neither favourite nor ranged.
    const TVoiceEntry *mary = c.FindVoice(QStringLiteral("Mary"));
    ASSERT_TRUE(mary);
    EXPECT_FALSE(mary->Favorite);
    EXPECT_EQ(mary->PitchMin, -1);
    EXPECT_EQ(mary->SpeedDefault, -1);
    c.LoadVoicePrefs();
    EXPECT_TRUE(mary->Favorite);
    EXPECT_FALSE(c.FindVoice(QStringLiteral("Robo"))->Favorite);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(VoiceCatalog, LocaleDecidesWhichEspeakVoicesStartAsFavourites)
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    install(windowsAndLinuxModes());
    TPreferences prefs;
    TVoiceCatalog c;
    c.SetPreferences(&prefs);
    c.Initialize();
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_EspkFrench (France)1036")).toBool(), true);
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_EspkEnglish (America)1033")).toBool(), false);
    EXPECT_EQ(prefs.GetValue(QStringLiteral("FAV_Flteslt1033")).toBool(), true);
}

TEST_F(VoiceCatalog, DefaultVoiceNameAlwaysNamesACataloguedVoice)
{
    const std::vector<TTSMODEINFOW> modes = {
        mode(11, kEspeak, QStringLiteral("eSpeak Arabic"), QStringLiteral("Arabic"), 1025),
        mode(12, kEspeak, QStringLiteral("eSpeak English"), QStringLiteral("English (America)"), 1033),
        mode(17, kEspeak, QStringLiteral("eSpeak UK"), QStringLiteral("English (Great Britain)"), 2057),
        mode(13, kEspeak, QStringLiteral("eSpeak French"), QStringLiteral("French (France)"), 1036),
    };
    struct Case {
        QString stored;
        std::optional<GUID> engineDefault;
        QString expected;
    };
    const Case cases[] = {
        {QString(), guid(17), QStringLiteral("English (Great Britain) (UK English)")},  // the engine's choice
        {QStringLiteral("   "), std::nullopt, QStringLiteral("English (America)")},  // first favourite
        {QString(), guid(13), QStringLiteral("English (America)")},  // engine's choice not a favourite
        {QStringLiteral("Gone Voice"), guid(17), QStringLiteral("English (Great Britain) (UK English)")},
        {QStringLiteral("Arabic (Arabic)"), guid(12), QStringLiteral("Arabic (Arabic)")},  // kept
    };
    for (const Case &k : cases) {
        install(modes, k.engineDefault);
        TPreferences prefs;
        prefs.TTS_DefaultVoiceName = k.stored;
        TVoiceCatalog c;
        c.SetPreferences(&prefs);
        c.Initialize();
        EXPECT_EQ(prefs.TTS_DefaultVoiceName, k.expected) << k.stored.toStdString();
        EXPECT_EQ(prefs.GetValue(QStringLiteral("TTS_DefaultVoiceName")).toString(), k.expected);
    }

    // With no catalogued voice the name is left alone.
    install({mode(10, QStringLiteral("Acme Speech"), QStringLiteral("Acme"), QStringLiteral("One"), 1033)});
    TPreferences prefs;
    prefs.TTS_DefaultVoiceName = QStringLiteral("Old");
    TVoiceCatalog c;
    c.SetPreferences(&prefs);
    c.Initialize();
    EXPECT_EQ(c.Voices.Count(), 0);
    EXPECT_EQ(prefs.TTS_DefaultVoiceName, QStringLiteral("Old"));
}

TEST_F(VoiceCatalog, FavouritesPitchSpeedAndEngineFlagsSurviveRestart)
{
    install(windowsAndLinuxModes());
    {
        TPreferences prefs;
        TVoiceCatalog c;
        c.SetPreferences(&prefs);
        c.Initialize();
        prefs.LoadFromRegistry();
        c.LoadVoicePrefs();
        c.FindVoice(QStringLiteral("Robo"))->Favorite = true;
        c.FindVoice(QStringLiteral("Mary"))->Favorite = false;
        c.FindVoice(QStringLiteral("French (France) (French)"))->Favorite = true;
        c.FindVoice(QStringLiteral("Jean (French)"))->Pitch = 120;
        c.FindVoice(QStringLiteral("slt"))->Speed = 250;
        c.SetGroupEnabled(QStringLiteral("Digalo"), false);
        c.SaveVoicePrefs();
        ASSERT_TRUE(prefs.SaveToRegistry());
    }
    TPreferences prefs;
    TVoiceCatalog c;
    c.SetPreferences(&prefs);
    c.Initialize();
    prefs.LoadFromRegistry();
    c.LoadVoicePrefs();
    EXPECT_TRUE(c.FindVoice(QStringLiteral("Robo"))->Favorite);
    EXPECT_FALSE(c.FindVoice(QStringLiteral("Mary"))->Favorite);
    EXPECT_TRUE(c.FindVoice(QStringLiteral("French (France) (French)"))->Favorite);
    EXPECT_EQ(c.FindVoice(QStringLiteral("Jean (French)"))->Pitch, 120);
    EXPECT_EQ(c.FindVoice(QStringLiteral("Jean (French)"))->Speed, 0);
    EXPECT_EQ(c.FindVoice(QStringLiteral("slt"))->Speed, 250);
    EXPECT_FALSE(c.FindEngine(QStringLiteral("Digalo - US English"))->Enabled);
    EXPECT_FALSE(c.FindVoice(QStringLiteral("Digalo Eddy"))->Offered());
    EXPECT_TRUE(c.FindEngine(QStringLiteral("Flite"))->Enabled);
    EXPECT_TRUE(c.FindVoice(QStringLiteral("slt"))->Offered());
}

TEST_F(VoiceCatalog, LookupsAndGroupSwitches)
{
    install(windowsAndLinuxModes());
    TPreferences prefs;
    TVoiceCatalog c;
    c.SetPreferences(&prefs);
    c.Initialize();
    c.LoadVoicePrefs();

    EXPECT_EQ(c.FindVoice(QStringLiteral("mary")), nullptr);
    EXPECT_EQ(c.FindVoice(QStringLiteral("Mary ")), nullptr);
    EXPECT_EQ(c.FindHelpVoice(), c.FindVoice(QStringLiteral("Mary")));

    c.SetEngineEnabled(QStringLiteral("Lernout & Hauspie"), false);
    for (const char *name : {"Jean-Luc (French)", "Hans (German)", "Juan (Spanish [Mexican])"}) {
        EXPECT_FALSE(c.FindVoice(QString::fromUtf8(name))->Favorite) << name;
        EXPECT_FALSE(c.FindVoice(QString::fromUtf8(name))->Engine->Enabled) << name;
    }
    EXPECT_TRUE(c.FindVoice(QStringLiteral("Jean (French)"))->Favorite);
    c.SetEngineEnabled(QStringLiteral("Lernout & Hauspie"), true);
    EXPECT_TRUE(c.FindVoice(QStringLiteral("Hans (German)"))->Offered());

    // Without Mary, Mike or Sam the first English voice reads the help.
    install({mode(13, kEspeak, QStringLiteral("eSpeak French"), QStringLiteral("French (France)"), 1036),
             mode(17, kEspeak, QStringLiteral("eSpeak UK"), QStringLiteral("English (Great Britain)"), 2057),
             mode(12, kEspeak, QStringLiteral("eSpeak English"), QStringLiteral("English (America)"), 1033)});
    TVoiceCatalog other;
    other.SetPreferences(&prefs);
    other.Initialize();
    ASSERT_TRUE(other.FindHelpVoice());
    EXPECT_EQ(other.FindHelpVoice()->DisplayName, QStringLiteral("English (Great Britain) (UK English)"));

    install({mode(13, kEspeak, QStringLiteral("eSpeak French"), QStringLiteral("French (France)"), 1036)});
    TVoiceCatalog french;
    french.SetPreferences(&prefs);
    french.Initialize();
    EXPECT_EQ(french.FindHelpVoice(), nullptr);

    // FindEngine gives the last entry of that name.
    TEngineList list;
    TPreferences scratch;
    list.Preferences = &scratch;
    TTSMODEINFOW a = mode(1, kEspeak, QStringLiteral("a"), QStringLiteral("a"), 1033, QStringLiteral("v1"));
    TTSMODEINFOW b = mode(2, kEspeak, QStringLiteral("b"), QStringLiteral("b"), 1033, QStringLiteral("v2"));
    TEngineEntry *first = list.FindOrAddEngine(a);
    TEngineEntry *second = list.FindOrAddEngine(b);
    EXPECT_NE(first, second);
    EXPECT_EQ(list.FindOrAddEngine(a), first);
    EXPECT_EQ(list.FindEngine(QStringLiteral("eSpeak NG - US English")), second);
}

TEST_F(VoiceCatalog, LanguageNamesAndCodesFallBackToPrimaryLanguage)
{
    EXPECT_EQ(LanguageNameOf(1036), QStringLiteral("French"));
    EXPECT_EQ(LanguageCodeOf(1036), QStringLiteral("fre"));
    EXPECT_EQ(LanguageNameOf(2057), QStringLiteral("UK English"));
    EXPECT_EQ(LanguageCodeOf(2057), QStringLiteral("eng"));
    EXPECT_EQ(LanguageNameOf(3081), QStringLiteral("US English"));
    EXPECT_EQ(LanguageNameOf(1035), QStringLiteral("Finish"));
    EXPECT_EQ(LanguageNameOf(7178), QStringLiteral("Spanish [Domican Republic]"));
    EXPECT_EQ(LanguageCodeOf(20490), QStringLiteral("spa"));
    EXPECT_EQ(LanguageCodeOf(2070), QStringLiteral("por"));
    EXPECT_EQ(LanguageNameOf(1047), QString());
    EXPECT_EQ(LanguageCodeOf(1047), QString());
    EXPECT_EQ(LanguageNameOf(0), QString());
    EXPECT_EQ(LanguageCodeOf(-1), QString());
}

TEST_F(VoiceCatalog, NoSpeechPlatformGivesEmptyCatalogue)
{
    SpeechPlatform::setEngines({}, false);
    TPreferences prefs;
    TVoiceCatalog c;
    c.SetPreferences(&prefs);
    c.Initialize();
    EXPECT_EQ(c.Voices.Count(), 0);
    EXPECT_EQ(c.Engines.Count(), 0);
    EXPECT_EQ(c.FindHelpVoice(), nullptr);
}

TEST_F(VoiceCatalog, TestSentencesComeFromTheDataFile)
{
    TEngineEntry engine;
    engine.LanguageID = 2057;
    const QString english = GetTestMessage(&engine);
    EXPECT_FALSE(english.trimmed().isEmpty());
    engine.LanguageID = 1036;
    const QString french = GetTestMessage(&engine);
    EXPECT_FALSE(french.trimmed().isEmpty());
    EXPECT_NE(french, english);
    engine.LanguageID = 1047;
    EXPECT_EQ(GetTestMessage(&engine), QString());
    EXPECT_EQ(GetTestMessage(nullptr), QString());
}

// The real engines of this machine, listed without speaking.
TEST_F(VoiceCatalog, InstalledEnginesAreListed)
{
    SpeechPlatform::restoreDefaultEngines();
    TPreferences prefs;
    TVoiceCatalog c;
    c.SetPreferences(&prefs);
    c.Initialize();
    ASSERT_GT(c.Voices.Count(), 0);

    bool espeak = false, flite = false;
    for (int i = 0; i < c.Voices.Count(); ++i) {
        const TVoiceEntry *v = c.Voices.Items(i);
        ASSERT_TRUE(v->Engine);
        EXPECT_FALSE(v->DisplayName.isEmpty());
        EXPECT_FALSE(LanguageNameOf(v->Engine->LanguageID).isEmpty()) << v->DisplayName.toStdString();
        EXPECT_FALSE(v->DisplayName.contains(QLatin1String("Telephone")));
        if (v->Engine->GroupName == QLatin1String("eSpeak NG")) {
            espeak = true;
            EXPECT_TRUE(v->KeyName.startsWith(QLatin1String("Espk")));
            EXPECT_EQ(v->Engine->DisplayName, QStringLiteral("eSpeak NG - ") + v->Engine->LanguageName);
            EXPECT_EQ(v->DisplayName.endsWith(QStringLiteral(" (") + v->Engine->LanguageName + QLatin1Char(')')),
                      v->Engine->LanguageName != QLatin1String("US English"));
        } else if (v->Engine->GroupName == QLatin1String("Flite")) {
            flite = true;
            EXPECT_TRUE(v->KeyName.startsWith(QLatin1String("Flte")));
            EXPECT_EQ(v->Engine->LanguageName, QStringLiteral("US English"));
            EXPECT_TRUE(prefs.GetValue(QStringLiteral("FAV_") + v->KeyName).toBool());
        } else {
            ADD_FAILURE() << "unexpected group " << v->Engine->GroupName.toStdString();
        }
        EXPECT_EQ(c.FindVoice(v->DisplayName), v) << "display names are unique";
    }
    EXPECT_TRUE(espeak);
    EXPECT_TRUE(flite);

    // Flite's 8 kHz voice is a telephone mode: listed by the platform, not
    // offered here.
    QStringList modeNames;
    ASSERT_EQ(GetModeNames(modeNames), S_OK);
    int telephone = 0;
    for (const QString &name : std::as_const(modeNames)) {
        if (!name.contains(QLatin1String("Telephone")))
            continue;
        ++telephone;
        GUID id;
        ModeIDFromName(name, id);
        for (int i = 0; i < c.Voices.Count(); ++i)
            EXPECT_FALSE(c.Voices.Items(i)->ModeID == id) << name.toStdString();
    }
    EXPECT_GE(telephone, 1);
    ASSERT_TRUE(c.FindEngine(QStringLiteral("eSpeak NG - US English")));
    EXPECT_TRUE(c.FindVoice(prefs.TTS_DefaultVoiceName));
    ASSERT_TRUE(c.FindHelpVoice());
    EXPECT_EQ(LanguageCodeOf(c.FindHelpVoice()->Engine->LanguageID), QStringLiteral("eng"));

    // Every language of an installed engine has its test sentence.
    for (int i = 0; i < c.Engines.Count(); ++i)
        EXPECT_FALSE(GetTestMessage(c.Engines.Items(i)).trimmed().isEmpty())
            << c.Engines.Items(i)->DisplayName.toStdString();

    // Settings of real voices (names with blanks and brackets) survive a restart.
    c.LoadVoicePrefs();
    TVoiceEntry *last = c.Voices.Items(c.Voices.Count() - 1);
    last->Favorite = !last->Favorite;
    last->Pitch = 77;
    c.SaveVoicePrefs();
    ASSERT_TRUE(prefs.SaveToRegistry());
    TPreferences again;
    TVoiceCatalog d;
    d.SetPreferences(&again);
    d.Initialize();
    again.LoadFromRegistry();
    d.LoadVoicePrefs();
    ASSERT_EQ(d.Voices.Count(), c.Voices.Count());
    EXPECT_EQ(d.Voices.Items(d.Voices.Count() - 1)->Favorite, last->Favorite);
    EXPECT_EQ(d.Voices.Items(d.Voices.Count() - 1)->Pitch, 77);
}
