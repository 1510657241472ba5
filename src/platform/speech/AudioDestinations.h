#pragma once
// The three audio destinations a caller can create (device, WAV file,
// direct), and the interface an engine writes its audio through.

#include "SpeechApi.h"

#include "AudioSystem.h"

#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>

namespace sapi {

// What an engine needs of the place its audio goes. Engines accept any
// destination object implementing it, so a caller's own destination works too.
class AudioDestination : public virtual IUnknown
{
public:
    // Binds the destination to the engine's sample format (at Select).
    virtual HRESULT open(const audio::PcmFormat &format) = 0;
    // Queues PCM from the synthesis thread. S_FALSE when reset() dropped it.
    virtual HRESULT write(const void *data, size_t bytes) = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Drops queued audio at once; a blocked write returns.
    virtual void reset() = 0;
    // Microseconds of audio heard (device) or safely written (file).
    virtual int64_t heardUs() const = 0;
    virtual int64_t writtenUs() const = 0;
    // True when audio is heard in real time (notifications follow the listener).
    virtual bool realTime() const = 0;
    // Calls done (any thread) once everything written so far is heard or stored.
    virtual void drain(std::function<void()> done) = 0;
    // The last failure, for messages and logs.
    virtual QString lastError() const = 0;
};

// Plays on an output device of the audio layer.
class DeviceAudioDest : public AudioDestination
{
public:
    HRESULT open(const audio::PcmFormat &format) override;
    HRESULT write(const void *data, size_t bytes) override;
    void pause() override;
    void resume() override;
    void reset() override;
    int64_t heardUs() const override;
    int64_t writtenUs() const override;
    bool realTime() const override { return true; }
    void drain(std::function<void()> done) override;
    QString lastError() const override;

protected:
    mutable std::mutex m_mutex;
    int m_device = -1;
    std::shared_ptr<audio::PlaybackStream> m_stream;
    uint64_t m_resets = 0;
    QString m_error;

    std::shared_ptr<audio::PlaybackStream> stream() const;
};

class MMAudioDest : public DeviceAudioDest, public IAudioMultiMediaDevice
{
public:
    HRESULT DeviceNumSet(uint32_t dwDeviceID) override;
    HRESULT DeviceNumGet(uint32_t *pdwDeviceID) override;
};

// Plays on the default device; the object handed to Init is kept but the
// audio layer does the playing.
class DirectAudioDest : public DeviceAudioDest, public IAudioDirect
{
public:
    HRESULT Init(const UnknownPtr &pDirectSound, const GUID &iid) override;

private:
    UnknownPtr m_directSound;
};

// Writes a RIFF WAVE file (16-bit PCM). The header's sizes are fixed on
// Flush, when the file is switched and when the destination goes away; a
// failed write leaves no half-written file behind.
class FileAudioDest : public AudioDestination, public IAudioFile
{
public:
    ~FileAudioDest() override;

    HRESULT Set(const char16_t *pszFile, uint32_t dwType) override;
    HRESULT Flush() override;

    HRESULT open(const audio::PcmFormat &format) override;
    HRESULT write(const void *data, size_t bytes) override;
    void pause() override;
    void resume() override;
    void reset() override;
    int64_t heardUs() const override;
    int64_t writtenUs() const override;
    bool realTime() const override { return false; }
    void drain(std::function<void()> done) override;
    QString lastError() const override;

    QString fileName() const;

private:
    HRESULT openFileLocked(const QString &path);
    HRESULT writeHeaderLocked();
    HRESULT flushBufferLocked();
    HRESULT fixHeaderLocked();
    HRESULT failLocked(int err, const QString &what);
    void closeLocked(bool keep);
    int64_t usForBytes(uint64_t bytes) const;

    mutable std::mutex m_mutex;
    std::condition_variable m_resumed;
    QString m_path;
    int m_fd = -1;
    bool m_createdRegular = false;
    bool m_formatSet = false;
    audio::PcmFormat m_format;
    uint64_t m_dataBytes = 0;  // bytes of samples handed to the file, buffer included
    QByteArray m_buffer;
    bool m_paused = false;
    uint64_t m_resets = 0;
    HRESULT m_failure = S_OK;
    QString m_error;
};

}  // namespace sapi
