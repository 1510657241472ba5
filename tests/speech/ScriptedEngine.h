#pragma once
// A speech engine for tests: its modes, its answers, its catalogue facts and
// its refusals are set by the test, and every call made on it is recorded.
// Install it with sapi::SpeechPlatform::setEngines({engine}).
//
// Speaking: TextData with a buffer sink queues a "speech" that, when the
// event loop runs (or playPending() is called), reports TextDataStarted, one
// WordPosition per word (byte offsets into the UTF-16 block), TextDataDone,
// and AudioStart/AudioStop to every registered notification sink.

#include "platform/speech/AudioDestinations.h"
#include "platform/speech/SpeechEngine.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace scripted {

// How the central object answers; change it before or after activation.
struct Script {
    sapi::HRESULT selectResult = sapi::S_OK, registerResult = sapi::S_OK, textDataResult = sapi::S_OK;
    // Character sets that the empty probe text (and Speak) are refused for, as not supported.
    std::vector<uint32_t> refusedCharSets;
    sapi::HRESULT injectResult = sapi::S_OK, dialogResult = sapi::S_OK;
    sapi::HRESULT pauseResult = sapi::S_OK, resetResult = sapi::S_OK;
    bool offersAttributes = true;  // QueryInterface answers for the attributes
    bool offersDialogs = true;     // ... and for the dialogs
    // Pitch and speed: the engine clamps writes to these limits.
    uint16_t minPitch = 50, maxPitch = 200, pitch = 100;
    uint32_t minSpeed = 80, maxSpeed = 450, speed = 170;
    sapi::HRESULT pitchGetResult = sapi::S_OK, pitchSetResult = sapi::S_OK;
    sapi::HRESULT speedSetResult = sapi::S_OK;
    bool autoSpeak = true;  // queue the speech events on the event loop
};

// Everything the component did to the engine.
struct CallLog {
    struct Text {
        uint32_t flags = 0;
        QByteArray bytes;  // copy of the block
    };
    std::vector<Text> texts;
    std::vector<QString> injected;
    std::vector<std::optional<QString>> lexiconDialogTitles;  // nullopt: a null title
    std::vector<uint16_t> pitchWrites;
    int pauses = 0, resumes = 0, resets = 0, registrations = 0, unregistrations = 0, selects = 0;
    std::vector<sapi::GUID> selectedModes;
    std::vector<sapi::UnknownPtr> destinations;
};

class ScriptedCentral;

class ScriptedEngine : public sapi::SpeechEngine
{
public:
    // Builds a mode record. The GUID is made from the number so tests can
    // name it with modeGuid(number).
    static sapi::TTSMODEINFOW makeMode(const QString &name, uint32_t number, bool attributes = true);
    static sapi::GUID modeGuid(uint32_t number);

    // Adds a mode. Without defaultModeId the platform's rule applies: the first mode.
    // The reference stays valid until the next mode is added.
    sapi::TTSMODEINFOW &addMode(const QString &name, bool attributes = true)
    {
        return addMode(makeMode(name, m_nextNumber, attributes));
    }
    // Adds a record as it is (manufacturer, speaker, language...); a zero
    // mode ID gets the next number's GUID.
    sapi::TTSMODEINFOW &addMode(sapi::TTSMODEINFOW mode);

    sapi::EngineFacts facts() const override { return catalogFacts; }
    std::vector<sapi::TTSMODEINFOW> modes() override { return m_modes; }
    std::optional<sapi::GUID> defaultMode() override { return defaultModeId; }
    // The scripted limits, and the current pitch and speed as the defaults.
    std::optional<sapi::ModeRanges> ranges(const sapi::GUID &modeId) override;
    sapi::HRESULT select(const sapi::GUID &modeId, const sapi::UnknownPtr &audioDest,
                         std::shared_ptr<sapi::ITTSCentralW> &central) override;

    Script script;
    CallLog log;
    // How the voice catalogue names the modes of makeMode ("Scripted Speech"):
    // one engine per language, "Scripted - US English", voice keys "Scrp...".
    sapi::EngineFacts catalogFacts{.maker = QStringLiteral("Scripted Speech"),
                                   .displayName = QStringLiteral("Scripted"),
                                   .languageInName = true,
                                   .groupName = QStringLiteral("Scripted Speech"),
                                   .languageName = {},
                                   .shortName = QStringLiteral("Scrp"),
                                   .features = 0,
                                   .hasLexicon = false,
                                   .favorites = sapi::FavoriteDefault::AllVoices,
                                   .favoriteNames = {}};
    std::optional<sapi::GUID> defaultModeId;
    // The central object of the last successful select (kept alive here, as
    // an engine would while it still speaks).
    std::shared_ptr<ScriptedCentral> central;

private:
    std::vector<sapi::TTSMODEINFOW> m_modes;
    uint32_t m_nextNumber = 1;
};

class ScriptedCentral : public sapi::ITTSCentralW, public sapi::ITTSAttributesW, public sapi::ITTSDialogsW
{
public:
    ScriptedCentral(ScriptedEngine &engine, sapi::TTSMODEINFOW mode, std::shared_ptr<sapi::AudioDestination> audio)
        : m_engine(engine), m_mode(mode), m_audio(std::move(audio))
    {
    }

    sapi::HRESULT QueryInterface(const sapi::GUID &iid, sapi::UnknownPtr &out) override;

    // ITTSCentralW
    sapi::HRESULT Inject(const char16_t *tag) override
    {
        m_engine.log.injected.push_back(QString::fromUtf16(tag));
        return m_engine.script.injectResult;
    }
    sapi::HRESULT ModeGet(sapi::TTSMODEINFOW *info) override { return *info = m_mode, sapi::S_OK; }
    sapi::HRESULT Phoneme(uint32_t charSet, uint32_t flags, sapi::SDATA text, sapi::SDATA *out) override;
    sapi::HRESULT PosnGet(sapi::QWORD *stamp) override { return *stamp = m_clock, sapi::S_OK; }
    sapi::HRESULT TextData(uint32_t charSet, uint32_t flags, sapi::SDATA text, const sapi::UnknownPtr &sink,
                           const sapi::GUID &iid) override;
    sapi::HRESULT ToFileTime(sapi::QWORD stamp, int64_t *t) override { return *t = int64_t(stamp), sapi::S_OK; }
    sapi::HRESULT AudioPause() override { return ++m_engine.log.pauses, m_engine.script.pauseResult; }
    sapi::HRESULT AudioResume() override { return ++m_engine.log.resumes, sapi::S_OK; }
    sapi::HRESULT AudioReset() override
    {
        m_pending.clear();
        return ++m_engine.log.resets, m_engine.script.resetResult;
    }
    sapi::HRESULT Register(const sapi::UnknownPtr &sink, const sapi::GUID &iid, uint32_t *key) override;
    sapi::HRESULT UnRegister(uint32_t key) override;

    // ITTSAttributesW: pitch and speed as scripted, the rest fixed.
    sapi::HRESULT PitchGet(uint16_t *pitch) override
    {
        return get(pitch, m_engine.script.pitch, m_engine.script.pitchGetResult);
    }
    sapi::HRESULT PitchSet(uint16_t pitch) override;
    sapi::HRESULT RealTimeGet(uint32_t *value) override { return *value = 100, sapi::S_OK; }
    sapi::HRESULT RealTimeSet(uint32_t) override { return sapi::E_NOTIMPL; }
    sapi::HRESULT SpeedGet(uint32_t *speed) override { return *speed = m_engine.script.speed, sapi::S_OK; }
    sapi::HRESULT SpeedSet(uint32_t speed) override;
    sapi::HRESULT VolumeGet(uint32_t *value) override { return *value = 0xFFFF, sapi::S_OK; }
    sapi::HRESULT VolumeSet(uint32_t) override { return sapi::E_NOTIMPL; }

    // ITTSDialogsW: only the lexicon dialog is there.
    sapi::HRESULT AboutDlg(sapi::HWND, const char16_t *) override { return sapi::E_NOTIMPL; }
    sapi::HRESULT LexiconDlg(sapi::HWND, const char16_t *title) override;
    sapi::HRESULT GeneralDlg(sapi::HWND, const char16_t *) override { return sapi::E_NOTIMPL; }
    sapi::HRESULT TranslateDlg(sapi::HWND, const char16_t *) override { return sapi::E_NOTIMPL; }

    // Runs every queued speech at once (without the event loop).
    void playPending();
    // Calls every registered notification sink, as the engine would.
    void notifyAll(const std::function<void(sapi::ITTSNotifySinkW &)> &call);
    // Buffer sinks of the texts given so far (weakly held).
    std::vector<std::weak_ptr<sapi::ITTSBufNotifySink>> bufferSinks;
    // Registered notification sinks by key.
    std::vector<std::pair<uint32_t, std::shared_ptr<sapi::ITTSNotifySinkW>>> notifySinks;

private:
    template <class T>
    static sapi::HRESULT get(T *out, T value, sapi::HRESULT result)
    {
        if (result == sapi::S_OK)
            *out = value;
        return result;
    }
    void speak(const std::u16string &text, const std::shared_ptr<sapi::ITTSBufNotifySink> &sink);

    ScriptedEngine &m_engine;
    sapi::TTSMODEINFOW m_mode;
    std::shared_ptr<sapi::AudioDestination> m_audio;
    uint32_t m_nextKey = 1;
    sapi::QWORD m_clock = 0;
    std::deque<std::function<void()>> m_pending;
};

}  // namespace scripted
