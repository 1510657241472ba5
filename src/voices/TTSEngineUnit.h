#pragma once
// The voice catalogue: the installed engines and voices, the names the user
// sees for them, which voices are preferred by default, and the per-engine
// and per-voice settings (ENG_, FAV_, SPD_, PIT_) kept in the settings
// record. Built once from the speech platform's modes; afterwards only the
// flags and values of its entries change. Engines are named by the engine
// naming table: rows for the Windows engines kept here, and one row per
// installed driver from the facts it reports (sapi::EngineFacts).

#include "platform/speech/SpeechEngine.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class QObject;
class TPreferences;
class TTTS;

class TEngineEntry
{
public:
    QString DisplayName;  // unique per engine; part of its setting name
    QString ShortName;    // vendor code used in voice key names
    bool Enabled = true;
    QString GroupName;  // vendor group; several engines (languages) may share it
    QString MfgName;
    QString ProductName;
    int32_t LanguageID = 0;
    QString LanguageName;
    uint8_t Features = 0;  // bit 2: the engine expands state codes itself
    // The engine carries the pronunciation editor (eSpeak NG here).
    bool HasLexicon = false;
    // Which of its voices start as favourites (TVoiceCatalog::DefaultFavorite).
    sapi::FavoriteDefault FavoriteRule = sapi::FavoriteDefault::AllVoices;
    QString FavoriteNames;
    // Voices are named language first ("Thai", "Thai – Andrea"): the engines
    // of this platform. The Windows engines' rows keep their own names.
    bool LanguageFirst = false;
    // One engine per language, whose own voice is named by the language alone.
    bool PerLanguage = false;
    // A service that plays the sound itself: its voices cannot be read into
    // a file or sent to a chosen audio device.
    bool PlaysItself = false;
    // Voices are named by the engine's own speaker name, nothing added.
    bool SpeakerNames = false;
};

class TEngineList
{
public:
    int Count() const { return int(m_items.size()); }
    TEngineEntry *Items(int i) const { return m_items.at(size_t(i)).get(); }

    // The entry for the component's current mode (manufacturer, product,
    // language), added and its ENG_ setting registered when new; nullptr
    // for a maker or language the catalogue does not know.
    TEngineEntry *FindOrAddEngine(const TTTS &tts);
    TEngineEntry *FindOrAddEngine(const sapi::TTSMODEINFOW &mode);

    // The last entry with that display name, or nullptr.
    TEngineEntry *FindEngine(const QString &displayName) const;
    // The first entry whose engine carries the pronunciation editor, or
    // nullptr when no such engine is installed.
    TEngineEntry *LexiconEngine() const;

    void SetGroupEnabled(const QString &groupName, bool flag);
    void LoadEngineFlags();
    void SaveEngineFlags();

    QString GroupName(int i) const { return Items(i)->GroupName; }
    bool Enabled(int i) const { return Items(i)->Enabled; }

    void Clear() { m_items.clear(); }

    // The record the settings live in; nullptr: none are kept.
    TPreferences *Preferences = nullptr;

    // Fills the names, features and favourite rule of an entry from its
    // manufacturer and language, by the engine naming table: the Windows
    // engines' rows first, then the facts of the installed drivers. Leaves
    // GroupName or LanguageName empty for an engine that is not catalogued.
    static void NameEngine(TEngineEntry &entry);

private:
    std::vector<std::unique_ptr<TEngineEntry>> m_items;
};

class TVoiceEntry
{
public:
    QString DisplayName;  // the voice's name everywhere; compared exactly
    QString KeyName;      // identifies the voice inside setting names
    // The name earlier versions gave the voice ("Andrea (Thai)"), still found
    // in stored settings and saved articles; equal to DisplayName where the
    // name did not change.
    QString FormerName;
    bool Favorite = false;
    sapi::GUID ModeID;
    TEngineEntry *Engine = nullptr;  // not owned
    // -1 until the engine's ranges are first queried.
    int32_t PitchMin = -1, PitchMax = -1, PitchDefault = -1, Pitch = 0;
    int32_t SpeedMin = -1, SpeedMax = -1, SpeedDefault = -1, Speed = 0;

    // Favourite, and its engine is enabled: the voice may be used for reading.
    bool Offered() const { return Favorite && Engine && Engine->Enabled; }
    // The voice can be read into a file (its engine does not play the sound itself).
    bool WritesFiles() const { return !Engine || !Engine->PlaysItself; }
};

class TVoiceList
{
public:
    int Count() const { return int(m_items.size()); }
    TVoiceEntry *Items(int i) const { return m_items.at(size_t(i)).get(); }
    TVoiceEntry *Add(std::unique_ptr<TVoiceEntry> voice);
    void Clear() { m_items.clear(); }

    // The first voice with exactly that display name, else the first whose
    // former name it is, or nullptr.
    TVoiceEntry *FindVoice(const QString &name) const;
    // The name to show and store for a voice name read from settings or a
    // saved article: a former name becomes the voice's display name; any
    // other name comes back unchanged.
    QString CurrentName(const QString &storedName) const;
    // A voice for the spoken help: Mary, Mike or Sam, else the first English
    // voice, else nullptr.
    TVoiceEntry *FindHelpVoice() const;

private:
    std::vector<std::unique_ptr<TVoiceEntry>> m_items;
};

// The two lists and the operations that build and persist them. The reading
// driver owns one.
class TVoiceCatalog
{
public:
    TEngineList Engines;
    TVoiceList Voices;

    // The record the settings live in; nullptr: none are kept.
    void SetPreferences(TPreferences *prefs);

    // Builds both lists from the installed modes, registers the settings and
    // makes sure TTS_DefaultVoiceName names a catalogued voice. Asks the
    // speech platform once for its modes and default voice; no speech
    // component is made. The argument is not used (it owned such a
    // component once).
    void Initialize(QObject * = nullptr);
    // Adds the installed modes that came after Initialize (a speech service
    // that answered late), with their stored settings; logs once why a
    // driver has no voices. Gives the number of voices added.
    int AddNewModes();
    // The voice a file is read with when the named one cannot write files:
    // the default voice when it can, else the first favourite that can, else
    // the first voice that can; nullptr when none can.
    TVoiceEntry *FileVoiceFor(const QString &name) const;
    // The name is not catalogued now but was a voice of a speech service
    // in an earlier run (its settings are stored): the service is not
    // running, and the voice is read with the default voice meanwhile.
    bool IsAbsentServiceVoice(const QString &name) const;

    // A TTS_DefaultVoiceName that names no voice is cleared; an empty one
    // becomes the engine's own default voice when it starts as a favourite,
    // else the first voice that does, else the first voice. Initialize does this; call it again after the
    // record was reloaded from the store.
    void EnsureDefaultVoice();

    void LoadVoicePrefs();
    void SaveVoicePrefs();

    TVoiceEntry *FindVoice(const QString &name) const { return Voices.FindVoice(name); }
    QString CurrentName(const QString &storedName) const { return Voices.CurrentName(storedName); }
    TVoiceEntry *FindHelpVoice() const { return Voices.FindHelpVoice(); }
    TEngineEntry *FindEngine(const QString &displayName) const { return Engines.FindEngine(displayName); }

    // Enables or disables the group's engines. The voices keep their
    // Favorite flags; a group enabled with no favourite gets the default ones.
    void SetEngineEnabled(const QString &groupName, bool flag);
    void SetGroupEnabled(const QString &groupName, bool flag) { Engines.SetGroupEnabled(groupName, flag); }

    // The favourite default of a new voice of that engine.
    static bool DefaultFavorite(const TEngineEntry &engine, const QString &displayName);

    // Fills PitchMin/Max/Default and SpeedMin/Max/Default of the voice from
    // the speech platform, the values an activated component reports for its
    // mode, without selecting or activating anything; Pitch and Speed of 0
    // or less become the defaults. False, with the voice unchanged, when no
    // installed engine offers the voice's mode.
    static bool LoadRanges(TVoiceEntry &voice);

private:
    TPreferences *prefs() const;
    // Catalogues the modes not catalogued yet; gives the number added.
    int AddModes(const std::vector<sapi::TTSMODEINFOW> &records);
    void LogDriverProblems();
    TPreferences *m_prefs = nullptr;
    sapi::GUID m_engineDefault;
    QStringList m_loggedProblems;
    // The stored default voice that was not installed when the catalogue
    // was built; it becomes the default again if its voice comes late.
    QString m_missingDefault;
};

// Language name and three-letter code by Windows language identifier; an
// identifier without an entry falls back to its primary language with the
// default sublanguage, else gives an empty text.
QString LanguageNameOf(int32_t languageID);
QString LanguageCodeOf(int32_t languageID);

// The test sentence for the engine's language from "AudioTest.chl" in the
// data folder; empty when the file, the code or the entry is missing.
QString GetTestMessage(const TEngineEntry *engine);

// The file that holds the test sentences and the folder it is read from.
extern const QString AudioTestFileName;  // "AudioTest.chl"
