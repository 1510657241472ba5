#include "SpeechTestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cmath>

using namespace sapi;

namespace speechtest {

HRESULT Recorder::add(Note::Kind k, QWORD t, uint32_t v)
{
    const bool main = QCoreApplication::instance() &&
                      QThread::currentThread() == QCoreApplication::instance()->thread();
    notes.push_back({k, v, t, std::chrono::steady_clock::now(), main});
    return S_OK;
}

std::vector<uint32_t> Recorder::values(Note::Kind k) const
{
    std::vector<uint32_t> out;
    for (const Note &n : notes)
        if (n.kind == k)
            out.push_back(n.value);
    return out;
}

QString modeName(const TTSMODEINFOW &m)
{
    return QString::fromUtf16(m.szModeName, qsizetype(nameLength(m.szModeName)));
}

namespace {

Bound bindMode(const GUID &mode, const UnknownPtr &dest)
{
    Bound b;
    b.dest = dest;
    auto e = create<ITTSEnumW>(CLSID_TTSEnumerator, IID_ITTSEnumW);
    if (!e || (b.result = e->Select(mode, b.central, dest)) != S_OK)
        return b;
    uint32_t key = 0;
    b.result = b.central->Register(b.recorder, IID_ITTSNotifySinkW, &key);
    return b;
}

}  // namespace

std::vector<TTSMODEINFOW> allModes()
{
    std::vector<TTSMODEINFOW> out;
    TTSMODEINFOW m;
    uint32_t n = 0;
    if (auto e = create<ITTSEnumW>(CLSID_TTSEnumerator, IID_ITTSEnumW))
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

Bound onDevice(const GUID &mode)
{
    return bindMode(mode, create<IUnknown>(CLSID_MMAudioDest, IID_IAudioMultiMediaDevice));
}

Bound toFile(const GUID &mode, const QString &path)
{
    auto dest = fileDest();
    Bound b;
    if ((b.result = setPath(*dest, path)) != S_OK)
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

Spoken speakToFile(const TTSMODEINFOW &mode, const QString &text, const std::function<void(Bound &)> &before)
{
    static int files = 0;
    const QString path = TestSupport::homeDir() + QString("/spoken-%1.wav").arg(++files);
    Bound b = toFile(mode.gModeID, path);
    EXPECT_EQ(b.result, S_OK) << modeName(mode).toStdString();
    if (b.result != S_OK)
        return {{}, b.recorder};
    if (before)
        before(b);
    EXPECT_EQ(speak(b, text), S_OK);
    EXPECT_TRUE(waitForStop(b, 20000)) << modeName(mode).toStdString();
    EXPECT_EQ(std::dynamic_pointer_cast<IAudioFile>(b.dest)->Flush(), S_OK);
    return {{TestSupport::readWav(path)}, b.recorder};
}

double Wav::rms() const
{
    const std::vector<int16_t> samples = this->samples();
    double sum = 0;
    for (int16_t s : samples)
        sum += double(s) * s;
    return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
}

double Wav::meanPitchHz() const
{
    // Frames of 40 ms; only loud ones count, so pauses do not weigh in.
    const std::vector<int16_t> samples = this->samples();
    const size_t frame = size_t(std::max(1, sampleRate / 25)), minLag = size_t(sampleRate / 500);
    const size_t maxLag = size_t(sampleRate / 50);
    const double level = rms();
    auto correlation = [&](size_t start, size_t lag) {
        double c = 0;
        for (size_t i = start; i < start + frame; ++i)
            c += double(samples[i]) * samples[i + lag];
        return c;
    };
    double sum = 0;
    int frames = 0;
    for (size_t start = 0; start + frame + maxLag <= samples.size(); start += frame) {
        const double energy = correlation(start, 0);
        std::pair<double, size_t> best{0, 0};
        for (size_t lag = minLag; energy >= level * level * double(frame) && lag <= maxLag; ++lag)
            best = std::max(best, std::pair{correlation(start, lag), lag});
        if (best.second && best.first > 0.3 * energy) {
            sum += double(sampleRate) / double(best.second);
            ++frames;
        }
    }
    return frames ? sum / frames : 0;
}

}  // namespace speechtest
