// Speech platform figures, in one run with a 10,000-word English article:
//   first_audio_ms      TextData to the first audio written to the device
//   wav_ratio           speaking the article into a WAV file through the
//                       platform, over eSpeak NG alone synthesizing it to memory
//   word_lag_ms         largest gap between a word's notification and the
//                       played position of that word on the device
//   speak_10mb_peak_mb  peak memory above the start while speaking a 10 MB text
// Run it under the headless sound server (scripts/headless-audio.sh).
#include "BenchSupport.h"

#include "AudioSystem.h"
#include "PulseAudioSystem.h"
#include "AudioDestinations.h"
#include "EspeakEngine.h"
#include "SpeechEngine.h"

#include <espeak-ng/speak_lib.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>

using namespace sapi;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}


QString makeText(qsizetype minChars, int words)
{
    static const char *vocabulary[] = {
        "the",      "reader", "speaks", "every",  "article",  "with",      "a",          "clear",   "voice",   "while",
        "words",    "appear", "on",     "screen", "and",      "listeners", "follow",     "along",   "through", "long",
        "evenings", "quiet",  "rooms",  "bright", "mornings", "simple",    "sentences",  "carry",   "meaning", "across",
        "distant",  "places", "people", "gather", "stories",  "from",      "newspapers", "letters", "books"};
    std::mt19937 random(42);
    QString text;
    int count = 0, inSentence = 0;
    while ((words > 0 && count < words) || (minChars > 0 && text.size() < minChars)) {
        QString w = QString::fromLatin1(vocabulary[random() % std::size(vocabulary)]);
        if (inSentence == 0)
            w[0] = w[0].toUpper();
        text += w;
        ++count;
        if (++inSentence >= 8 + int(random() % 10)) {
            text += QStringLiteral(". ");
            inSentence = 0;
        } else {
            text += u' ';
        }
    }
    return text + u'.';
}

bool waitFor(const std::function<bool()> &pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Passes everything to the real audio system and notes the first write.
class TimingAudio : public audio::AudioSystem
{
public:
    std::atomic<int64_t> firstWriteNs{0};

    int outputDeviceCount() override { return m_inner->outputDeviceCount(); }
    int inputDeviceCount() override { return m_inner->inputDeviceCount(); }
    bool outputCaps(int d, audio::WaveOutCaps &c) override { return m_inner->outputCaps(d, c); }
    bool testOpen(int d, QString *e) override { return m_inner->testOpen(d, e); }
    std::unique_ptr<audio::PlaybackStream> openPlayback(int d, const audio::PcmFormat &f, QString *e) override
    {
        auto s = m_inner->openPlayback(d, f, e);
        return s ? std::make_unique<Stream>(std::move(s), firstWriteNs) : nullptr;
    }
    std::unique_ptr<audio::AudioSystem> m_inner;

private:
    class Stream : public audio::PlaybackStream
    {
    public:
        Stream(std::unique_ptr<audio::PlaybackStream> s, std::atomic<int64_t> &first)
            : m_s(std::move(s)), m_first(first)
        {
        }
        bool write(const void *d, size_t n) override
        {
            int64_t zero = 0;
            m_first.compare_exchange_strong(zero, Clock::now().time_since_epoch().count());
            return m_s->write(d, n);
        }
        void pause() override { m_s->pause(); }
        void resume() override { m_s->resume(); }
        void reset() override { m_s->reset(); }
        void drain(std::function<void()> f) override { m_s->drain(std::move(f)); }
        int64_t playedUs() const override { return m_s->playedUs(); }
        int64_t writtenUs() const override { return m_s->writtenUs(); }
        QString lastError() const override { return m_s->lastError(); }

    private:
        std::unique_ptr<audio::PlaybackStream> m_s;
        std::atomic<int64_t> &m_first;
    };
};

class Sink : public ITTSBufNotifySink, public ITTSNotifySinkW
{
public:
    std::function<void(QWORD)> onWord;
    int stops = 0;
    int words = 0;
    HRESULT TextDataDone(QWORD, uint32_t) override { return S_OK; }
    HRESULT TextDataStarted(QWORD) override { return S_OK; }
    HRESULT BookMark(QWORD, uint32_t) override { return S_OK; }
    HRESULT WordPosition(QWORD t, uint32_t) override
    {
        ++words;
        if (onWord)
            onWord(t);
        return S_OK;
    }
    HRESULT AttribChanged(uint32_t) override { return S_OK; }
    HRESULT AudioStart(QWORD) override { return S_OK; }
    HRESULT AudioStop(QWORD) override
    {
        ++stops;
        return S_OK;
    }
    HRESULT Visual(QWORD, char16_t, char16_t, uint32_t, const TTSMOUTH *) override { return S_OK; }
};

struct Bound {
    std::shared_ptr<ITTSCentralW> central;
    UnknownPtr dest;
    std::shared_ptr<Sink> sink = std::make_shared<Sink>();
};

Bound select(const GUID &mode, const GUID &clsid, const QString &file = {})
{
    Bound b;
    CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, b.dest);
    if (!file.isEmpty())
        std::dynamic_pointer_cast<IAudioFile>(b.dest)->Set(reinterpret_cast<const char16_t *>(file.utf16()), 1);
    UnknownPtr e;
    CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_ITTSEnumW, e);
    if (std::dynamic_pointer_cast<ITTSEnumW>(e)->Select(mode, b.central, b.dest) != S_OK)
        return {};
    uint32_t key;
    b.central->Register(b.sink, IID_ITTSNotifySinkW, &key);
    return b;
}

HRESULT speak(Bound &b, const QString &text)
{
    SDATA d{const_cast<char16_t *>(reinterpret_cast<const char16_t *>(text.utf16())), uint32_t((text.size() + 1) * 2)};
    return b.central->TextData(CHARSET_TEXT, 0, d, b.sink, IID_ITTSBufNotifySink);
}

std::vector<short> *g_library = nullptr;

int collect(short *wav, int n, espeak_EVENT *)
{
    if (wav && n > 0)
        g_library->insert(g_library->end(), wav, wav + n);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double startMb = BenchSupport::statusMb("VmRSS:");
    const QString article = makeText(0, 10000);
    auto espeak = EspeakEngine::load();
    if (!espeak) {
        fprintf(stderr, "eSpeak NG did not load\n");
        return 1;
    }
    GUID mode;
    for (const TTSMODEINFOW &m : espeak->modes())
        if (QString::fromUtf16(m.szModeName) == QLatin1String("eSpeak NG English (America)"))
            mode = m.gModeID;

    // (d) first, so that nothing measured before weighs in.
    {
        const QString big = makeText(10 * 1024 * 1024, 0);
        QTemporaryDir bigDir;
        Bound b = select(mode, CLSID_AudioDestFile, bigDir.path() + "/big.wav");
        speak(b, big);
        const auto t0 = Clock::now();
        waitFor([&] { return msSince(t0) > 5000; }, 6000);
        b.central->AudioReset();
        waitFor([&] { return b.sink->stops > 0; }, 2000);
        printf("speak_10mb_peak_mb=%.1f\n", BenchSupport::statusMb("VmHWM:") - startMb);
        fprintf(stderr, "start %.1f MB, now %.1f MB, peak %.1f MB\n", startMb, BenchSupport::statusMb("VmRSS:"),
                BenchSupport::statusMb("VmHWM:"));
    }
    // (a) and (c) on the device.
    auto timing = std::make_unique<TimingAudio>();
    TimingAudio *timed = timing.get();
    timing->m_inner = std::make_unique<audio::PulseAudioSystem>();
    audio::setAudioSystem(std::move(timing));
    if (waveOutGetNumDevs() == 0) {
        fprintf(stderr, "no output device: run under scripts/headless-audio.sh\n");
        return 1;
    }
    {
        Bound b = select(mode, CLSID_MMAudioDest);
        const auto t0 = Clock::now();
        speak(b, article);
        waitFor([&] { return timed->firstWriteNs.load() != 0; }, 5000);
        const double first = double(timed->firstWriteNs.load() - t0.time_since_epoch().count()) / 1e6;
        printf("first_audio_ms=%.1f\n", first);
        b.central->AudioReset();
        waitFor([&] { return b.sink->stops > 0; }, 2000);

        double worst = 0;
        b.sink->onWord = [&](QWORD stamp) {
            QWORD played = 0;
            b.central->PosnGet(&played);
            worst = std::max(worst, std::abs(double(played) - double(stamp)) / 1e4);
        };
        speak(b, article);
        const auto t1 = Clock::now();
        waitFor([&] { return msSince(t1) > 8000; }, 9000);
        b.central->AudioReset();
        printf("word_lag_ms=%.1f\n", worst);
        printf("word_lag_words=%d\n", b.sink->words);
    }

    // (b) the platform into a WAV file against the library alone.
    QTemporaryDir dir;
    double libraryMs = 0;
    {
        std::vector<short> samples;
        g_library = &samples;
        const QByteArray utf8 = article.toUtf8();
        const auto t0 = Clock::now();
        espeak->runOnEngineThread([&] {
            espeak_SetSynthCallback(collect);
            espeak_SetVoiceByName(espeak->voiceName(mode).toUtf8().constData());
            espeak_SetParameter(espeakRATE, espeakRATE_NORMAL, 0);
            espeak_SetParameter(espeakPITCH, 50, 0);
            espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                         nullptr);
        });
        libraryMs = msSince(t0);
        printf("wav_library_s=%.2f\n", libraryMs / 1000);
        printf("wav_library_audio_s=%.1f\n", double(samples.size()) / 22050.0);
        g_library = nullptr;
    }
    {
        Bound b = select(mode, CLSID_AudioDestFile, dir.path() + "/article.wav");
        const auto t0 = Clock::now();
        speak(b, article);
        waitFor([&] { return b.sink->stops > 0; }, 600000);
        std::dynamic_pointer_cast<IAudioFile>(b.dest)->Flush();
        const double platformMs = msSince(t0);
        printf("wav_platform_s=%.2f\n", platformMs / 1000);
        printf("wav_platform_audio_s=%.1f\n",
               double(std::dynamic_pointer_cast<AudioDestination>(b.dest)->writtenUs()) / 1e6);
        printf("wav_ratio=%.3f\n", platformMs / libraryMs);
    }
    QFile::remove(dir.path() + "/article.wav");

    audio::setAudioSystem(nullptr);
    return 0;
}
