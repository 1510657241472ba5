#pragma once
// The reading commands: Read Aloud, Read to File, Pause/Resume, Skip, Stop,
// the per-article Read buttons, Read from Cursor and Read Selected, audio
// help and voice tests. It walks the article list from one article to the
// next as the reading driver reports each one done, names the output files,
// converts a finished WAV file to MP3, and keeps one reading state from
// which every command control is enabled or disabled.
//
// Widget-free: the main window (or the command line) implements
// ReadingView over its article list and binds its controls to the slots and
// signals here.
//
// A file appears under its name only when it is complete (PendingFile): a
// stop, a failure or a killed program leaves nothing under a final name, and
// a file this reading did not write is never replaced unless the placement
// says so. Making a controller removes what killed runs left behind.

#include "output/AudioTags.h"
#include "output/Playlist.h"
#include "output/SoundFileWriter.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class EncodingFollower;
class SubtitleTrack;
class TOutputNames;
class TPreferences;
class Speaker;

enum ReadingState : uint8_t { rsIdle = 0, rsPaused = 1, rsReading = 2, rsConverting = 3, rsExiting = 4 };
enum OutputTarget : uint8_t { otSingleFile = 0, otMultipleFiles = 1, otSpeakers = 2 };

// What the reading commands need of the article list and of the window. An
// article is a QObject of the list (the controller only guards it); positions
// are 1-based among the articles that are not hidden.
class ReadingView
{
public:
    using Article = QObject *;

    virtual ~ReadingView() = default;

    virtual int Count() const = 0;
    virtual Article ArticleAt(int position) const = 0;
    // 0 when the article is no longer in the list.
    virtual int PositionOf(Article article) const = 0;
    virtual Article Selected() const = 0;
    virtual void Mark(int position) = 0;
    // Auto delete; false when the article could not be hidden.
    virtual bool Hide(Article article) = 0;
    virtual void DeleteHidden() = 0;
    virtual void UnlockAll() = 0;
    virtual void Save() = 0;
    // Adds an empty article when the list holds none.
    virtual void AddEmptyArticleIfNone() = 0;

    virtual QString Title(Article article) const = 0;
    virtual QString Voice(Article article) const = 0;
    virtual QString Text(Article article) const = 0;
    virtual void SetLocked(Article article, bool locked) = 0;

    // The window: shown again from the tray, the output options opened, the
    // title or the text of an article given the focus.
    virtual void RestoreWindow() {}
    virtual void ShowFileOptions() {}
    virtual void FocusHeader(Article) {}
    virtual void FocusEditor(Article) {}
    // The word being spoken: the caret at caret, and the characters up to
    // wordEnd (exclusive) selected when highlight is set.
    virtual void ShowWord(Article, int caret, int wordEnd, bool highlight)
    {
        (void)caret, (void)wordEnd, (void)highlight;
    }
};

class ReadingController : public QObject
{
    Q_OBJECT
public:
    // Which commands the state allows; the window enables its five command
    // groups and the device menus from it.
    struct Commands {
        bool aloud = false, file = false, pause = false, skip = false, stop = false, deviceMenus = false;
        bool operator==(const Commands &) const = default;
    };

    ReadingController(Speaker &driver, TPreferences &prefs, ReadingView &view, QObject *parent = nullptr);
    ~ReadingController() override;

    ReadingState State() const { return m_state; }
    OutputTarget Target() const { return m_target; }
    Commands AllowedCommands() const;
    QObject *ArticleBeingRead() const { return m_article; }
    bool MultiArticle() const;

    // The five command groups.
    void PlayAllBtnClick();
    void PlayFileBtnClick();
    void PauseBtnClick();
    void SkipBtnClick();
    // Reads the article being read aloud again from its start; the run then
    // goes on as before. Only while reading to the speakers.
    void RestartArticle();
    void StopBtnClick();

    // The commands outside the groups act only while nothing is read.
    void ReadArticle(QObject *article, OutputTarget mode, int length, int start);
    void ArticleReadClick(QObject *article);        // an article's Read button
    void ArticleReadToFileClick(QObject *article);  // its Read to File button
    void ReadFromCursor(int caret);
    void ReadSelection(int selStart, int selLength);
    void SpeakAudioHelp(const QString &text, const QString &voiceName);
    // New text read at once (auto speak), from its beginning.
    void StartAutoSpeak(QObject *article);

    // The File Destination option sets the target of the next file reading.
    void SetTarget(OutputTarget target) { m_target = target; }
    // What a finished file does when its name is taken: the window takes the
    // next free name (and says so in the status bar), the command line
    // refuses or, asked to, replaces.
    void SetPlacement(OutputPlacement placement) { m_placement = placement; }
    // The most sound bytes a WAV file takes: its header's sizes are 32 bits.
    // A reading that would pass it is stopped and the file not made.
    static constexpr qint64 WavSoundLimit = 0xFFFFFFFFLL - 36;
    void SetWavSoundLimit(qint64 bytes) { m_wavLimit = bytes; }

    // The tags of the MP3 and Opus files written. Each file's title is its
    // article's; the album is, unless set here, the output file's name in
    // Single File mode and the output folder's name in Multiple Files mode;
    // the artist, unless set here, the voice's name. Multiple Files numbers
    // its files n/N; a reader that reads one file per run (the command line)
    // gives the number here (0: none).
    void SetAlbum(const QString &album) { m_album = album; }
    void SetArtist(const QString &artist) { m_artist = artist; }
    void SetTrack(int track, int trackCount) { m_track = track, m_trackCount = trackCount; }
    // The name (and title tag) of the next file instead of its first
    // article's title, which then only names its chapter; empty: the title.
    void SetOutputTitle(const QString &title) { m_outputTitle = title; }
    // Whether Multiple Files writes a playlist of the files it wrote (the
    // command line writes its own).
    void SetWritesPlaylist(bool writes) { m_writesPlaylist = writes; }
    void SetReadingState(ReadingState state);
    void UpdateStatus(const QString &text);
    void ResetStatus();
    QString ArticleCountText() const;

    // The exit: nothing reads, converts or completes any more.
    void BeginExit();

    // Routines of the reading run, public for the window and the tests.
    void ReadAllArticles();
    void ArticleDone();
    void SelectedArticleDone();
    bool PrepareOutput(QObject *article, OutputTarget mode);
    bool StartReading(QObject *article, int length, int start, OutputTarget mode);
    // The next step of a run, taken once its output is finished.
    using Step = void (ReadingController::*)();
    // Closes the output; a file is put in place, an MP3 converted first on a
    // thread of its own. Then afterwards is taken, or afterFailure when the
    // file could not be finished (or the program is ending).
    void FinishOutput(bool aborted, Step afterwards = nullptr, Step afterFailure = nullptr);
    // timeStamp: where the word begins in the audio written, in 100 ns units.
    void TTSWordPosition(uint32_t byteOffset, uint64_t timeStamp = 0);

    // Where the speech is written (a temporary file for WAV output), and
    // the MP3's name, once made the name it was put under.
    QString WavName() const { return m_wavName; }
    QString Mp3Name() const { return m_mp3Name; }
    // The playlist the last Multiple Files run wrote; empty when none.
    QString PlaylistName() const { return m_playlistName; }

signals:
    void CommandsChanged(ReadingController::Commands commands, ReadingState state);
    // UpdateStatus: the long text for the status bar, the log and the tray
    // tip; the short one for the floating toolbar.
    void StatusChanged(const QString &longText, const QString &shortText);
    // ResetStatus: the status bar and tray tip back to their idle texts.
    void StatusReset();
    // The progress gauges of the status bar and the floating toolbar.
    void GaugeChanged(bool visible, int maximum, int value);
    // Pause captions: "Resume" while paused, and status panel 1.
    void PausedChanged(bool paused);
    // A file of the reading was put in place under its final name.
    void FileWritten(const QString &file, const QString &title, qint64 durationMs);

private:
    enum class Completion { None, ArticleDone, SelectedArticleDone, AudioHelp };

    void DriverDone();
    void OnAudioHelpDone();
    void PauseReading();
    void ResumeReading();
    bool OutputDirectoryExists() const;
    void InvalidDirectory();
    void EndRun();
    // A failure after the speech was written: the message shown, saying
    // where the speech was kept when it was, and idle again.
    void AbandonRun(const QString &message, const QString &keptWav);
    void FailStart(QObject *article);
    void NextArticle();
    void RunOver();
    void SelectionOver();
    void OutputFinished(Step afterwards);
    void Continue(Step step);
    void ConvertToMp3(Step afterwards, Step afterFailure, std::vector<TChapterMark> chapters);
    void ConversionEnded();
    bool PlaceWav();
    void RefuseOversizedWav();
    // The status note when a finished file took another name than its own.
    void NotePlacement(const QString &built, const QString &placed);
    // The speech of a failed MP3 as title.wav beside it; its name, or empty.
    QString KeepWavBesideMp3();
    QString VoiceOf(QObject *article) const;
    // The format of the file being written, fixed when it was begun: the
    // option may change while it is read.
    SoundFormat OutputFormat() const { return m_format; }
    bool Encoded() const { return m_format != SoundFormat::Wav; }
    // The tags of the file about to be written for article.
    TAudioTags TagsFor(QObject *article, OutputTarget mode) const;
    // Single File of several articles: where the next one starts.
    void MarkChapter(QObject *article);
    // The written file counts towards the playlist; durationMs from the WAV.
    void NoteWritten(const QString &file);
    void WritePlaylist();
    // Subtitles of a file reading, when the settings ask for them: the words
    // are gathered as they are written, and the file is put beside the audio
    // once the audio is in place, moved by the encoder's start delay.
    void StartSubtitles();
    // gapUs: sound the encoder put into the file at gapAtUs of the speech.
    void PlaceSubtitles(const QString &audioFile, qint64 startDelayUs, qint64 audioEndUs, qint64 gapAtUs = 0,
                        qint64 gapUs = 0);

    Speaker &m_driver;
    TPreferences &m_prefs;
    ReadingView &m_view;

    ReadingState m_state = rsIdle;
    OutputTarget m_target = otSpeakers;
    OutputTarget m_runMode = otSpeakers;
    Completion m_completion = Completion::None;
    bool m_paused = false;
    bool m_skipAllowed = true;
    bool m_restartArticle = false;  // the article ending now is to be read again
    QPointer<QObject> m_article;
    int m_articlePosition = 0;
    QString m_text;  // the text of the article being read, as it was given
    int m_readStart = 0;
    std::unique_ptr<TOutputNames> m_names;
    // Encodes the MP3 while the speech is written, so little is left to
    // convert when the reading ends.
    std::unique_ptr<EncodingFollower> m_follower;
    // The WAV output being written, until it is put in place.
    std::unique_ptr<PendingFile> m_pendingWav;
    std::unique_ptr<SubtitleTrack> m_subtitles;
    uint8_t m_subtitleFormat = 0;  // as the setting was when the file was begun
    OutputPlacement m_placement = OutputPlacement::NextFreeName;
    qint64 m_wavLimit = WavSoundLimit;
    bool m_oversized = false;
    QString m_wavName;  // where the speech is written
    QString m_mp3Name;
    QString m_title;
    QString m_taken;  // the title's own name, taken when the names were built
    QString m_placementNote;
    std::atomic<bool> m_stopConversion{false};
    std::thread m_conversion;
    TMp3Result m_conversionResult;  // written by the conversion thread until it ends
    Step m_afterConversion = nullptr;
    Step m_afterFailedConversion = nullptr;

    QString m_album;
    QString m_artist;
    QString m_outputTitle;
    SoundFormat m_format = SoundFormat::Wav;
    int m_bitRate = 0;
    QString m_tagTitle;  // of the file being written
    int m_track = 0;
    int m_trackCount = 0;
    bool m_writesPlaylist = true;
    int m_filesStarted = 0;  // of this run
    int m_runArticles = 0;   // the list's articles when the run started
    struct ChapterStart {
        QString Title;
        qint64 WavBytes;  // of sound in the WAV when it started
    };
    std::vector<ChapterStart> m_chapterStarts;
    qint64 m_durationMs = 0;  // of the file being finished
    std::vector<TPlaylistEntry> m_written;
    QString m_playlistName;
};
