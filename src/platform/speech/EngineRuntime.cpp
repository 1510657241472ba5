#include "EngineRuntime.h"

#include "MessageService.h"

#include "ControlTags.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <vector>

namespace sapi {

// ---- synthesis thread ----

SynthesisThread::SynthesisThread(const char *name) : m_thread([this] { run(); })
{
    pthread_setname_np(m_thread.native_handle(), name);
}

SynthesisThread::~SynthesisThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SynthesisThread::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void SynthesisThread::run()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty(); });
            if (m_tasks.empty())
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

// ---- mouth shapes ----

TTSMOUTH mouthForPhoneme(const QString &symbol)
{
    TTSMOUTH m;
    const QChar c = symbol.isEmpty() ? QChar(u'_') : symbol.at(0).toLower();
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

constexpr int kPollMs = 4;
constexpr size_t kMaxPendingEvents = 20000;

struct PendingEvent {
    enum Kind { TextStarted, Word, Mark, TextDone, AudioStart, AudioStop, Visual, Attrib };
    Kind kind = Attrib;
    uint64_t generation = 0;
    int64_t timeUs = 0;
    uint32_t value = 0;
    std::shared_ptr<ITTSBufNotifySink> buffer;
    char16_t phoneme = 0;
    TTSMOUTH mouth;
};

struct TextJob {
    QString text;
    bool tagged = false;
    uint32_t charset = CHARSET_TEXT;
    std::shared_ptr<ITTSBufNotifySink> sink;
};

class CentralCore;

// Lives on the thread that selected the engine and delivers notifications
// there, each once the listener has reached its audio.
class NotificationPump : public QObject
{
public:
    explicit NotificationPump(std::weak_ptr<CentralCore> core) : m_core(std::move(core))
    {
        m_timer.setInterval(kPollMs);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { deliver(); });
    }
    void deliver();

private:
    std::weak_ptr<CentralCore> m_core;
    QTimer m_timer;
};

class CentralCore : public std::enable_shared_from_this<CentralCore>
{
public:
    TTSMODEINFOW mode;
    std::shared_ptr<SynthesisBackend> backend;
    std::shared_ptr<SynthesisThread> thread;
    std::shared_ptr<AudioDestination> dest;
    audio::PcmFormat format;
    ModeRanges ranges;
    int64_t selectedFileTime = 0;

    std::mutex mutex;
    VoiceState voice;
    uint32_t realTime = 0;
    std::deque<TextJob> queue;
    bool running = false;
    std::atomic<uint64_t> generation{0};
    bool paused = false;
    bool audioOpen = false;
    std::atomic<bool> closed{false};
    HRESULT failure = S_OK;
    std::deque<PendingEvent> events;     // in audio order
    std::deque<PendingEvent> immediate;  // not tied to audio
    std::deque<TextPiece> injected;
    std::map<uint32_t, std::shared_ptr<ITTSNotifySinkW>> sinks;
    uint32_t nextKey = 1;

    // Guarded by its own mutex, never held while calling the audio layer,
    // so the audio layer's threads may wake the pump.
    std::mutex pumpMutex;
    NotificationPump *pump = nullptr;
    bool wakePosted = false;
    std::atomic<int64_t> drainedUs{-1};

    void wake()
    {
        std::lock_guard lock(pumpMutex);
        if (!pump || wakePosted)
            return;
        wakePosted = true;
        NotificationPump *p = pump;
        QMetaObject::invokeMethod(p, [p] { p->deliver(); }, Qt::QueuedConnection);
    }

    void pushLocked(PendingEvent e, uint64_t gen)
    {
        e.generation = gen;
        events.push_back(std::move(e));
    }

    void attribChangedLocked(uint32_t attribute)
    {
        PendingEvent e;
        e.kind = PendingEvent::Attrib;
        e.value = attribute;
        e.generation = generation;
        immediate.push_back(e);
    }

    uint16_t clampPitch(uint32_t v) const
    {
        return static_cast<uint16_t>(std::clamp<uint32_t>(v, ranges.minPitch, ranges.maxPitch));
    }
    uint32_t clampSpeed(uint32_t v) const { return std::clamp<uint32_t>(v, ranges.minSpeed, ranges.maxSpeed); }

    void setPitchLocked(uint32_t v)
    {
        const uint16_t p = clampPitch(v);
        if (p != voice.pitch) {
            voice.pitch = p;
            attribChangedLocked(TTSNSAC_PITCH);
        }
    }
    void setSpeedLocked(uint32_t v)
    {
        const uint32_t s = clampSpeed(v);
        if (s != voice.speed) {
            voice.speed = s;
            attribChangedLocked(TTSNSAC_SPEED);
        }
    }
    void setVolumeLocked(uint32_t v)
    {
        if (v != voice.volume) {
            voice.volume = v;
            attribChangedLocked(TTSNSAC_VOLUME);
        }
    }
    void resetVoiceLocked()
    {
        setPitchLocked(ranges.defaultPitch);
        setSpeedLocked(ranges.defaultSpeed);
        setVolumeLocked(0xFFFFFFFF);
    }

    // A tag that changes the voice; the caller holds the lock.
    void applyVoiceTagLocked(const TextPiece &p)
    {
        switch (p.kind) {
        case TextPiece::Pitch:
            setPitchLocked(p.value);
            break;
        case TextPiece::Speed:
            setSpeedLocked(p.value);
            break;
        case TextPiece::Volume:
            // One number sets both channels alike.
            setVolumeLocked(p.value <= 0xFFFF ? (p.value | (p.value << 16)) : p.value);
            break;
        case TextPiece::Reset:
            resetVoiceLocked();
            break;
        default:
            break;
        }
    }

    HRESULT queueText(TextJob job)
    {
        std::lock_guard lock(mutex);
        if (closed)
            return E_FAIL;
        if (failure != S_OK)
            return failure;
        queue.push_back(std::move(job));
        if (!running) {
            running = true;
            thread->post([self = shared_from_this()] { self->runQueue(); });
        }
        return S_OK;
    }

    void runQueue();
    void speakJob(TextJob &job, uint64_t gen);
    bool writeSilence(uint32_t ms, uint64_t gen);
    void close();
};

class JobOutput : public ChunkOutput
{
public:
    JobOutput(CentralCore &core, uint64_t gen, const std::shared_ptr<ITTSBufNotifySink> &sink)
        : m_core(core), m_gen(gen), m_sink(sink) {}

    void beginChunk(qsizetype start, const VoiceState &voice)
    {
        m_start = start;
        m_lastWord = -1;
        m_voice = voice;
        m_baseUs = m_core.dest->writtenUs();
    }

    bool audio(const int16_t *samples, size_t count) override
    {
        if (cancelled())
            return false;
        if (count == 0)
            return true;
        waitForListener();
        const int16_t *data = samples;
        const uint32_t left = m_voice.volume & 0xFFFF, right = m_voice.volume >> 16;
        const uint32_t gain = (left + right) / 2;
        if (gain < 0xFFFF) {
            m_scratch.assign(samples, samples + count);
            for (int16_t &s : m_scratch)
                s = static_cast<int16_t>(int32_t(s) * int32_t(gain) / 0xFFFF);
            data = m_scratch.data();
        }
        const HRESULT r = m_core.dest->write(data, count * sizeof(int16_t));
        if (r == S_OK)
            return true;
        if (r != S_FALSE) {
            std::lock_guard lock(m_core.mutex);
            if (m_core.failure == S_OK)
                m_core.failure = r;
            m_core.queue.clear();
            m_failed = true;
        }
        return false;
    }

    void word(int64_t sample, qsizetype index) override
    {
        // The caret only moves forward, even when an engine repeats itself.
        if (index <= m_lastWord)
            return;
        m_lastWord = index;
        PendingEvent e;
        e.kind = PendingEvent::Word;
        e.timeUs = timeOf(sample);
        e.value = static_cast<uint32_t>((m_start + index) * 2);
        e.buffer = m_sink;
        push(std::move(e));
    }

    void phoneme(int64_t sample, const QString &symbol) override
    {
        PendingEvent e;
        e.kind = PendingEvent::Visual;
        e.timeUs = timeOf(sample);
        e.phoneme = symbol.isEmpty() ? u'_' : symbol.at(0).unicode();
        e.mouth = mouthForPhoneme(symbol);
        push(std::move(e));
    }

    bool cancelled() const override { return m_failed || m_core.generation != m_gen || m_core.closed; }
    void pauseAfter(uint32_t ms) override { m_pendingPauseMs = ms; }
    uint32_t takePendingPause()
    {
        return std::exchange(m_pendingPauseMs, 0);
    }

    // Into a file the engine runs far ahead of the thread that takes the
    // notifications; past a limit it waits, so they cannot pile up without end.
    void waitForListener() const
    {
        for (;;) {
            {
                std::lock_guard lock(m_core.mutex);
                if (m_core.events.size() < kMaxPendingEvents)
                    return;
            }
            if (cancelled())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    bool failed() const { return m_failed; }

private:
    int64_t timeOf(int64_t sample) const
    {
        return m_baseUs + sample * 1000000 / std::max(1, m_core.format.sampleRate);
    }
    void push(PendingEvent e)
    {
        {
            std::lock_guard lock(m_core.mutex);
            if (m_core.generation != m_gen)
                return;
            m_core.pushLocked(std::move(e), m_gen);
        }
        // The pump may have gone idle while this chunk was being made.
        m_core.wake();
    }

    CentralCore &m_core;
    uint64_t m_gen;
    std::shared_ptr<ITTSBufNotifySink> m_sink;
    qsizetype m_start = 0;
    qsizetype m_lastWord = -1;
    uint32_t m_pendingPauseMs = 0;
    VoiceState m_voice;
    int64_t m_baseUs = 0;
    bool m_failed = false;
    std::vector<int16_t> m_scratch;
};

void CentralCore::runQueue()
{
    for (;;) {
        TextJob job;
        uint64_t gen;
        {
            std::lock_guard lock(mutex);
            if (queue.empty() || closed) {
                running = false;
                if (!audioOpen || closed)
                    return;
                // Everything is written: audio stops once it has been heard.
                audioOpen = false;
                gen = generation;
                PendingEvent stop;
                stop.kind = PendingEvent::AudioStop;
                stop.timeUs = dest->writtenUs();
                pushLocked(stop, gen);
                const int64_t endUs = stop.timeUs;
                std::weak_ptr<CentralCore> weak = weak_from_this();
                dest->drain([weak, gen, endUs] {
                    if (auto self = weak.lock()) {
                        if (self->generation == gen) {
                            int64_t seen = self->drainedUs;
                            while (seen < endUs && !self->drainedUs.compare_exchange_weak(seen, endUs)) {
                            }
                            self->wake();
                        }
                    }
                });
                break;
            }
            job = std::move(queue.front());
            queue.pop_front();
            gen = generation;
        }
        speakJob(job, gen);
    }
    wake();
}

bool CentralCore::writeSilence(uint32_t ms, uint64_t gen)
{
    JobOutput out(*this, gen, nullptr);
    out.beginChunk(0, VoiceState());
    const int64_t total = int64_t(std::min<uint32_t>(ms, 60000)) * format.sampleRate * format.channels / 1000;
    std::vector<int16_t> zeros(size_t(std::max(1, format.sampleRate / 50) * format.channels), 0);
    int64_t done = 0;
    while (done < total) {
        const size_t n = size_t(std::min<int64_t>(total - done, int64_t(zeros.size())));
        if (!out.audio(zeros.data(), n))
            return false;
        done += int64_t(n);
    }
    return true;
}

void CentralCore::speakJob(TextJob &job, uint64_t gen)
{
    {
        std::lock_guard lock(mutex);
        if (gen != generation || closed)
            return;
        const int64_t now = dest->writtenUs();
        if (!audioOpen && !events.empty() && events.back().kind == PendingEvent::AudioStop &&
            events.back().generation == gen) {
            // More text came before the audio ran out: the audio never stopped.
            events.pop_back();
            audioOpen = true;
        }
        if (!audioOpen) {
            PendingEvent start;
            start.kind = PendingEvent::AudioStart;
            start.timeUs = now;
            pushLocked(start, gen);
            audioOpen = true;
        }
        PendingEvent started;
        started.kind = PendingEvent::TextStarted;
        started.timeUs = now;
        started.buffer = job.sink;
        pushLocked(started, gen);
    }
    wake();

    JobOutput out(*this, gen, job.sink);
    TextWalker walker(job.text, job.tagged);
    bool failed = false;
    for (;;) {
        std::deque<TextPiece> tags;
        VoiceState voice;
        {
            std::lock_guard lock(mutex);
            if (gen != generation || closed)
                return;
            tags.swap(injected);
        }
        TextPiece piece = walker.next();
        if (piece.kind != TextPiece::End)
            tags.push_back(std::move(piece));
        else if (tags.empty())
            break;
        for (TextPiece &p : tags) {
            switch (p.kind) {
            case TextPiece::Pause:
                if (!writeSilence(p.value, gen))
                    failed = true;
                break;
            case TextPiece::Mark: {
                std::lock_guard lock(mutex);
                PendingEvent mark;
                mark.kind = PendingEvent::Mark;
                mark.timeUs = dest->writtenUs();
                mark.value = p.value;
                mark.buffer = job.sink;
                if (gen == generation)
                    pushLocked(mark, gen);
                break;
            }
            case TextPiece::Text: {
                // The pause between two sentences comes only when another follows.
                if (const uint32_t pause = out.takePendingPause(); pause && !writeSilence(pause, gen)) {
                    failed = true;
                    break;
                }
                {
                    std::lock_guard lock(mutex);
                    voice = this->voice;
                }
                out.beginChunk(p.start, voice);
                const HRESULT r = backend->speak(mode.gModeID, voice, job.charset, p.text, out);
                failed = out.failed();
                if (r != S_OK && !out.cancelled()) {
                    // The engine could not speak (its voice data went away):
                    // this text ends, and later texts are refused with the code.
                    std::lock_guard lock(mutex);
                    if (failure == S_OK)
                        failure = r;
                    queue.clear();
                    failed = true;
                }
                break;
            }
            default: {
                std::lock_guard lock(mutex);
                applyVoiceTagLocked(p);
                break;
            }
            }
            if (failed || out.cancelled())
                break;
        }
        wake();
        if (failed || out.cancelled())
            break;
    }
    std::lock_guard lock(mutex);
    if (gen != generation || closed)
        return;
    failed = failed || failure != S_OK;
    PendingEvent done;
    done.kind = PendingEvent::TextDone;
    done.timeUs = failed ? -1 : dest->writtenUs();
    done.value = failed ? TTSBNS_ABORTED : 0;
    done.buffer = job.sink;
    if (failed) {
        done.generation = gen;
        immediate.push_back(done);
    } else {
        pushLocked(done, gen);
    }
}

void CentralCore::close()
{
    {
        std::lock_guard lock(mutex);
        closed = true;
        ++generation;
        queue.clear();
        events.clear();
        immediate.clear();
        injected.clear();
        sinks.clear();
    }
    {
        std::lock_guard lock(pumpMutex);
        pump = nullptr;
    }
    // Resumed first: the stream that a reset starts afresh then starts playing.
    dest->resume();
    dest->reset();
}

void NotificationPump::deliver()
{
    auto core = m_core.lock();
    if (!core) {
        m_timer.stop();
        return;
    }
    {
        std::lock_guard lock(core->pumpMutex);
        core->wakePosted = false;
    }
    // Asked outside the core's lock: the audio layer has locks of its own.
    const int64_t heard = std::max(core->dest->heardUs(), core->drainedUs.load());
    for (;;) {
        PendingEvent e;
        std::vector<std::shared_ptr<ITTSNotifySinkW>> sinks;
        {
            std::lock_guard lock(core->mutex);
            if (core->closed) {
                m_timer.stop();
                return;
            }
            const uint64_t gen = core->generation;
            auto dropStale = [gen](std::deque<PendingEvent> &q) {
                while (!q.empty() && q.front().generation != gen)
                    q.pop_front();
            };
            dropStale(core->immediate);
            dropStale(core->events);
            if (!core->immediate.empty()) {
                e = std::move(core->immediate.front());
                core->immediate.pop_front();
            } else if (!core->paused && !core->events.empty() && core->events.front().timeUs <= heard) {
                e = std::move(core->events.front());
                core->events.pop_front();
            } else {
                const bool waiting = !core->paused && !core->events.empty();
                if (waiting && !m_timer.isActive())
                    m_timer.start();
                else if (!waiting)
                    m_timer.stop();
                return;
            }
            for (auto &[key, sink] : core->sinks)
                sinks.push_back(sink);
        }
        const QWORD stamp = QWORD(std::max<int64_t>(0, e.timeUs < 0 ? heard : e.timeUs)) * 10;
        switch (e.kind) {
        case PendingEvent::TextStarted:
            if (e.buffer)
                e.buffer->TextDataStarted(stamp);
            break;
        case PendingEvent::Word:
            if (e.buffer)
                e.buffer->WordPosition(stamp, e.value);
            break;
        case PendingEvent::Mark:
            if (e.buffer)
                e.buffer->BookMark(stamp, e.value);
            break;
        case PendingEvent::TextDone:
            if (e.buffer)
                e.buffer->TextDataDone(stamp, e.value);
            break;
        case PendingEvent::AudioStart:
            for (auto &s : sinks)
                s->AudioStart(stamp);
            break;
        case PendingEvent::AudioStop:
            for (auto &s : sinks)
                s->AudioStop(stamp);
            break;
        case PendingEvent::Visual:
            for (auto &s : sinks)
                s->Visual(stamp, 0, e.phoneme, 0, &e.mouth);
            break;
        case PendingEvent::Attrib:
            for (auto &s : sinks)
                s->AttribChanged(e.value);
            break;
        }
    }
}

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
    HRESULT PitchSet(uint16_t wPitch) override { return change([&] { m_core->setPitchLocked(wPitch); }); }
    HRESULT SpeedGet(uint32_t *pdwSpeed) override
    {
        if (!pdwSpeed)
            return E_POINTER;
        std::lock_guard lock(m_core->mutex);
        *pdwSpeed = m_core->voice.speed;
        return S_OK;
    }
    HRESULT SpeedSet(uint32_t dwSpeed) override { return change([&] { m_core->setSpeedLocked(dwSpeed); }); }
    HRESULT VolumeGet(uint32_t *pdwVolume) override
    {
        if (!pdwVolume)
            return E_POINTER;
        std::lock_guard lock(m_core->mutex);
        *pdwVolume = m_core->voice.volume;
        return S_OK;
    }
    HRESULT VolumeSet(uint32_t dwVolume) override { return change([&] { m_core->setVolumeLocked(dwVolume); }); }
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
