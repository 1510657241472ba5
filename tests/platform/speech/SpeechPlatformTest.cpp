// The engine-independent platform: identifiers, interface lookup, object
// creation, the enumerator and finder, Select and the start-up probes.
#include "ScriptedAudioSystem.h"
#include "SpeechEngine.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

using namespace sapi;

namespace {

TTSMODEINFOW makeMode(const char *guid, const QString &name, uint16_t language, uint16_t gender = 0)
{
    TTSMODEINFOW m;
    m.gModeID = guidFromString(guid);
    copyName(m.szModeName, reinterpret_cast<const char16_t *>(name.utf16()), size_t(name.size()));
    const QString mfg = QStringLiteral("Fake Maker");
    copyName(m.szMfgName, reinterpret_cast<const char16_t *>(mfg.utf16()), size_t(mfg.size()));
    m.language.LanguageID = language;
    m.wGender = gender;
    m.dwFeatures = TTSFEATURE_TAGGED;
    m.dwInterfaces = TTSI_ITTSATTRIBUTES;
    return m;
}

QString nameOf(const TTSMODEINFOW &m)
{
    return QString::fromUtf16(m.szModeName, qsizetype(nameLength(m.szModeName)));
}

// Records what Select was asked and hands back a bare central.
class FakeEngine : public SpeechEngine
{
public:
    explicit FakeEngine(std::vector<TTSMODEINFOW> modes, std::optional<GUID> def = {})
        : m_modes(std::move(modes)), m_default(def) {}
    std::vector<TTSMODEINFOW> modes() override { return m_modes; }
    std::optional<GUID> defaultMode() override { return m_default; }
    HRESULT select(const GUID &modeId, const UnknownPtr &dest, std::shared_ptr<ITTSCentralW> &central) override
    {
        selected = modeId;
        destination = dest;
        central.reset();
        return E_FAIL;  // a distinct answer proves the call reached this driver
    }
    GUID selected;
    UnknownPtr destination;

private:
    std::vector<TTSMODEINFOW> m_modes;
    std::optional<GUID> m_default;
};

constexpr const char *kGuidA = "{11111111-2222-3333-4444-555555555501}";
constexpr const char *kGuidB = "{11111111-2222-3333-4444-555555555502}";
constexpr const char *kGuidC = "{11111111-2222-3333-4444-555555555503}";
constexpr const char *kGuidD = "{11111111-2222-3333-4444-555555555504}";

class SpeechPlatformTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto scripted = std::make_unique<audio::ScriptedAudioSystem>();
        scripted->setDevices({{audio::ScriptedAudioSystem::makeCaps("One", 2)},
                              {audio::ScriptedAudioSystem::makeCaps("Two", 2)}});
        scripted->setInputDeviceCount(1);
        audioSystem = scripted.get();
        audio::setAudioSystem(std::move(scripted));
        first = std::make_shared<FakeEngine>(std::vector<TTSMODEINFOW>{
            makeMode(kGuidA, "Alpha", 0x0409, 2), makeMode(kGuidB, "Beta", 0x0809, 1)});
        second = std::make_shared<FakeEngine>(
            std::vector<TTSMODEINFOW>{makeMode(kGuidC, "Gamma", 0x040C, 1), makeMode(kGuidD, "Delta", 0x0407, 2)},
            guidFromString(kGuidC));
        SpeechPlatform::setEngines({first, second});
    }
    void TearDown() override
    {
        SpeechPlatform::restoreDefaultEngines();
        audio::setAudioSystem(nullptr);
    }

    std::shared_ptr<ITTSFindW> finder()
    {
        UnknownPtr object;
        EXPECT_EQ(CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_ITTSFindW, object), S_OK);
        return std::dynamic_pointer_cast<ITTSFindW>(object);
    }

    audio::ScriptedAudioSystem *audioSystem = nullptr;
    std::shared_ptr<FakeEngine> first, second;
};

}  // namespace

TEST(GuidTest, ParsesRegistryFormAndRejectsMalformedText)
{
    GUID g = guidFromString("{D67C0280-C743-11CD-80E5-00AA003E4B50}");
    EXPECT_EQ(g.Data1, 0xD67C0280u);
    EXPECT_EQ(g.Data2, 0xC743);
    EXPECT_EQ(g.Data3, 0x11CD);
    EXPECT_EQ(g.Data4[0], 0x80);
    EXPECT_EQ(g.Data4[7], 0x50);
    EXPECT_TRUE(g == CLSID_TTSEnumerator);
    EXPECT_TRUE(guidFromString("d67c0280-c743-11cd-80e5-00aa003e4b50") == g);

    for (const char *bad : {"", "{D67C0280-C743-11CD-80E5-00AA003E4B5}", "{D67C0280C743-11CD-80E5-00AA003E4B50}",
                            "{D67C0280-C743-11CD-80E5-00AA003E4B5G}", "{D67C0280-C743-11CD-80E5-00AA003E4B50",
                            "{D67C0280-C743-11CD-80E5-00AA003E4B50}x"})
        EXPECT_TRUE(guidFromString(bad).isNull()) << bad;
    EXPECT_TRUE(guidFromString(nullptr).isNull());
    EXPECT_FALSE(IID_ITTSEnumW == IID_ITTSFindW);
}

TEST(ModeRecordTest, NamesAreCutToFitWithTerminatingNull)
{
    TTSMODEINFOW m;
    std::u16string longName(400, u'x');
    copyName(m.szModeName, longName.c_str(), longName.size());
    EXPECT_EQ(nameLength(m.szModeName), size_t(TTSI_NAMELEN - 1));
    EXPECT_EQ(m.szModeName[TTSI_NAMELEN - 1], u'\0');

    copyName(m.szModeName, u"ab", 2);
    EXPECT_EQ(nameLength(m.szModeName), 2u);
    EXPECT_EQ(m.szModeName[2], u'\0');  // the rest of the old name is gone
    copyName(m.szModeName, nullptr, 5);
    EXPECT_EQ(nameLength(m.szModeName), 0u);
    EXPECT_EQ(nameLength(nullptr), 0u);

    void *p = CoTaskMemAlloc(16);
    ASSERT_NE(p, nullptr);
    CoTaskMemFree(p);
    CoTaskMemFree(nullptr);
}

TEST_F(SpeechPlatformTest, ObjectsAnswerOnlyForInterfacesTheyImplement)
{
    UnknownPtr object;
    ASSERT_EQ(CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_IUnknown, object), S_OK);
    HRESULT r = S_FALSE;
    EXPECT_TRUE(queryAs<ITTSEnumW>(object, IID_ITTSEnumW, &r));
    EXPECT_EQ(r, S_OK);
    EXPECT_TRUE(queryAs<ITTSFindW>(object, IID_ITTSFindW));
    UnknownPtr out = object;
    EXPECT_EQ(object->QueryInterface(IID_ITTSCentralW, out), E_NOINTERFACE);
    EXPECT_FALSE(out);
    EXPECT_EQ(object->QueryInterface(guidFromString("{01234567-89AB-CDEF-0123-456789ABCDEF}"), out), E_NOINTERFACE);

    struct Central : ITTSNotifySinkW {
        HRESULT AttribChanged(uint32_t) override { return S_OK; }
        HRESULT AudioStart(QWORD) override { return S_OK; }
        HRESULT AudioStop(QWORD) override { return S_OK; }
        HRESULT Visual(QWORD, char16_t, char16_t, uint32_t, const TTSMOUTH *) override { return S_OK; }
    };
    Central unshared;  // not owned by a shared pointer: nothing to hand out
    EXPECT_EQ(unshared.QueryInterface(IID_ITTSNotifySinkW, out), E_NOINTERFACE);
    EXPECT_FALSE(out);

    struct Cases {
        GUID clsid, yes, no;
    } cases[] = {{CLSID_MMAudioDest, IID_IAudioMultiMediaDevice, IID_IAudioFile},
                 {CLSID_AudioDestFile, IID_IAudioFile, IID_IAudioMultiMediaDevice},
                 {CLSID_AudioDestDirect, IID_IAudioDirect, IID_IAudioFile}};
    for (const Cases &c : cases) {
        EXPECT_EQ(CoCreateInstance(c.clsid, nullptr, CLSCTX_ALL, c.yes, out), S_OK);
        EXPECT_TRUE(out);
        EXPECT_EQ(CoCreateInstance(c.clsid, nullptr, CLSCTX_ALL, c.no, out), E_NOINTERFACE);
        EXPECT_FALSE(out);
    }
}

TEST_F(SpeechPlatformTest, CreationFailsForUnknownClassAggregationAndMissingPlatform)
{
    UnknownPtr out;
    EXPECT_EQ(CoCreateInstance(IID_ITTSEnumW, nullptr, CLSCTX_ALL, IID_IUnknown, out), REGDB_E_CLASSNOTREG);
    UnknownPtr outer;
    ASSERT_EQ(CoCreateInstance(CLSID_MMAudioDest, nullptr, CLSCTX_ALL, IID_IUnknown, outer), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_TTSEnumerator, outer, CLSCTX_ALL, IID_ITTSEnumW, out), CLASS_E_NOAGGREGATION);

    SpeechPlatform::setEngines({first}, false);
    EXPECT_FALSE(SpeechPlatform::installed());
    EXPECT_EQ(CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_ITTSEnumW, out), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(out);
    // The destinations do not depend on the speech platform.
    EXPECT_EQ(CoCreateInstance(CLSID_AudioDestFile, nullptr, CLSCTX_ALL, IID_IAudioFile, out), S_OK);
}

TEST_F(SpeechPlatformTest, EnumeratorWalksEveryModeInInstallationOrder)
{
    UnknownPtr object;
    ASSERT_EQ(CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_ITTSEnumW, object), S_OK);
    auto e = std::dynamic_pointer_cast<ITTSEnumW>(object);
    ASSERT_TRUE(e);
    QStringList names;
    TTSMODEINFOW m;
    uint32_t fetched = 0;
    for (;;) {
        ASSERT_EQ(e->Next(1, &m, &fetched), S_OK);
        if (fetched == 0)
            break;
        names << nameOf(m);
    }
    EXPECT_EQ(names, (QStringList{"Alpha", "Beta", "Gamma", "Delta"}));
    EXPECT_EQ(e->Next(1, &m, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);

    e->Reset();
    TTSMODEINFOW batch[3];
    ASSERT_EQ(e->Skip(1), S_OK);
    ASSERT_EQ(e->Next(3, batch, &fetched), S_OK);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(nameOf(batch[0]), "Beta");
    EXPECT_EQ(nameOf(batch[2]), "Delta");
    EXPECT_EQ(e->Next(3, batch, nullptr), E_POINTER);
}

TEST_F(SpeechPlatformTest, FindGivesDefaultVoiceForEmptyQueryAndClosestModeOtherwise)
{
    auto f = finder();
    ASSERT_TRUE(f);
    TTSMODEINFOW query, found;
    ASSERT_EQ(f->Find(&query, nullptr, &found), S_OK);
    EXPECT_EQ(nameOf(found), "Gamma");  // the second driver's own choice

    TTSMODEINFORANK byName;
    byName.dwModeName = 10;
    ASSERT_EQ(f->Find(&query, &byName, &found), S_OK);
    EXPECT_EQ(nameOf(found), "Gamma");  // an empty name is no criterion

    copyName(query.szModeName, u"Delta", 5);
    ASSERT_EQ(f->Find(&query, &byName, &found), S_OK);
    EXPECT_EQ(nameOf(found), "Delta");
    copyName(query.szModeName, u"delta", 5);  // names compare exactly
    ASSERT_EQ(f->Find(&query, &byName, &found), S_OK);
    EXPECT_EQ(nameOf(found), "Gamma");

    TTSMODEINFOW byId;
    byId.gModeID = guidFromString(kGuidB);
    TTSMODEINFORANK idRank;
    idRank.dwModeID = 10;
    ASSERT_EQ(f->Find(&byId, &idRank, &found), S_OK);
    EXPECT_TRUE(found.gModeID == byId.gModeID);
    byId.gModeID = guidFromString("{99999999-2222-3333-4444-555555555501}");
    ASSERT_EQ(f->Find(&byId, &idRank, &found), S_OK);
    EXPECT_TRUE(found.gModeID == guidFromString(kGuidC));  // not installed: the default

    // Swiss German is closest to the German mode; weights decide conflicts.
    TTSMODEINFOW lang;
    lang.language.LanguageID = 0x0807;
    ASSERT_EQ(f->Find(&lang, nullptr, &found), S_OK);
    EXPECT_EQ(nameOf(found), "Delta");
    lang.language.LanguageID = 0x0409;
    lang.wGender = 1;
    TTSMODEINFORANK genderFirst;
    genderFirst.dwLanguage = 1;
    genderFirst.dwGender = 5;
    ASSERT_EQ(f->Find(&lang, &genderFirst, &found), S_OK);
    EXPECT_EQ(nameOf(found), "Beta");  // female, and English at least by its primary language
    TTSMODEINFORANK languageFirst;
    languageFirst.dwLanguage = 5;
    languageFirst.dwGender = 1;
    ASSERT_EQ(f->Find(&lang, &languageFirst, &found), S_OK);
    EXPECT_EQ(nameOf(found), "Alpha");

    EXPECT_EQ(f->Find(nullptr, nullptr, &found), E_POINTER);
    SpeechPlatform::setEngines({});
    f = finder();
    EXPECT_EQ(f->Find(&query, nullptr, &found), TTSERR_INVALIDMODE);
}

TEST_F(SpeechPlatformTest, FindWithoutAnyDriverDefaultTakesFirstMode)
{
    SpeechPlatform::setEngines({first});
    TTSMODEINFOW query, found;
    ASSERT_EQ(finder()->Find(&query, nullptr, &found), S_OK);
    EXPECT_EQ(nameOf(found), "Alpha");
}

TEST_F(SpeechPlatformTest, SelectGoesToTheDriverThatOwnsTheMode)
{
    auto f = finder();
    UnknownPtr dest;
    ASSERT_EQ(CoCreateInstance(CLSID_MMAudioDest, nullptr, CLSCTX_ALL, IID_IUnknown, dest), S_OK);
    std::shared_ptr<ITTSCentralW> central;
    EXPECT_EQ(f->Select(guidFromString(kGuidD), central, dest), E_FAIL);
    EXPECT_TRUE(second->selected == guidFromString(kGuidD));
    EXPECT_EQ(second->destination, dest);
    EXPECT_TRUE(first->selected.isNull());

    EXPECT_EQ(f->Select(guidFromString("{99999999-2222-3333-4444-555555555501}"), central, dest),
              TTSERR_INVALIDMODE);
    EXPECT_FALSE(central);
    EXPECT_EQ(f->Select(guidFromString(kGuidA), central, nullptr), E_INVALIDARG);
}

TEST_F(SpeechPlatformTest, ProbesReportPlatformVoicesAndDevices)
{
    SpeechProbe p = probeSpeechPlatform();
    EXPECT_TRUE(p.speechInstalled);
    EXPECT_TRUE(p.ttsInstalled);
    EXPECT_FALSE(p.srInstalled);
    EXPECT_TRUE(p.waveOutPresent);
    EXPECT_TRUE(p.waveInPresent);
    EXPECT_EQ(waveOutGetNumDevs(), 2u);
    EXPECT_EQ(waveInGetNumDevs(), 1u);

    SpeechPlatform::setEngines({std::make_shared<FakeEngine>(std::vector<TTSMODEINFOW>{})});
    audioSystem->setInputDeviceCount(0);
    p = probeSpeechPlatform();
    EXPECT_TRUE(p.speechInstalled);
    EXPECT_FALSE(p.ttsInstalled);  // an engine without voices does not count
    EXPECT_FALSE(p.waveInPresent);

    audioSystem->setServerReachable(false);
    SpeechPlatform::setEngines({first}, false);
    p = probeSpeechPlatform();
    EXPECT_FALSE(p.speechInstalled);
    EXPECT_FALSE(p.ttsInstalled);
    EXPECT_FALSE(p.waveOutPresent);
    EXPECT_EQ(waveOutGetNumDevs(), 0u);
}
