// The real engines (eSpeak NG and Flite) through the platform, on the
// headless sound server and into WAV files.
#include "SpeechEngine.h"
#include "SpeechTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QStringList>
#include <QThread>

using namespace sapi;
using namespace speechtest;

namespace {

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SpeechPlatform::restoreDefaultEngines();
        espeak = modeNamed("eSpeak NG English (America)");
        flite = modeNamed("Flite slt");
        ASSERT_FALSE(espeak.gModeID.isNull()) << "eSpeak NG did not load";
        ASSERT_FALSE(flite.gModeID.isNull()) << "Flite did not load";
    }

    QString wavPath(const QString &name) const { return TestSupport::homeDir() + u'/' + name + ".wav"; }

    // Speaks text into a WAV file and gives what the recorder saw.
    Wav speakToFile(const TTSMODEINFOW &mode, const QString &text, bool tagged = false,
                    std::shared_ptr<Recorder> *notes = nullptr, const std::function<void(Bound &)> &before = {})
    {
        const QString path = wavPath(QString::number(++m_files));
        Bound b = toFile(mode.gModeID, path);
        EXPECT_EQ(b.result, S_OK) << modeName(mode).toStdString();
        if (b.result != S_OK)
            return {};
        if (before)
            before(b);
        EXPECT_EQ(speak(b, text, tagged), S_OK);
        EXPECT_TRUE(waitForStop(b, 20000)) << modeName(mode).toStdString();
        EXPECT_EQ(std::dynamic_pointer_cast<IAudioFile>(b.dest)->Flush(), S_OK);
        if (notes)
            *notes = b.recorder;
        return readWav(path);
    }

    TTSMODEINFOW espeak, flite;
    int m_files = 0;
};

std::vector<uint32_t> wordStarts(const QString &text)
{
    // Byte offsets of every word start (letters or digits after a non-letter).
    std::vector<uint32_t> out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool word = text[i].isLetterOrNumber();
        const bool prevWord = i > 0 && (text[i - 1].isLetterOrNumber() || text[i - 1].isMark());
        if (word && !prevWord)
            out.push_back(uint32_t(i * 2));
    }
    return out;
}

}  // namespace

TEST_F(EngineTest, EveryModeEnumeratesWithItsNamesAndSpeaksAShortSentence)
{
    const std::vector<TTSMODEINFOW> modes = allModes();
    QSet<QString> names;
    QSet<QByteArray> ids;
    int espeakModes = 0, fliteModes = 0, femaleUs = 0, maleUs = 0;
    QStringList fliteSpeakers;
    for (const TTSMODEINFOW &m : modes) {
        const QString name = modeName(m);
        const QString maker = QString::fromUtf16(m.szMfgName);
        EXPECT_FALSE(names.contains(name)) << name.toStdString();
        names.insert(name);
        ids.insert(QByteArray(reinterpret_cast<const char *>(&m.gModeID), sizeof(GUID)));
        EXPECT_EQ(m.dwFeatures & TTSFEATURE_TAGGED, TTSFEATURE_TAGGED);
        EXPECT_EQ(m.dwInterfaces & TTSI_ITTSATTRIBUTES, TTSI_ITTSATTRIBUTES);
        EXPECT_GT(nameLength(m.szSpeaker), 0u);
        EXPECT_NE(m.language.LanguageID, 0);
        if (maker == "eSpeak NG") {
            ++espeakModes;
            EXPECT_TRUE(QString::fromUtf16(m.szProductName).startsWith("eSpeak NG 1."));
            if (m.language.LanguageID == 0x0409) {
                femaleUs += m.wGender == 1;
                maleUs += m.wGender == 2;
            }
        } else {
            EXPECT_EQ(maker, "Carnegie Mellon University");
            EXPECT_EQ(m.language.LanguageID, 0x0409);
            ++fliteModes;
            fliteSpeakers << QString::fromUtf16(m.szSpeaker);
            EXPECT_EQ(name.contains("Telephone"), QString::fromUtf16(m.szSpeaker) == "kal") << name.toStdString();
        }
    }
    EXPECT_EQ(ids.size(), names.size());
    EXPECT_GE(espeakModes, 5 * 20);  // a handful of variants for each of many languages
    EXPECT_GE(femaleUs, 2);
    EXPECT_GE(maleUs, 2);
    fliteSpeakers.sort();
    EXPECT_EQ(fliteSpeakers, (QStringList{"awb", "kal", "kal16", "rms", "slt"}));

    // The identifiers do not depend on the run: a fresh enumeration agrees.
    EXPECT_TRUE(modeNamed(modeName(modes.front())).gModeID == modes.front().gModeID);

    for (const TTSMODEINFOW &m : modes) {
        const Wav wav = speakToFile(m, "Hello, one two.");
        ASSERT_TRUE(wav.valid) << modeName(m).toStdString();
        EXPECT_GT(wav.seconds(), 0.3) << modeName(m).toStdString();
        EXPECT_LT(wav.seconds(), 6.0) << modeName(m).toStdString();
        EXPECT_GT(wav.rms(), 200.0) << modeName(m).toStdString();  // not silence
    }
}

TEST_F(EngineTest, WordPositionsAreByteOffsetsIntoTheUtf16Block)
{
    const QString ascii = "one two three";
    const QString accented = QString::fromUtf8("Café crème brûlée, naïve façade.");
    const QString astral = QString::fromUtf8("one \U0001D11E two \U0001F600 three");
    for (const TTSMODEINFOW *mode : {&espeak, &flite}) {
        std::shared_ptr<Recorder> notes;
        speakToFile(*mode, ascii, false, &notes);
        EXPECT_EQ(notes->values(Note::Word), (std::vector<uint32_t>{0, 8, 16})) << modeName(*mode).toStdString();
        EXPECT_TRUE(notes->allOnMainThread());

        speakToFile(*mode, accented, false, &notes);
        EXPECT_EQ(notes->values(Note::Word), wordStarts(accented)) << modeName(*mode).toStdString();

        speakToFile(*mode, astral, false, &notes);
        std::vector<uint32_t> words;
        for (uint32_t w : notes->values(Note::Word))
            if (w == 0 || w == uint32_t(astral.indexOf("two") * 2) || w == uint32_t(astral.indexOf("three") * 2))
                words.push_back(w);
        EXPECT_EQ(words, (std::vector<uint32_t>{0, uint32_t(astral.indexOf("two") * 2),
                                                uint32_t(astral.indexOf("three") * 2)}))
            << modeName(*mode).toStdString();
    }
}
