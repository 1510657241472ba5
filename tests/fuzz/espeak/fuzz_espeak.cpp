// Feeds the eSpeak NG driver arbitrary text (plain, tagged or phonemes) with
// a lexicon made of the input too: whatever a document or a hand-written
// lexicon holds must reach eSpeak NG only in a form it handles.
#include "AudioDestinations.h"
#include "EspeakEngine.h"
#include "Lexicon.h"
#include "SafeFile.h"
#include "SpeechApi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdlib>

using namespace sapi;

namespace {

class DoneSink : public ITTSBufNotifySink
{
public:
    int done = 0;
    HRESULT TextDataDone(QWORD, uint32_t) override { return ++done, S_OK; }
    HRESULT TextDataStarted(QWORD) override { return S_OK; }
    HRESULT BookMark(QWORD, uint32_t) override { return S_OK; }
    HRESULT WordPosition(QWORD, uint32_t) override { return S_OK; }
};

std::shared_ptr<ITTSCentralW> g_central;
std::shared_ptr<IAudioFile> g_file;
QString g_wav;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QTemporaryDir home;
    qputenv("VOXTRELLA_HOME", QFile::encodeName(home.path()));
    new QCoreApplication(*argc, *argv);
    g_wav = home.path() + "/speech.wav";
    UnknownPtr dest;
    CoCreateInstance(CLSID_AudioDestFile, nullptr, CLSCTX_ALL, IID_IAudioFile, dest);
    g_file = std::dynamic_pointer_cast<IAudioFile>(dest);
    const std::shared_ptr<EspeakEngine> engine = EspeakEngine::load();
    const std::optional<GUID> mode = engine ? engine->defaultMode() : std::nullopt;
    const char16_t *wav = reinterpret_cast<const char16_t *>(g_wav.utf16());
    if (!g_file || g_file->Set(wav, 1) != S_OK || !mode || engine->select(*mode, dest, g_central) != S_OK) {
        fprintf(stderr, "eSpeak NG did not start\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t flags = data[0];
    QByteArrayView rest(data + 1, qsizetype(size - 1));
    // With a lexicon: the bytes up to the first NUL are the file.
    QByteArray lexicon;
    if (flags & 8) {
        const qsizetype nul = rest.indexOf('\0');
        lexicon = rest.first(nul < 0 ? rest.size() : nul).toByteArray();
        rest = rest.sliced(nul < 0 ? rest.size() : nul + 1);
    }
    static QByteArray written;
    if (lexicon != written || !QFile::exists(Lexicon::filePath())) {
        if (!SafeFile::writeAtomically(Lexicon::filePath(), lexicon))
            std::abort();
        written = lexicon;
    }
    // Half the inputs as UTF-8, half as raw UTF-16 (odd surrogates and all).
    const QString text = (flags & 4) ? QString::fromUtf8(rest)
                                     : QString(reinterpret_cast<const QChar *>(rest.data()), rest.size() / 2);
    const uint32_t charset = (flags & 1) ? CHARSET_ENGINEPHONETIC : CHARSET_TEXT;

    g_file->Set(reinterpret_cast<const char16_t *>(g_wav.utf16()), 1);  // each input starts a new file
    auto sink = std::make_shared<DoneSink>();
    SDATA block;
    block.pData = const_cast<char16_t *>(reinterpret_cast<const char16_t *>(text.utf16()));
    block.dwSize = uint32_t((text.size() + 1) * 2);
    if (g_central->TextData(charset, (flags & 2) ? TTSDATAFLAG_TAGGED : 0, block, sink, IID_ITTSBufNotifySink) != S_OK)
        return 0;
    QElapsedTimer timer;
    timer.start();
    while (!sink->done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (timer.elapsed() > 60000) {
            fprintf(stderr, "the driver never finished the text\n");
            std::abort();
        }
    }
    return 0;
}
