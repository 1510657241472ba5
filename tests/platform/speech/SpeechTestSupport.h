#pragma once
// Sinks that record what an engine reports, and helpers to create platform
// objects, select a mode on a device or a WAV file and read the file back.

#include "AudioDestinations.h"
#include "ScriptedAudioSystem.h"
#include "SpeechApi.h"
#include "SpeechEngine.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

namespace speechtest {

using sapi::HRESULT;

struct Note {
    enum Kind { TextStarted, Word, Mark, TextDone, AudioStart, AudioStop, Visual, Attrib };
    Kind kind;
    uint32_t value = 0;  // offset, mark, flags, attribute
    sapi::QWORD stamp = 0;
    std::chrono::steady_clock::time_point at;
    bool onMainThread = false;
};

// Records every call of both sink interfaces, in order, with the time it came.
class Recorder : public sapi::ITTSBufNotifySink, public sapi::ITTSNotifySinkW
{
public:
    std::vector<Note> notes;

    HRESULT TextDataDone(sapi::QWORD t, uint32_t flags) override { return add(Note::TextDone, t, flags); }
    HRESULT TextDataStarted(sapi::QWORD t) override { return add(Note::TextStarted, t, 0); }
    HRESULT BookMark(sapi::QWORD t, uint32_t mark) override { return add(Note::Mark, t, mark); }
    HRESULT WordPosition(sapi::QWORD t, uint32_t offset) override { return add(Note::Word, t, offset); }
    HRESULT AttribChanged(uint32_t a) override { return add(Note::Attrib, 0, a); }
    HRESULT AudioStart(sapi::QWORD t) override { return add(Note::AudioStart, t, 0); }
    HRESULT AudioStop(sapi::QWORD t) override { return add(Note::AudioStop, t, 0); }
    HRESULT Visual(sapi::QWORD t, char16_t, char16_t engine, uint32_t, const sapi::TTSMOUTH *m) override
    {
        return add(Note::Visual, t, m ? engine : 0xFFFF);
    }

    int count(Note::Kind k) const { return int(values(k).size()); }
    std::vector<uint32_t> values(Note::Kind k) const;

private:
    HRESULT add(Note::Kind k, sapi::QWORD t, uint32_t v);
};

// A platform object (the enumerator or an audio destination) as its interface I.
template <class I>
std::shared_ptr<I> create(const sapi::GUID &clsid, const sapi::GUID &iid)
{
    sapi::UnknownPtr object;
    EXPECT_EQ(sapi::CoCreateInstance(clsid, nullptr, sapi::CLSCTX_ALL, iid, object), sapi::S_OK);
    return std::dynamic_pointer_cast<I>(object);
}

// An audio system of the test's in place of the real one until the end of the scope.
template <class System = audio::ScriptedAudioSystem>
struct ScopedAudioSystem {
    ScopedAudioSystem()
    {
        auto owned = std::make_unique<System>();
        system = owned.get();
        audio::setAudioSystem(std::move(owned));
    }
    ~ScopedAudioSystem() { audio::setAudioSystem(nullptr); }
    System *operator->() const { return system; }
    System *system;
};

// A mode of the installed engines by the start of its mode name.
sapi::TTSMODEINFOW modeNamed(const QString &prefix);
std::vector<sapi::TTSMODEINFOW> allModes();
QString modeName(const sapi::TTSMODEINFOW &m);

struct Bound {
    std::shared_ptr<sapi::ITTSCentralW> central;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    sapi::UnknownPtr dest;
    HRESULT result = sapi::E_FAIL;
};

// A new file destination, and setting its file (as a WAV file).
inline std::shared_ptr<sapi::FileAudioDest> fileDest()
{
    return create<sapi::FileAudioDest>(sapi::CLSID_AudioDestFile, sapi::IID_IAudioFile);
}
inline HRESULT setPath(sapi::IAudioFile &dest, const QString &path)
{
    return dest.Set(reinterpret_cast<const char16_t *>(path.utf16()), 1);
}

// Selects the mode on the default device / a WAV file, with a recorder
// registered for engine notifications.
Bound onDevice(const sapi::GUID &mode);
Bound toFile(const sapi::GUID &mode, const QString &path);

// Queues UTF-16 text with the recorder as buffer sink.
HRESULT speak(Bound &b, const QString &text, bool tagged = false);
// Runs the event loop until the recorder saw count AudioStops.
bool waitForStop(Bound &b, int timeoutMs, int count = 1);
using TestSupport::idle;

struct Wav : TestSupport::WavFile {
    double rms() const;
    // Rough mean pitch (Hz) of the loud frames, by autocorrelation.
    double meanPitchHz() const;
};

// Speaks text into a new WAV file in the test home, to its end, and reads it back.
struct Spoken {
    Wav wav;
    std::shared_ptr<Recorder> notes;
};
Spoken speakToFile(const sapi::TTSMODEINFOW &mode, const QString &text,
                   const std::function<void(Bound &)> &before = {});

// The installed engines, with a mode of each at hand.
class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sapi::SpeechPlatform::restoreDefaultEngines();
        espeak = modeNamed("eSpeak NG English (America)");
        flite = modeNamed("Flite slt");
        ASSERT_FALSE(espeak.gModeID.isNull()) << "eSpeak NG did not load";
        ASSERT_FALSE(flite.gModeID.isNull()) << "Flite did not load";
    }
    sapi::TTSMODEINFOW espeak, flite;
};

}  // namespace speechtest
