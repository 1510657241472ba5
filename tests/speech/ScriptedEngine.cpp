#include "ScriptedEngine.h"

#include <QTimer>

#include <algorithm>
#include <cstring>

using namespace sapi;

namespace scripted {

namespace {

std::optional<QString> titleOf(const char16_t *title)
{
    if (!title)
        return std::nullopt;
    return QString::fromUtf16(title);
}

}  // namespace

GUID ScriptedEngine::modeGuid(uint32_t number)
{
    GUID g;
    g.Data1 = number;
    g.Data2 = 0x5C71;
    g.Data3 = 0x7E57;
    g.Data4[0] = 0xAB;
    return g;
}

TTSMODEINFOW ScriptedEngine::makeMode(const QString &name, uint32_t number, bool tagged, bool attributes,
                                      uint16_t language)
{
    TTSMODEINFOW m;
    m.gEngineID = modeGuid(0xE0000000u);
    m.gModeID = modeGuid(number);
    const std::u16string mfg = u"Scripted Speech";
    copyName(m.szMfgName, mfg.data(), mfg.size());
    copyName(m.szProductName, mfg.data(), mfg.size());
    copyName(m.szModeName, reinterpret_cast<const char16_t *>(name.utf16()), size_t(name.size()));
    copyName(m.szSpeaker, reinterpret_cast<const char16_t *>(name.utf16()), size_t(name.size()));
    m.language.LanguageID = language;
    m.dwFeatures = tagged ? TTSFEATURE_TAGGED : 0;
    m.dwInterfaces = attributes ? TTSI_ITTSATTRIBUTES : 0;
    return m;
}

TTSMODEINFOW &ScriptedEngine::addMode(const QString &name, bool tagged, bool attributes)
{
    m_modes.push_back(makeMode(name, m_nextNumber++, tagged, attributes));
    return m_modes.back();
}

TTSMODEINFOW &ScriptedEngine::addMode(TTSMODEINFOW mode)
{
    const uint32_t number = m_nextNumber++;
    if (mode.gModeID.isNull())
        mode.gModeID = modeGuid(number);
    m_modes.push_back(mode);
    return m_modes.back();
}

std::optional<GUID> ScriptedEngine::defaultMode()
{
    if (defaultModeId)
        return defaultModeId;
    if (m_modes.empty())
        return std::nullopt;
    return m_modes.front().gModeID;
}

HRESULT ScriptedEngine::select(const GUID &modeId, const UnknownPtr &audioDest,
                               std::shared_ptr<ITTSCentralW> &out)
{
    ++log.selects;
    log.selectedModes.push_back(modeId);
    log.destinations.push_back(audioDest);
    if (script.selectResult != S_OK)
        return script.selectResult;
    const auto it = std::find_if(m_modes.begin(), m_modes.end(),
                                 [&](const TTSMODEINFOW &m) { return m.gModeID == modeId; });
    if (it == m_modes.end())
        return TTSERR_INVALIDMODE;
    auto audio = std::dynamic_pointer_cast<AudioDestination>(audioDest);
    if (audio) {
        audio::PcmFormat format;
        format.sampleRate = 22050;
        format.channels = 1;
        if (const HRESULT r = audio->open(format); r != S_OK)
            return r;
    }
    central = std::make_shared<ScriptedCentral>(*this, *it, audio);
    out = central;
    return S_OK;
}

HRESULT ScriptedCentral::QueryInterface(const GUID &iid, UnknownPtr &out)
{
    out.reset();
    if (iid == IID_IUnknown || iid == IID_ITTSCentralW ||
        (iid == IID_ITTSAttributesW && m_engine.script.offersAttributes) ||
        (iid == IID_ITTSDialogsW && m_engine.script.offersDialogs)) {
        out = shared_from_this();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT ScriptedCentral::Inject(const char16_t *pszTag)
{
    m_engine.log.injected.push_back(QString::fromUtf16(pszTag));
    return m_engine.script.injectResult;
}

HRESULT ScriptedCentral::ModeGet(TTSMODEINFOW *info)
{
    *info = m_mode;
    return S_OK;
}

HRESULT ScriptedCentral::Phoneme(uint32_t charSet, uint32_t flags, SDATA text, SDATA *out)
{
    if (m_engine.script.phonemeResult != S_OK)
        return m_engine.script.phonemeResult;
    // "Phonemes": the text in upper case, so a test can tell it was converted.
    const QString phonemes = QString::fromUtf16(static_cast<const char16_t *>(text.pData)).toUpper();
    const uint32_t bytes = uint32_t((phonemes.size() + 1) * 2);
    out->pData = CoTaskMemAlloc(bytes);
    std::memcpy(out->pData, phonemes.utf16(), bytes);
    out->dwSize = bytes;
    return S_OK;
}

HRESULT ScriptedCentral::PosnGet(QWORD *stamp)
{
    *stamp = m_clock;
    return S_OK;
}

HRESULT ScriptedCentral::TextData(uint32_t charSet, uint32_t flags, SDATA text, const UnknownPtr &sink,
                                  const GUID &iid)
{
    CallLog::Text record;
    record.charSet = charSet;
    record.flags = flags;
    record.size = text.dwSize;
    record.bytes = QByteArray(static_cast<const char *>(text.pData), text.dwSize);
    record.withSink = sink != nullptr;
    m_engine.log.texts.push_back(record);

    const auto &refused = m_engine.script.refusedCharSets;
    if (std::find(refused.begin(), refused.end(), charSet) != refused.end())
        return m_engine.script.charSetRefusal;
    if (m_engine.script.textDataResult != S_OK)
        return m_engine.script.textDataResult;

    auto bufferSink = queryAs<ITTSBufNotifySink>(sink, IID_ITTSBufNotifySink);
    if (bufferSink && text.dwSize >= 2) {
        bufferSinks.push_back(bufferSink);
        std::u16string copy(static_cast<const char16_t *>(text.pData), text.dwSize / 2 - 1);
        speak(copy, bufferSink);
    }
    return S_OK;
}

void ScriptedCentral::speak(const std::u16string &text, const std::shared_ptr<ITTSBufNotifySink> &sink)
{
    // The engine holds the sink until it has reported on the text, as a
    // real engine holds its reference.
    std::weak_ptr<ScriptedCentral> self = std::dynamic_pointer_cast<ScriptedCentral>(shared_from_this());
    m_pending.push_back([self, text, sink] {
        auto central = self.lock();
        if (!central)
            return;
        central->notifyAll([&](ITTSNotifySinkW &s) { s.AudioStart(central->m_clock); });
        sink->TextDataStarted(central->m_clock);
        for (size_t i = 0; i < text.size(); ++i) {
            const bool startsWord = text[i] != u' ' && (i == 0 || text[i - 1] == u' ');
            if (!startsWord)
                continue;
            sink->WordPosition(central->m_clock += 100, uint32_t(i * 2));
            if (central->m_audio) {
                const QByteArray silence(int(central->m_engine.script.samplesPerWord) * 2, '\0');
                central->m_audio->write(silence.constData(), size_t(silence.size()));
            }
        }
        sink->TextDataDone(central->m_clock, 0);
        central->notifyAll([&](ITTSNotifySinkW &s) { s.AudioStop(central->m_clock); });
    });
    if (m_engine.script.autoSpeak)
        QTimer::singleShot(0, [self] {
            if (auto central = self.lock())
                central->playPending();
        });
}

void ScriptedCentral::playPending()
{
    while (!m_pending.empty()) {
        auto next = std::move(m_pending.front());
        m_pending.pop_front();
        next();
    }
}

void ScriptedCentral::notifyAll(const std::function<void(ITTSNotifySinkW &)> &call)
{
    const auto sinks = notifySinks;  // a sink may unregister while called
    for (const auto &entry : sinks)
        call(*entry.second);
}

HRESULT ScriptedCentral::ToFileTime(QWORD stamp, int64_t *fileTime)
{
    *fileTime = int64_t(stamp);
    return S_OK;
}

HRESULT ScriptedCentral::AudioPause()
{
    ++m_engine.log.pauses;
    return m_engine.script.pauseResult;
}

HRESULT ScriptedCentral::AudioResume()
{
    ++m_engine.log.resumes;
    return m_engine.script.resumeResult;
}

HRESULT ScriptedCentral::AudioReset()
{
    ++m_engine.log.resets;
    m_pending.clear();
    return m_engine.script.resetResult;
}

HRESULT ScriptedCentral::Register(const UnknownPtr &sink, const GUID &iid, uint32_t *key)
{
    ++m_engine.log.registrations;
    if (m_engine.script.registerResult != S_OK)
        return m_engine.script.registerResult;
    auto notifySink = queryAs<ITTSNotifySinkW>(sink, IID_ITTSNotifySinkW);
    if (!notifySink || !(iid == IID_ITTSNotifySinkW))
        return E_NOINTERFACE;
    *key = m_nextKey++;
    notifySinks.emplace_back(*key, notifySink);
    return S_OK;
}

HRESULT ScriptedCentral::UnRegister(uint32_t key)
{
    ++m_engine.log.unregistrations;
    const auto it = std::find_if(notifySinks.begin(), notifySinks.end(),
                                 [&](const auto &e) { return e.first == key; });
    if (it == notifySinks.end())
        return E_INVALIDARG;
    notifySinks.erase(it);
    return S_OK;
}

HRESULT ScriptedCentral::PitchGet(uint16_t *pitch)
{
    if (m_engine.script.pitchGetResult != S_OK)
        return m_engine.script.pitchGetResult;
    *pitch = m_engine.script.pitch;
    return S_OK;
}

HRESULT ScriptedCentral::PitchSet(uint16_t pitch)
{
    m_engine.log.pitchWrites.push_back(pitch);
    if (m_engine.script.pitchSetResult != S_OK)
        return m_engine.script.pitchSetResult;
    m_engine.script.pitch = std::clamp(pitch, m_engine.script.minPitch, m_engine.script.maxPitch);
    return S_OK;
}

HRESULT ScriptedCentral::RealTimeGet(uint32_t *value)
{
    *value = 100;
    return S_OK;
}

HRESULT ScriptedCentral::RealTimeSet(uint32_t)
{
    return E_NOTIMPL;
}

HRESULT ScriptedCentral::SpeedGet(uint32_t *speed)
{
    if (m_engine.script.speedGetResult != S_OK)
        return m_engine.script.speedGetResult;
    *speed = m_engine.script.speed;
    return S_OK;
}

HRESULT ScriptedCentral::SpeedSet(uint32_t speed)
{
    m_engine.log.speedWrites.push_back(speed);
    if (m_engine.script.speedSetResult != S_OK)
        return m_engine.script.speedSetResult;
    m_engine.script.speed = std::clamp(speed, m_engine.script.minSpeed, m_engine.script.maxSpeed);
    return S_OK;
}

HRESULT ScriptedCentral::VolumeGet(uint32_t *value)
{
    *value = 0xFFFF;
    return S_OK;
}

HRESULT ScriptedCentral::VolumeSet(uint32_t)
{
    return E_NOTIMPL;
}

HRESULT ScriptedCentral::dialog(char kind, const char16_t *title)
{
    m_engine.log.dialogKinds.push_back(kind);
    m_engine.log.dialogTitles.push_back(titleOf(title));
    return m_engine.script.dialogResult;
}

HRESULT ScriptedCentral::AboutDlg(HWND, const char16_t *title)
{
    return dialog('A', title);
}

HRESULT ScriptedCentral::LexiconDlg(HWND, const char16_t *title)
{
    return dialog('L', title);
}

HRESULT ScriptedCentral::GeneralDlg(HWND, const char16_t *title)
{
    return dialog('G', title);
}

HRESULT ScriptedCentral::TranslateDlg(HWND, const char16_t *title)
{
    return dialog('T', title);
}

}  // namespace scripted
