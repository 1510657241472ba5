#pragma once
// What every engine driver shares: the synthesis thread, the central object
// with its text queue, attributes and dialogs, audio written to the
// destination, and notifications delivered on the selecting thread, each
// when its audio is heard (devices) or written (files).

#include "AudioDestinations.h"
#include "SpeechApi.h"
#include "SpeechEngine.h"  // ModeRanges

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>


namespace sapi {

// One thread that runs every call into one engine library, in order.
class SynthesisThread
{
public:
    explicit SynthesisThread(const char *name);
    ~SynthesisThread();

    void post(std::function<void()> task);
    // Runs task on the thread and waits for it (not from the thread itself).
    template <class R>
    R call(std::function<R()> task)
    {
        if (std::this_thread::get_id() == m_thread.get_id())
            return task();
        std::packaged_task<R()> job(std::move(task));
        std::future<R> result = job.get_future();
        post([&job] { job(); });
        return result.get();
    }
    bool onThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    // Shared with the thread: the last owner may let go from a task on the
    // thread itself, and the thread then ends on its own after this object.
    struct Queue {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> tasks;
        bool stop = false;
    };
    static void run(const std::shared_ptr<Queue> &queue);

    std::shared_ptr<Queue> m_queue;
    std::thread m_thread;
};

// Voice attributes in the platform's numbers (pitch about Hz, speed words
// per minute, volume low word left / high word right).
struct VoiceState {
    uint16_t pitch = 0;
    uint32_t speed = 0;
    uint32_t volume = 0xFFFFFFFF;
};

// The runtime's side of one chunk being synthesized.
class ChunkOutput
{
public:
    virtual ~ChunkOutput() = default;
    // Samples of the chunk in order; false means stop synthesizing now.
    virtual bool audio(const int16_t *samples, size_t count) = 0;
    // A word starting at the chunk's UTF-16 index, heard at the chunk's sample.
    virtual void word(int64_t sample, qsizetype index) = 0;
    // A phoneme (engine's own symbol) starting at the chunk's sample.
    virtual void phoneme(int64_t sample, const QString &symbol) = 0;
    virtual bool cancelled() const = 0;
    // Silence the engine would have made before the next chunk had it been
    // given both at once (the pause after a sentence).
    virtual void pauseAfter(uint32_t ms) {}
};

// One engine library as the runtime drives it. speak() and phonemes() run
// on the driver's synthesis thread only.
class SynthesisBackend
{
public:
    virtual ~SynthesisBackend() = default;
    virtual audio::PcmFormat format(const GUID &mode) = 0;
    // Checks that the mode can be spoken now (its voice data is there);
    // runs on the selecting thread, so it must not call the engine library.
    virtual HRESULT prepare(const GUID &mode) { return S_OK; }
    virtual ModeRanges ranges(const GUID &mode) = 0;
    virtual bool acceptsCharset(uint32_t charset) const { return charset == CHARSET_TEXT; }
    virtual HRESULT speak(const GUID &mode, const VoiceState &voice, uint32_t charset, const QString &chunk,
                          ChunkOutput &out) = 0;
    virtual HRESULT phonemes(const GUID &mode, uint32_t charset, const QString &text, QString &out) = 0;
    virtual QString aboutText(const GUID &mode) = 0;
    // The pronunciation editor; test speaks a text (or engine phonemes)
    // through the caller's central.
    virtual HRESULT lexiconDialog(HWND parent, const QString &title, std::function<void(const QString &, bool)> test)
    {
        return TTSERR_NOTSUPPORTED;
    }
};

// Binds a mode of a driver to an audio destination: the work of
// SpeechEngine::select for every driver.
HRESULT selectCentral(const TTSMODEINFOW &mode, std::shared_ptr<SynthesisBackend> backend,
                      std::shared_ptr<SynthesisThread> thread, const UnknownPtr &audioDest,
                      std::shared_ptr<ITTSCentralW> &central);

// Maps a mouth shape onto a phoneme symbol (first letter decides).
TTSMOUTH mouthForPhoneme(const QString &symbol);

// A GUID that stays the same for the same name on every run and machine.
GUID nameBasedGuid(const QString &name);
// Fills a mode-record name field.
void setField(char16_t (&field)[TTSI_NAMELEN], const QString &text);

}  // namespace sapi
