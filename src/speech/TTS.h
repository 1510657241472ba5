#pragma once
// TTTS: one text-to-speech engine instance. Chooses an engine mode (a voice)
// by name or mode ID, binds it to an audio destination on activation, speaks
// text and turns the engine's notifications into events.
//
// Loading stored values: BeginLoading(), then the property writes in the
// order AudioDeviceID, ModeName, OutputFile, OutputDest, Active,
// CharacterSet, ControlTags, then Loaded().

#include "SpeechErrors.h"

#include "platform/speech/SpeechApi.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class TTTS;

enum TOutputDest : uint8_t { odAudioDevice = 0, odFile = 1, odDirect = 2, odOther = 3 };
enum TChrSet : uint8_t { csText = 0, csIPAPhonetic = 1, csEnginePhonetic = 2 };
enum TCtrlTags : uint8_t { ctNone = 0, ctTagged = 1 };

// Builds the destination for OutputDest odOther; one handler, the owner's.
using TMakeOtherDestEvent = std::function<void(TTTS *Sender, sapi::UnknownPtr &DestInterface)>;

// "csText", "csIPAPhonetic" or "csEnginePhonetic".
QString CharSetName(TChrSet set);

// The engine-wide notifications (audio start and stop, attribute changes,
// mouth shapes), registered once per activation. Holds only a weak
// reference, so an engine that outlives the component calls into nothing.
class TTSNotifySink : public sapi::ITTSNotifySinkW
{
public:
    explicit TTSNotifySink(std::weak_ptr<TTTS> owner) : m_owner(std::move(owner)) {}
    sapi::HRESULT AttribChanged(uint32_t dwAttribute) override;
    sapi::HRESULT AudioStart(sapi::QWORD qTimeStamp) override;
    sapi::HRESULT AudioStop(sapi::QWORD qTimeStamp) override;
    sapi::HRESULT Visual(sapi::QWORD qTimeStamp, char16_t cIPAPhoneme, char16_t cEnginePhoneme, uint32_t dwHints,
                         const sapi::TTSMOUTH *pTTSMouth) override;

private:
    std::weak_ptr<TTTS> m_owner;
};

// The notifications about one spoken text, handed to the engine with each
// Speak.
class TTSBufNotifySink : public sapi::ITTSBufNotifySink
{
public:
    explicit TTSBufNotifySink(std::weak_ptr<TTTS> owner) : m_owner(std::move(owner)) {}
    sapi::HRESULT TextDataDone(sapi::QWORD qTimeStamp, uint32_t dwFlags) override;
    sapi::HRESULT TextDataStarted(sapi::QWORD qTimeStamp) override;
    sapi::HRESULT BookMark(sapi::QWORD qTimeStamp, uint32_t dwMarkNum) override;
    sapi::HRESULT WordPosition(sapi::QWORD qTimeStamp, uint32_t dwByteOffset) override;

private:
    std::weak_ptr<TTTS> m_owner;
};

class TTTS : public TSpeechComponent
{
    Q_OBJECT
public:
    explicit TTTS(QObject *Owner = nullptr);
    ~TTTS() override;

    void Loaded() override;
    sapi::UnknownPtr GetEngineInterface() override;

    virtual void Speak(const QString &Text);
    virtual void ConvertToPhoneme(TChrSet CharSet, bool Tagged, const QString &Text);

    // Stored properties.
    int32_t AudioDeviceID() const { return m_audioDeviceID; }
    void SetAudioDeviceID(int32_t Value);
    QString ModeName();
    void SetModeName(const QString &Value);
    QString OutputFile() const { return m_outputFile; }
    void SetOutputFile(const QString &Value);
    // The file destination's last failure in words, naming the file and the
    // cause; empty when it has none.
    QString OutputError() const;
    TOutputDest OutputDest() const { return m_outputDest; }
    void SetOutputDest(TOutputDest Value) { m_outputDest = Value; }
    bool Active() const { return m_active; }
    void SetActive(bool Value);
    // Lets go of the engine and the destination without flushing: a file
    // whose flush failed is given up, so the next activation starts afresh.
    void Abandon();
    TChrSet CharacterSet() const { return m_characterSet; }
    void SetCharacterSet(TChrSet Value);
    TCtrlTags ControlTags() const { return m_controlTags; }
    void SetControlTags(TCtrlTags Value);

    // Found when the component was made: the speech platform, and an engine with voices.
    bool SpeechInstalled() const { return m_speechInstalled; }
    bool TTSInstalled() const { return m_ttsInstalled; }

    // Not stored.
    sapi::GUID ModeID() const { return m_modeID; }
    void SetModeID(const sapi::GUID &Value);
    void GetModeInfo(sapi::TTSMODEINFOW &Info) const;
    sapi::UnknownPtr DirectSoundObject() const { return m_directSound; }
    void SetDirectSoundObject(sapi::UnknownPtr Value) { m_directSound = std::move(Value); }

    // Attributes and control; all need an active component.
    int32_t Pitch();
    void SetPitch(uint16_t Value);
    uint32_t Speed();
    void SetSpeed(uint32_t Value);
    uint16_t MinPitch();
    uint16_t MaxPitch();
    uint32_t MinSpeed();
    uint32_t MaxSpeed();
    bool AudioPaused() const { return m_paused; }
    void SetAudioPaused(bool Value);
    void AudioReset();
    void Inject(const QString &Tag);
    void ShowLexiconDlg(sapi::HWND Window, const QString &Title);
    // The last ConvertToPhoneme result (owned by the component).
    const sapi::SDATA &PhonemeData() const { return m_phonemes; }

    TMakeOtherDestEvent OnMakeOtherDest;

signals:
    // The engine's notifications, on the main thread; any number of parties
    // may listen.
    void OnTextDataDone(TTTS *Sender, sapi::QWORD SpeechTimeStamp, uint32_t dwFlags);
    void OnTextDataStarted(TTTS *Sender, sapi::QWORD SpeechTimeStamp);
    void OnBookMark(TTTS *Sender, sapi::QWORD SpeechTimeStamp, uint32_t dwMarkNum);
    void OnWordPosition(TTTS *Sender, sapi::QWORD SpeechTimeStamp, uint32_t dwByteOffset);
    void OnAttribChanged(TTTS *Sender, uint32_t dwAttribute);
    void OnAudioStart(TTTS *Sender, sapi::QWORD qTimeStamp);
    void OnAudioStop(TTTS *Sender, sapi::QWORD qTimeStamp);
    void OnVisual(TTTS *Sender, sapi::QWORD qTimeStamp, char16_t cIPAPhoneme, char16_t cEnginePhoneme, uint32_t dwHints,
                  const sapi::TTSMOUTH &aTTSMouth);

protected:
    // Builds the audio destination for OutputDest into Dest (empty on entry).
    virtual void MakeDest(sapi::UnknownPtr &Dest);

private:
    friend class TTSNotifySink;
    friend class TTSBufNotifySink;

    void Activate();
    void Deactivate();
    void ReleaseInterfaces();
    void ShowDlg(const QString &Name, sapi::HWND Window, const QString &Title);
    // Raises the replacement message for E, or returns so the caller rethrows.
    void TranslateError(const ESpeechError &E, const QString &Operation);
    void RequireActive(const char *Operation) const;
    [[noreturn]] void RefuseWhileActive(const char *Property) const;
    bool FindMode(const sapi::TTSMODEINFOW &Query, const sapi::TTSMODEINFORANK &Rank, sapi::TTSMODEINFOW &Found);
    bool EnumerateFor(const std::function<bool(const sapi::TTSMODEINFOW &)> &match, sapi::TTSMODEINFOW &Found);
    void FreePhonemes();
    QString RecordModeName() const;

    // Lets the sinks find the component while it lives; reset first thing in
    // the destructor.
    std::shared_ptr<TTTS> m_self;

    bool m_speechInstalled = false;
    bool m_ttsInstalled = false;
    int32_t m_audioDeviceID = -1;
    QString m_outputFile;
    TOutputDest m_outputDest = odAudioDevice;
    bool m_active = false;
    TChrSet m_characterSet = csText;
    TCtrlTags m_controlTags = ctNone;
    bool m_paused = false;

    std::unique_ptr<sapi::TTSMODEINFOW> m_modeInfo;
    sapi::GUID m_modeID;
    QString m_modeName = QStringLiteral("Default");

    std::shared_ptr<sapi::ITTSCentralW> m_central;
    std::shared_ptr<sapi::ITTSAttributesW> m_attributes;
    std::shared_ptr<sapi::ITTSDialogsW> m_dialogs;
    std::shared_ptr<TTSNotifySink> m_notifySink;
    uint32_t m_notifyKey = 0;
    std::shared_ptr<TTSBufNotifySink> m_bufNotifySink;
    sapi::UnknownPtr m_dest;  // kept while active for a file destination only
    sapi::UnknownPtr m_directSound;
    sapi::SDATA m_phonemes;
};
