#include "SpeechTestSupport.h"

using sapi::hr;

TEST(SpeechErrorTest, MessageGivesCodeInHexAndTheTableOrSystemText)
{
    const ESpeechError error(hr(0x80040206));
    EXPECT_EQ(error.message(), "OLE error 80040206\r\nThe program has selected a non-existent speech engine.");
    // The low 16 bits are the key: same key, other severity, same text.
    EXPECT_EQ(SpeechErrorText(hr(0x00040206)), SpeechErrorText(hr(0x80040206)));
    EXPECT_EQ(ESpeechError(hr(0x8004020a)).message().left(19), "OLE error 8004020A\r");
    EXPECT_TRUE(ESpeechError(1).message().startsWith("OLE error 00000001\r\n"));
    // Without a table row: the system text, or at least a readable line.
    EXPECT_TRUE(SpeechErrorText(hr(0x80004005)).isEmpty());
    EXPECT_EQ(ESpeechError(hr(0x80004005)).message(), "OLE error 80004005\r\nUnspecified error");
    const QString unknown = ESpeechError(hr(0x8004ABCD)).message();
    EXPECT_TRUE(unknown.startsWith("OLE error 8004ABCD\r\n"));
    EXPECT_GT(unknown.size(), QString("OLE error 8004ABCD\r\n").size());
}

TEST(SpeechErrorTest, SpeechCheckRaisesForEveryNonZeroCodeSuccessCodesIncluded)
{
    EXPECT_NO_THROW(SpeechCheck(0));
    EXPECT_THROW(SpeechCheck(1), ESpeechError);
    EXPECT_THROW(SpeechCheck(hr(0x80040203)), ESpeechError);
    // The runtime's own check only raises on failures.
    EXPECT_NO_THROW(OleCheck(1));
    EXPECT_THROW(OleCheck(hr(0x80040154)), EOleSysError);
}

using ModeListTest = ScriptedSpeechTest;

TEST_F(ModeListTest, ModeNamesAreListedUntrimmedAndLookedUpTrimmedButCaseSensitive)
{
    const QString padded = QString::fromUtf16(u"  Beta\t");
    engine->addMode(padded);  // number 4
    engine->addMode(QStringLiteral("Alpha"));
    QStringList names{QStringLiteral("kept")};
    EXPECT_EQ(GetModeNames(names), 0);
    EXPECT_EQ(names, QStringList({"kept", "Alpha", "Beta", "Gamma", padded, "Alpha"}));

    const std::pair<QString, uint32_t> lookups[] = {
        {"Beta", 2},  // the first trimmed match
        {"\x01 Gamma \r\n", 3},
        {"gamma", 0},
        {QString(), 0},
    };
    for (const auto &[name, number] : lookups) {
        sapi::GUID id = mode(99);  // must be overwritten, also when nothing matches
        ModeIDFromName(name, id);
        EXPECT_EQ(id, number ? mode(number) : sapi::GUID{}) << name.toStdString();
    }
}

TEST_F(ModeListTest, WithoutTheSpeechPlatformListsRaiseAndTheComponentCannotChooseModes)
{
    sapi::SpeechPlatform::setEngines({engine}, /*installed*/ false);
    QStringList names;
    EXPECT_THROW(GetModeNames(names), EOleSysError);
    sapi::GUID id;
    EXPECT_THROW(ModeIDFromName(QStringLiteral("Beta"), id), EOleSysError);

    TTTS tts;
    EXPECT_FALSE(tts.SpeechInstalled());
    EXPECT_NO_THROW(tts.SetModeName(QStringLiteral("Beta")));  // ignored, as on a machine without speech
    EXPECT_EQ(tts.ModeName(), "Default");
    EXPECT_THROW(tts.SetModeID(mode(2)), EOleSysError);
    EXPECT_THROW(tts.SetActive(true), EOleSysError);
    EXPECT_FALSE(tts.Active());
}
