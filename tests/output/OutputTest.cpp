#include "AudioTags.h"
#include "EncodingFollower.h"
#include "LameUnit.h"
#include "OpusFileWriter.h"
#include "OutputNames.h"
#include "Playlist.h"
#include "WaveFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <taglib/chapterframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;
using TestSupport::writeFile;

namespace {

QByteArray le(uint32_t v, int bytes)
{
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b += char((v >> (8 * i)) & 0xFF);
    return b;
}

QByteArray chunk(const char *id, const QByteArray &body)
{
    QByteArray c = QByteArray(id, 4) + le(body.size(), 4) + body;
    if (body.size() & 1)
        c += '\0';
    return c;
}

struct Pcm {
    int rate = 22050;
    int bits = 16;
    int channels = 1;
    QByteArray bytes;
};

QByteArray fmtBody(const Pcm &p, uint16_t tag = 1)
{
    const int align = p.channels * p.bits / 8;
    return le(tag, 2) + le(p.channels, 2) + le(p.rate, 4) + le(p.rate * align, 4) + le(align, 2) + le(p.bits, 2);
}

// A RIFF WAVE file; dataSize overrides the data chunk's size field.
QByteArray wav(const Pcm &p, std::optional<uint32_t> dataSize = {}, const QByteArray &before = {}, uint16_t tag = 1)
{
    QByteArray data = QByteArray("data") + le(dataSize.value_or(p.bytes.size()), 4) + p.bytes;
    return QByteArray("RIFF") + le(36, 4) + "WAVE" + before + chunk("fmt ", fmtBody(p, tag)) + data;
}

// silence seconds of silence, then a 440 Hz sine, in every channel.
Pcm sine(int rate, int bits, int channels, double seconds, double silence = 0.3)
{
    Pcm p{rate, bits, channels, {}};
    const int frames = int(rate * seconds);
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double v = t < silence ? 0.0 : 0.5 * std::sin(2 * std::numbers::pi * 440 * t);
        for (int c = 0; c < channels; ++c)
            p.bytes += bits == 16 ? le(uint16_t(int16_t(std::lround(v * 32767))), 2)
                                  : le(uint8_t(128 + std::lround(v * 127)), 1);
    }
    return p;
}

// Walks every MPEG audio frame of an MP3 file from its first byte.
struct FrameScan {
    int frames = 0, bitRate = 0, sampleRate = 0;
    bool headerFlagsOk = true;  // mono, no CRC, private on, copyright/original off, same rate in every frame
    qint64 unparsedBytes = 0;
    int firstBytes = 0;  // of the first frame
};

FrameScan scanFrames(const QByteArray &mp3)
{
    static const int v1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int v2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int r1[] = {44100, 48000, 32000}, r2[] = {22050, 24000, 16000};
    FrameScan s;
    qint64 pos = 0;
    const auto *b = reinterpret_cast<const unsigned char *>(mp3.constData());
    while (pos + 4 <= mp3.size() && b[pos] == 0xFF && (b[pos + 1] & 0xE0) == 0xE0) {
        const int version = (b[pos + 1] >> 3) & 3, brIndex = b[pos + 2] >> 4, srIndex = (b[pos + 2] >> 2) & 3;
        if ((version != 3 && version != 2) || ((b[pos + 1] >> 1) & 3) != 1 || brIndex == 0 || brIndex == 15 ||
            srIndex == 3)
            break;
        const bool mpeg1 = version == 3;
        const int br = mpeg1 ? v1[brIndex] : v2[brIndex], sr = mpeg1 ? r1[srIndex] : r2[srIndex];
        const int size = (mpeg1 ? 144000 : 72000) * br / sr + ((b[pos + 2] >> 1) & 1);
        if (s.frames == 0) {
            s.bitRate = br;
            s.sampleRate = sr;
            s.firstBytes = size;
        }
        s.headerFlagsOk = s.headerFlagsOk && br == s.bitRate && sr == s.sampleRate && (b[pos + 1] & 1) == 1 &&
                          (b[pos + 2] & 1) == 1 && (b[pos + 3] >> 6) == 3 && ((b[pos + 3] >> 2) & 3) == 0;
        pos += size;
        ++s.frames;
    }
    s.unparsedBytes = mp3.size() - std::min<qint64>(pos, mp3.size());
    return s;
}

// The Info frame that starts an MP3: its frame count, and whether the CRC
// that guards the LAME tag holds (CRC-16, polynomial 0x8005 reflected).
struct InfoFrame {
    bool found = false;
    uint32_t frames = 0;
    bool crcOk = false;
};

InfoFrame infoFrame(const QByteArray &mp3)
{
    InfoFrame info;
    const qsizetype at = mp3.indexOf("Info");
    if (at < 0 || at > 40)
        return info;
    const auto big = [&](qsizetype i, int n) {
        uint32_t v = 0;
        for (int k = 0; k < n; ++k)
            v = v << 8 | uint8_t(mp3[i + k]);
        return v;
    };
    info.found = true;
    info.frames = big(at + 8, 4);
    const qsizetype crcAt = at + 8 + 8 + 100 + 4 + 34;  // frames, bytes, TOC, quality, then the LAME tag
    uint16_t crc = 0;
    for (qsizetype i = 0; i < crcAt; ++i) {
        crc ^= uint8_t(mp3[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    info.crcOk = mp3.mid(at + 120, 4) == "LAME" && crc == big(crcAt, 2);
    return info;
}

// Decodes with mpg123 (installed with the project's packages) and reads the result back as 16-bit mono.
std::vector<int16_t> decode(const QString &mp3, int &rate)
{
    const QString out = mp3 + u".decoded.wav"_s;
    if (QProcess::execute(u"mpg123"_s, {u"-q"_s, u"-w"_s, out, mp3}) != 0) {
        ADD_FAILURE() << "mpg123 did not decode " << mp3.toStdString();
        return {};
    }
    TWaveReader r(out);
    rate = int(r.Layout().Format.SampleRate);
    std::vector<int16_t> s(size_t(r.Layout().Frames()));
    r.ReadMono16(s.data(), qint64(s.size()));
    return s;
}

}  // namespace

TEST(WaveFileTest, FindsDataAcrossChunkLayoutsAndRejectsWhatIsNotPcmWav)
{
    QTemporaryDir dir;
    const Pcm p = sine(16000, 16, 2, 0.01);        // 160 frames of 4 bytes
    const QByteArray list = chunk("LIST", "odd");  // 3 bytes and a pad byte
    const QByteArray riff = QByteArray("RIFF") + le(0, 4) + "WAVE";
    QByteArray extensible = fmtBody(p, 0xFFFE) + le(22, 2) + le(16, 2) + le(3, 4) + le(1, 2) +
                            QByteArray::fromHex("000000001000800000aa00389b71");
    struct Case {
        const char *name;
        QByteArray bytes;
        qint64 offset, dataBytes;  // offset -1: rejected
    } cases[] = {
        {"plain", wav(p), 44, 640},
        {"odd chunk before fmt", wav(p, {}, list), 56, 640},
        {"size 0 (unfinished)", wav(p, 0u), 44, 640},
        {"size FFFFFFFF", wav(p, 0xFFFFFFFFu), 44, 640},
        {"size past the end", wav(p, 100000u), 44, 640},
        {"unfinished, partial last frame", wav(p, 0u) + "xy", 44, 640},
        {"size below the file, trailing chunk", wav(p, 400u) + chunk("junk", "abc"), 44, 400},
        {"extensible PCM", riff + chunk("fmt ", extensible) + "data" + le(640, 4) + p.bytes, 68, 640},
        {"empty", "", -1, 0},
        {"text", "plain text, no header at all", -1, 0},
        {"no data chunk", riff + chunk("fmt ", fmtBody(p)), -1, 0},
        {"no fmt chunk", riff + chunk("data", p.bytes), -1, 0},
        {"not PCM", wav(p, {}, {}, 3), -1, 0},
        {"cut short", wav(p).left(30), -1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(u"in.wav"_s);
        ASSERT_TRUE(writeFile(path, c.bytes));
        if (c.offset < 0) {
            EXPECT_THROW(GetWaveSampleRate(path), EWaveError);
            continue;
        }
        const TWaveLayout l = ReadWaveLayout(path);
        EXPECT_EQ(l.DataOffset, c.offset);
        EXPECT_EQ(l.DataBytes, c.dataBytes);
        EXPECT_EQ(GetWaveSampleRate(path), 16000);
        EXPECT_TRUE(l.Format.IsConvertible());
    }
    EXPECT_THROW(GetWaveSampleRate(dir.filePath(u"missing.wav"_s)), EWaveError);
}

// The progress an encoding reports is checked in Mp3PresetTest.
TEST(LameUnitTest, OutOfRangeBitRateTakesNearestPreset)
{
    const int bitRates[][2] = {{0, 16}, {24, 16}, {36, 32}, {44, 40}, {60, 56}, {128, 64}, {-5, 16}};
    for (auto [given, preset] : bitRates)
        EXPECT_EQ(Mp3PresetFor(given).BitRate, preset) << given;
}

class Mp3PresetTest : public ::testing::TestWithParam<int>
{};

TEST_P(Mp3PresetTest, EncodesEveryInputAtThePresetsRateAndBitRate)
{
    // Speech from the real engines is encoded through the program in CliReadToFile.
    const TMp3Preset preset = Mp3Presets()[size_t(GetParam())];
    QTemporaryDir dir;
    struct Input {
        const char *name;
        Pcm pcm;
        std::optional<uint32_t> dataSize;
    } inputs[] = {
        {"16000 Hz 16-bit mono", sine(16000, 16, 1, 8), {}},
        {"22050 Hz 8-bit mono", sine(22050, 8, 1, 8), {}},
        {"44100 Hz 16-bit stereo", sine(44100, 16, 2, 8), {}},
        {"22050 Hz 8-bit stereo, unfinished header", sine(22050, 8, 2, 8), 0u},
    };
    for (const Input &in : inputs) {
        SCOPED_TRACE(in.name);
        const QString wavPath = dir.filePath(u"sine.wav"_s);
        ASSERT_TRUE(writeFile(wavPath, wav(in.pcm, in.dataSize)));
        const QString mp3 = dir.filePath(u"out.mp3"_s);
        std::vector<int> seen;
        const TMp3Result r = ConvertToMp3(wavPath, mp3, preset.BitRate, [&](int pct) { seen.push_back(pct); });
        ASSERT_TRUE(r.Ok()) << r.Message.toStdString();
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front(), 0);
        EXPECT_EQ(seen.back(), 100);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

        // The Info frame first (at the lower bit rates a frame of 64 kbit/s
        // holds it), where players find the duration and the gap to skip.
        const QByteArray bytes = TestSupport::readFile(mp3);
        const InfoFrame info = infoFrame(bytes);
        EXPECT_TRUE(info.found && info.crcOk);
        const FrameScan s = scanFrames(bytes.mid(scanFrames(bytes).firstBytes));
        EXPECT_EQ(int(info.frames), s.frames);
        EXPECT_EQ(s.unparsedBytes, 0) << "bytes after the last whole frame, or a header before the first";
        EXPECT_EQ(s.bitRate, preset.BitRate);
        EXPECT_EQ(s.sampleRate, preset.SampleRate);
        EXPECT_TRUE(s.headerFlagsOk);

        int rate = 0;
        const std::vector<int16_t> pcm = decode(mp3, rate);
        ASSERT_FALSE(pcm.empty());
        EXPECT_NEAR(double(pcm.size()) / rate, 8.0, 8.0 * 0.03);  // every input lasts 8 s
        // Silence first: no burst where an encoded header (or an 8-bit
        // sample read as signed) would sound.
        int loudest = 0;
        for (size_t i = 0; i < size_t(rate / 50); ++i)
            loudest = std::max(loudest, std::abs(int(pcm[i])));
        EXPECT_LT(loudest, 200);
        // The tone keeps its pitch: the encoder was told the true input rate
        // and the channels were mixed, not interleaved.
        int crossings = 0;
        for (size_t i = size_t(rate) + 1; i < size_t(7 * rate); ++i)
            crossings += (pcm[i - 1] < 0) != (pcm[i] < 0);
        EXPECT_NEAR(crossings / 2.0 / 6.0, 440.0, 440.0 * 0.02);
    }
}

INSTANTIATE_TEST_SUITE_P(AllPresets, Mp3PresetTest, ::testing::Range(0, 6), [](const auto &info) {
    return "kbps" + std::to_string(Mp3Presets()[size_t(info.param)].BitRate);
});

TEST(Mp3ConversionTest, StopRemovesThePartialMp3AndKeepsAnOlderOne)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in.wav"_s);
    ASSERT_TRUE(writeFile(in, wav(sine(22050, 16, 1, 5))));
    const QString mp3 = dir.filePath(u"News.mp3"_s);
    ASSERT_TRUE(writeFile(mp3, "older file"));
    int chunks = 0;
    const TMp3Result r = ConvertToMp3(in, mp3, 32, {}, [&] { return ++chunks == 2; });
    EXPECT_EQ(r.Status, TMp3Result::Stopped);
    EXPECT_EQ(chunks, 2);
    EXPECT_EQ(TestSupport::readFile(mp3), "older file");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(Mp3ConversionTest, AFollowerEncodesTheWavWhileItIsWrittenAndGivesTheSameMp3)
{
    // The WAV grows as speech would: the header with a data size of 0 first,
    // then the sound in pieces, the size field only at the end.
    QTemporaryDir dir;
    const Pcm pcm = sine(22050, 16, 1, 4);
    const QByteArray whole = wav(pcm);
    const QString in = dir.filePath(u"temp.wav"_s);
    ASSERT_TRUE(writeFile(in, wav(Pcm{pcm.rate, pcm.bits, pcm.channels, {}}, 0)));
    EncodingFollower follower;
    follower.Start(in, dir.filePath(u"followed.mp3"_s), 32);
    {
        QFile growing(in);
        ASSERT_TRUE(growing.open(QIODevice::Append));
        for (qsizetype at = 0; at < pcm.bytes.size(); at += 9000) {
            growing.write(pcm.bytes.mid(at, 9000));
            growing.flush();
            QThread::msleep(5);
        }
    }
    ASSERT_TRUE(writeFile(in, whole));
    const TMp3Result followed = follower.Finish();
    EXPECT_FALSE(follower.WasSplit());
    ASSERT_TRUE(followed.Ok()) << followed.Message.toStdString();
    ASSERT_TRUE(ConvertToMp3(in, dir.filePath(u"whole.mp3"_s), 32).Ok());
    EXPECT_EQ(TestSupport::readFile(dir.filePath(u"followed.mp3"_s)),
              TestSupport::readFile(dir.filePath(u"whole.mp3"_s)));

    // A long rest is encoded by two streams joined at its pause: the MP3
    // lasts as long as the speech and decodes whole.
    Pcm speech = sine(22050, 16, 1, 25);
    speech.bytes += QByteArray(22050 * 2, '\0') + sine(22050, 16, 1, 25, 0).bytes;
    ASSERT_TRUE(writeFile(in, wav(speech)));
    EncodingFollower split;
    // 64 kbit/s: a frame with room for the Info header.
    split.Start(in, dir.filePath(u"split.mp3"_s), 64);
    ASSERT_TRUE(split.Finish().Ok());
    EXPECT_TRUE(split.WasSplit());
    int rate = 0;
    const std::vector<int16_t> decoded = decode(dir.filePath(u"split.mp3"_s), rate);
    ASSERT_EQ(rate, 44100);
    EXPECT_NEAR(double(decoded.size()) / rate, 51.0, 51.0 * 0.01);
    // The Info frame, where players find the duration, counts the second
    // stream's frames too (mpg123 would cut the sound at its count).
    const QByteArray joined = TestSupport::readFile(dir.filePath(u"split.mp3"_s));
    const InfoFrame joinedInfo = infoFrame(joined);
    EXPECT_TRUE(joinedInfo.found && joinedInfo.crcOk);
    EXPECT_EQ(int(joinedInfo.frames), scanFrames(joined).frames - 1);  // the frames after it
    // The join lies in the pause: the tone is there just before and after it.
    const auto loud = [&](double at) {
        int peak = 0;
        for (int i = 0; i < rate / 10; ++i)
            peak = std::max(peak, std::abs(int(decoded[size_t(at * rate) + size_t(i)])));
        return peak > 8000;
    };
    EXPECT_TRUE(loud(24.5));
    EXPECT_TRUE(loud(26.4));

    // Stopped, it leaves no MP3.
    EncodingFollower stopped;
    stopped.Start(in, dir.filePath(u"stopped.mp3"_s), 32);
    stopped.Stop();
    EXPECT_FALSE(QFile::exists(dir.filePath(u"stopped.mp3"_s)));
}

TEST(Mp3ConversionTest, BadInputOrTargetGivesErrorAndNoFile)
{
    QTemporaryDir dir;
    const QString text = dir.filePath(u"text.wav"_s);
    ASSERT_TRUE(writeFile(text, "not a wave file at all"));
    const QString deep = dir.filePath(u"deep.wav"_s);
    ASSERT_TRUE(writeFile(deep, wav(Pcm{22050, 24, 1, QByteArray(3000, '\0')})));
    const QString good = dir.filePath(u"good.wav"_s);
    ASSERT_TRUE(writeFile(good, wav(sine(22050, 16, 1, 0.5))));
    const QString cases[][2] = {
        {dir.filePath(u"missing.wav"_s), dir.filePath(u"a.mp3"_s)},
        {text, dir.filePath(u"a.mp3"_s)},
        {deep, dir.filePath(u"a.mp3"_s)},
        {good, dir.filePath(u"no/such/folder/a.mp3"_s)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0].toStdString());
        const TMp3Result r = ConvertToMp3(c[0], c[1], 64);
        EXPECT_EQ(r.Status, TMp3Result::Failed);
        EXPECT_FALSE(r.Message.isEmpty());
        EXPECT_FALSE(QFile::exists(c[1]));
    }
    TMp3FileWriter writer(64);
    const TMp3Result r = writer.Open(dir.filePath(u"b.mp3"_s), 0);
    EXPECT_TRUE(r.Message.startsWith(u"Error opening encoding stream -"_s));
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST(OutputNamesTest, TitlesBecomeSafeNamesInsideTheFolder)
{
    const char *cases[][2] = {
        {"News", "News.mp3"},      {"Café: été? [1]", "Café: été? [1].mp3"},
        {"a/b", "a_b.mp3"},        {"../../x", "_.._x.mp3"},
        {".hidden", "hidden.mp3"}, {"Tab\there", "Tab here.mp3"},
        {"..", "Untitled.mp3"},
    };
    for (auto [title, name] : cases)
        EXPECT_EQ(TOutputNames::SafeFileName(QString::fromUtf8(title), u".mp3"_s), QString::fromUtf8(name));

    TOutputNames run(u"/out/"_s);
    EXPECT_EQ(QFileInfo(run.Build(u"../../x"_s, SoundFormat::Mp3).EncodedFile).absolutePath(), u"/out"_s);

    // 1 + 133 x 3 = 400 bytes: cut to whole characters within 255 bytes, a
    // second use of the title numbered inside that too.
    const QString longTitle = u"x"_s + QString(133, QChar(0x8A9E));
    for (const QString &expectEnd : {u".mp3"_s, u" (2).mp3"_s}) {
        const QString name = QFileInfo(run.Build(longTitle, SoundFormat::Mp3).EncodedFile).fileName();
        const QByteArray bytes = QFile::encodeName(name);
        EXPECT_LE(bytes.size(), 255);
        EXPECT_GT(bytes.size(), 250);
        EXPECT_TRUE(name.endsWith(expectEnd));
        EXPECT_TRUE(longTitle.startsWith(name.left(name.size() - expectEnd.size())));
    }
}

namespace {

QString property(const QString &file, const char *name)
{
    const TagLib::FileRef ref(QFile::encodeName(file).constData());
    return ref.isNull() ? u"(unreadable)"_s
                        : QString::fromStdString(ref.file()->properties()[name].toString().to8Bit(true));
}

}  // namespace

TEST(AudioFilesTest, TagsAndChapterMarksAreReadBackAndAFailureLeavesNoFile)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in.wav"_s);
    ASSERT_TRUE(writeFile(in, wav(sine(22050, 16, 1, 6))));
    TAudioTags tags;
    tags.Title = u"Ünï: «title» 日本"_s;
    tags.Album = u"Book"_s;
    tags.Artist = u"Ann"_s;
    tags.Track = 2;
    tags.TrackCount = 5;
    tags.Chapters = {{u"First"_s, 0}, {u"Second"_s, 2500}};

    TMp3FileWriter mp3(64);
    mp3.SetTags(tags);
    ASSERT_TRUE(ConvertWavFile(in, mp3, dir.filePath(u"a.mp3"_s)).Ok());
    OpusFileWriter opus(24);
    opus.SetTags(tags);
    ASSERT_TRUE(ConvertWavFile(in, opus, dir.filePath(u"a.opus"_s)).Ok());
    for (const QString &name : {u"a.mp3"_s, u"a.opus"_s}) {
        SCOPED_TRACE(name.toStdString());
        const QString file = dir.filePath(name);
        EXPECT_EQ(property(file, "TITLE"), tags.Title);
        EXPECT_EQ(property(file, "ALBUM"), u"Book"_s);
        EXPECT_EQ(property(file, "ARTIST"), u"Ann"_s);
        EXPECT_EQ(property(file, "TRACKNUMBER"), name.endsWith(u"mp3"_s) ? u"2/5"_s : u"2"_s);
        const TagLib::FileRef ref(QFile::encodeName(file).constData());
        EXPECT_NEAR(ref.audioProperties()->lengthInMilliseconds(), 6000, 100);
    }
    const TagLib::FileRef opusRef(QFile::encodeName(dir.filePath(u"a.opus"_s)).constData());
    EXPECT_EQ(opusRef.audioProperties()->sampleRate(), 48000);
    EXPECT_EQ(opusRef.audioProperties()->channels(), 1);

    // The last chapter runs to the end of the sound.
    TagLib::MPEG::File tagged(QFile::encodeName(dir.filePath(u"a.mp3"_s)).constData());
    const TagLib::ID3v2::FrameList marks = tagged.ID3v2Tag()->frameList("CHAP");
    ASSERT_EQ(marks.size(), 2u);
    const auto *second = static_cast<TagLib::ID3v2::ChapterFrame *>(marks.back());
    EXPECT_EQ(second->startTime(), 2500u);
    EXPECT_EQ(second->endTime(), 6000u);
    EXPECT_EQ(tagged.ID3v2Tag()->header()->majorVersion(), 4u);
    // The Info frame (where it fits: 56 kbit/s and up) follows the tag.
    const QByteArray bytes = TestSupport::readFile(dir.filePath(u"a.mp3"_s));
    EXPECT_TRUE(infoFrame(bytes.mid(tagged.firstFrameOffset())).crcOk);

    // No file under the name when the encoder cannot start or is stopped.
    OpusFileWriter broken;
    EXPECT_FALSE(broken.Open(dir.filePath(u"b.opus"_s), 0).Ok());
    int chunks = 0;
    EXPECT_EQ(ConvertWavFile(in, opus, dir.filePath(u"c.opus"_s), {}, [&] { return ++chunks == 2; }).Status,
              TMp3Result::Stopped);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({u"a.mp3"_s, u"a.opus"_s, u"in.wav"_s}));
}

TEST(AudioFilesTest, APlaylistListsTheFilesInOrderAndNeverReplacesAnotherFile)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(u"Book.m3u8"_s);
    const std::vector<TPlaylistEntry> entries = {
        {dir.filePath(u"01 One.mp3"_s), u"One"_s, 61499},
        {dir.filePath(u"#2.mp3"_s), u"Two\nlines"_s, 500},
        {u"/elsewhere/3.mp3"_s, u"Drei – ß"_s, 1500},
    };
    EXPECT_EQ(QString::fromUtf8(Playlist::Text(list, entries)),
              u"#EXTM3U\n#EXTINF:61,One\n01 One.mp3\n#EXTINF:1,Two lines\n./#2.mp3\n"
              u"#EXTINF:2,Drei – ß\n/elsewhere/3.mp3\n"_s);
    ASSERT_TRUE(writeFile(list, "the user's own list"));
    EXPECT_TRUE(Playlist::Write(list, entries, OutputPlacement::Refuse).contains(u"Book.m3u8"_s));
    EXPECT_EQ(TestSupport::readFile(list), "the user's own list");
    QString placed;
    EXPECT_EQ(Playlist::Write(list, entries, OutputPlacement::NextFreeName, &placed), QString());
    EXPECT_EQ(placed, dir.filePath(u"Book (2).m3u8"_s));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}
