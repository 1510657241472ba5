#include "SpeechTestSupport.h"

#include "SpeechEngine.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <cmath>

using namespace sapi;

namespace speechtest {

HRESULT Recorder::add(Note::Kind k, QWORD t, uint32_t v)
{
    const bool main = QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
    notes.push_back({k, v, t, std::chrono::steady_clock::now(), main});
    return S_OK;
}

int Recorder::count(Note::Kind k) const
{
    return int(std::count_if(notes.begin(), notes.end(), [k](const Note &n) { return n.kind == k; }));
}

std::vector<uint32_t> Recorder::values(Note::Kind k) const
{
    std::vector<uint32_t> out;
    for (const Note &n : notes)
        if (n.kind == k)
            out.push_back(n.value);
    return out;
}

bool Recorder::allOnMainThread() const
{
    return std::all_of(notes.begin(), notes.end(), [](const Note &n) { return n.onMainThread; });
}

QString modeName(const TTSMODEINFOW &m)
{
    return QString::fromUtf16(m.szModeName, qsizetype(nameLength(m.szModeName)));
}

std::vector<TTSMODEINFOW> allModes()
{
    std::vector<TTSMODEINFOW> out;
    UnknownPtr object;
    if (CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_ITTSEnumW, object) != S_OK)
        return out;
    auto e = std::dynamic_pointer_cast<ITTSEnumW>(object);
    TTSMODEINFOW m;
    uint32_t n = 0;
    while (e->Next(1, &m, &n) == S_OK && n == 1)
        out.push_back(m);
    return out;
}

TTSMODEINFOW modeNamed(const QString &prefix)
{
    for (const TTSMODEINFOW &m : allModes())
        if (modeName(m).startsWith(prefix))
            return m;
    return {};
}

namespace {

Bound bindMode(const GUID &mode, const UnknownPtr &dest)
{
    Bound b;
    b.dest = dest;
    b.recorder = std::make_shared<Recorder>();
    UnknownPtr object;
    if ((b.result = CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_ITTSEnumW, object)) != S_OK)
        return b;
    auto e = std::dynamic_pointer_cast<ITTSEnumW>(object);
    if ((b.result = e->Select(mode, b.central, dest)) != S_OK)
        return b;
    uint32_t key = 0;
    b.result = b.central->Register(b.recorder, IID_ITTSNotifySinkW, &key);
    return b;
}

}  // namespace

Bound onDevice(const GUID &mode)
{
    UnknownPtr dest;
    CoCreateInstance(CLSID_MMAudioDest, nullptr, CLSCTX_ALL, IID_IAudioMultiMediaDevice, dest);
    return bindMode(mode, dest);
}

Bound toFile(const GUID &mode, const QString &path)
{
    UnknownPtr dest;
    CoCreateInstance(CLSID_AudioDestFile, nullptr, CLSCTX_ALL, IID_IAudioFile, dest);
    Bound b;
    auto file = std::dynamic_pointer_cast<IAudioFile>(dest);
    if ((b.result = file->Set(reinterpret_cast<const char16_t *>(path.utf16()), 1)) != S_OK)
        return b;
    return bindMode(mode, dest);
}

HRESULT speak(Bound &b, const QString &text, bool tagged)
{
    SDATA d;
    d.pData = const_cast<char16_t *>(reinterpret_cast<const char16_t *>(text.utf16()));
    d.dwSize = uint32_t((text.size() + 1) * 2);
    return b.central->TextData(CHARSET_TEXT, tagged ? TTSDATAFLAG_TAGGED : 0, d, b.recorder, IID_ITTSBufNotifySink);
}

bool waitForStop(Bound &b, int timeoutMs, int count)
{
    return TestSupport::waitFor([&] { return b.recorder->count(Note::AudioStop) >= count; }, timeoutMs);
}

Wav readWav(const QString &path)
{
    Wav w;
    const QByteArray b = TestSupport::readFile(path);
    w.fileSize = b.size();
    if (b.size() < 44 || b.left(4) != "RIFF" || b.mid(8, 4) != "WAVE" || b.mid(36, 4) != "data")
        return w;
    auto le32 = [&](int at) {
        return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
               uint32_t(uint8_t(b[at + 3])) << 24;
    };
    w.riffSize = le32(4);
    w.sampleRate = int(le32(24));
    w.channels = uint8_t(b[22]);
    w.dataSize = le32(40);
    const qsizetype n = (b.size() - 44) / 2;
    w.samples.resize(size_t(n));
    std::memcpy(w.samples.data(), b.constData() + 44, size_t(n) * 2);
    w.valid = true;
    return w;
}

double Wav::rms() const
{
    if (samples.empty())
        return 0;
    double sum = 0;
    for (int16_t s : samples)
        sum += double(s) * s;
    return std::sqrt(sum / double(samples.size()));
}

double Wav::meanPitchHz() const
{
    // Frames of 40 ms; only loud ones count, so pauses do not weigh in.
    const size_t frame = size_t(std::max(1, sampleRate / 25));
    const size_t minLag = size_t(sampleRate / 500), maxLag = size_t(sampleRate / 50);
    const double level = rms();
    double sum = 0;
    int frames = 0;
    for (size_t start = 0; start + frame + maxLag <= samples.size(); start += frame) {
        double energy = 0;
        for (size_t i = start; i < start + frame; ++i)
            energy += double(samples[i]) * samples[i];
        if (std::sqrt(energy / double(frame)) < level)
            continue;
        size_t bestLag = 0;
        double best = 0;
        for (size_t lag = minLag; lag <= maxLag; ++lag) {
            double c = 0;
            for (size_t i = start; i < start + frame; ++i)
                c += double(samples[i]) * samples[i + lag];
            if (c > best) {
                best = c;
                bestLag = lag;
            }
        }
        if (bestLag && best > 0.3 * energy) {
            sum += double(sampleRate) / double(bestLag);
            ++frames;
        }
    }
    return frames ? sum / frames : 0;
}

}  // namespace speechtest
