#pragma once
// The state behind one selected mode: its voice, its text queue and the
// notifications waiting for their audio. The synthesis thread fills it
// (runQueue), the pump on the selecting thread empties it, and the objects
// handed to the caller (EngineRuntime.cpp) queue text and change the voice.

#include "ControlTags.h"
#include "EngineRuntime.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace sapi {

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
    explicit NotificationPump(std::weak_ptr<CentralCore> core);
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
        QMetaObject::invokeMethod(
            p, [p] { p->deliver(); }, Qt::QueuedConnection);
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

}  // namespace sapi
