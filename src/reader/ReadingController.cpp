#include "ReadingController.h"

#include "Speaker.h"
#include "output/EncodingFollower.h"
#include "output/LameUnit.h"
#include "output/OutputNames.h"
#include "output/Subtitles.h"
#include "output/WaveFile.h"
#include "platform/paths/SafeFile.h"
#include "platform/shell/MessageService.h"
#include "settings/PreferenceUnit.h"
#include "util/DiagnosticLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <thread>

namespace {

const QString kDirectoryInvalid = QStringLiteral("File Output Directory is invalid");
const QString kTitleRequiredMultiple =
    QStringLiteral("A title is required for each item entry when\routputting to multiple files");
const QString kTitleRequired = QStringLiteral(
    "A title is required to output speech to a file\r\rIn Single Article mode, you can use the Generate\r"
    "Default Article Titles option to generate titles\rautomatically");

const QString kWavTooLarge = QStringLiteral(
    "Cannot write \"%1\": a WAV file cannot hold more than 4 GB of sound. Choose MP3 as the output "
    "format for a text this long.");
const QString kSavedAs = QStringLiteral("\"%1\" exists; the speech was saved as \"%2\"");
const QString kSubtitlesExist = QStringLiteral("\"%1\" exists; the subtitles of \"%2\" were not written");
const QString kSubtitlesFailed = QStringLiteral("The subtitles of \"%1\" were not written. %2");
// The speech component's WAV header.
constexpr qint64 kWavHeaderBytes = 44;

bool isFileTarget(OutputTarget mode)
{
    return mode != otSpeakers;
}

// The length of the speech in a complete WAV file, in microseconds; 0 when
// it cannot be read.
qint64 spokenLengthUs(const QString &wavFile)
{
    try {
        const TWaveLayout layout = ReadWaveLayout(wavFile);
        return layout.Format.SampleRate ? layout.Frames() * 1'000'000 / layout.Format.SampleRate : 0;
    } catch (const EWaveError &e) {
        DiagnosticLog::WriteLog(e.message());
        return 0;
    }
}

}  // namespace

ReadingController::ReadingController(Speaker &driver, TPreferences &prefs, ReadingView &view, QObject *parent)
    : QObject(parent), m_driver(driver), m_prefs(prefs), m_view(view), m_follower(std::make_unique<EncodingFollower>())
{
    connect(&m_driver, &Speaker::OnDone, this, &ReadingController::DriverDone);
    connect(m_driver.TTS1(), &TTTS::OnWordPosition, this,
            [this](TTTS *, sapi::QWORD stamp, uint32_t offset) { TTSWordPosition(offset, stamp); });
    PendingFile::RemoveLeftovers(m_prefs.OUT_Directory);
}

ReadingController::~ReadingController()
{
    // An MP3 still being encoded stops after its current chunk.
    m_stopConversion = true;
    if (m_conversion.joinable())
        m_conversion.join();
}

bool ReadingController::MultiArticle() const
{
    return m_prefs.ML_ListMode == 1;
}

// ------------------------------------------------------------------ state

ReadingController::Commands ReadingController::AllowedCommands() const
{
    Commands c;
    c.aloud = c.file = c.deviceMenus = m_state == rsIdle;
    c.pause = c.stop = m_state == rsPaused || m_state == rsReading;
    c.skip = m_state == rsReading && MultiArticle() && m_skipAllowed;
    return c;
}

void ReadingController::SetReadingState(ReadingState state)
{
    m_state = state;
    // Exiting changes no command any more.
    if (state == rsExiting)
        return;
    emit CommandsChanged(AllowedCommands(), state);
}

QString ReadingController::ArticleCountText() const
{
    const int count = m_view.Count();
    if (count == 0)
        return QStringLiteral("No articles");
    if (count == 1)
        return m_view.Text(m_view.ArticleAt(1)).trimmed().isEmpty() ? QStringLiteral("No articles")
                                                                    : QStringLiteral("1 article");
    return QString::number(count) + QStringLiteral(" articles");
}

void ReadingController::UpdateStatus(const QString &text)
{
    QString longText;
    QString shortText;
    if (!text.trimmed().isEmpty()) {
        longText = shortText = text;
    } else if (m_state == rsReading && m_article) {
        shortText = QStringLiteral("Article %1 of %2").arg(m_view.PositionOf(m_article)).arg(m_view.Count());
        const QString title = m_view.Title(m_article);
        longText = title.trimmed().isEmpty() ? shortText : shortText + QStringLiteral(" : ") + title;
    } else if (m_state == rsConverting) {
        shortText = QStringLiteral("Converting to ") + NameOf(OutputFormat());
        longText = shortText + QStringLiteral(" format: ") + QFileInfo(m_mp3Name).fileName();
    } else {
        longText = shortText = ArticleCountText();
    }
    emit StatusChanged(longText, shortText);
    DiagnosticLog::WriteLog(longText);
}

void ReadingController::ResetStatus()
{
    emit StatusReset();
    UpdateStatus(ArticleCountText());
    emit GaugeChanged(false, 0, 0);
}

// --------------------------------------------------------------- commands

void ReadingController::PlayAllBtnClick()
{
    if (m_state != rsIdle)
        return;
    if (!m_driver.TTS1()->Active())
        m_target = otSpeakers;
    ReadAllArticles();
}

bool ReadingController::OutputDirectoryExists() const
{
    return !m_prefs.OUT_Directory.trimmed().isEmpty() && QFileInfo(m_prefs.OUT_Directory).isDir();
}

void ReadingController::InvalidDirectory()
{
    m_view.RestoreWindow();
    m_view.ShowFileOptions();
    MessageService::error(kDirectoryInvalid);
}

void ReadingController::PlayFileBtnClick()
{
    if (m_state != rsIdle)
        return;
    if (!OutputDirectoryExists()) {
        InvalidDirectory();
        return;
    }
    if (!m_driver.TTS1()->Active())
        m_target = static_cast<OutputTarget>(m_prefs.FileDest());
    ReadAllArticles();
}

void ReadingController::ReadAllArticles()
{
    m_runArticles = m_view.Count();
    if (m_target == otMultipleFiles) {
        for (int p = 1; p <= m_view.Count(); ++p) {
            QObject *article = m_view.ArticleAt(p);
            if (m_view.Title(article).trimmed().isEmpty()) {
                m_view.RestoreWindow();
                m_view.Mark(p);
                m_view.FocusHeader(article);
                MessageService::error(kTitleRequiredMultiple);
                return;
            }
        }
    }
    if (m_view.Count() == 0)
        return;
    m_view.Mark(1);
    QObject *first = m_view.ArticleAt(1);
    m_completion = Completion::ArticleDone;
    if (PrepareOutput(first, m_target))
        StartReading(first, -1, -1, m_target);
}

void ReadingController::ReadArticle(QObject *article, OutputTarget mode, int length, int start)
{
    if (m_state != rsIdle)
        return;
    m_view.UnlockAll();
    if (!article)
        article = m_view.Selected();
    if (!article)
        return;
    m_completion = Completion::SelectedArticleDone;
    if (PrepareOutput(article, mode))
        StartReading(article, length, start, mode);
}

void ReadingController::ArticleReadClick(QObject *article)
{
    ReadArticle(article, otSpeakers, -1, -1);
}

void ReadingController::ArticleReadToFileClick(QObject *article)
{
    if (m_state != rsIdle)
        return;
    if (!OutputDirectoryExists()) {
        InvalidDirectory();
        return;
    }
    ReadArticle(article, otSingleFile, -1, -1);
}

void ReadingController::ReadFromCursor(int caret)
{
    ReadArticle(nullptr, otSpeakers, -1, caret);
}

void ReadingController::ReadSelection(int selStart, int selLength)
{
    // A selection made backwards reads the same text as one made forwards.
    if (selLength < 0) {
        selLength = -selLength;
        selStart -= selLength;
    }
    ReadArticle(nullptr, otSpeakers, selLength, selStart);
}

void ReadingController::StartAutoSpeak(QObject *article)
{
    if (m_state != rsIdle || !article)
        return;
    m_completion = Completion::SelectedArticleDone;
    if (PrepareOutput(article, otSpeakers))
        StartReading(article, -1, -1, otSpeakers);
}

void ReadingController::SpeakAudioHelp(const QString &text, const QString &voiceName)
{
    if (m_state != rsIdle)
        return;
    // Help is no article: no caret follows it.
    m_article = nullptr;
    m_completion = Completion::AudioHelp;
    m_skipAllowed = false;
    SetReadingState(rsReading);
    m_runMode = otSpeakers;
    m_driver.SetReadingTarget(otSpeakers);
    if (!m_driver.Play(text, voiceName)) {
        // The driver has told the user why.
        m_completion = Completion::None;
        m_skipAllowed = true;
        SetReadingState(rsIdle);
        ResetStatus();
    }
}

void ReadingController::PauseBtnClick()
{
    if (!m_driver.TTS1()->Active())
        return;
    if (!m_paused)
        PauseReading();
    else
        ResumeReading();
}

void ReadingController::PauseReading()
{
    m_paused = true;
    emit PausedChanged(true);
    DiagnosticLog::WriteLog(QStringLiteral("Pause"));
    m_driver.PauseAudio();
    SetReadingState(rsPaused);
}

void ReadingController::ResumeReading()
{
    m_paused = false;
    emit PausedChanged(false);
    DiagnosticLog::WriteLog(QStringLiteral("Resume"));
    if (m_article)
        m_view.FocusEditor(m_article);
    m_driver.ResumeAudio();
    SetReadingState(rsReading);
}

void ReadingController::SkipBtnClick()
{
    if (!m_driver.TTS1()->Active() || m_state != rsReading)
        return;
    DiagnosticLog::WriteLog(QStringLiteral("Skip"));
    m_restartArticle = false;  // the later command wins
    m_paused = false;
    emit PausedChanged(false);
    // The driver reports the article done, and ArticleDone moves on.
    m_driver.TTS1()->AudioReset();
}

void ReadingController::RestartArticle()
{
    if (!m_driver.TTS1()->Active() || m_state != rsReading || m_runMode != otSpeakers || !m_article)
        return;
    DiagnosticLog::WriteLog(QStringLiteral("Restart article"));
    m_paused = false;
    emit PausedChanged(false);
    m_restartArticle = true;
    // As for Skip, the driver reports the article done; DriverDone starts it again.
    m_driver.TTS1()->AudioReset();
}

void ReadingController::StopBtnClick()
{
    m_restartArticle = false;
    if (!m_driver.TTS1()->Active() || (m_state != rsReading && m_state != rsPaused))
        return;
    m_paused = false;
    emit PausedChanged(false);
    m_view.UnlockAll();
    DiagnosticLog::WriteLog(QStringLiteral("Abort"));
    // A completion already counting down would start the next article.
    m_completion = Completion::None;
    m_driver.CancelDone();
    try {
        m_driver.TTS1()->AudioReset();
    } catch (const EAppError &e) {
        DiagnosticLog::WriteLog(e.message());
    }
    FinishOutput(true);
    m_article = nullptr;
    m_skipAllowed = true;
    SetReadingState(rsIdle);
    ResetStatus();
    EndRun();
}

void ReadingController::BeginExit()
{
    m_completion = Completion::None;
    m_driver.CancelDone();
    SetReadingState(rsExiting);
    m_driver.SetExiting();
    m_stopConversion = true;
}

// --------------------------------------------------------- the reading run

void ReadingController::DriverDone()
{
    if (std::exchange(m_restartArticle, false) && m_article && m_state == rsReading &&
        (m_completion == Completion::ArticleDone || m_completion == Completion::SelectedArticleDone)) {
        StartReading(m_article, -1, -1, m_runMode);
        return;
    }
    const Completion completion = std::exchange(m_completion, Completion::None);
    switch (completion) {
    case Completion::ArticleDone:
        m_completion = Completion::ArticleDone;  // the run goes on
        ArticleDone();
        break;
    case Completion::SelectedArticleDone:
        SelectedArticleDone();
        break;
    case Completion::AudioHelp:
        OnAudioHelpDone();
        break;
    case Completion::None:
        break;
    }
}

void ReadingController::OnAudioHelpDone()
{
    try {
        m_driver.TTS1()->SetActive(false);
    } catch (const EAppError &e) {
        DiagnosticLog::WriteLog(e.message());
    }
    m_skipAllowed = true;
    if (m_state == rsExiting)
        return;
    SetReadingState(rsIdle);
    ResetStatus();
}

void ReadingController::ArticleDone()
{
    if (m_state != rsReading)
        return;
    if (m_runMode == otMultipleFiles)
        FinishOutput(false, &ReadingController::NextArticle);
    else
        NextArticle();
}

void ReadingController::NextArticle()
{
    if (m_state == rsExiting)
        return;

    int position = m_articlePosition;
    if (m_article) {
        m_view.SetLocked(m_article, false);
        position = m_view.PositionOf(m_article);
    }
    int next = position + 1;
    if (m_prefs.AutoDelete() && m_article) {
        // Hidden articles wait at the end; the next one takes this place.
        if (m_view.Hide(m_article))
            next = position;
        m_view.Save();
    } else if (!m_article) {
        next = position;  // deleted while it was read: the next one moved up
    }

    if (next >= 1 && next <= m_view.Count()) {
        m_view.Mark(next);
        QObject *article = m_view.ArticleAt(next);
        if (m_runMode == otMultipleFiles && !PrepareOutput(article, otMultipleFiles)) {
            m_completion = Completion::None;
            EndRun();
            return;
        }
        StartReading(article, -1, -1, m_runMode);
        return;
    }

    // The run is over; a single file holds every article read and is
    // finished (and converted) now.
    m_completion = Completion::None;
    if (m_runMode != otMultipleFiles)
        FinishOutput(false, &ReadingController::RunOver, &ReadingController::RunOver);
    else
        RunOver();
}

void ReadingController::RunOver()
{
    if (m_state == rsExiting)
        return;
    m_article = nullptr;
    m_view.AddEmptyArticleIfNone();
    SetReadingState(rsIdle);
    ResetStatus();
    EndRun();
}

void ReadingController::SelectedArticleDone()
{
    if (m_state != rsReading)
        return;
    m_view.UnlockAll();
    ResetStatus();
    FinishOutput(false, &ReadingController::SelectionOver, &ReadingController::SelectionOver);
}

void ReadingController::SelectionOver()
{
    if (m_state == rsExiting)
        return;
    m_article = nullptr;
    SetReadingState(rsIdle);
    ResetStatus();
    EndRun();
}

QString ReadingController::VoiceOf(QObject *article) const
{
    // The introduction and other articles without a voice are read with the
    // default voice.
    const QString voice = m_view.Voice(article);
    return voice.trimmed().isEmpty() ? m_prefs.TTS_DefaultVoiceName : voice;
}

bool ReadingController::PrepareOutput(QObject *article, OutputTarget mode)
{
    if (!isFileTarget(mode))
        return true;
    const QString title = m_outputTitle.isEmpty() ? m_view.Title(article).trimmed() : m_outputTitle;
    if (title.isEmpty()) {
        m_view.RestoreWindow();
        m_view.FocusHeader(article);
        MessageService::error(kTitleRequired);
        return false;
    }
    const SoundFormat format = SoundFormatOf(m_prefs.OUT_FileFormat);
    const bool encoded = format != SoundFormat::Wav;
    try {
        if (!m_names) {
            // The folder may have changed since the start: a killed run may
            // have left its temporary files there too.
            PendingFile::RemoveLeftovers(m_prefs.OUT_Directory);
            m_names = std::make_unique<TOutputNames>(m_prefs.OUT_Directory,
                                                     m_placement == OutputPlacement::NextFreeName);
        }
        const TOutputNames::TFiles files = m_names->Build(title, format);
        m_wavName = files.WavFile;
        m_mp3Name = files.EncodedFile;
        m_taken = files.Taken;
        m_title = title;
        m_oversized = false;
        m_chapterStarts.clear();
        m_format = format;
        m_bitRate = format == SoundFormat::Opus ? m_prefs.OpusBitRate : m_prefs.BitRate;
        if (!encoded) {
            m_pendingWav = std::make_unique<PendingFile>(files.WavFile);
            if (!m_pendingWav->Create())
                throw EAppError(m_pendingWav->ErrorString());
            m_wavName = m_pendingWav->TempPath();
        }
    } catch (const EAppError &e) {
        m_pendingWav.reset();
        MessageService::error(e.message());
        return false;
    }
    if (!m_driver.PlayToFileInit(VoiceOf(article), m_wavName, encoded ? QString() : m_pendingWav->Target())) {
        DiagnosticLog::WriteLog(QStringLiteral("Play to file initialization failed"));
        SetReadingState(rsIdle);
        m_view.SetLocked(article, false);
        emit GaugeChanged(false, 0, 0);
        // Nothing worth keeping was written.
        try {
            m_driver.FinishOutput();
        } catch (const EAppError &e) {
            DiagnosticLog::WriteLog(e.message());
        }
        if (!m_pendingWav)
            QFile::remove(m_wavName);
        EndRun();
        return false;
    }
    ++m_filesStarted;
    // One file of the whole list is titled as it is named; a file of one
    // article takes the article's own title, which its name may only
    // approximate.
    m_tagTitle = mode == otSingleFile && m_completion == Completion::ArticleDone ? m_title
                                                                                 : m_view.Title(article).trimmed();
    if (encoded) {
        std::unique_ptr<SoundFileWriter> writer = NewSoundFileWriter(format, m_bitRate);
        writer->SetTags(TagsFor(article, mode));
        m_follower->Start(m_wavName, m_mp3Name, std::move(writer), m_placement);
    }
    StartSubtitles();
    return true;
}

void ReadingController::FailStart(QObject *article)
{
    m_completion = Completion::None;
    SetReadingState(rsIdle);
    if (article)
        m_view.SetLocked(article, false);
    emit GaugeChanged(false, 0, 0);
    if (isFileTarget(m_runMode))
        FinishOutput(true);
    m_article = nullptr;
    EndRun();
}

bool ReadingController::StartReading(QObject *article, int length, int start, OutputTarget mode)
{
    m_view.FocusEditor(article);
    m_article = article;
    m_articlePosition = m_view.PositionOf(article);
    m_runMode = mode;
    m_driver.SetReadingTarget(mode);
    m_paused = false;
    emit PausedChanged(false);

    m_text = m_view.Text(article);
    if (m_subtitles)
        m_subtitles->BeginText(m_text);
    const int end = length >= 1 ? start + length : int(m_text.size());
    const int gaugeMaximum = end - start;

    if (isFileTarget(mode) && !OutputDirectoryExists()) {
        MessageService::error(QStringLiteral("Output directory ") + m_prefs.OUT_Directory +
                              QStringLiteral(" is not valid"));
        FailStart(nullptr);
        return false;
    }

    m_view.SetLocked(article, true);
    emit GaugeChanged(true, gaugeMaximum, 0);
    if (m_state != rsReading)
        SetReadingState(rsReading);

    m_readStart = start == -1 ? 0 : start;
    if (mode == otSingleFile && m_completion == Completion::ArticleDone)
        MarkChapter(article);
    const QString part = start == -1 ? m_text : m_text.mid(start, end - start);
    bool spoken = false;
    try {
        spoken = mode == otSpeakers ? m_driver.Play(part, VoiceOf(article))
                                    : m_driver.SpeakToFile(VoiceOf(article), part);
    } catch (const EAppError &e) {
        DiagnosticLog::WriteLog(e.message());
        MessageService::error(e.message());
    }
    if (!spoken) {
        FailStart(article);
        return false;
    }
    UpdateStatus(QString());
    return true;
}

void ReadingController::TTSWordPosition(uint32_t byteOffset, uint64_t timeStamp)
{
    if (!m_article || (m_state != rsReading && m_state != rsPaused))
        return;
    // Byte offsets into the engine's 16-bit text, of the filtered text.
    const int filtered = int32_t(byteOffset) / 2;
    const int caret = std::clamp(m_driver.Filter().MapPosition(filtered) + m_readStart, 0, int(m_text.size()));
    int delimiter = caret;
    while (delimiter < m_text.size()) {
        const QChar c = m_text.at(delimiter);
        if (c == QChar(0) || c == u'\n' || c == u'\r' || c == u' ')
            break;
        ++delimiter;
    }
    // The 1-based index of the delimiter is the progress.
    emit GaugeChanged(true, -1, delimiter + 1 - m_readStart);
    m_view.ShowWord(m_article, caret, delimiter, m_prefs.TTS_HighlightPosition);
    if (m_subtitles)
        m_subtitles->AddWord(qint64(timeStamp / 10), caret, delimiter - caret);
    // Words arrive as the file is written: a WAV that outgrows what its
    // header can say is stopped here rather than read to its end in vain.
    if (m_pendingWav && !m_oversized && QFileInfo(m_wavName).size() - kWavHeaderBytes > m_wavLimit) {
        m_oversized = true;
        QMetaObject::invokeMethod(this, &ReadingController::RefuseOversizedWav, Qt::QueuedConnection);
    }
}

void ReadingController::RefuseOversizedWav()
{
    if (!m_pendingWav || (m_state != rsReading && m_state != rsPaused))
        return;
    const QString message = kWavTooLarge.arg(m_pendingWav->Target());
    StopBtnClick();
    DiagnosticLog::WriteLog(message);
    MessageService::error(message);
}

void ReadingController::FinishOutput(bool aborted, Step afterwards, Step afterFailure)
{
    const bool toFile = isFileTarget(m_runMode);
    try {
        m_driver.FinishOutput();
    } catch (const EAppError &e) {
        // A full disk when the file is closed: tell, keep what was written,
        // and be idle again. A reading that was stopped, or whose start
        // failed and was told already, only logs it: its file goes anyway.
        m_follower->Stop();
        m_pendingWav.reset();
        const QString kept = toFile && !aborted && Encoded() ? KeepWavBesideMp3() : QString();
        AbandonRun(aborted ? QString() : e.message(), kept);
        if (aborted)
            DiagnosticLog::WriteLog(e.message());
        Continue(afterFailure);
        return;
    }
    m_durationMs = 0;
    std::vector<TChapterMark> chapters;
    if (toFile && !aborted) {
        // The sound as written decides the times, not the clock.
        try {
            const TWaveLayout wav = ReadWaveLayout(m_wavName);
            const auto ms = [&](qint64 bytes) {
                return wav.Format.AvgBytesPerSec ? bytes * 1000 / wav.Format.AvgBytesPerSec : 0;
            };
            m_durationMs = ms(wav.DataBytes);
            if (m_chapterStarts.size() >= 2) {
                for (const ChapterStart &start : m_chapterStarts)
                    chapters.push_back({start.Title, ms(std::clamp<qint64>(start.WavBytes, 0, wav.DataBytes))});
            }
        } catch (const EWaveError &e) {
            DiagnosticLog::WriteLog(e.message());
        }
    }
    m_chapterStarts.clear();
    if (toFile && aborted) {
        m_follower->Stop();
        if (m_pendingWav)
            m_pendingWav.reset();
        else if (QFile::exists(m_wavName) && !QFile::remove(m_wavName))
            DiagnosticLog::WriteLog(QStringLiteral("Delete Failed"));
    } else if (toFile && Encoded()) {
        ConvertToMp3(afterwards, afterFailure, std::move(chapters));
        return;
    } else if (toFile && !PlaceWav()) {
        Continue(afterFailure);
        return;
    }
    OutputFinished(afterwards);
}

void ReadingController::OutputFinished(Step afterwards)
{
    if (m_state != rsExiting) {
        emit StatusReset();
        m_view.DeleteHidden();
    }
    Continue(afterwards);
}

void ReadingController::Continue(Step step)
{
    if (step)
        (this->*step)();
}

void ReadingController::ConvertToMp3(Step afterwards, Step afterFailure, std::vector<TChapterMark> chapters)
{
    SetReadingState(rsConverting);
    UpdateStatus(QString());
    emit GaugeChanged(true, 100, 0);

    // The encoder works on a thread of its own and has followed the speech
    // while it was written; the window stays responsive and the exit can
    // stop it after its current chunk.
    m_stopConversion = false;
    m_afterConversion = afterwards;
    m_afterFailedConversion = afterFailure;
    m_conversion = std::thread([this, chapters = std::move(chapters)]() mutable {
        DiagnosticLog::WriteLog(QStringLiteral("Starting ") + NameOf(OutputFormat()) + QStringLiteral(" conversion"));
        m_conversionResult = m_follower->Finish(
            [this](int percent) {
                QMetaObject::invokeMethod(
                    this, [this, percent] { emit GaugeChanged(true, 100, percent); }, Qt::QueuedConnection);
            },
            [this] { return m_stopConversion.load(); }, std::move(chapters));
        QMetaObject::invokeMethod(this, &ReadingController::ConversionEnded, Qt::QueuedConnection);
    });
}

void ReadingController::ConversionEnded()
{
    m_conversion.join();
    const TMp3Result result = std::exchange(m_conversionResult, TMp3Result());
    const Step afterwards = std::exchange(m_afterConversion, nullptr);
    const Step afterFailure = std::exchange(m_afterFailedConversion, nullptr);
    if (result.Status == TMp3Result::Stopped || m_state == rsExiting) {
        Continue(afterFailure);
        return;
    }
    if (result.Status == TMp3Result::Failed) {
        AbandonRun(result.Message, KeepWavBesideMp3());
        Continue(afterFailure);
        return;
    }
    emit GaugeChanged(false, 0, 0);
    NotePlacement(m_mp3Name, result.File);
    m_mp3Name = result.File;
    NoteWritten(result.File);
    // Opus players skip the encoder's lead-in (its pre-skip) themselves.
    PlaceSubtitles(m_mp3Name,
                   m_format == SoundFormat::Mp3 ? Mp3StartDelayUs(m_mp3Name, Mp3PresetFor(m_bitRate).SampleRate) : 0,
                   spokenLengthUs(m_wavName), m_follower->LastJoin().atUs, m_follower->LastJoin().gapUs);
    DiagnosticLog::WriteLog(QStringLiteral("Deleting wav file ") + m_wavName);
    if (!QFile::remove(m_wavName))
        DiagnosticLog::WriteLog(QStringLiteral("Delete Failed"));
    OutputFinished(afterwards);
}

bool ReadingController::PlaceWav()
{
    const std::unique_ptr<PendingFile> wav = std::move(m_pendingWav);
    const QString wanted = wav->Target();
    QString error;
    if (QFileInfo(wav->TempPath()).size() - kWavHeaderBytes > m_wavLimit)
        error = kWavTooLarge.arg(wav->Target());
    else if (!wav->Place(m_placement))
        error = wav->ErrorString();
    if (!error.isEmpty()) {
        AbandonRun(error, QString());
        return false;
    }
    NotePlacement(wanted, wav->Target());
    NoteWritten(wav->Target());
    PlaceSubtitles(wav->Target(), 0, spokenLengthUs(wav->Target()));
    return true;
}

void ReadingController::StartSubtitles()
{
    m_subtitleFormat = m_prefs.OUT_Subtitles;
    const auto format = SubtitleFormat(m_subtitleFormat);
    if (format == SubtitleFormat::Srt || format == SubtitleFormat::WebVtt || format == SubtitleFormat::Lrc)
        m_subtitles = std::make_unique<SubtitleTrack>();
    else
        m_subtitles.reset();
}

void ReadingController::PlaceSubtitles(const QString &audioFile, qint64 startDelayUs, qint64 audioEndUs, qint64 gapAtUs,
                                       qint64 gapUs)
{
    const std::unique_ptr<SubtitleTrack> track = std::move(m_subtitles);
    if (!track)
        return;
    track->Finish(audioEndUs);
    // The second half of a long MP3, encoded on its own, starts a little later.
    if (gapUs > 0)
        track->InsertGap(gapAtUs, gapUs);
    const auto format = SubtitleFormat(m_subtitleFormat);
    const QString target = SubtitleFileBeside(audioFile, format);
    // Never in place of a file of the user's, unless the reading replaces.
    const OutputPlacement placement = m_placement == OutputPlacement::Replace ? OutputPlacement::Replace
                                                                              : OutputPlacement::Refuse;
    QString error;
    if (placement == OutputPlacement::Refuse && PendingFile::Exists(target))
        error = kSubtitlesExist.arg(target, audioFile);
    else if (!track->Save(target, format, startDelayUs, m_title, placement, &error))
        error = kSubtitlesFailed.arg(audioFile, error);
    if (error.isEmpty()) {
        DiagnosticLog::WriteLog(QStringLiteral("Saved ") + target);
        return;
    }
    // The audio stays: it is complete.
    DiagnosticLog::WriteLog(error);
    MessageService::error(error);
}

void ReadingController::NotePlacement(const QString &built, const QString &placed)
{
    const QString wanted = m_taken.isEmpty() ? built : m_taken;
    if (placed != wanted)
        m_placementNote = kSavedAs.arg(QFileInfo(wanted).fileName(), QFileInfo(placed).fileName());
    DiagnosticLog::WriteLog(QStringLiteral("Saved ") + placed);
}

QString ReadingController::KeepWavBesideMp3()
{
    // The speech is kept where the user looks for it, as title.wav, never in
    // place of a file that is there.
    if (!QFile::exists(m_wavName) || m_mp3Name.isEmpty())
        return QString();
    const QString kept = QFileInfo(m_mp3Name).path() + u'/' +
                         TOutputNames::SafeFileName(m_title, QStringLiteral(".wav"));
    QString error;
    const SafeFile::RenameResult moved = SafeFile::renameFile(m_wavName, kept, false, &error);
    if (moved == SafeFile::RenameResult::Failed) {
        // Another file system: a copy, never left half made on a full disk.
        PendingFile copy(kept);
        QFile in(m_wavName);
        bool ok = copy.Create() && in.open(QIODevice::ReadOnly);
        for (QByteArray chunk; ok && !(chunk = in.read(1 << 20)).isEmpty();)
            ok = copy.Write(chunk.constData(), chunk.size());
        if (ok && copy.Place(OutputPlacement::Refuse))
            return kept;
        error = copy.ErrorString();
    } else if (moved == SafeFile::RenameResult::Done) {
        return kept;
    } else {
        error = QStringLiteral("\"%1\" exists").arg(kept);
    }
    DiagnosticLog::WriteLog(QStringLiteral("The WAV file could not be kept: ") + error);
    return QString();
}

void ReadingController::AbandonRun(const QString &message, const QString &keptWav)
{
    const QString text =
        keptWav.isEmpty() ? message : message + QStringLiteral("\r\rThe speech was kept in \"%1\".").arg(keptWav);
    if (!text.isEmpty()) {
        DiagnosticLog::WriteLog(text);
        MessageService::error(text);
    }
    m_completion = Completion::None;
    SetReadingState(rsIdle);
    ResetStatus();
    EndRun();
}

void ReadingController::EndRun()
{
    m_follower->Stop();
    // What was written stays listed, also after a failure part-way.
    if (m_runMode == otMultipleFiles && m_writesPlaylist && m_written.size() >= 2)
        WritePlaylist();
    m_written.clear();
    m_chapterStarts.clear();
    m_filesStarted = 0;
    m_pendingWav.reset();
    m_subtitles.reset();
    m_names.reset();
    m_skipAllowed = true;
    if (!m_placementNote.isEmpty() && m_state == rsIdle)
        UpdateStatus(std::exchange(m_placementNote, QString()));
    m_placementNote.clear();
}

// ------------------------------------------------------- tags and playlist

TAudioTags ReadingController::TagsFor(QObject *article, OutputTarget mode) const
{
    TAudioTags tags;
    tags.Title = m_tagTitle;
    tags.Artist = m_artist.isEmpty() ? VoiceOf(article) : m_artist;
    if (!m_album.isEmpty())
        tags.Album = m_album;
    else if (mode == otMultipleFiles)
        tags.Album = QFileInfo(m_prefs.OUT_Directory).fileName();
    else
        tags.Album = m_title;
    if (m_track > 0) {
        tags.Track = m_track;
        tags.TrackCount = m_trackCount;
    } else if (mode == otMultipleFiles) {
        tags.Track = m_filesStarted;
        tags.TrackCount = std::max(m_runArticles, tags.Track);
    }
    return tags;
}

void ReadingController::MarkChapter(QObject *article)
{
    // The speech of the articles before is written whole by now (the driver
    // reports an article done once its sound is in the file).
    const qint64 bytes = std::max<qint64>(QFileInfo(m_wavName).size() - kWavHeaderBytes, 0);
    m_chapterStarts.push_back({m_view.Title(article).trimmed(), m_chapterStarts.empty() ? 0 : bytes});
}

void ReadingController::NoteWritten(const QString &file)
{
    m_written.push_back({file, m_tagTitle, m_durationMs});
    emit FileWritten(file, m_tagTitle, m_durationMs);
}

void ReadingController::WritePlaylist()
{
    const QString album = m_album.isEmpty() ? QFileInfo(m_prefs.OUT_Directory).fileName() : m_album;
    const QString name = TOutputNames::JoinPath(
        QFileInfo(m_written.front().File).absolutePath(),
        TOutputNames::SafeFileName(album.trimmed().isEmpty() ? QString::fromLatin1(TOutputNames::UntitledName) : album,
                                   QString::fromLatin1(Playlist::Extension)));
    QString placed;
    const QString error = Playlist::Write(name, m_written, m_placement, &placed);
    if (!error.isEmpty()) {
        DiagnosticLog::WriteLog(error);
        MessageService::error(error);
        return;
    }
    m_playlistName = placed;
    DiagnosticLog::WriteLog(QStringLiteral("Saved ") + placed);
}
