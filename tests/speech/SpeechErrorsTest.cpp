#include "SpeechTestSupport.h"

using sapi::hr;

TEST(SpeechErrorTest, MessageGivesTheTextInWordsThenTheCodeInHexForEveryCodeThePlatformGives)
{
    const ESpeechError error(hr(0x80040206));
    EXPECT_EQ(error.message(), "The program has selected a non-existent speech engine.\r\n\r\nError code 80040206");
    // The low 16 bits are the key: same key, other severity, same text.
    EXPECT_EQ(SpeechErrorText(hr(0x00040206)), SpeechErrorText(hr(0x80040206)));
    EXPECT_TRUE(ESpeechError(hr(0x8004020a)).message().endsWith("\r\n\r\nError code 8004020A"));
    // Without a table row: the general text, or at least a sentence.
    EXPECT_TRUE(SpeechErrorText(hr(0x80004005)).isEmpty());
    EXPECT_EQ(EOleSysError(hr(0x80004005)).message(), ESpeechError(hr(0x80004005)).message());
    const QString general = SystemErrorText(hr(0x8004ABCD));
    EXPECT_EQ(ESpeechError(hr(0x8004ABCD)).message(), general + "\r\n\r\nError code 8004ABCD");
    using namespace sapi;
    // clang-format off
    const HRESULT platformCodes[] = {
        S_FALSE, E_NOTIMPL, E_NOINTERFACE, E_POINTER, E_FAIL, E_OUTOFMEMORY, E_INVALIDARG, REGDB_E_CLASSNOTREG,
        CLASS_E_NOAGGREGATION, TTSERR_OUTOFDISK, TTSERR_VALUEOUTOFRANGE, TTSERR_INVALIDWINDOW, TTSERR_INVALIDMODE,
        TTSERR_INVALIDKEY, TTSERR_WAVEFORMATNOTSUPPORTED, TTSERR_INVALIDCHAR, TTSERR_QUEUEFULL, TTSERR_WAVEDEVICEBUSY,
        TTSERR_NOTPAUSED, TTSERR_ALREADYPAUSED, AUDERR_NOTOPEN};
    // clang-format on
    for (const HRESULT code : platformCodes) {
        const QString words = ESpeechError(code).message().section("\r\n", 0, 0);
        EXPECT_TRUE(words != general && words.endsWith('.') && !words.contains("OLE") && !words.contains("rror 8"))
            << words.toStdString();
    }
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
