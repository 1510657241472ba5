#include "AudioDestinations.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sapi {

// ---- device ----

std::shared_ptr<audio::PlaybackStream> DeviceAudioDest::stream() const
{
    std::lock_guard lock(m_mutex);
    return m_stream;
}

HRESULT DeviceAudioDest::open(const audio::PcmFormat &format)
{
    int device;
    {
        std::lock_guard lock(m_mutex);
        device = m_device;
    }
    QString error;
    std::unique_ptr<audio::PlaybackStream> s = audio::audioSystem().openPlayback(device, format, &error);
    std::lock_guard lock(m_mutex);
    if (!s) {
        m_error = error.isEmpty() ? QStringLiteral("The audio device could not be opened.") : error;
        return AUDERR_NOTOPEN;
    }
    m_stream = std::move(s);
    m_error.clear();
    return S_OK;
}

HRESULT DeviceAudioDest::write(const void *data, size_t bytes)
{
    std::shared_ptr<audio::PlaybackStream> s;
    uint64_t resets;
    {
        std::lock_guard lock(m_mutex);
        s = m_stream;
        resets = m_resets;
    }
    if (!s)
        return AUDERR_NOTOPEN;
    if (bytes == 0 || s->write(data, bytes))
        return S_OK;
    std::lock_guard lock(m_mutex);
    if (m_resets != resets)
        return S_FALSE;
    m_error = s->lastError();
    return AUDERR_NOTOPEN;
}

void DeviceAudioDest::pause()
{
    if (auto s = stream())
        s->pause();
}

void DeviceAudioDest::resume()
{
    if (auto s = stream())
        s->resume();
}

void DeviceAudioDest::reset()
{
    std::shared_ptr<audio::PlaybackStream> s;
    {
        std::lock_guard lock(m_mutex);
        ++m_resets;
        s = m_stream;
    }
    if (s)
        s->reset();
}

int64_t DeviceAudioDest::heardUs() const
{
    auto s = stream();
    return s ? s->playedUs() : 0;
}

int64_t DeviceAudioDest::writtenUs() const
{
    auto s = stream();
    return s ? s->writtenUs() : 0;
}

void DeviceAudioDest::drain(std::function<void()> done)
{
    if (auto s = stream())
        s->drain(std::move(done));
    else
        done();
}

QString DeviceAudioDest::lastError() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

HRESULT MMAudioDest::DeviceNumSet(uint32_t dwDeviceID)
{
    int device = dwDeviceID == 0xFFFFFFFFu ? -1 : static_cast<int>(dwDeviceID);
    if (device < -1)
        return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    m_device = device;
    return S_OK;
}

HRESULT MMAudioDest::DeviceNumGet(uint32_t *pdwDeviceID)
{
    if (!pdwDeviceID)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    *pdwDeviceID = static_cast<uint32_t>(m_device);
    return S_OK;
}

HRESULT DirectAudioDest::Init(const UnknownPtr &pDirectSound, const GUID &iid)
{
    if (!(iid == IID_IDirectSound))
        return E_NOINTERFACE;
    std::lock_guard lock(m_mutex);
    m_directSound = pDirectSound;
    m_device = -1;
    return S_OK;
}

// ---- WAV file ----

namespace {

constexpr size_t kBufferBytes = 64 * 1024;
constexpr int kHeaderBytes = 44;

void putLe32(char *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putLe16(char *p, uint16_t v)
{
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

bool diskFull(int err)
{
    return err == ENOSPC || err == EDQUOT || err == EFBIG;
}

// Writes every byte, at the file position or, when at is 0 or more, at that
// offset; a write that makes no progress counts as a full disk.
bool writeAll(int fd, const char *data, size_t bytes, off_t at = -1)
{
    while (bytes > 0) {
        ssize_t n = at < 0 ? ::write(fd, data, bytes) : ::pwrite(fd, data, bytes, at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        if (at >= 0)
            at += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

FileAudioDest::~FileAudioDest()
{
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0) {
        bool ok = m_failure == S_OK && fixHeaderLocked() == S_OK;
        closeLocked(ok);
    }
}

QString FileAudioDest::fileName() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

int64_t FileAudioDest::usForBytes(uint64_t bytes) const
{
    const uint64_t perSecond = uint64_t(m_format.sampleRate) * uint64_t(m_format.channels) * 2;
    return perSecond ? static_cast<int64_t>(bytes * 1000000ull / perSecond) : 0;
}

HRESULT FileAudioDest::failLocked(int err, const QString &what)
{
    m_failure = diskFull(err) ? TTSERR_OUTOFDISK : AUDERR_NOTOPEN;
    m_error = QStringLiteral("%1 \"%2\": %3").arg(what, m_path, QString::fromLocal8Bit(std::strerror(err)));
    closeLocked(false);
    m_resumed.notify_all();
    return m_failure;
}

void FileAudioDest::closeLocked(bool keep)
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    // Only a regular file of ours is removed: never a device such as /dev/full.
    if (!keep && m_createdRegular)
        ::unlink(QFile::encodeName(m_path).constData());
    m_buffer.clear();
}

HRESULT FileAudioDest::openFileLocked(const QString &path)
{
    m_path = path;
    m_failure = S_OK;
    m_error.clear();
    m_dataBytes = 0;
    m_buffer.clear();
    m_createdRegular = false;
    // A symbolic link planted at the name is not followed to a file of
    // someone else's choosing.
    int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        int err = errno;
        m_failure = diskFull(err) ? TTSERR_OUTOFDISK : AUDERR_NOTOPEN;
        m_error = QStringLiteral("Cannot create \"%1\": %2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
        return m_failure;
    }
    struct stat st {};
    m_createdRegular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    m_fd = fd;
    if (m_formatSet)
        return writeHeaderLocked();
    return S_OK;
}

HRESULT FileAudioDest::writeHeaderLocked()
{
    // Written into the buffer with zero sizes; fixHeaderLocked fills them in.
    char h[kHeaderBytes];
    const uint16_t channels = static_cast<uint16_t>(m_format.channels);
    const uint32_t rate = static_cast<uint32_t>(m_format.sampleRate);
    std::memcpy(h, "RIFF", 4);
    putLe32(h + 4, 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe32(h + 16, 16);
    putLe16(h + 20, 1);
    putLe16(h + 22, channels);
    putLe32(h + 24, rate);
    putLe32(h + 28, rate * channels * 2);
    putLe16(h + 32, static_cast<uint16_t>(channels * 2));
    putLe16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    putLe32(h + 40, 0);
    m_buffer.prepend(h, kHeaderBytes);
    return S_OK;
}

HRESULT FileAudioDest::flushBufferLocked()
{
    if (m_fd < 0)
        return m_failure != S_OK ? m_failure : AUDERR_NOTOPEN;
    if (!m_buffer.isEmpty()) {
        if (!writeAll(m_fd, m_buffer.constData(), static_cast<size_t>(m_buffer.size())))
            return failLocked(errno, QStringLiteral("Cannot write"));
        m_buffer.clear();
    }
    return S_OK;
}

HRESULT FileAudioDest::fixHeaderLocked()
{
    if (HRESULT r = flushBufferLocked(); r != S_OK)
        return r;
    if (!m_formatSet)
        return S_OK;
    // A WAV file cannot say more than 4 GB; beyond that the sizes stay at the limit.
    const uint64_t data = std::min<uint64_t>(m_dataBytes, 0xFFFFFFFFull - 36);
    char v[4];
    putLe32(v, static_cast<uint32_t>(36 + data));
    if (!writeAll(m_fd, v, 4, 4))
        return failLocked(errno, QStringLiteral("Cannot finish"));
    putLe32(v, static_cast<uint32_t>(data));
    if (!writeAll(m_fd, v, 4, 40))
        return failLocked(errno, QStringLiteral("Cannot finish"));
    return S_OK;
}

HRESULT FileAudioDest::Set(const char16_t *pszFile, uint32_t dwType)
{
    if (!pszFile || !*pszFile || dwType != 1)
        return E_INVALIDARG;
    const QString path = QString::fromUtf16(pszFile);
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0) {
        // Switching files finishes the current one first.
        HRESULT r = m_failure == S_OK ? fixHeaderLocked() : m_failure;
        closeLocked(r == S_OK);
        if (r != S_OK)
            return r;
    }
    return openFileLocked(path);
}

HRESULT FileAudioDest::Flush()
{
    std::lock_guard lock(m_mutex);
    if (m_failure != S_OK)
        return m_failure;
    if (m_fd < 0)
        return AUDERR_NOTOPEN;
    return fixHeaderLocked();
}

HRESULT FileAudioDest::open(const audio::PcmFormat &format)
{
    std::lock_guard lock(m_mutex);
    if (m_failure != S_OK)
        return m_failure;
    if (m_fd < 0) {
        m_error = QStringLiteral("No output file was set.");
        return AUDERR_NOTOPEN;
    }
    const bool firstBinding = !m_formatSet;
    m_format = format;
    m_formatSet = true;
    if (firstBinding && m_dataBytes == 0)
        return writeHeaderLocked();
    return S_OK;
}

HRESULT FileAudioDest::write(const void *data, size_t bytes)
{
    std::unique_lock lock(m_mutex);
    const uint64_t resets = m_resets;
    m_resumed.wait(lock, [&] { return !m_paused || m_resets != resets || m_failure != S_OK; });
    if (m_failure != S_OK)
        return m_failure;
    if (m_resets != resets)
        return S_FALSE;
    if (m_fd < 0 || !m_formatSet)
        return AUDERR_NOTOPEN;
    m_buffer.append(static_cast<const char *>(data), static_cast<qsizetype>(bytes));
    m_dataBytes += bytes;
    if (static_cast<size_t>(m_buffer.size()) >= kBufferBytes)
        return flushBufferLocked();
    return S_OK;
}

void FileAudioDest::pause()
{
    std::lock_guard lock(m_mutex);
    m_paused = true;
}

void FileAudioDest::resume()
{
    std::lock_guard lock(m_mutex);
    m_paused = false;
    m_resumed.notify_all();
}

void FileAudioDest::reset()
{
    std::lock_guard lock(m_mutex);
    ++m_resets;
    m_resumed.notify_all();
}

int64_t FileAudioDest::heardUs() const
{
    return writtenUs();
}

int64_t FileAudioDest::writtenUs() const
{
    std::lock_guard lock(m_mutex);
    return usForBytes(m_dataBytes);
}

void FileAudioDest::drain(std::function<void()> done)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_fd >= 0 && m_failure == S_OK)
            flushBufferLocked();
    }
    done();
}

QString FileAudioDest::lastError() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

}  // namespace sapi
