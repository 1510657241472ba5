// The synthesis loop of a selected engine and the delivery of its
// notifications on the selecting thread.
#include "CentralCore.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace sapi {

namespace {

constexpr int kPollMs = 4;
constexpr size_t kMaxPendingEvents = 20000;

class JobOutput : public ChunkOutput
{
public:
    JobOutput(CentralCore &core, uint64_t gen, const std::shared_ptr<ITTSBufNotifySink> &sink)
        : m_core(core), m_gen(gen), m_sink(sink)
    {
    }

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
    uint32_t takePendingPause() { return std::exchange(m_pendingPauseMs, 0); }

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
    int64_t timeOf(int64_t sample) const { return m_baseUs + sample * 1000000 / std::max(1, m_core.format.sampleRate); }
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

}  // namespace

NotificationPump::NotificationPump(std::weak_ptr<CentralCore> core) : m_core(std::move(core))
{
    m_timer.setInterval(kPollMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { deliver(); });
}

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

}  // namespace sapi
