#include "PulseAudioSystem.h"

#include <pulse/pulseaudio.h>

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <thread>

namespace audio {

namespace {

// How long we wait for the server before calling it unreachable.
constexpr int kServerTimeoutMs = 2000;
// Low latency: the writer stays about 100 ms ahead of the listener and
// playback starts as soon as 20 ms are queued.
constexpr pa_usec_t kTargetLatencyUs = 100 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kStartThresholdUs = 20 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kRequestSizeUs = 20 * PA_USEC_PER_MSEC;

const char kClientName[] = "Voxtrella MP3";
const char kStreamName[] = "Voxtrella speech";

QString paError(int code)
{
    return QString::fromUtf8(pa_strerror(code));
}

// Holds the event loop lock unless we already are on the loop's own thread
// (callbacks run there with the lock held, and libpulse forbids taking it).
class LoopLock
{
public:
    explicit LoopLock(pa_threaded_mainloop *loop) : m_loop(pa_threaded_mainloop_in_thread(loop) ? nullptr : loop)
    {
        if (m_loop)
            pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock() { unlock(); }
    void unlock()
    {
        if (m_loop)
            pa_threaded_mainloop_unlock(m_loop);
        m_loop = nullptr;
    }
    LoopLock(const LoopLock &) = delete;
    LoopLock &operator=(const LoopLock &) = delete;

private:
    pa_threaded_mainloop *m_loop;
};

// Runs callbacks meant for the caller on a thread of their own, so that they
// never run under the event loop's lock: they may take their own locks, call
// back into the stream or destroy it.
class CallbackThread
{
public:
    CallbackThread() : m_queue(std::make_shared<Queue>()) { m_thread = std::thread(run, m_queue); }
    ~CallbackThread()
    {
        {
            std::lock_guard<std::mutex> guard(m_queue->mutex);
            m_queue->stop = true;
        }
        m_queue->wake.notify_all();
        // From one of its own callbacks: the thread ends by itself.
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();
        else
            m_thread.join();
    }
    CallbackThread(const CallbackThread &) = delete;
    CallbackThread &operator=(const CallbackThread &) = delete;

    void post(std::function<void()> callback)
    {
        {
            std::lock_guard<std::mutex> guard(m_queue->mutex);
            m_queue->items.push_back(std::move(callback));
        }
        m_queue->wake.notify_all();
    }

private:
    struct Queue {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> items;
        bool stop = false;
    };

    static void run(std::shared_ptr<Queue> queue)
    {
        std::unique_lock<std::mutex> lock(queue->mutex);
        while (true) {
            queue->wake.wait(lock, [&] { return queue->stop || !queue->items.empty(); });
            if (queue->stop)
                return;
            std::function<void()> callback = std::move(queue->items.front());
            queue->items.pop_front();
            lock.unlock();
            callback();
            lock.lock();
        }
    }

    std::shared_ptr<Queue> m_queue;
    std::thread m_thread;
};

}  // namespace

// One context on its own threaded event loop.
class PulseConnection
{
public:
    static std::shared_ptr<PulseConnection> open(QString *error);
    ~PulseConnection();

    pa_threaded_mainloop *loop() const { return m_loop; }
    pa_context *context() const { return m_context; }
    bool inLoopThread() const { return pa_threaded_mainloop_in_thread(m_loop); }
    // Lock held: whether the context can still be used.
    bool ready() const { return m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY; }
    QString contextError() const { return paError(pa_context_errno(m_context)); }

    void wait() { pa_threaded_mainloop_wait(m_loop); }
    void signal() { pa_threaded_mainloop_signal(m_loop, 0); }
    // Lock held, never on the loop thread: waits until done() or the timeout.
    bool waitFor(const std::function<bool()> &done, int timeoutMs);
    // Lock held: waits for an operation to finish; cancels it on timeout.
    bool finish(pa_operation *op, int timeoutMs);
    void post(std::function<void()> callback) { m_callbacks.post(std::move(callback)); }

private:
    PulseConnection() = default;

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    CallbackThread m_callbacks;
};

std::shared_ptr<PulseConnection> PulseConnection::open(QString *error)
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return std::shared_ptr<PulseConnection>();
    };
    std::shared_ptr<PulseConnection> c(new PulseConnection);
    c->m_loop = pa_threaded_mainloop_new();
    if (!c->m_loop)
        return fail(QStringLiteral("The audio system could not be started."));
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, kClientName);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "voxtrella");
    c->m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(c->m_loop), kClientName, props);
    pa_proplist_free(props);
    if (!c->m_context)
        return fail(QStringLiteral("The audio system could not be started."));
    pa_context_set_state_callback(
        c->m_context,
        [](pa_context *, void *loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0); },
        c->m_loop);
    if (pa_threaded_mainloop_start(c->m_loop) < 0)
        return fail(QStringLiteral("The audio system could not be started."));

    LoopLock lock(c->m_loop);
    // Never start a sound server of our own: no server means no audio.
    if (pa_context_connect(c->m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        const QString why = c->contextError();
        lock.unlock();
        return fail(QStringLiteral("The audio server cannot be reached: %1").arg(why));
    }
    pa_context *ctx = c->m_context;
    const bool answered = c->waitFor(
        [ctx] {
            const pa_context_state_t s = pa_context_get_state(ctx);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        },
        kServerTimeoutMs);
    if (!answered) {
        lock.unlock();
        return fail(QStringLiteral("The audio server cannot be reached: it did not answer in time."));
    }
    if (!c->ready()) {
        const QString why = c->contextError();
        lock.unlock();
        return fail(QStringLiteral("The audio server cannot be reached: %1").arg(why));
    }
    return c;
}

PulseConnection::~PulseConnection()
{
    auto close = [loop = m_loop, ctx = m_context] {
        if (!loop)
            return;
        pa_threaded_mainloop_lock(loop);
        if (ctx) {
            pa_context_set_state_callback(ctx, nullptr, nullptr);
            pa_context_disconnect(ctx);
            pa_context_unref(ctx);
        }
        pa_threaded_mainloop_unlock(loop);
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    };
    // The last owner may let go inside one of our own callbacks; the loop
    // cannot stop itself, so another thread closes it.
    if (m_loop && pa_threaded_mainloop_in_thread(m_loop))
        std::thread(close).detach();
    else
        close();
}

bool PulseConnection::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    struct Timeout {
        pa_threaded_mainloop *loop;
        bool expired = false;
    } timeout{m_loop};
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, pa_usec_t(timeoutMs) * PA_USEC_PER_MSEC);
    pa_time_event *event = api->time_new(
        api, &when,
        [](pa_mainloop_api *, pa_time_event *, const timeval *, void *data) {
            auto *t = static_cast<Timeout *>(data);
            t->expired = true;
            pa_threaded_mainloop_signal(t->loop, 0);
        },
        &timeout);
    while (!done() && !timeout.expired)
        wait();
    api->time_free(event);
    return done();
}

bool PulseConnection::finish(pa_operation *op, int timeoutMs)
{
    if (!op)
        return false;
    // Result callbacks do not wake waiters; the operation's end does.
    pa_operation_set_state_callback(
        op,
        [](pa_operation *, void *loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0); },
        m_loop);
    const bool finished = waitFor([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, timeoutMs);
    if (!finished)
        pa_operation_cancel(op);
    pa_operation_set_state_callback(op, nullptr, nullptr);
    const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return finished && done;
}

// ---------------------------------------------------------------------------

namespace {

class PulsePlaybackStream : public PlaybackStream
{
public:
    PulsePlaybackStream(std::shared_ptr<PulseConnection> connection, QByteArray sink, const PcmFormat &format);
    ~PulsePlaybackStream() override;

    // Connects the stream and waits until the server accepted it.
    bool start(QString *error);

    bool write(const void *data, size_t bytes) override;
    void pause() override;
    void resume() override;
    void reset() override;
    void drain(std::function<void()> onStopped) override;
    int64_t playedUs() const override;
    int64_t writtenUs() const override;
    QString lastError() const override;

private:
    struct DrainRequest {
        PulsePlaybackStream *owner;
        std::function<void()> onStopped;
        pa_operation *op = nullptr;
    };

    // Everything below runs with the loop lock held.
    bool createStreamLocked(bool corked);
    void destroyStreamLocked();
    bool streamReadyLocked() const { return m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY; }
    bool writeFramesLocked(const char *data, size_t bytes, uint64_t generation);
    int64_t writtenUsLocked() const { return m_baseUs + int64_t(pa_bytes_to_usec(uint64_t(m_segmentBytes), &m_spec)); }
    int64_t playedUsLocked() const;
    // From here on the position may advance no faster than real time.
    void anchorClockLocked(int64_t position);
    void failLocked(const QString &why);
    bool issueDrainLocked(DrainRequest *request);
    void cancelDrainsLocked();
    // Hands drain callbacks to the callback thread; dropped there if the
    // stream was reset or destroyed in the meantime.
    void postLocked(std::function<void()> callback);
    void failDrainsLocked();
    void onStateChanged();
    static void onDrained(pa_stream *, int success, void *data);

    pa_threaded_mainloop *loop() const { return m_connection->loop(); }

    std::shared_ptr<PulseConnection> m_connection;
    const QByteArray m_sink;  // empty: the server's default sink
    pa_sample_spec m_spec{};
    size_t m_frameBytes = 2;

    pa_stream *m_stream = nullptr;
    // A reset replaces the server stream; the new one's time starts at zero,
    // so positions are kept on our own timeline: base + stream time.
    int64_t m_baseUs = 0;
    int64_t m_segmentBytes = 0;
    mutable int64_t m_lastPlayedUs = 0;
    // After a gap in the audio or a resume the server's clock restarts a
    // little ahead of what can have been heard; the position is then held to
    // real time counted from this anchor.
    int64_t m_anchorUs = 0;
    int64_t m_anchorWallUs = 0;
    bool m_underflow = true;
    bool m_everReady = false;  // the current server stream was accepted once
    bool m_paused = false;
    bool m_failed = false;
    uint64_t m_generation = 0;
    std::shared_ptr<std::atomic<uint64_t>> m_epoch = std::make_shared<std::atomic<uint64_t>>(0);
    QByteArray m_partialFrame;
    QString m_error;
    std::list<std::unique_ptr<DrainRequest>> m_drains;
};

PulsePlaybackStream::PulsePlaybackStream(std::shared_ptr<PulseConnection> connection, QByteArray sink,
                                         const PcmFormat &format)
    : m_connection(std::move(connection)), m_sink(std::move(sink))
{
    m_spec.format = PA_SAMPLE_S16LE;
    m_spec.rate = uint32_t(format.sampleRate);
    m_spec.channels = uint8_t(format.channels);
    m_frameBytes = pa_frame_size(&m_spec);
}

PulsePlaybackStream::~PulsePlaybackStream()
{
    LoopLock lock(loop());
    ++m_generation;
    cancelDrainsLocked();
    destroyStreamLocked();
    m_connection->signal();
}

bool PulsePlaybackStream::start(QString *error)
{
    LoopLock lock(loop());
    if (!createStreamLocked(false)) {
        if (error)
            *error = m_error;
        return false;
    }
    const bool answered = m_connection->waitFor(
        [this] { return !m_stream || pa_stream_get_state(m_stream) != PA_STREAM_CREATING; }, kServerTimeoutMs);
    if (!answered)
        failLocked(QStringLiteral("The audio device did not answer in time."));
    else if (!streamReadyLocked() && !m_failed)
        failLocked(QStringLiteral("The audio device cannot be opened: %1").arg(m_connection->contextError()));
    if (m_failed && error)
        *error = m_error;
    return !m_failed;
}

bool PulsePlaybackStream::createStreamLocked(bool corked)
{
    if (!m_connection->ready()) {
        failLocked(QStringLiteral("The audio server cannot be reached: %1").arg(m_connection->contextError()));
        return false;
    }
    pa_channel_map map;
    pa_channel_map_init_extend(&map, m_spec.channels, PA_CHANNEL_MAP_DEFAULT);
    m_everReady = false;
    m_stream = pa_stream_new(m_connection->context(), kStreamName, &m_spec, &map);
    if (!m_stream) {
        failLocked(QStringLiteral("The audio device cannot be opened: %1").arg(m_connection->contextError()));
        return false;
    }
    pa_stream_set_state_callback(
        m_stream, [](pa_stream *, void *self) { static_cast<PulsePlaybackStream *>(self)->onStateChanged(); }, this);
    pa_stream_set_write_callback(
        m_stream,
        [](pa_stream *, size_t, void *loop) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0);
        },
        loop());
    pa_stream_set_underflow_callback(
        m_stream, [](pa_stream *, void *self) { static_cast<PulsePlaybackStream *>(self)->m_underflow = true; }, this);

    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(pa_usec_to_bytes(kTargetLatencyUs, &m_spec));
    attr.prebuf = uint32_t(pa_usec_to_bytes(kStartThresholdUs, &m_spec));
    attr.minreq = uint32_t(pa_usec_to_bytes(kRequestSizeUs, &m_spec));
    attr.fragsize = uint32_t(-1);
    int flags = PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY;
    if (corked)
        flags |= PA_STREAM_START_CORKED;
    if (pa_stream_connect_playback(m_stream, m_sink.isEmpty() ? nullptr : m_sink.constData(), &attr,
                                   pa_stream_flags_t(flags), nullptr, nullptr) < 0) {
        failLocked(QStringLiteral("The audio device cannot be opened: %1").arg(m_connection->contextError()));
        destroyStreamLocked();
        return false;
    }
    return true;
}

void PulsePlaybackStream::destroyStreamLocked()
{
    if (!m_stream)
        return;
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
    // The server names a stream only in its answer to the creation; a
    // stream let go before that answer stays on the server, a sink input
    // nobody closes until the program ends. So the answer is awaited first.
    pa_stream_set_state_callback(
        m_stream,
        [](pa_stream *, void *loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0); },
        loop());
    pa_stream *stream = m_stream;
    if (pa_stream_get_state(stream) == PA_STREAM_CREATING && !m_connection->inLoopThread())
        m_connection->waitFor([stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; }, kServerTimeoutMs);
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
        pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulsePlaybackStream::failLocked(const QString &why)
{
    if (!m_failed)
        m_error = why;
    m_failed = true;
    m_connection->signal();
}

void PulsePlaybackStream::onStateChanged()
{
    // Loop thread, lock held.
    const pa_stream_state_t state = pa_stream_get_state(m_stream);
    if (state == PA_STREAM_READY) {
        m_everReady = true;
        // A pause or resume that came while the stream was still connecting:
        // it may have been started corked for a pause that is over by now.
        if (pa_operation *op = pa_stream_cork(m_stream, m_paused ? 1 : 0, nullptr, nullptr))
            pa_operation_unref(op);
        bool drainsOk = true;
        for (auto &request : m_drains)
            if (!request->op)
                drainsOk = issueDrainLocked(request.get()) && drainsOk;
        if (!drainsOk)
            failDrainsLocked();
    } else if (!PA_STREAM_IS_GOOD(state)) {
        failLocked((m_everReady ? QStringLiteral("The audio stream was closed: %1")
                                : QStringLiteral("The audio device cannot be opened: %1"))
                       .arg(m_connection->contextError()));
        // Nothing more will play: whoever waits for the end must hear of it.
        failDrainsLocked();
    }
    m_connection->signal();
}

bool PulsePlaybackStream::write(const void *data, size_t bytes)
{
    if (bytes == 0)
        return true;
    if (m_connection->inLoopThread())
        return false;  // waiting for room here would stall the loop that makes it
    LoopLock lock(loop());
    const uint64_t generation = m_generation;
    const char *p = static_cast<const char *>(data);
    size_t left = bytes;
    // The server takes whole frames only; an odd byte waits for its partner.
    if (!m_partialFrame.isEmpty()) {
        const size_t take = std::min(m_frameBytes - size_t(m_partialFrame.size()), left);
        m_partialFrame.append(p, qsizetype(take));
        p += take;
        left -= take;
        if (size_t(m_partialFrame.size()) < m_frameBytes)
            return !m_failed;
        const QByteArray frame = m_partialFrame;
        m_partialFrame.clear();
        if (!writeFramesLocked(frame.constData(), size_t(frame.size()), generation))
            return false;
    }
    const size_t whole = left - left % m_frameBytes;
    if (!writeFramesLocked(p, whole, generation))
        return false;
    m_partialFrame.append(p + whole, qsizetype(left - whole));
    return true;
}

bool PulsePlaybackStream::writeFramesLocked(const char *data, size_t bytes, uint64_t generation)
{
    if (bytes > 0 && (m_underflow || playedUsLocked() >= writtenUsLocked())) {
        anchorClockLocked(playedUsLocked());
        m_underflow = false;
    }
    while (true) {
        if (generation != m_generation || m_failed || !m_stream)
            return false;
        if (bytes == 0)
            return true;
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        if (state != PA_STREAM_READY) {
            if (!PA_STREAM_IS_GOOD(state)) {
                failLocked(QStringLiteral("The audio stream was closed: %1").arg(m_connection->contextError()));
                return false;
            }
            m_connection->wait();
            continue;
        }
        size_t room = pa_stream_writable_size(m_stream);
        if (room == size_t(-1)) {
            failLocked(QStringLiteral("The audio stream failed: %1").arg(m_connection->contextError()));
            return false;
        }
        room -= room % m_frameBytes;
        if (room == 0) {
            m_connection->wait();
            continue;
        }
        const size_t chunk = std::min(room, bytes);
        if (pa_stream_write(m_stream, data, chunk, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            failLocked(QStringLiteral("The audio stream failed: %1").arg(m_connection->contextError()));
            return false;
        }
        m_segmentBytes += int64_t(chunk);
        data += chunk;
        bytes -= chunk;
    }
}

int64_t wallClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PulsePlaybackStream::anchorClockLocked(int64_t position)
{
    m_anchorUs = position;
    m_anchorWallUs = wallClockUs();
    // What is written now is heard after the device's own delay.
    if (streamReadyLocked())
        if (const pa_timing_info *timing = pa_stream_get_timing_info(m_stream))
            m_anchorWallUs += int64_t(std::min<pa_usec_t>(timing->sink_usec, 500 * PA_USEC_PER_MSEC));
}

int64_t PulsePlaybackStream::playedUsLocked() const
{
    if (m_paused)
        return m_lastPlayedUs;
    int64_t position = m_lastPlayedUs;
    pa_usec_t streamTime = 0;
    if (streamReadyLocked() && pa_stream_get_time(m_stream, &streamTime) == 0)
        position = m_baseUs + int64_t(streamTime);
    position = std::min(position, m_anchorUs + std::max<int64_t>(0, wallClockUs() - m_anchorWallUs));
    // Interpolation may overshoot or step back; the listener hears neither.
    position = std::min(position, writtenUsLocked());
    position = std::max(position, m_lastPlayedUs);
    m_lastPlayedUs = position;
    return position;
}

int64_t PulsePlaybackStream::playedUs() const
{
    LoopLock lock(loop());
    return playedUsLocked();
}

int64_t PulsePlaybackStream::writtenUs() const
{
    LoopLock lock(loop());
    return writtenUsLocked();
}

QString PulsePlaybackStream::lastError() const
{
    LoopLock lock(loop());
    return m_error;
}

void PulsePlaybackStream::pause()
{
    LoopLock lock(loop());
    if (m_paused)
        return;
    playedUsLocked();  // the position the pause freezes
    m_paused = true;
    if (streamReadyLocked())
        if (pa_operation *op = pa_stream_cork(m_stream, 1, nullptr, nullptr))
            pa_operation_unref(op);
}

void PulsePlaybackStream::resume()
{
    LoopLock lock(loop());
    if (!m_paused)
        return;
    m_paused = false;
    anchorClockLocked(m_lastPlayedUs);  // from where the pause froze it
    if (streamReadyLocked())
        if (pa_operation *op = pa_stream_cork(m_stream, 0, nullptr, nullptr))
            pa_operation_unref(op);
}

void PulsePlaybackStream::reset()
{
    LoopLock lock(loop());
    const int64_t heard = playedUsLocked();
    ++m_generation;
    cancelDrainsLocked();
    // Dropping the server stream silences it at once and leaves no stale
    // data behind; a fresh one takes the next audio at the heard position.
    destroyStreamLocked();
    m_baseUs = heard;
    m_segmentBytes = 0;
    m_lastPlayedUs = heard;
    m_underflow = true;
    m_partialFrame.clear();
    if (!m_failed)
        createStreamLocked(m_paused);
    m_connection->signal();
}

void PulsePlaybackStream::drain(std::function<void()> onStopped)
{
    LoopLock lock(loop());
    m_partialFrame.clear();  // half a frame cannot be played
    if (m_failed || !m_stream) {
        postLocked(std::move(onStopped));
        return;
    }
    auto request = std::make_unique<DrainRequest>(DrainRequest{this, std::move(onStopped), nullptr});
    DrainRequest *raw = request.get();
    m_drains.push_back(std::move(request));
    if (streamReadyLocked() && !issueDrainLocked(raw))
        failDrainsLocked();
    // Otherwise the stream is still connecting; onStateChanged issues it.
}

bool PulsePlaybackStream::issueDrainLocked(DrainRequest *request)
{
    request->op = pa_stream_drain(m_stream, &PulsePlaybackStream::onDrained, request);
    if (!request->op)
        failLocked(QStringLiteral("The audio stream failed: %1").arg(m_connection->contextError()));
    return request->op != nullptr;
}

void PulsePlaybackStream::onDrained(pa_stream *, int, void *data)
{
    // Loop thread, lock held. Unsuccessful drains are reported too: either
    // way nothing more is going to play.
    auto *request = static_cast<DrainRequest *>(data);
    PulsePlaybackStream *self = request->owner;
    for (auto it = self->m_drains.begin(); it != self->m_drains.end(); ++it) {
        if (it->get() == request) {
            pa_operation_unref(request->op);
            self->postLocked(std::move(request->onStopped));
            self->m_drains.erase(it);
            break;
        }
    }
}

void PulsePlaybackStream::postLocked(std::function<void()> callback)
{
    if (!callback)
        return;
    m_connection->post([epoch = m_epoch, posted = m_epoch->load(), callback = std::move(callback)] {
        if (epoch->load() == posted)
            callback();
    });
}

void PulsePlaybackStream::cancelDrainsLocked()
{
    m_epoch->fetch_add(1);  // drops callbacks already handed over
    for (auto &request : m_drains) {
        if (request->op) {
            pa_operation_cancel(request->op);
            pa_operation_unref(request->op);
        }
    }
    m_drains.clear();
}

void PulsePlaybackStream::failDrainsLocked()
{
    for (auto &request : m_drains) {
        if (request->op) {
            pa_operation_cancel(request->op);
            pa_operation_unref(request->op);
        }
        postLocked(std::move(request->onStopped));
    }
    m_drains.clear();
}

bool validFormat(const PcmFormat &format)
{
    return format.sampleRate > 0 && uint32_t(format.sampleRate) <= PA_RATE_MAX && format.channels > 0 &&
           uint32_t(format.channels) <= PA_CHANNELS_MAX;
}

}  // namespace

// ---------------------------------------------------------------------------

namespace caps {

uint16_t parseHexId(const QString &text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    if (digits.isEmpty() || digits.size() > 4)
        return 0;
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    return ok ? uint16_t(value) : 0;
}

uint32_t versionNumber(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("(\\d+)\\.(\\d+)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return 0;
    const uint major = std::min(match.captured(1).toUInt(), 255u);
    const uint minor = std::min(match.captured(2).toUInt(), 255u);
    return (major << 8) | minor;
}

WaveOutCaps fromSink(const SinkInfo &sink, uint32_t serverVersion)
{
    WaveOutCaps caps;
    caps.wMid = parseHexId(sink.vendorId);
    caps.wPid = parseHexId(sink.productId);
    caps.vDriverVersion = serverVersion;
    // Whole: Windows cut device names to 31 characters, but nothing here
    // stores or compares them (devices are stored by number).
    caps.szPname = sink.description.isEmpty() ? QString::fromUtf8(sink.name) : sink.description;
    caps.wChannels = uint16_t(sink.channels);
    // The server converts whatever it is given, so all twelve are accepted.
    caps.dwFormats = 0xFFF;
    // Every sink has a volume (in software where the hardware has none), a
    // volume per channel, and the timing interpolation gives exact positions.
    caps.dwSupport = WAVECAPS_VOLUME | WAVECAPS_SAMPLEACCURATE;
    if (sink.channels > 1)
        caps.dwSupport |= WAVECAPS_LRVOLUME;
    return caps;
}

}  // namespace caps

// ---------------------------------------------------------------------------

PulseAudioSystem::PulseAudioSystem() = default;
PulseAudioSystem::~PulseAudioSystem() = default;

std::shared_ptr<PulseConnection> PulseAudioSystem::connection(QString *error)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_connection) {
        bool alive;
        {
            LoopLock lock(m_connection->loop());
            alive = m_connection->ready();
        }
        if (alive)
            return m_connection;
        m_connection.reset();  // the server went away: try afresh
    }
    m_connection = PulseConnection::open(error);
    return m_connection;
}

bool PulseAudioSystem::listSinks(std::vector<SinkInfo> &sinks, QByteArray *defaultSink, QString *error)
{
    sinks.clear();
    const std::shared_ptr<PulseConnection> c = connection(error);
    if (!c)
        return false;
    if (c->inLoopThread()) {
        if (error)
            *error = QStringLiteral("The audio devices cannot be listed from an audio callback.");
        return false;
    }
    struct Query {
        std::vector<SinkInfo> *sinks;
        QByteArray defaultSink;
        QString serverVersion;
        bool failed = false;
    } query{&sinks, {}, {}, false};

    LoopLock lock(c->loop());
    pa_operation *serverOp = pa_context_get_server_info(
        c->context(),
        [](pa_context *, const pa_server_info *info, void *data) {
            auto *q = static_cast<Query *>(data);
            if (!info)
                return;
            q->defaultSink = info->default_sink_name ? QByteArray(info->default_sink_name) : QByteArray();
            q->serverVersion = QString::fromUtf8(info->server_version ? info->server_version : "");
        },
        &query);
    const bool serverOk = c->finish(serverOp, kServerTimeoutMs);
    pa_operation *sinkOp = pa_context_get_sink_info_list(
        c->context(),
        [](pa_context *, const pa_sink_info *info, int eol, void *data) {
            auto *q = static_cast<Query *>(data);
            if (eol < 0)
                q->failed = true;
            if (eol || !info)
                return;
            SinkInfo sink;
            sink.name = QByteArray(info->name ? info->name : "");
            sink.description = QString::fromUtf8(info->description ? info->description : "");
            sink.channels = info->channel_map.channels;
            if (const char *v = pa_proplist_gets(info->proplist, "device.vendor.id"))
                sink.vendorId = QString::fromUtf8(v);
            if (const char *p = pa_proplist_gets(info->proplist, "device.product.id"))
                sink.productId = QString::fromUtf8(p);
            q->sinks->push_back(std::move(sink));
        },
        &query);
    const bool sinksOk = c->finish(sinkOp, kServerTimeoutMs);
    if (!serverOk || !sinksOk || query.failed) {
        if (error)
            *error = QStringLiteral("The audio devices cannot be listed: %1").arg(c->contextError());
        sinks.clear();
        return false;
    }
    m_serverVersion = caps::versionNumber(query.serverVersion);
    std::sort(sinks.begin(), sinks.end(), [](const SinkInfo &a, const SinkInfo &b) { return a.name < b.name; });
    if (defaultSink)
        *defaultSink = query.defaultSink;
    return true;
}

bool PulseAudioSystem::resolveSink(int device, SinkInfo &sink, QString *error)
{
    std::vector<SinkInfo> sinks;
    QByteArray defaultName;
    if (!listSinks(sinks, &defaultName, error))
        return false;
    if (device == -1) {
        // A stale or missing default name leaves the server to choose, which
        // it does from the same list: the first sink is the best guess.
        auto it = std::find_if(sinks.begin(), sinks.end(), [&](const SinkInfo &s) { return s.name == defaultName; });
        if (it == sinks.end() && !sinks.empty())
            it = sinks.begin();
        if (it != sinks.end()) {
            sink = *it;
            return true;
        }
    } else if (device >= 0 && size_t(device) < sinks.size()) {
        sink = sinks[size_t(device)];
        return true;
    }
    if (error)
        *error = sinks.empty() ? QStringLiteral("There is no audio output device.")
                               : QStringLiteral("There is no audio output device number %1.").arg(device);
    return false;
}

int PulseAudioSystem::outputDeviceCount()
{
    std::vector<SinkInfo> sinks;
    if (!listSinks(sinks, nullptr, nullptr))
        return 0;
    return int(sinks.size());
}

int PulseAudioSystem::inputDeviceCount()
{
    const std::shared_ptr<PulseConnection> c = connection(nullptr);
    if (!c || c->inLoopThread())
        return 0;
    int count = 0;
    LoopLock lock(c->loop());
    pa_operation *op = pa_context_get_source_info_list(
        c->context(),
        [](pa_context *, const pa_source_info *info, int eol, void *data) {
            // A monitor only echoes a sink: it is not something to record from.
            if (!eol && info && info->monitor_of_sink == uint32_t(PA_INVALID_INDEX))
                ++*static_cast<int *>(data);
        },
        &count);
    return c->finish(op, kServerTimeoutMs) ? count : 0;
}

bool PulseAudioSystem::outputCaps(int device, WaveOutCaps &caps)
{
    SinkInfo sink;
    if (!resolveSink(device, sink, nullptr))
        return false;
    caps = caps::fromSink(sink, m_serverVersion);
    return true;
}

bool PulseAudioSystem::testOpen(int device, QString *error)
{
    // The sound card check's own format: 16-bit mono at 22,050 per second.
    const std::unique_ptr<PlaybackStream> stream = openPlayback(device, PcmFormat{22050, 1}, error);
    return stream != nullptr;
}

std::unique_ptr<PlaybackStream> PulseAudioSystem::openPlayback(int device, const PcmFormat &format, QString *error)
{
    if (!validFormat(format)) {
        if (error)
            *error = QStringLiteral("The audio format %1 Hz, %2 channels is not supported.")
                         .arg(format.sampleRate)
                         .arg(format.channels);
        return nullptr;
    }
    SinkInfo sink;
    if (!resolveSink(device, sink, error))
        return nullptr;
    const std::shared_ptr<PulseConnection> c = connection(error);
    if (!c)
        return nullptr;
    // The default device follows the server's default, even when it changes.
    auto stream = std::make_unique<PulsePlaybackStream>(c, device == -1 ? QByteArray() : sink.name, format);
    if (!stream->start(error))
        return nullptr;
    return stream;
}

}  // namespace audio
