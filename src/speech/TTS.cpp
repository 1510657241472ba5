#include "TTS.h"

#include "platform/speech/AudioDestinations.h"
#include "platform/speech/SpeechEngine.h"
#include "util/DiagnosticLog.h"

#include <utility>

using namespace sapi;

namespace {

const QString kDefault = QStringLiteral("Default");
const char *const kMustBeFalse = "The Active property must be FALSE before you can set the %1 property";
const char *const kMustBeTrue = "The Active property must be TRUE before the %1 method can be called";
const char *const kInvalidModeName = "The value assigned to the ModeName property is invalid";
const char *const kDeviceOutOfRange = "The value specified for the AudioDeviceID is outside the range of available IDs";
const char *const kNoAttributes = "Couldn''t create attributes Interface: Is engine registered?";
const char *const kNoDialogs = "Could''t create TTSDialogs Object. Is it registered?";
const char *const kNoWaveOut = "No wave out devices available on system.";
const char *const kNoOutputFile = "OutputDest of odFile requres a valid path and file name in the OutputFile property";
const char *const kNoOtherDestHandler = "An OnMakeOtherDest event must be defined to use an OutputDest of odOther.";
const char *const kNoOtherDest = "OnMakeOtherDest must assign DestInterface parameter";
const char *const kNotImplemented = "%1 is not implemented in the %2 engine";

const char16_t *u16(const QString &text)
{
    return reinterpret_cast<const char16_t *>(text.utf16());
}

QString fieldText(const char16_t (&field)[TTSI_NAMELEN])
{
    return QString::fromUtf16(field, qsizetype(nameLength(field)));
}

// The library creation of the speech runtime: the enumerator object, then
// the wanted interface of it. Failures are the runtime's own errors.
template <class I>
std::shared_ptr<I> createEnumerator(const GUID &iid)
{
    UnknownPtr object;
    OleCheck(CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_IUnknown, object));
    HRESULT r = S_OK;
    auto result = queryAs<I>(object, iid, &r);
    if (!result)
        throw EOleSysError(r != S_OK ? r : E_NOINTERFACE);
    return result;
}

// Runs a sink's event on its component, if the component still lives. An
// exception must not travel back into the engine's call.
template <class F>
HRESULT deliver(const std::weak_ptr<TTTS> &owner, F &&call)
{
    const std::shared_ptr<TTTS> component = owner.lock();
    if (!component)
        return S_OK;
    try {
        call(component.get());
    } catch (const std::exception &e) {
        DiagnosticLog::WriteLog(QStringLiteral("Speech event handler failed: ") + QString::fromUtf8(e.what()));
    } catch (...) {
        DiagnosticLog::WriteLog(QStringLiteral("Speech event handler failed"));
    }
    return S_OK;
}

}  // namespace

QString CharSetName(TChrSet set)
{
    switch (set) {
    case csText:
        return QStringLiteral("csText");
    case csIPAPhonetic:
        return QStringLiteral("csIPAPhonetic");
    case csEnginePhonetic:
        return QStringLiteral("csEnginePhonetic");
    }
    return QString();
}

// ---- Sinks -----------------------------------------------------------------
// Each emits the component's signal; a slot may disconnect itself safely.

HRESULT TTSNotifySink::AttribChanged(uint32_t dwAttribute)
{
    return deliver(m_owner, [&](TTTS *c) { emit c->OnAttribChanged(c, dwAttribute); });
}

HRESULT TTSNotifySink::AudioStart(QWORD qTimeStamp)
{
    return deliver(m_owner, [&](TTTS *c) { emit c->OnAudioStart(c, qTimeStamp); });
}

HRESULT TTSNotifySink::AudioStop(QWORD qTimeStamp)
{
    return deliver(m_owner, [&](TTTS *c) { emit c->OnAudioStop(c, qTimeStamp); });
}

HRESULT TTSNotifySink::Visual(QWORD qTimeStamp, char16_t cIPAPhoneme, char16_t cEnginePhoneme, uint32_t dwHints,
                              const TTSMOUTH *pTTSMouth)
{
    static const TTSMOUTH closed;
    return deliver(m_owner, [&](TTTS *c) {
        emit c->OnVisual(c, qTimeStamp, cIPAPhoneme, cEnginePhoneme, dwHints, pTTSMouth ? *pTTSMouth : closed);
    });
}

HRESULT TTSBufNotifySink::TextDataDone(QWORD qTimeStamp, uint32_t dwFlags)
{
    return deliver(m_owner, [&](TTTS *c) { emit c->OnTextDataDone(c, qTimeStamp, dwFlags); });
}

HRESULT TTSBufNotifySink::TextDataStarted(QWORD qTimeStamp)
{
    return deliver(m_owner, [&](TTTS *c) { emit c->OnTextDataStarted(c, qTimeStamp); });
}

HRESULT TTSBufNotifySink::BookMark(QWORD qTimeStamp, uint32_t dwMarkNum)
{
    return deliver(m_owner, [&](TTTS *c) { emit c->OnBookMark(c, qTimeStamp, dwMarkNum); });
}

HRESULT TTSBufNotifySink::WordPosition(QWORD qTimeStamp, uint32_t dwByteOffset)
{
    return deliver(m_owner, [&](TTTS *c) { emit c->OnWordPosition(c, qTimeStamp, dwByteOffset); });
}

// ---- Construction ----------------------------------------------------------

TTTS::TTTS(QObject *Owner)
    : TSpeechComponent(Owner), m_self(this, [](TTTS *) {}), m_modeInfo(std::make_unique<TTSMODEINFOW>())
{
    UnknownPtr object;
    const HRESULT created = CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_ITTSFindW, object);
    m_speechInstalled = created == S_OK;
    if (!m_speechInstalled)
        return;

    TTSMODEINFOW scratch;
    uint32_t fetched = 0;
    if (auto enumerator = queryAs<ITTSEnumW>(object, IID_ITTSEnumW)) {
        enumerator->Reset();
        enumerator->Next(1, &scratch, &fetched);
    }
    m_ttsInstalled = fetched > 0;
    if (!m_ttsInstalled)
        return;

    // An empty query gives the engine's own choice: the default voice.
    auto finder = queryAs<ITTSFindW>(object, IID_ITTSFindW);
    if (finder && finder->Find(m_modeInfo.get(), nullptr, &scratch) == S_OK) {
        *m_modeInfo = scratch;
        m_modeID = scratch.gModeID;
    }
}

TTTS::~TTTS()
{
    // From here on the sinks no longer reach this component.
    m_self.reset();
    // An unfinished WAV file would be unreadable, so finish it even when the
    // owner forgot to deactivate.
    if (m_active && m_dest) {
        if (auto file = queryAs<IAudioFile>(m_dest, IID_IAudioFile)) {
            if (const HRESULT r = file->Flush(); r != S_OK)
                DiagnosticLog::WriteLog(QStringLiteral("Speech output file could not be finished: ") +
                                        ESpeechError(r).message());
        }
    }
    FreePhonemes();
    ReleaseInterfaces();
}

void TTTS::Loaded()
{
    TSpeechComponent::Loaded();
    m_modeID = m_modeInfo->gModeID;
}

UnknownPtr TTTS::GetEngineInterface()
{
    return m_central;
}

void TTTS::GetModeInfo(TTSMODEINFOW &Info) const
{
    Info = *m_modeInfo;
}

QString TTTS::RecordModeName() const
{
    return fieldText(m_modeInfo->szModeName);
}

void TTTS::RequireActive(const char *Operation) const
{
    if (!m_active || !m_central)
        throw EOleError(QString::fromLatin1(kMustBeTrue).arg(QLatin1String(Operation)));
}

void TTTS::RefuseWhileActive(const char *Property) const
{
    throw EOleError(QString::fromLatin1(kMustBeFalse).arg(QLatin1String(Property)));
}

// ---- Modes -----------------------------------------------------------------

bool TTTS::FindMode(const TTSMODEINFOW &Query, const TTSMODEINFORANK &Rank, TTSMODEINFOW &Found)
{
    auto finder = createEnumerator<ITTSFindW>(IID_ITTSFindW);
    SpeechCheck(finder->Find(&Query, &Rank, &Found));
    return true;
}

bool TTTS::EnumerateFor(const std::function<bool(const TTSMODEINFOW &)> &match, TTSMODEINFOW &Found)
{
    auto enumerator = createEnumerator<ITTSEnumW>(IID_ITTSEnumW);
    SpeechCheck(enumerator->Reset());
    for (;;) {
        TTSMODEINFOW record;
        uint32_t fetched = 0;
        const HRESULT r = enumerator->Next(1, &record, &fetched);
        // The end of the list may come as S_FALSE with nothing fetched.
        if (fetched == 0 && (r == S_OK || r == S_FALSE))
            return false;
        SpeechCheck(r);
        if (match(record)) {
            Found = record;
            return true;
        }
    }
}

QString TTTS::ModeName()
{
    if (!m_modeInfo)
        return QString();
    if (m_modeName == kDefault)
        return m_modeName;
    m_modeName = RecordModeName();
    return m_modeName;
}

void TTTS::SetModeName(const QString &Value)
{
    if (Value.isEmpty() || !m_speechInstalled || !m_ttsInstalled)
        return;
    if (m_active)
        RefuseWhileActive("ModeName");

    const bool isDefault = Value == kDefault;
    TTSMODEINFOW query;
    if (!isDefault)
        copyName(query.szModeName, u16(Value), size_t(Value.size()));
    TTSMODEINFORANK rank;
    rank.dwModeName = 10;
    TTSMODEINFOW found;
    FindMode(query, rank, found);

    if (isDefault && nameLength(found.szModeName) > 0) {
        *m_modeInfo = found;
        m_modeName = kDefault;
        m_modeID = found.gModeID;
        return;
    }
    // A specific name must match exactly: Find only gives the closest mode.
    TTSMODEINFOW match;
    if (!EnumerateFor([&](const TTSMODEINFOW &r) { return fieldText(r.szModeName) == Value; }, match))
        throw EOleError(QString::fromLatin1(kInvalidModeName));
    *m_modeInfo = match;
    m_modeName = isDefault ? kDefault : fieldText(match.szModeName);
    m_modeID = match.gModeID;
}

void TTTS::SetModeID(const GUID &Value)
{
    if (m_active)
        RefuseWhileActive("ModeID");

    TTSMODEINFOW query;
    query.gModeID = Value;
    TTSMODEINFORANK rank;
    rank.dwModeID = 10;
    TTSMODEINFOW found;
    FindMode(query, rank, found);

    if (!(found.gModeID == Value) && !EnumerateFor([&](const TTSMODEINFOW &r) { return r.gModeID == Value; }, found))
        throw EOleError(QString::fromLatin1(kInvalidModeName));
    *m_modeInfo = found;
    m_modeID = found.gModeID;
    m_modeName = fieldText(found.szModeName);
}

// ---- Destination and activation ------------------------------------------

void TTTS::SetAudioDeviceID(int32_t Value)
{
    // Without an output device there is nothing to choose.
    if (waveOutGetNumDevs() == 0)
        return;
    if (m_active)
        RefuseWhileActive("AudioDeviceID");
    // The count itself is accepted as well.
    if (Value < -1 || int64_t(Value) > int64_t(waveOutGetNumDevs()))
        throw EOleError(QString::fromLatin1(kDeviceOutOfRange));
    m_audioDeviceID = Value;
}

void TTTS::SetOutputFile(const QString &Value)
{
    m_outputFile = Value;
    // m_dest is kept only for a file destination, so this follows the
    // destination actually in use, whatever OutputDest says now.
    if (m_active && m_dest) {
        auto file = queryAs<IAudioFile>(m_dest, IID_IAudioFile);
        if (!file)
            throw ESpeechError(E_NOINTERFACE);
        SpeechCheck(file->Set(u16(m_outputFile), 1));
    }
}

QString TTTS::OutputError() const
{
    const auto file = std::dynamic_pointer_cast<sapi::AudioDestination>(m_dest);
    return file ? file->lastError() : QString();
}

void TTTS::MakeDest(UnknownPtr &Dest)
{
    switch (m_outputDest) {
    case odAudioDevice: {
        SpeechCheck(CoCreateInstance(CLSID_MMAudioDest, nullptr, CLSCTX_ALL, IID_IAudioMultiMediaDevice, Dest));
        if (waveOutGetNumDevs() == 0) {
            Dest.reset();
            throw EOleError(QString::fromLatin1(kNoWaveOut));
        }
        auto device = queryAs<IAudioMultiMediaDevice>(Dest, IID_IAudioMultiMediaDevice);
        if (!device)
            throw ESpeechError(E_NOINTERFACE);
        SpeechCheck(device->DeviceNumSet(static_cast<uint32_t>(m_audioDeviceID)));
        break;
    }
    case odFile: {
        SpeechCheck(CoCreateInstance(CLSID_AudioDestFile, nullptr, CLSCTX_ALL, IID_IAudioFile, Dest));
        if (m_outputFile.isEmpty())
            throw EOleError(QString::fromLatin1(kNoOutputFile));
        auto file = queryAs<IAudioFile>(Dest, IID_IAudioFile);
        if (!file)
            throw ESpeechError(E_NOINTERFACE);
        SpeechCheck(file->Set(u16(m_outputFile), 1));
        break;
    }
    case odDirect: {
        SpeechCheck(CoCreateInstance(CLSID_AudioDestDirect, nullptr, CLSCTX_ALL, IID_IAudioDirect, Dest));
        if (auto direct = queryAs<IAudioDirect>(Dest, IID_IAudioDirect))
            direct->Init(m_directSound, IID_IDirectSound);
        break;
    }
    case odOther: {
        const auto handler = OnMakeOtherDest;
        if (!handler)
            throw EOleError(QString::fromLatin1(kNoOtherDestHandler));
        handler(this, Dest);
        if (!Dest)
            throw EOleError(QString::fromLatin1(kNoOtherDest));
        break;
    }
    }
}

void TTTS::SetActive(bool Value)
{
    if (Value == m_active)
        return;
    if (Value)
        Activate();
    else
        Deactivate();
}

void TTTS::Activate()
{
    try {
        auto enumerator = createEnumerator<ITTSEnumW>(IID_ITTSEnumW);
        MakeDest(m_dest);

        std::shared_ptr<ITTSCentralW> central;
        SpeechCheck(enumerator->Select(m_modeInfo->gModeID, central, m_dest));
        if (!central)
            throw ESpeechError(E_POINTER);
        m_central = std::move(central);
        // The engine holds the destination; only a file needs it later
        // (retargeting and flushing).
        if (m_outputDest != odFile)
            m_dest.reset();

        if (m_modeInfo->dwInterfaces & TTSI_ITTSATTRIBUTES) {
            try {
                HRESULT r = S_OK;
                m_attributes = queryAs<ITTSAttributesW>(m_central, IID_ITTSAttributesW, &r);
                SpeechCheck(r);
                if (!m_attributes)
                    throw ESpeechError(E_NOINTERFACE);
            } catch (const std::exception &) {
                throw EOleError(QString::fromLatin1(kNoAttributes));
            }
        }

        // Without the notification sink the engine still speaks; only the
        // engine-wide events are missing.
        try {
            auto sink = std::make_shared<TTSNotifySink>(m_self);
            uint32_t key = 0;
            SpeechCheck(m_central->Register(sink, IID_ITTSNotifySinkW, &key));
            m_notifySink = std::move(sink);
            m_notifyKey = key;
        } catch (const std::exception &) {
            m_notifySink.reset();
        }

        m_bufNotifySink = std::make_shared<TTSBufNotifySink>(m_self);

        try {
            HRESULT r = S_OK;
            m_dialogs = queryAs<ITTSDialogsW>(m_central, IID_ITTSDialogsW, &r);
            SpeechCheck(r);
            if (!m_dialogs)
                throw ESpeechError(E_NOINTERFACE);
        } catch (const std::exception &) {
            throw EOleError(QString::fromLatin1(kNoDialogs));
        }

        m_active = true;
    } catch (...) {
        ReleaseInterfaces();
        m_active = false;
        throw;
    }
}

void TTTS::Deactivate()
{
    if (m_dest) {
        // A failed flush leaves the component active, so it can be retried.
        auto file = queryAs<IAudioFile>(m_dest, IID_IAudioFile);
        if (file)
            SpeechCheck(file->Flush());
        m_dest.reset();
    }
    ReleaseInterfaces();
    m_active = false;
}

void TTTS::Abandon()
{
    ReleaseInterfaces();
    m_active = false;
}

void TTTS::ReleaseInterfaces()
{
    m_attributes.reset();
    m_dialogs.reset();
    if (m_central && m_notifySink)
        m_central->UnRegister(m_notifyKey);
    m_notifySink.reset();
    m_notifyKey = 0;
    m_bufNotifySink.reset();
    m_dest.reset();
    m_central.reset();
}

// ---- Speaking and text options ---------------------------------------------

void TTTS::TranslateError(const ESpeechError &E, const QString &Operation)
{
    const int32_t code = E.code();
    switch (static_cast<uint32_t>(code)) {
    case 0x80040801u:
        throw EOleError(QStringLiteral("Lexicon error - Invalid Text Character"), code);
    case 0x80040802u:
        throw EOleError(QStringLiteral("Lexicon error - Invalid Sense"), code);
    case 0x80040803u:
        throw EOleError(QStringLiteral("Lexicon error - Lexicon not found in dictionary"), code);
    case 0x80040804u:
        throw EOleError(QStringLiteral("Lexicon error - Out of Disk Space"), code);
    case 0x80040805u:
        throw EOleError(QStringLiteral("Lexicon error - Invalid Pronouncation error"), code);
    case 0x00040806u:
        throw EOleError(QStringLiteral("Lexicon error - Lexicon already in dictionary"), code);
    case 0x80040807u:
        throw EOleError(QStringLiteral("Lexicon error - Pronounce buffer to small"), code);
    case 0x80040808u:
        throw EOleError(QStringLiteral("Lexicon error - Engine info buffer to small"), code);
    case 0x80004001u:
    case 0x80040208u:
        throw EOleError(QString::fromLatin1(kNotImplemented).arg(Operation, RecordModeName()), code);
    default:
        return;
    }
}

void TTTS::Speak(const QString &Text)
{
    RequireActive("Speak");
    // The block holds the UTF-16 text and its terminating null.
    SDATA block;
    block.pData = const_cast<char16_t *>(u16(Text));
    block.dwSize = uint32_t((Text.size() + 1) * 2);
    const HRESULT r = m_central->TextData(m_characterSet, m_controlTags == ctTagged ? TTSDATAFLAG_TAGGED : 0, block,
                                          m_bufNotifySink, IID_ITTSBufNotifySink);
    if (IsLoading())
        return;
    try {
        SpeechCheck(r);
    } catch (const ESpeechError &E) {
        TranslateError(E, QStringLiteral("Speak method failed.  ") + CharSetName(m_characterSet));
        throw;
    }
}

void TTTS::SetCharacterSet(TChrSet Value)
{
    const TChrSet old = m_characterSet;
    m_characterSet = Value;
    if (!m_active || !m_central)
        return;
    // An empty probe text tells whether the engine takes this set.
    static const char16_t probe[1] = {0};
    SDATA block;
    block.pData = const_cast<char16_t *>(probe);
    block.dwSize = 1;
    const HRESULT r = m_central->TextData(Value, 0, block, nullptr, IID_ITTSBufNotifySink);
    if (IsLoading())
        return;
    try {
        SpeechCheck(r);
    } catch (const ESpeechError &E) {
        m_characterSet = old;
        TranslateError(E, CharSetName(Value));
        throw;
    }
}

void TTTS::SetControlTags(TCtrlTags Value)
{
    if (Value == ctTagged && !(m_modeInfo->dwFeatures & TTSFEATURE_TAGGED)) {
        m_controlTags = ctNone;
        throw EOleError(QString::fromLatin1(kNotImplemented).arg(QStringLiteral("Control Tagging"), RecordModeName()));
    }
    m_controlTags = Value;
}

// ---- Attributes and control ------------------------------------------------

int32_t TTTS::Pitch()
{
    if (!m_attributes)
        return -1;
    uint16_t value = 0;
    const HRESULT r = m_attributes->PitchGet(&value);
    if (r == E_NOTIMPL)
        return -1;  // the engine cannot tell
    SpeechCheck(r);
    return value;
}

uint32_t TTTS::Speed()
{
    if (!m_attributes)
        return 0;
    uint32_t value = 0;
    const HRESULT r = m_attributes->SpeedGet(&value);
    if (r != E_NOTIMPL)
        SpeechCheck(r);
    return value;
}

void TTTS::SetPitch(uint16_t Value)
{
    if (!m_attributes)
        throw EOleError(QString::fromLatin1(kMustBeTrue).arg(QStringLiteral("Pitch")));
    const HRESULT r = m_attributes->PitchSet(Value);
    if (r == E_NOTIMPL || IsLoading())
        return;
    try {
        SpeechCheck(r);
    } catch (const ESpeechError &E) {
        TranslateError(E, QStringLiteral("Pitch attribute"));
        throw;
    }
}

void TTTS::SetSpeed(uint32_t Value)
{
    if (!m_attributes)
        throw EOleError(QString::fromLatin1(kMustBeTrue).arg(QStringLiteral("Speed")));
    const HRESULT r = m_attributes->SpeedSet(Value);
    if (r == E_NOTIMPL || IsLoading())
        return;
    try {
        SpeechCheck(r);
    } catch (const ESpeechError &E) {
        TranslateError(E, QStringLiteral("Speed attribute"));
        throw;
    }
}

// The range probes write the extreme, read what the engine clamped it to and
// put the previous value back. When the current value cannot be read it could
// not be restored either, so the default is given without probing.
uint16_t TTTS::MinPitch()
{
    if (!m_attributes)
        return 0;
    uint16_t current = 0, limit = 0;
    if (m_attributes->PitchGet(&current) != S_OK)
        return 0;
    m_attributes->PitchSet(0);
    if (m_attributes->PitchGet(&limit) != S_OK)
        limit = 0;
    m_attributes->PitchSet(current);
    return limit;
}

uint16_t TTTS::MaxPitch()
{
    if (!m_attributes)
        return 100;
    uint16_t current = 0, limit = 100;
    if (m_attributes->PitchGet(&current) != S_OK)
        return 100;
    m_attributes->PitchSet(0xFFFF);
    if (m_attributes->PitchGet(&limit) != S_OK)
        limit = 100;
    m_attributes->PitchSet(current);
    return limit;
}

uint32_t TTTS::MinSpeed()
{
    if (!m_attributes)
        return 0;
    uint32_t current = 0, limit = 0;
    if (m_attributes->SpeedGet(&current) != S_OK)
        return 0;
    m_attributes->SpeedSet(0);
    if (m_attributes->SpeedGet(&limit) != S_OK)
        limit = 0;
    m_attributes->SpeedSet(current);
    return limit;
}

uint32_t TTTS::MaxSpeed()
{
    if (!m_attributes)
        return 100;
    uint32_t current = 0, limit = 100;
    if (m_attributes->SpeedGet(&current) != S_OK)
        return 100;
    m_attributes->SpeedSet(0xFFFFFFFFu);
    if (m_attributes->SpeedGet(&limit) != S_OK)
        limit = 100;
    m_attributes->SpeedSet(current);
    return limit;
}

void TTTS::SetAudioPaused(bool Value)
{
    if (Value == m_paused)
        return;
    RequireActive("AudioPaused");
    SpeechCheck(Value ? m_central->AudioPause() : m_central->AudioResume());
    m_paused = Value;
}

void TTTS::AudioReset()
{
    RequireActive("AudioReset");
    m_paused = false;
    SpeechCheck(m_central->AudioReset());
}

void TTTS::Inject(const QString &Tag)
{
    RequireActive("Inject");
    const HRESULT r = m_central->Inject(u16(Tag));
    if (IsLoading())
        return;
    try {
        SpeechCheck(r);
    } catch (const ESpeechError &E) {
        TranslateError(E, QStringLiteral("The Inject function"));
        throw;
    }
}

void TTTS::ShowLexiconDlg(HWND Window, const QString &Title)
{
    ShowDlg(QStringLiteral("Lexicon"), Window, Title);
}

void TTTS::ShowDlg(const QString &Name, HWND Window, const QString &Title)
{
    const QByteArray operation = ("Show" + Name + "Dlg").toLatin1();
    RequireActive(operation.constData());
    const char16_t *title = Title.isEmpty() ? nullptr : u16(Title);
    HRESULT r = S_OK;
    if (m_dialogs && !Name.isEmpty()) {
        switch (Name.at(0).unicode()) {
        case 'A':
            r = m_dialogs->AboutDlg(Window, title);
            break;
        case 'G':
            r = m_dialogs->GeneralDlg(Window, title);
            break;
        case 'L':
            r = m_dialogs->LexiconDlg(Window, title);
            break;
        case 'T':
            r = m_dialogs->TranslateDlg(Window, title);
            break;
        default:
            break;
        }
    }
    if (IsLoading())
        return;
    try {
        SpeechCheck(r);
    } catch (const ESpeechError &E) {
        TranslateError(E, "The Show" + Name + "Dlg function");
        throw;
    }
}

void TTTS::FreePhonemes()
{
    if (m_phonemes.pData)
        CoTaskMemFree(m_phonemes.pData);
    m_phonemes = SDATA{};
}

void TTTS::ConvertToPhoneme(TChrSet CharSet, bool Tagged, const QString &Text)
{
    RequireActive("ConvertToPhoneme");
    FreePhonemes();
    SDATA block;
    block.pData = const_cast<char16_t *>(u16(Text));
    block.dwSize = uint32_t((Text.size() + 1) * 2);
    const HRESULT r = m_central->Phoneme(CharSet, Tagged ? TTSDATAFLAG_TAGGED : 0, block, &m_phonemes);
    if (IsLoading())
        return;
    try {
        SpeechCheck(r);
    } catch (const ESpeechError &E) {
        TranslateError(E, QStringLiteral("ConvertToPhoneme method failed.  ") + CharSetName(CharSet));
        throw;
    }
}
