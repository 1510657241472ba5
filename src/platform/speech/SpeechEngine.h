#pragma once
// One engine driver (eSpeak NG, Flite, or a scripted engine in tests) as the
// speech platform sees it. The platform's enumerator and finder list the
// modes of every installed driver, in installation order. docs/adding-an-engine.md
// tells what a new driver implements.

#include "SpeechApi.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sapi {

// Pitch (about Hz) and speed (words per minute) limits of a mode, and the
// values a central selected for it starts with.
struct ModeRanges {
    uint16_t minPitch = 0, maxPitch = 0, defaultPitch = 0;
    uint32_t minSpeed = 0, maxSpeed = 0, defaultSpeed = 0;
};

// Which voices of an engine start as favourites in the voice catalogue.
enum class FavoriteDefault : uint8_t {
    AllVoices,
    LocaleLanguage,  // voices whose primary language is the user's locale language
    NamedVoices,     // voices whose display name occurs within EngineFacts::favoriteNames
};

// How the voice catalogue names and treats an engine: the row of its engine
// naming table for the manufacturer the driver's modes report. Fixed by the
// driver's code, the same for every mode.
struct EngineFacts {
    QString maker;        // szMfgName of the modes these facts are for
    QString displayName;  // the engine's name, e.g. "Flite"
    // One engine per language, named displayName + " - " + its language name.
    bool languageInName = false;
    QString groupName;        // must not be empty, or the modes are not catalogued
    QString languageName;     // a fixed name ("US English"); empty: by each mode's language
    QString shortName;        // four letters that start the voice key names
    uint8_t features = 0;     // the catalogue's Features bits
    bool hasLexicon = false;  // the engine carries the pronunciation editor
    FavoriteDefault favorites = FavoriteDefault::AllVoices;
    QString favoriteNames;  // for FavoriteDefault::NamedVoices
    // A service that plays the sound itself: its voices cannot be read into
    // a file or sent to a chosen audio device.
    bool playsItself = false;
    // Voices are named by their speaker alone, as the engine names them.
    bool speakerNames = false;
};

class SpeechEngine
{
public:
    virtual ~SpeechEngine() = default;

    // The voice catalogue's facts about this engine.
    virtual EngineFacts facts() const = 0;
    // Every mode (voice) this driver offers; empty when it could not load.
    virtual std::vector<TTSMODEINFOW> modes() = 0;
    // The engine's own choice for an empty query, when it has one.
    virtual std::optional<GUID> defaultMode() { return std::nullopt; }
    // The ranges a central selected for the mode would have, known without
    // selecting it; nullopt for a mode this driver does not offer.
    virtual std::optional<ModeRanges> ranges(const GUID &modeId) = 0;
    // Binds a mode of this driver to an audio destination (an object from
    // CoCreateInstance, or a caller's own) and gives its central interface.
    virtual HRESULT select(const GUID &modeId, const UnknownPtr &audioDest, std::shared_ptr<ITTSCentralW> &central) = 0;
    // Why the driver offers no voices now, for the diagnostic log; empty
    // when it has voices or is still looking for them.
    virtual QString problem() const { return {}; }
    // Waits up to ms for modes the driver is still looking for (a speech
    // service that has not answered yet); true when it has stopped looking.
    virtual bool waitForModes(int ms) { return true; }
};

// The installed modes in enumeration order, and the mode an empty query
// finds (the one a new speech component holds); null without modes.
struct InstalledModes {
    std::vector<TTSMODEINFOW> modes;
    GUID defaultMode;
};

// The installed drivers. The first call loads the drivers of the engine
// registry (DefaultEngines.cpp); tests may replace the set (and, with
// installed = false, make the enumerator's creation fail as on a machine
// without the speech platform).
class SpeechPlatform
{
public:
    static std::vector<std::shared_ptr<SpeechEngine>> engines();
    static void setEngines(std::vector<std::shared_ptr<SpeechEngine>> engines, bool installed = true);
    static void restoreDefaultEngines();
    static bool installed();

    // What the enumerator and the finder would give, in one walk over the
    // drivers; nothing when the platform is not installed.
    static InstalledModes installedModes();
    // The ranges of an installed mode, from its driver; nullopt when no
    // driver offers it or the platform is not installed.
    static std::optional<ModeRanges> ranges(const GUID &modeId);
    // Waits up to ms in all for drivers still looking for their modes.
    static void waitForModes(int ms);
};

// Tells, on the main thread, that a driver's modes changed after start-up
// (a speech service that answered only after the catalogue was built).
class PlatformEvents : public QObject
{
    Q_OBJECT
public:
    static PlatformEvents &instance();
    // Safe from any thread: the signal is emitted on the main thread.
    static void postModesChanged();

signals:
    void modesChanged();
};

// Start-up probes: the platform is there, an engine with voices is loaded,
// output and input devices exist.
struct SpeechProbe {
    bool speechInstalled = false;
    bool ttsInstalled = false;
    bool srInstalled = false;
    bool waveOutPresent = false;
    bool waveInPresent = false;
};
SpeechProbe probeSpeechPlatform();

// Device counts (the multimedia calls' stand-ins), from the audio layer.
uint32_t waveOutGetNumDevs();
uint32_t waveInGetNumDevs();

}  // namespace sapi
