#include "SpeechErrors.h"

#include "platform/speech/SpeechEngine.h"

#include <QHash>

#include <utility>

namespace {

using sapi::HRESULT;

QString hex8(HRESULT code)
{
    return QStringLiteral("%1").arg(static_cast<uint32_t>(code), 8, 16, QLatin1Char('0')).toUpper();
}

const QHash<uint16_t, QString> &messageTable()
{
    static const QHash<uint16_t, QString> table = {
        // Text-to-speech and shared engine errors.
        {0x201, "The speech recognition or text-to-speech service does not have enough data."},
        {0x202, "The sound card does not support the right wave-file format to work with the speech software."},
        {0x203, "The audio device is in use at this time."},
        {0x204, "An invalid parameter was passed to the speech engine."},
        {0x205, "There was an error in disk access, or there is not enough disk space free. If you are low on disk "
                "space, try deleting some files to free up space."},
        {0x206, "The program has selected a non-existent speech engine."},
        {0x207, "An invalid list was passed to the speech recognizer."},
        {0x208, "An invalid character was passed to the speech engine."},
        {0x209, "An invalid key was passed to the speech engine."},
        {0x20A, "There is not enough memory for the text-to-speech engine to finish. Quit some other programs, and "
                "then try again."},
        {0x20B, "The text string passed into the text-to-speech engine is empty."},
        {0x210, "The audio device or the output file could not be opened. Check that the sound server is running, "
                "or that the output folder exists and has room."},
        // Audio objects.
        {0x301, "The program has selected an audio device that does not exist."},
        {0x302, "The program has not told the sound card what wave-file format to use."},
        {0x306, "The audio device is not playing."},
        {0x312, "Your sound card does not support this audio-file format."},
        {0x313, "The audio device is not recording."},
        {0x317, "The audio driver has not been opened. Double-click the MultiMedia icon in Control Panel and make sure "
                "the correct drivers are loaded."},
        {0x318, "The audio handle is still busy. Try restarting your computer."},
        {0x319, "The notification sink is not the right type."},
        {0x31A, "The audio device is not ready."},
        {0x31D, "The audio device has already been claimed."},
        {0x31E, "The audio device is not ready."},
        {0x31F, "The audio device is still in use."},
        {0x320, "The audio device has already been started."},
        {0x321, "Cannot use a synchronous audio device."},
        // Speech recognition.
        {0x406, "The speech recognizer could not load the grammar."},
        {0x407, "The grammar is not active."},
        {0x40B, "The speech recognizer does not support this grammar format."},
        {0x411, "The speech recognizer is not listening."},
        {0x416, "The grammar refers to a rule that is not defined."},
        {0x417, "The grammar defines a rule more than once."},
        {0x418, "The grammar has no active rules."},
        {0x419, "A word in the grammar is not in the speech recognizer's vocabulary."},
        {0x41A, "The grammar is too complex for the speech recognizer."},
        {0x41B, "The grammar contains a syntax error."},
        {0x41C, "The speech recognizer does not support this language."},
        {0x41D, "The recognition result is no longer available."},
        {0x41E, "The speech recognizer has no training data for this speaker."},
        {0x41F, "The speaker name is not valid."},
        {0x420, "The speaker is not enrolled with the speech recognizer."},
        {0x421, "The speech recognizer is busy training."},
        {0x422, "Training was cancelled by the user."},
        {0x423, "The speech recognizer could not understand the training text."},
        {0x424, "The microphone is not connected or is turned off."},
        {0x425, "The input level is too low for the speech recognizer to work."},
        {0x426, "The input level is too high, so the speech recognizer hears distorted sound."},
        {0x427, "There is too much background noise for the speech recognizer to work."},
        {0x428, "The speech recognizer stopped because it was interrupted."},
        // Voice commands.
        {0x606, "The voice-command menu does not exist."},
        {0x607, "The voice-command menu is already active."},
        {0x60B, "The voice-command site could not be found."},
        {0x60D, "The voice-command menu is not active."},
        {0x60E, "The voice-command menu name is not valid."},
        {0x60F, "A voice-command menu with this name already exists."},
        {0x610, "The voice command is not in the menu."},
        {0x611, "The voice command is not valid."},
        {0x612, "The voice-command list is not valid."},
        {0x613, "The voice-command database could not be opened."},
        {0x614, "The voice-command database is damaged."},
        {0x615, "The voice-command database is in use by another program."},
        {0x616, "The program is not registered with voice commands."},
        {0x617, "The program is already registered with voice commands."},
        {0x618, "The voice-command state could not be saved."},
        {0x619, "The voice-command state could not be restored."},
        {0x61A, "The voice-command site is not ready."},
        {0x61B, "The speech recognizer for voice commands could not be started."},
        {0x61C, "Voice commands are turned off."},
        {0x61D, "Voice commands are asleep."},
        {0x61E, "The window given for the voice-command menu is not valid."},
        {0x61F, "The voice-command menu is not tied to a window."},
        {0x620, "The voice-command menu is too large."},
        {0x621, "The voice-command list is empty."},
        {0x622, "The voice command could not be trained."},
        {0x623, "The voice-command menu is locked."},
        {0x624, "The voice-command flags are not valid."},
        {0x625, "The voice-command action is not valid."},
        {0x626, "The voice-command category is not valid."},
        {0x627, "The voice-command menu has been removed."},
        // Voice text.
        {0x70F, "The voice-text site could not be found."},
        {0x711, "The program is not registered with voice text."},
        {0x712, "The program is already registered with voice text."},
        {0x713, "Voice text is turned off."},
        {0x714, "The speech engine for voice text is not available."},
        {0x715, "The voice-text queue is full."},
        {0x716, "The voice-text site is not ready."},
        {0x717, "The voice-text speed is outside the allowed range."},
        {0x718, "The voice-text data is not valid."},
        {0x719, "Voice text is already speaking."},
        // Lexicon.
        {0x801, "Lexicon error - The string that contains the word to pronounce contains an invalid character."},
        {0x802,
         "Lexicon error - The value that indicates the alternate pronunciation or meaning of the word is invalid."},
        {0x803, "Lexicon error - The given word is not in the lexicon."},
        {0x804,
         "Lexicon error - The disk does not contain enough space to save the information to be added to the lexicon. "},
        {0x805, "Lexicon error - The string that contains the phonetic or phonemic transcription of the given word "
                "contains an invalid character."},
        {0x806, "Lexicon error - The lexicon already contains information for the given word."},
        {0x807, "Lexicon error - The buffer that is to receive the phonetic or phonemic transcription for the given "
                "word is too small."},
        {0x808,
         "Lexicon error - The buffer that is to receive the additional information about the given word is too small."},
    };
    return table;
}

// Texts for the general result codes the platform uses, in words a reader
// of the box understands rather than the system's terse names.
const QHash<uint32_t, QString> &systemTable()
{
    static const QHash<uint32_t, QString> table = {
        {0x00000001u, "The operation succeeded but reported a partial result."},
        {0x80004001u, "The speech engine cannot do this."},
        {0x80004002u, "The speech engine does not offer this feature."},
        {0x80004003u, "The speech engine was called without a required value."},
        {0x80004004u, "The operation was stopped before it finished."},
        {0x80004005u, "The speech engine failed without giving a reason."},
        {0x8000FFFFu, "The speech software failed badly. Restart Voxtrella MP3 and try again."},
        {0x80040110u, "The speech engine could not be started the way the program asked."},
        {0x80040154u, "The speech engine is not installed, or could not be loaded."},
        {0x80070002u, "The system cannot find the file specified."},
        {0x80070003u, "The system cannot find the path specified."},
        {0x80070005u, "Access is denied."},
        {0x80070006u, "The handle is invalid."},
        {0x8007000Du, "The data is invalid."},
        {0x8007000Eu, "Not enough storage is available to complete this operation."},
        {0x80070020u, "The process cannot access the file because it is being used by another process."},
        {0x80070057u, "The parameter is incorrect."},
        {0x80070070u, "There is not enough space on the disk."},
        {0x80070578u, "Invalid window handle."},
    };
    return table;
}

QString trimControls(const QString &text)
{
    qsizetype first = 0, last = text.size();
    while (first < last && text.at(first).unicode() <= 0x20)
        ++first;
    while (last > first && text.at(last - 1).unicode() <= 0x20)
        --last;
    return text.mid(first, last - first);
}

QString modeName(const sapi::TTSMODEINFOW &record)
{
    return QString::fromUtf16(record.szModeName, qsizetype(sapi::nameLength(record.szModeName)));
}

// The words first; the code last, for a report to support.
QString withCode(const QString &text, HRESULT code)
{
    return QStringLiteral("%1\r\n\r\nError code %2").arg(text, hex8(code));
}

QString oleSysMessage(HRESULT code)
{
    return withCode(SystemErrorText(code), code);
}

QString speechMessage(HRESULT code)
{
    QString text = SpeechErrorText(code);
    if (text.isEmpty())
        text = SystemErrorText(code);
    return withCode(text, code);
}

}  // namespace

EOleSysError::EOleSysError(int32_t code) : EOleError(oleSysMessage(code), code) {}

ESpeechError::ESpeechError(int32_t code) : EOleError(speechMessage(code), code) {}

TSpeechComponent::TSpeechComponent(QObject *Owner) : QObject(Owner) {}

TSpeechComponent::~TSpeechComponent() = default;

TSpeechSupport ProbeSpeechSupport()
{
    const sapi::SpeechProbe probe = sapi::probeSpeechPlatform();
    return {probe.speechInstalled, probe.ttsInstalled, probe.srInstalled, probe.waveOutPresent, probe.waveInPresent};
}

void SpeechCheck(HRESULT code)
{
    if (code != 0)
        throw ESpeechError(code);
}

void OleCheck(HRESULT code)
{
    if (code < 0)
        throw EOleSysError(code);
}

QString SpeechErrorText(HRESULT code)
{
    // The key is the code's last four hexadecimal digits.
    const uint16_t key = static_cast<uint16_t>(static_cast<uint32_t>(code) & 0xFFFF);
    return messageTable().value(key);
}

QString SystemErrorText(HRESULT code)
{
    const auto &table = systemTable();
    const auto it = table.constFind(static_cast<uint32_t>(code));
    if (it != table.constEnd())
        return *it;
    return QStringLiteral("The speech software reported an error it does not describe.");
}

HRESULT GetModeNames(QStringList &Names)
{
    sapi::UnknownPtr object;
    OleCheck(sapi::CoCreateInstance(sapi::CLSID_TTSEnumerator, nullptr, sapi::CLSCTX_ALL, sapi::IID_IUnknown, object));
    HRESULT r = sapi::S_OK;
    auto enumerator = sapi::queryAs<sapi::ITTSEnumW>(object, sapi::IID_ITTSEnumW, &r);
    OleCheck(r);
    if (!enumerator)
        throw EOleSysError(sapi::E_NOINTERFACE);
    r = enumerator->Reset();
    if (r != 0)
        return r;
    for (;;) {
        sapi::TTSMODEINFOW record;
        uint32_t fetched = 0;
        r = enumerator->Next(1, &record, &fetched);
        // The end of the list may come as S_FALSE with nothing fetched.
        if (fetched == 0 && (r == sapi::S_OK || r == sapi::S_FALSE))
            return sapi::S_OK;
        if (r != 0)
            return r;
        Names.append(modeName(record));
    }
}

void ModeIDFromName(const QString &Name, sapi::GUID &ModeID)
{
    ModeID = sapi::GUID{};
    sapi::UnknownPtr object;
    OleCheck(sapi::CoCreateInstance(sapi::CLSID_TTSEnumerator, nullptr, sapi::CLSCTX_ALL, sapi::IID_ITTSEnumW, object));
    HRESULT r = sapi::S_OK;
    auto enumerator = sapi::queryAs<sapi::ITTSEnumW>(object, sapi::IID_ITTSEnumW, &r);
    OleCheck(r);
    if (!enumerator)
        throw EOleSysError(sapi::E_NOINTERFACE);
    OleCheck(enumerator->Reset());
    const QString wanted = trimControls(Name);
    for (;;) {
        sapi::TTSMODEINFOW record;
        uint32_t fetched = 0;
        OleCheck(enumerator->Next(1, &record, &fetched));
        if (fetched == 0)
            return;
        if (trimControls(modeName(record)) == wanted) {
            ModeID = record.gModeID;
            return;
        }
    }
}
