#pragma once
// Fixture: a scripted engine with three modes and a scripted audio system with three output devices,
// installed from construction to destruction, so that members of derived fixtures live inside it.

#include "ScriptedEngine.h"

#include "ScriptedAudioSystem.h"
#include "TestSupport.h"
#include "speech/SpTools.h"
#include "speech/TTS.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// The data size of a whole WAV file; 0 unless its RIFF and data sizes match the file.
inline quint32 wholeWavData(const QString &path)
{
    const TestSupport::WavFile wav = TestSupport::readWav(path);
    return wav.whole ? quint32(wav.data.size()) : 0;
}

// What a component reports while it speaks; declared before the component, so it outlives it.
struct Heard {
    std::vector<uint32_t> offsets;
    int done = 0, audioStarts = 0, audioStops = 0;
    int offsetsAtFirstStop = -1;
    TTTS *sender = nullptr;

    void listen(TTTS &tts)
    {
        QObject::connect(&tts, &TTTS::OnWordPosition, [this](TTTS *s, sapi::QWORD, uint32_t offset) {
            sender = s;
            offsets.push_back(offset);
        });
        QObject::connect(&tts, &TTTS::OnTextDataDone, [this] { ++done; });
        QObject::connect(&tts, &TTTS::OnAudioStart, [this] { ++audioStarts; });
        QObject::connect(&tts, &TTTS::OnAudioStop, [this] {
            if (audioStops++ == 0)
                offsetsAtFirstStop = int(offsets.size());
        });
    }
    // Speaks and waits for the end of the audio.
    bool speak(TTTS &tts, const QString &text)
    {
        const int stops = audioStops;
        tts.Speak(text);
        return TestSupport::waitFor([&] { return audioStops > stops; }, 30000);
    }
};

class ScriptedSpeechTest : public ::testing::Test
{
protected:
    ScriptedSpeechTest()
    {
        engine->addMode(QStringLiteral("Alpha"), /*tagged*/ true);
        engine->addMode(QStringLiteral("Beta"));
        engine->addMode(QStringLiteral("Gamma"), false, /*attributes*/ false);
        sapi::SpeechPlatform::setEngines({engine});
        setDevices(3);
    }
    ~ScriptedSpeechTest() override
    {
        sapi::SpeechPlatform::restoreDefaultEngines();
        audio::setAudioSystem(nullptr);
    }
    // Installs an audio system with count output devices.
    void setDevices(int count)
    {
        auto system = std::make_unique<audio::ScriptedAudioSystem>();
        std::vector<audio::ScriptedDevice> devices;
        for (int i = 0; i < count; ++i)
            devices.push_back({audio::ScriptedAudioSystem::makeCaps(QStringLiteral("Out %1").arg(i), 2)});
        system->setDevices(devices);
        audio::setAudioSystem(std::move(system));
    }
    // The message of the exception f raises, or "no exception".
    template <class E = EAppError>
    static QString messageOf(const std::function<void()> &f)
    {
        try {
            f();
        } catch (const E &e) {
            return e.message();
        }
        return QStringLiteral("no exception");
    }
    static sapi::GUID mode(uint32_t number) { return scripted::ScriptedEngine::modeGuid(number); }

    std::shared_ptr<scripted::ScriptedEngine> engine = std::make_shared<scripted::ScriptedEngine>();
};
