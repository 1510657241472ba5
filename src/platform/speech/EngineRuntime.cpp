// The synthesis thread, the mode-record helpers, and the attributes, dialogs
// and central objects handed out for a selected mode (over CentralCore).
#include "EngineRuntime.h"

#include "MessageService.h"

#include "CentralCore.h"
#include "ControlTags.h"

#include <QDateTime>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <vector>

namespace sapi {

// ---- synthesis thread ----

SynthesisThread::SynthesisThread(const char *name)
    : m_queue(std::make_shared<Queue>()), m_thread([queue = m_queue] { run(queue); })
{
    pthread_setname_np(m_thread.native_handle(), name);
}

SynthesisThread::~SynthesisThread()
{
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->stop = true;
    }
    m_queue->wake.notify_all();
    if (!m_thread.joinable())
        return;
    // A task held the last reference (a speech job still unwinding while the
    // process ends): the thread cannot wait for itself, and ends by itself.
    if (onThread())
        m_thread.detach();
    else
        m_thread.join();
}

void SynthesisThread::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->tasks.push_back(std::move(task));
    }
    m_queue->wake.notify_one();
}

void SynthesisThread::run(const std::shared_ptr<Queue> &queue)
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(queue->mutex);
            queue->wake.wait(lock, [&] { return queue->stop || !queue->tasks.empty(); });
            if (queue->tasks.empty())
                return;
            task = std::move(queue->tasks.front());
            queue->tasks.pop_front();
        }
        task();
    }
}

// ---- mouth shapes ----

TTSMOUTH mouthForPhoneme(const QString &symbol)
{
    TTSMOUTH m;
    const QChar c = symbol.isEmpty() ? QChar(u'_') : symbol.at(0).toLower();
    // clang-format off
    switch (c.unicode()) {
    case u'a': case u'A': case u'@': case u'V': case u'3':
        m = {200, 160, 128, 200, 160, 40, 60, 60};
        break;
    case u'e': case u'E': case u'i': case u'I':
        m = {110, 220, 150, 100, 200, 80, 120, 140};
        break;
    case u'o': case u'O': case u'u': case u'U': case u'w':
        m = {160, 70, 110, 130, 60, 20, 80, 180};
        break;
    case u'p': case u'b': case u'm':
        m = {0, 120, 128, 20, 0, 0, 60, 220};
        break;
    case u'f': case u'v':
        m = {40, 140, 120, 40, 220, 0, 60, 160};
        break;
    case u't': case u'd': case u'n': case u'l': case u's': case u'z': case u'T': case u'D':
        m = {60, 150, 128, 60, 200, 120, 220, 100};
        break;
    case u'_': case u' ':
        m = {0, 128, 128, 0, 0, 0, 60, 40};
        break;
    default:
        m = {90, 140, 128, 90, 140, 90, 120, 100};
        break;
    }
    // clang-format on
    return m;
}

GUID nameBasedGuid(const QString &name)
{
    static const QUuid space = QUuid::fromString(QStringLiteral("{6f0d7a52-3c1e-4e7b-9a57-5d1c2b7e9f10}"));
    const QUuid u = QUuid::createUuidV5(space, name);
    GUID g;
    g.Data1 = u.data1;
    g.Data2 = u.data2;
    g.Data3 = u.data3;
    std::copy(std::begin(u.data4), std::end(u.data4), g.Data4);
    return g;
}

void setField(char16_t (&field)[TTSI_NAMELEN], const QString &text)
{
    copyName(field, reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
}

namespace {

// ---- the objects handed out ----

class Attributes : public ITTSAttributesW
{
public:
    explicit Attributes(std::shared_ptr<CentralCore> core) : m_core(std::move(core)) {}

    HRESULT PitchGet(uint16_t *pwPitch) override
    {
        if (!pwPitch)
            return E_POINTER;
        std::lock_guard lock(m_core->mutex);
        *pwPitch = m_core->voice.pitch;
        return S_OK;
    }
    HRESULT PitchSet(uint16_t wPitch) override
    {
        return change([&] { m_core->setPitchLocked(wPitch); });
    }
    HRESULT SpeedGet(uint32_t *pdwSpeed) override
    {
        if (!pdwSpeed)
            return E_POINTER;
        std::lock_guard lock(m_core->mutex);
        *pdwSpeed = m_core->voice.speed;
        return S_OK;
    }
    HRESULT SpeedSet(uint32_t dwSpeed) override
    {
        return change([&] { m_core->setSpeedLocked(dwSpeed); });
    }
    HRESULT VolumeGet(uint32_t *pdwVolume) override
    {
        if (!pdwVolume)
            return E_POINTER;
        std::lock_guard lock(m_core->mutex);
        *pdwVolume = m_core->voice.volume;
        return S_OK;
    }
    HRESULT VolumeSet(uint32_t dwVolume) override
    {
        return change([&] { m_core->setVolumeLocked(dwVolume); });
    }
    HRESULT RealTimeGet(uint32_t *pdwRealTime) override
    {
        if (!pdwRealTime)
            return E_POINTER;
        std::lock_guard lock(m_core->mutex);
        *pdwRealTime = m_core->realTime;
        return S_OK;
    }
    HRESULT RealTimeSet(uint32_t dwRealTime) override
    {
        return change([&] {
            if (m_core->realTime != dwRealTime) {
                m_core->realTime = dwRealTime;
                m_core->attribChangedLocked(TTSNSAC_REALTIME);
            }
        });
    }

private:
    template <class F>
    HRESULT change(F &&f)
    {
        {
            std::lock_guard lock(m_core->mutex);
            f();
        }
        m_core->wake();
        return S_OK;
    }

    std::shared_ptr<CentralCore> m_core;
};

class Dialogs : public ITTSDialogsW
{
public:
    Dialogs(std::shared_ptr<CentralCore> core) : m_core(std::move(core)) {}

    HRESULT AboutDlg(HWND hWndParent, const char16_t *pszTitle) override
    {
        const QString title = pszTitle ? QString::fromUtf16(pszTitle) : QStringLiteral("About");
        MessageService::interaction().about(hWndParent, title, m_core->backend->aboutText(m_core->mode.gModeID));
        return S_OK;
    }
    HRESULT LexiconDlg(HWND hWndParent, const char16_t *pszTitle) override
    {
        const QString title = pszTitle ? QString::fromUtf16(pszTitle) : QString();
        std::weak_ptr<CentralCore> weak = m_core;
        return m_core->backend->lexiconDialog(hWndParent, title, [weak](const QString &text, bool phonemes) {
            if (auto core = weak.lock()) {
                TextJob job;
                job.text = text;
                job.charset = phonemes ? CHARSET_ENGINEPHONETIC : CHARSET_TEXT;
                core->queueText(std::move(job));
            }
        });
    }
    HRESULT GeneralDlg(HWND, const char16_t *) override { return TTSERR_NOTSUPPORTED; }
    HRESULT TranslateDlg(HWND, const char16_t *) override { return TTSERR_NOTSUPPORTED; }

private:
    std::shared_ptr<CentralCore> m_core;
};

class Central : public ITTSCentralW
{
public:
    explicit Central(std::shared_ptr<CentralCore> core)
        : m_core(std::move(core)), m_attributes(std::make_shared<Attributes>(m_core)),
          m_dialogs(std::make_shared<Dialogs>(m_core))
    {
    }

    ~Central() override
    {
        NotificationPump *pump;
        {
            std::lock_guard lock(m_core->pumpMutex);
            pump = m_core->pump;
        }
        m_core->close();
        if (pump)
            pump->deleteLater();
    }

    HRESULT QueryInterface(const GUID &iid, UnknownPtr &out) override
    {
        if (iid == IID_ITTSAttributesW) {
            out = m_attributes;
            return S_OK;
        }
        if (iid == IID_ITTSDialogsW) {
            out = m_dialogs;
            return S_OK;
        }
        return IUnknown::QueryInterface(iid, out);
    }

    HRESULT Inject(const char16_t *pszTag) override
    {
        if (!pszTag)
            return E_POINTER;
        const QString text = QString::fromUtf16(pszTag);
        TextWalker walker(text, true);
        std::vector<TextPiece> tags;
        for (TextPiece p = walker.next(); p.kind != TextPiece::End; p = walker.next()) {
            if (p.kind != TextPiece::Text)
                tags.push_back(std::move(p));
        }
        if (tags.empty())
            return E_INVALIDARG;
        {
            std::lock_guard lock(m_core->mutex);
            for (TextPiece &p : tags) {
                if (m_core->running)
                    m_core->injected.push_back(std::move(p));  // the next piece of speech takes it
                else
                    m_core->applyVoiceTagLocked(p);  // marks and pauses need speech to stand in
            }
        }
        m_core->wake();
        return S_OK;
    }

    HRESULT ModeGet(TTSMODEINFOW *pttsInfo) override
    {
        if (!pttsInfo)
            return E_POINTER;
        *pttsInfo = m_core->mode;
        return S_OK;
    }

    HRESULT Phoneme(uint32_t eCharacterSet, uint32_t dwFlags, SDATA dText, SDATA *pdOut) override
    {
        if (!pdOut)
            return E_POINTER;
        *pdOut = SDATA();
        QString text;
        if (HRESULT r = readText(dText, text); r != S_OK)
            return r;
        if (eCharacterSet > CHARSET_ENGINEPHONETIC)
            return E_INVALIDARG;
        if (dwFlags & TTSDATAFLAG_TAGGED) {
            // Tags say nothing about pronunciation: keep only the text.
            QString plain;
            TextWalker walker(text, true);
            for (TextPiece p = walker.next(); p.kind != TextPiece::End; p = walker.next())
                if (p.kind == TextPiece::Text)
                    plain += p.text;
            text = plain;
        }
        // The engine thread may be busy speaking (or held by a pause); do not
        // wait for it forever.
        struct Result {
            std::mutex mutex;
            std::condition_variable done;
            bool finished = false;
            HRESULT code = E_FAIL;
            QString phonemes;
        };
        auto result = std::make_shared<Result>();
        auto core = m_core;
        m_core->thread->post([core, result, eCharacterSet, text] {
            QString out;
            HRESULT r = core->backend->phonemes(core->mode.gModeID, eCharacterSet, text, out);
            std::lock_guard lock(result->mutex);
            result->code = r;
            result->phonemes = out;
            result->finished = true;
            result->done.notify_all();
        });
        std::unique_lock lock(result->mutex);
        if (!result->done.wait_for(lock, std::chrono::seconds(5), [&] { return result->finished; }))
            return TTSERR_QUEUEFULL;
        if (result->code != S_OK)
            return result->code;
        const size_t bytes = size_t(result->phonemes.size() + 1) * 2;
        void *p = CoTaskMemAlloc(bytes);
        if (!p)
            return E_OUTOFMEMORY;
        std::memcpy(p, result->phonemes.utf16(), bytes);
        pdOut->pData = p;
        pdOut->dwSize = static_cast<uint32_t>(bytes);
        return S_OK;
    }

    HRESULT PosnGet(QWORD *pqTimeStamp) override
    {
        if (!pqTimeStamp)
            return E_POINTER;
        *pqTimeStamp = QWORD(std::max<int64_t>(0, m_core->dest->heardUs())) * 10;
        return S_OK;
    }

    HRESULT TextData(uint32_t eCharacterSet, uint32_t dwFlags, SDATA dText, const UnknownPtr &pNotifyInterface,
                     const GUID &iidNotifyInterface) override
    {
        if (eCharacterSet > CHARSET_ENGINEPHONETIC)
            return E_INVALIDARG;
        if (!m_core->backend->acceptsCharset(eCharacterSet))
            return TTSERR_NOTSUPPORTED;
        TextJob job;
        if (HRESULT r = readText(dText, job.text); r != S_OK)
            return r;
        if (pNotifyInterface) {
            if (!(iidNotifyInterface == IID_ITTSBufNotifySink))
                return E_NOINTERFACE;
            job.sink = queryAs<ITTSBufNotifySink>(pNotifyInterface, iidNotifyInterface);
            if (!job.sink)
                return E_NOINTERFACE;
        }
        // A block without even its terminating null and no one to tell: the
        // caller only asks whether the character set is accepted.
        if (dText.dwSize < 2 && !job.sink) {
            std::lock_guard lock(m_core->mutex);
            return m_core->failure;
        }
        job.tagged = dwFlags & TTSDATAFLAG_TAGGED;
        job.charset = eCharacterSet;
        return m_core->queueText(std::move(job));
    }

    HRESULT ToFileTime(QWORD qTimeStamp, int64_t *pFT) override
    {
        if (!pFT)
            return E_POINTER;
        *pFT = m_core->selectedFileTime + int64_t(qTimeStamp);
        return S_OK;
    }

    HRESULT AudioPause() override
    {
        {
            std::lock_guard lock(m_core->mutex);
            if (m_core->paused)
                return S_OK;
            m_core->paused = true;
        }
        m_core->dest->pause();
        return S_OK;
    }

    HRESULT AudioResume() override
    {
        {
            std::lock_guard lock(m_core->mutex);
            if (!m_core->paused)
                return S_OK;
            m_core->paused = false;
        }
        m_core->dest->resume();
        m_core->wake();
        return S_OK;
    }

    HRESULT AudioReset() override
    {
        bool wasActive;
        {
            std::lock_guard lock(m_core->mutex);
            // Audio written but not yet heard counts: its AudioStop is still to come.
            wasActive = m_core->audioOpen || m_core->running || !m_core->queue.empty() || !m_core->events.empty();
            const uint64_t gen = ++m_core->generation;
            m_core->queue.clear();
            m_core->events.clear();
            m_core->immediate.clear();
            m_core->injected.clear();
            m_core->audioOpen = false;
            m_core->paused = false;
            if (wasActive) {
                PendingEvent stop;
                stop.kind = PendingEvent::AudioStop;
                stop.timeUs = -1;
                stop.generation = gen;
                m_core->immediate.push_back(stop);
            }
        }
        // Resumed first: the stream that a reset starts afresh then starts playing.
        m_core->dest->resume();
        m_core->dest->reset();
        m_core->wake();
        return S_OK;
    }

    HRESULT Register(const UnknownPtr &pNotifyInterface, const GUID &iidNotifyInterface, uint32_t *pdwKey) override
    {
        if (!pdwKey)
            return E_POINTER;
        *pdwKey = 0;
        if (!pNotifyInterface)
            return E_INVALIDARG;
        if (!(iidNotifyInterface == IID_ITTSNotifySinkW))
            return E_NOINTERFACE;
        auto sink = queryAs<ITTSNotifySinkW>(pNotifyInterface, iidNotifyInterface);
        if (!sink)
            return E_NOINTERFACE;
        std::lock_guard lock(m_core->mutex);
        const uint32_t key = m_core->nextKey++;
        m_core->sinks[key] = sink;
        *pdwKey = key;
        return S_OK;
    }

    HRESULT UnRegister(uint32_t dwKey) override
    {
        std::lock_guard lock(m_core->mutex);
        return m_core->sinks.erase(dwKey) ? S_OK : TTSERR_INVALIDKEY;
    }

private:
    static HRESULT readText(const SDATA &d, QString &text)
    {
        if (d.dwSize > 0 && !d.pData)
            return E_POINTER;
        const qsizetype units = qsizetype(d.dwSize / 2);
        if (units > (qsizetype(1) << 29))
            return E_OUTOFMEMORY;
        text = QString(units, Qt::Uninitialized);
        if (units)
            std::memcpy(text.data(), d.pData, size_t(units) * 2);
        const qsizetype end = text.indexOf(QChar(u'\0'));
        if (end >= 0)
            text.truncate(end);
        return S_OK;
    }

    std::shared_ptr<CentralCore> m_core;
    std::shared_ptr<Attributes> m_attributes;
    std::shared_ptr<Dialogs> m_dialogs;
};

}  // namespace

HRESULT selectCentral(const TTSMODEINFOW &mode, std::shared_ptr<SynthesisBackend> backend,
                      std::shared_ptr<SynthesisThread> thread, const UnknownPtr &audioDest,
                      std::shared_ptr<ITTSCentralW> &central)
{
    central.reset();
    auto dest = std::dynamic_pointer_cast<AudioDestination>(audioDest);
    if (!dest)
        return audioDest ? E_NOINTERFACE : E_INVALIDARG;
    if (HRESULT r = backend->prepare(mode.gModeID); r != S_OK)
        return r;
    auto core = std::make_shared<CentralCore>();
    core->mode = mode;
    core->backend = std::move(backend);
    core->thread = std::move(thread);
    core->dest = dest;
    core->format = core->backend->format(mode.gModeID);
    core->ranges = core->backend->ranges(mode.gModeID);
    core->voice.pitch = core->ranges.defaultPitch;
    core->voice.speed = core->ranges.defaultSpeed;
    // 100 ns steps since 1601, as file times count.
    core->selectedFileTime = (QDateTime::currentMSecsSinceEpoch() + 11644473600000ll) * 10000;
    if (HRESULT r = dest->open(core->format); r != S_OK)
        return r;
    core->pump = new NotificationPump(core);
    central = std::make_shared<Central>(core);
    return S_OK;
}

}  // namespace sapi
