// The engine-independent platform: identifiers, interface lookup, object
// creation, the enumerator and finder, Select and the start-up probes.
#include "ScriptedEngine.h"
#include "SpeechTestSupport.h"

#include <QStringList>

using namespace sapi;
using scripted::ScriptedEngine;
using speechtest::create;
using speechtest::modeName;

namespace {

const auto id = ScriptedEngine::modeGuid;

// A mode record, or a query of Find, with the fields given.
TTSMODEINFOW makeMode(uint32_t number, const QString &name, uint16_t language = 0)
{
    TTSMODEINFOW m;
    m.gModeID = number ? id(number) : GUID{};
    const std::u16string text = name.toStdU16String();
    copyName(m.szModeName, text.data(), text.size());
    m.language.LanguageID = language;
    return m;
}

constexpr uint32_t kMissing = 99;

// Two drivers of two modes each; Select reaches them and fails with a code of its own.
class SpeechPlatformTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        scriptedAudio->setDevices(
            {{audio::ScriptedAudioSystem::makeCaps("One", 2)}, {audio::ScriptedAudioSystem::makeCaps("Two", 2)}});
        first->addMode(makeMode(1, "Alpha", 0x0409));
        first->addMode(makeMode(2, "Beta", 0x0809));
        second->addMode(makeMode(3, "Gamma", 0x040C));
        second->addMode(makeMode(4, "Delta", 0x0407));
        second->defaultModeId = id(3);
        second->script.pitch = 120;
        first->script.selectResult = second->script.selectResult = E_FAIL;
        SpeechPlatform::setEngines({first, second});
    }
    void TearDown() override { SpeechPlatform::restoreDefaultEngines(); }
    static std::shared_ptr<ITTSFindW> finder() { return create<ITTSFindW>(CLSID_TTSEnumerator, IID_ITTSFindW); }

    speechtest::ScopedAudioSystem<> scriptedAudio;
    std::shared_ptr<ScriptedEngine> first = std::make_shared<ScriptedEngine>();
    std::shared_ptr<ScriptedEngine> second = std::make_shared<ScriptedEngine>();
};

}  // namespace

TEST(GuidTest, ParsesRegistryFormAndRejectsMalformedText)
{
    const GUID g{0xD67C0280, 0xC743, 0x11CD, {0x80, 0xE5, 0x00, 0xAA, 0x00, 0x3E, 0x4B, 0x50}};
    EXPECT_TRUE(guidFromString("{D67C0280-C743-11CD-80E5-00AA003E4B50}") == g);
    EXPECT_TRUE(guidFromString("d67c0280-c743-11cd-80e5-00aa003e4b50") == g);
    for (const char *bad : {"", "{D67C0280-C743-11CD-80E5-00AA003E4B5}", "{D67C0280C743-11CD-80E5-00AA003E4B50}",
                            "{D67C0280-C743-11CD-80E5-00AA003E4B5G}", "{D67C0280-C743-11CD-80E5-00AA003E4B50",
                            "{D67C0280-C743-11CD-80E5-00AA003E4B50}x", static_cast<const char *>(nullptr)})
        EXPECT_TRUE(guidFromString(bad).isNull()) << (bad ? bad : "null");
}

TEST_F(SpeechPlatformTest, ObjectsAnswerOnlyForInterfacesTheyImplementAndCreationFailsWithItsCode)
{
    const struct {
        GUID clsid, yes, no;
    } cases[] = {{CLSID_TTSEnumerator, IID_ITTSFindW, IID_ITTSCentralW},
                 {CLSID_MMAudioDest, IID_IAudioMultiMediaDevice, IID_IAudioFile},
                 {CLSID_AudioDestFile, IID_IAudioFile, IID_IAudioMultiMediaDevice}};
    UnknownPtr out;
    for (const auto &c : cases) {
        EXPECT_TRUE(CoCreateInstance(c.clsid, nullptr, CLSCTX_ALL, c.yes, out) == S_OK && out);
        EXPECT_TRUE(CoCreateInstance(c.clsid, nullptr, CLSCTX_ALL, c.no, out) == E_NOINTERFACE && !out);
    }

    EXPECT_EQ(CoCreateInstance(IID_ITTSEnumW, nullptr, CLSCTX_ALL, IID_IUnknown, out), REGDB_E_CLASSNOTREG);
    SpeechPlatform::setEngines({first}, false);
    EXPECT_EQ(CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_ITTSEnumW, out), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(out);
    // The destinations do not depend on the speech platform.
    EXPECT_EQ(CoCreateInstance(CLSID_AudioDestFile, nullptr, CLSCTX_ALL, IID_IAudioFile, out), S_OK);
}

TEST_F(SpeechPlatformTest, EnumeratorWalksEveryModeInInstallationOrder)
{
    QStringList names;
    for (const TTSMODEINFOW &m : speechtest::allModes())
        names << modeName(m);
    EXPECT_EQ(names, (QStringList{"Alpha", "Beta", "Gamma", "Delta"}));

    // Nothing in the program skips or fetches more than one; one check of both.
    auto e = create<ITTSEnumW>(CLSID_TTSEnumerator, IID_ITTSEnumW);
    TTSMODEINFOW batch[3];
    uint32_t fetched = 0;
    ASSERT_EQ(e->Skip(1), S_OK);
    ASSERT_EQ(e->Next(3, batch, &fetched), S_OK);
    EXPECT_EQ(modeName(batch[2]), "Delta");
}

TEST_F(SpeechPlatformTest, FindGivesDefaultVoiceForEmptyQueryAndClosestModeOtherwise)
{
    auto f = finder();
    ASSERT_TRUE(f);
    const TTSMODEINFORANK byName{.dwModeName = 10}, byId{.dwModeID = 10};
    const struct {
        TTSMODEINFOW query;
        const TTSMODEINFORANK *rank;
        const char *found;
    } cases[] = {
        {{}, nullptr, "Gamma"},  // the second driver's own choice
        {{}, &byName, "Gamma"},  // an empty name is no criterion
        {makeMode(0, "Delta"), &byName, "Delta"},
        {makeMode(0, "delta"), &byName, "Gamma"},  // names compare exactly
        {makeMode(2, ""), &byId, "Beta"},
        {makeMode(kMissing, ""), &byId, "Gamma"},     // not installed: the default
        {makeMode(0, "", 0x0807), nullptr, "Delta"},  // Swiss German is closest to German
    };
    for (const auto &c : cases) {
        TTSMODEINFOW found;
        ASSERT_EQ(f->Find(&c.query, c.rank, &found), S_OK);
        EXPECT_EQ(modeName(found), c.found);
    }
    TTSMODEINFOW query, found;
    EXPECT_EQ(f->Find(nullptr, nullptr, &found), E_POINTER);

    // The platform's own queries give what the finder gives, without a finder.
    const auto defaultOf = [] { return SpeechPlatform::installedModes().defaultMode; };
    EXPECT_TRUE(defaultOf() == id(3));
    second->defaultModeId = id(kMissing);  // a default that is not installed: the first mode
    ASSERT_EQ(finder()->Find(&query, nullptr, &found), S_OK);
    EXPECT_EQ(modeName(found), "Alpha");
    EXPECT_TRUE(defaultOf() == id(1));
    SpeechPlatform::setEngines({first});  // no driver has a default: the first mode
    ASSERT_EQ(finder()->Find(&query, nullptr, &found), S_OK);
    EXPECT_EQ(modeName(found), "Alpha");
    EXPECT_TRUE(defaultOf() == id(1));
    SpeechPlatform::setEngines({});
    EXPECT_EQ(finder()->Find(&query, nullptr, &found), TTSERR_INVALIDMODE);
    EXPECT_TRUE(defaultOf().isNull());
}

TEST_F(SpeechPlatformTest, SelectAndRangesGoToTheDriverThatOwnsTheMode)
{
    auto f = finder();
    const UnknownPtr dest = create<IUnknown>(CLSID_MMAudioDest, IID_IUnknown);
    std::shared_ptr<ITTSCentralW> central;
    EXPECT_EQ(f->Select(id(4), central, dest), E_FAIL);
    EXPECT_EQ(second->log.selectedModes, std::vector<GUID>{id(4)});
    EXPECT_EQ(second->log.destinations, std::vector<UnknownPtr>{dest});
    EXPECT_EQ(first->log.selects, 0);
    EXPECT_EQ(f->Select(id(kMissing), central, dest), TTSERR_INVALIDMODE);
    EXPECT_FALSE(central);
    EXPECT_EQ(f->Select(id(1), central, nullptr), E_INVALIDARG);

    // So do the ranges, known without selecting.
    EXPECT_EQ(SpeechPlatform::ranges(id(4))->defaultPitch, 120);
    EXPECT_EQ(SpeechPlatform::ranges(id(1))->defaultPitch, 100);
    EXPECT_FALSE(SpeechPlatform::ranges(id(kMissing)));
}

// Nothing in the program asks the probes; one check that they see voices and devices.
TEST_F(SpeechPlatformTest, ProbesReportPlatformVoicesAndDevices)
{
    const SpeechProbe p = probeSpeechPlatform();
    EXPECT_TRUE(p.speechInstalled && p.ttsInstalled && p.waveOutPresent && p.waveInPresent && !p.srInstalled);
    SpeechPlatform::setEngines({std::make_shared<ScriptedEngine>()});
    EXPECT_FALSE(probeSpeechPlatform().ttsInstalled);  // an engine without voices does not count
}
