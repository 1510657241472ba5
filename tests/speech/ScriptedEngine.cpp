#include "ScriptedEngine.h"

#include <QTimer>

#include <algorithm>
#include <cstring>

using namespace sapi;

namespace scripted {

GUID ScriptedEngine::modeGuid(uint32_t number)
{
    return GUID{number, 0x5C71, 0x7E57, {0xAB}};
}

TTSMODEINFOW ScriptedEngine::makeMode(const QString &name, uint32_t number, bool attributes)
{
    TTSMODEINFOW m;
    m.gEngineID = modeGuid(0xE0000000u);
    m.gModeID = modeGuid(number);
    const std::u16string mfg = u"Scripted Speech", n = name.toStdU16String();
    copyName(m.szMfgName, mfg.data(), mfg.size());
    copyName(m.szProductName, mfg.data(), mfg.size());
    copyName(m.szModeName, n.data(), n.size());
    copyName(m.szSpeaker, n.data(), n.size());
    m.language.LanguageID = 0x0409;
    m.dwInterfaces = attributes ? TTSI_ITTSATTRIBUTES : 0;
    return m;
}

TTSMODEINFOW &ScriptedEngine::addMode(TTSMODEINFOW mode)
{
    const uint32_t number = m_nextNumber++;
    if (mode.gModeID.isNull())
        mode.gModeID = modeGuid(number);
    return m_modes.emplace_back(mode);
}

std::optional<ModeRanges> ScriptedEngine::ranges(const GUID &modeId)
{
    if (std::none_of(m_modes.begin(), m_modes.end(), [&](const TTSMODEINFOW &m) { return m.gModeID == modeId; }))
        return std::nullopt;
    return ModeRanges{script.minPitch, script.maxPitch, script.pitch, script.minSpeed, script.maxSpeed, script.speed};
}

HRESULT ScriptedEngine::select(const GUID &modeId, const UnknownPtr &audioDest, std::shared_ptr<ITTSCentralW> &out)
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
    if (const HRESULT r = audio ? audio->open({22050, 1}) : S_OK; r != S_OK)
        return r;
    out = central = std::make_shared<ScriptedCentral>(*this, *it, audio);
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

HRESULT ScriptedCentral::Phoneme(uint32_t, uint32_t, SDATA text, SDATA *out)
{
    // "Phonemes": the text in upper case, so a test can tell it was converted.
    const QString phonemes = QString::fromUtf16(static_cast<const char16_t *>(text.pData)).toUpper();
    out->dwSize = uint32_t((phonemes.size() + 1) * 2);
    out->pData = CoTaskMemAlloc(out->dwSize);
    std::memcpy(out->pData, phonemes.utf16(), out->dwSize);
    return S_OK;
}

HRESULT ScriptedCentral::TextData(uint32_t charSet, uint32_t flags, SDATA text, const UnknownPtr &sink, const GUID &)
{
    m_engine.log.texts.push_back({flags, QByteArray(static_cast<const char *>(text.pData), text.dwSize)});
    const auto &refused = m_engine.script.refusedCharSets;
    if (std::find(refused.begin(), refused.end(), charSet) != refused.end())
        return TTSERR_NOTSUPPORTED;
    if (m_engine.script.textDataResult != S_OK)
        return m_engine.script.textDataResult;
    auto bufferSink = queryAs<ITTSBufNotifySink>(sink, IID_ITTSBufNotifySink);
    if (bufferSink && text.dwSize >= 2) {
        bufferSinks.push_back(bufferSink);
        speak(std::u16string(static_cast<const char16_t *>(text.pData), text.dwSize / 2 - 1), bufferSink);
    }
    return S_OK;
}

void ScriptedCentral::speak(const std::u16string &text, const std::shared_ptr<ITTSBufNotifySink> &sink)
{
    // The engine holds the sink until it has reported on the text, as a
    // real engine holds its reference.
    std::weak_ptr<ScriptedCentral> self = std::dynamic_pointer_cast<ScriptedCentral>(shared_from_this());
    m_pending.push_back([self, text, sink] {
        auto c = self.lock();
        if (!c)
            return;
        c->notifyAll([&](ITTSNotifySinkW &s) { s.AudioStart(c->m_clock); });
        sink->TextDataStarted(c->m_clock);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u' ' || (i > 0 && text[i - 1] != u' '))
                continue;
            sink->WordPosition(c->m_clock += 100, uint32_t(i * 2));
            if (c->m_audio) {  // a tenth of a second of 16-bit mono silence at 22050 Hz per word
                const QByteArray silence(2205 * 2, '\0');
                c->m_audio->write(silence.constData(), size_t(silence.size()));
            }
        }
        sink->TextDataDone(c->m_clock, 0);
        c->notifyAll([&](ITTSNotifySinkW &s) { s.AudioStop(c->m_clock); });
    });
    if (m_engine.script.autoSpeak)
        QTimer::singleShot(0, [self] {
            if (auto c = self.lock())
                c->playPending();
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
    const auto it = std::find_if(notifySinks.begin(), notifySinks.end(), [&](const auto &e) { return e.first == key; });
    if (it == notifySinks.end())
        return E_INVALIDARG;
    notifySinks.erase(it);
    return S_OK;
}

HRESULT ScriptedCentral::PitchSet(uint16_t pitch)
{
    m_engine.log.pitchWrites.push_back(pitch);
    Script &s = m_engine.script;
    if (s.pitchSetResult == S_OK)
        s.pitch = std::clamp(pitch, s.minPitch, s.maxPitch);
    return s.pitchSetResult;
}

HRESULT ScriptedCentral::SpeedSet(uint32_t speed)
{
    Script &s = m_engine.script;
    if (s.speedSetResult == S_OK)
        s.speed = std::clamp(speed, s.minSpeed, s.maxSpeed);
    return s.speedSetResult;
}

HRESULT ScriptedCentral::LexiconDlg(HWND, const char16_t *title)
{
    m_engine.log.lexiconDialogTitles.push_back(title ? std::optional(QString::fromUtf16(title)) : std::nullopt);
    return m_engine.script.dialogResult;
}

}  // namespace scripted
