#include "SpeechTestSupport.h"

using sapi::hr;

namespace {

const char16_t kPaddedName[] = u"  Beta\t";

}  // namespace

TEST(SpeechErrorTest, MessageGivesCodeInHexAndTheTableTextOfItsLow16Bits)
{
    const ESpeechError error(hr(0x80040206));
    EXPECT_EQ(error.message(),
              "OLE error 80040206\r\nThe program has selected a non-existent speech engine.");
    EXPECT_EQ(error.code(), hr(0x80040206));
    // Same key, other severity: same text.
    EXPECT_EQ(SpeechErrorText(hr(0x00040206)), SpeechErrorText(hr(0x80040206)));
    EXPECT_EQ(ESpeechError(hr(0x8004020a)).message().left(19), "OLE error 8004020A\r");
}

TEST(SpeechErrorTest, CodeWithoutTableRowShowsTheSystemText)
{
    EXPECT_TRUE(SpeechErrorText(hr(0x80004005)).isEmpty());
    EXPECT_EQ(ESpeechError(hr(0x80004005)).message(), "OLE error 80004005\r\nUnspecified error");
    // Unknown everywhere: still a readable line, never an empty message.
    const QString unknown = ESpeechError(hr(0x8004ABCD)).message();
    EXPECT_TRUE(unknown.startsWith("OLE error 8004ABCD\r\n"));
    EXPECT_GT(unknown.size(), QString("OLE error 8004ABCD\r\n").size());
}

TEST(SpeechErrorTest, TableCoversEveryRangeWithExactTexts)
{
    // Keys that must have a row, and some that must not.
    std::vector<uint16_t> keys = {0x201, 0x20B, 0x301, 0x302, 0x306, 0x312, 0x313, 0x406, 0x407,
                                  0x40B, 0x411, 0x606, 0x607, 0x60B, 0x70F};
    for (uint16_t k = 0x317; k <= 0x321; ++k)
        if (k != 0x31B && k != 0x31C)
            keys.push_back(k);
    for (uint16_t k = 0x416; k <= 0x428; ++k)
        keys.push_back(k);
    for (uint16_t k = 0x60D; k <= 0x627; ++k)
        keys.push_back(k);
    for (uint16_t k = 0x711; k <= 0x719; ++k)
        keys.push_back(k);
    for (uint16_t k = 0x801; k <= 0x808; ++k)
        keys.push_back(k);
    for (uint16_t key : keys)
        EXPECT_FALSE(SpeechErrorText(hr(0x80040000u | key)).isEmpty()) << std::hex << key;
    for (uint16_t key : {0x200, 0x20C, 0x303, 0x31B, 0x410, 0x60C, 0x710, 0x809})
        EXPECT_TRUE(SpeechErrorText(hr(0x80040000u | key)).isEmpty()) << std::hex << key;

    EXPECT_EQ(SpeechErrorText(hr(0x80040804)),
              "Lexicon error - The disk does not contain enough space to save the information to be "
              "added to the lexicon. ");
    EXPECT_EQ(SpeechErrorText(hr(0x8004031E)), "The audio device is not ready.");
    EXPECT_EQ(SpeechErrorText(hr(0x80040203)), "The audio device is in use at this time.");
}

TEST(SpeechErrorTest, SpeechCheckRaisesForEveryNonZeroCodeSuccessCodesIncluded)
{
    EXPECT_NO_THROW(SpeechCheck(0));
    try {
        SpeechCheck(1);
        FAIL() << "code 1 did not raise";
    } catch (const ESpeechError &e) {
        EXPECT_EQ(e.code(), 1);
        EXPECT_TRUE(e.message().startsWith("OLE error 00000001\r\n"));
    }
    EXPECT_THROW(SpeechCheck(hr(0x80040203)), ESpeechError);
    // The runtime's own check only raises on failures.
    EXPECT_NO_THROW(OleCheck(1));
    EXPECT_THROW(OleCheck(hr(0x80040154)), EOleSysError);
}

using ModeListTest = ScriptedSpeechTest;

TEST_F(ModeListTest, GetModeNamesListsEveryModeInOrderUntrimmedWithDuplicates)
{
    engine->addMode(QString::fromUtf16(kPaddedName));
    engine->addMode(QStringLiteral("Alpha"));
    QStringList names{QStringLiteral("kept")};
    EXPECT_EQ(GetModeNames(names), 0);
    EXPECT_EQ(names, QStringList({"kept", "Alpha", "Beta", "Gamma", QString::fromUtf16(kPaddedName), "Alpha"}));
}

TEST_F(ModeListTest, ModeIDFromNameTrimsBothSidesButKeepsCase)
{
    engine->addMode(QString::fromUtf16(kPaddedName));  // number 4
    sapi::GUID id;
    ModeIDFromName(QStringLiteral("Beta"), id);
    EXPECT_EQ(id, scripted::ScriptedEngine::modeGuid(2));  // the first trimmed match
    ModeIDFromName(QStringLiteral("\x01 Gamma \r\n"), id);
    EXPECT_EQ(id, scripted::ScriptedEngine::modeGuid(3));
    ModeIDFromName(QStringLiteral("gamma"), id);
    EXPECT_TRUE(id.isNull());
    ModeIDFromName(QString(), id);
    EXPECT_TRUE(id.isNull());
}

TEST_F(ModeListTest, WithoutTheSpeechPlatformListsRaiseAndTheComponentCannotChooseModes)
{
    sapi::SpeechPlatform::setEngines({engine}, /*installed*/ false);
    QStringList names;
    EXPECT_THROW(GetModeNames(names), EOleSysError);
    sapi::GUID id;
    EXPECT_THROW(ModeIDFromName(QStringLiteral("Beta"), id), EOleSysError);

    TTTS tts;
    EXPECT_FALSE(SpeechInstalled);
    // Silently ignored, as on a machine without speech.
    EXPECT_NO_THROW(tts.SetModeName(QStringLiteral("Beta")));
    EXPECT_EQ(tts.ModeName(), "Default");
    EXPECT_THROW(tts.SetModeID(scripted::ScriptedEngine::modeGuid(2)), EOleSysError);
    EXPECT_THROW(tts.SetActive(true), EOleSysError);
    EXPECT_FALSE(tts.Active());
}

TEST_F(ModeListTest, ProbeSpeechSupportReportsPlatformAndDevices)
{
    ProbeSpeechSupport();
    EXPECT_TRUE(SpeechInstalled);
    EXPECT_TRUE(TTSInstalled);
    EXPECT_TRUE(WaveOutPresent);

    sapi::SpeechPlatform::setEngines({}, true);
    setDevices(0);
    ProbeSpeechSupport();
    EXPECT_TRUE(SpeechInstalled);
    EXPECT_FALSE(TTSInstalled);
    EXPECT_FALSE(WaveOutPresent);
}
