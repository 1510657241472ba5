#pragma once
// Fixture: a scripted engine with three modes and a scripted audio system with three output devices,
// installed from construction to destruction, so that members of derived fixtures live inside it.

#include "ScriptedEngine.h"

#include "ScriptedAudioSystem.h"
#include "TestSupport.h"
#include "speech/SpeechErrors.h"
#include "speech/TTS.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class ScriptedSpeechTest : public ::testing::Test
{
protected:
    ScriptedSpeechTest()
    {
        engine->addMode(QStringLiteral("Alpha"));
        engine->addMode(QStringLiteral("Beta"));
        engine->addMode(QStringLiteral("Gamma"), /*attributes*/ false);
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
