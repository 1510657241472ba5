#pragma once
// Fixture: a scripted engine with three modes and a scripted audio system
// with three output devices, installed for one test.

#include "ScriptedEngine.h"

#include "platform/audio/ScriptedAudioSystem.h"
#include "speech/SpTools.h"
#include "speech/TTS.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class ScriptedSpeechTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine = std::make_shared<scripted::ScriptedEngine>();
        engine->addMode(QStringLiteral("Alpha"), /*tagged*/ true);
        engine->addMode(QStringLiteral("Beta"));
        engine->addMode(QStringLiteral("Gamma"), false, /*attributes*/ false);
        sapi::SpeechPlatform::setEngines({engine});
        setDevices(3);
        ProbeSpeechSupport();
    }

    void TearDown() override
    {
        sapi::SpeechPlatform::restoreDefaultEngines();
        audio::setAudioSystem(nullptr);
    }

    void setDevices(int count)
    {
        auto system = std::make_unique<audio::ScriptedAudioSystem>();
        std::vector<audio::ScriptedDevice> devices;
        for (int i = 0; i < count; ++i)
            devices.push_back({audio::ScriptedAudioSystem::makeCaps(QStringLiteral("Out %1").arg(i), 2)});
        system->setDevices(devices);
        audioSystem = system.get();
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

    std::shared_ptr<scripted::ScriptedEngine> engine;
    audio::ScriptedAudioSystem *audioSystem = nullptr;
};
