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

// The reader lists no modes by name, and the platform is always there for it: one check of each rule.
TEST_F(ModeListTest, ModeNamesAreListedUntrimmedAndLookedUpTrimmedAndWithoutThePlatformNothingIsListed)
{
    const QString padded = QString::fromUtf16(u"  Beta\t");
    engine->addMode(padded);
    QStringList names{QStringLiteral("kept")};
    EXPECT_EQ(GetModeNames(names), 0);
    EXPECT_EQ(names, QStringList({"kept", "Alpha", "Beta", "Gamma", padded}));
    sapi::GUID id;
    ModeIDFromName("\x01 Beta \r\n", id);  // the first trimmed match
    EXPECT_EQ(id, mode(2));
    ModeIDFromName("gamma", id);  // no match clears the ID
    EXPECT_EQ(id, sapi::GUID{});

    sapi::SpeechPlatform::setEngines({engine}, /*installed*/ false);
    EXPECT_THROW(GetModeNames(names), EOleSysError);
    TTTS tts;
    EXPECT_FALSE(tts.SpeechInstalled());
    EXPECT_THROW(tts.SetActive(true), EOleSysError);
}
