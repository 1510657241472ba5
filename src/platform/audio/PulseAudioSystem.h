#pragma once
// The libpulse backend of the audio layer. It serves PulseAudio and PipeWire
// (through pipewire-pulse) alike. One connection per PulseAudioSystem, made
// on first use and made again when the server went away; streams keep the
// connection alive for as long as they exist.

#include "AudioSystem.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace audio {

class PulseConnection;

// One output device as the server describes it.
struct SinkInfo {
    QByteArray name;  // the server's sink name: what a stream connects to
    QString description;
    int channels = 0;
    QString vendorId;   // "device.vendor.id" property, empty when absent
    QString productId;  // "device.product.id" property, empty when absent
};

class PulseAudioSystem : public AudioSystem
{
public:
    PulseAudioSystem();
    ~PulseAudioSystem() override;

    int outputDeviceCount() override;
    int inputDeviceCount() override;
    bool outputCaps(int device, WaveOutCaps &caps) override;
    bool testOpen(int device, QString *error) override;
    std::unique_ptr<PlaybackStream> openPlayback(int device, const PcmFormat &format, QString *error) override;

    // The sinks sorted by name, and the name of the default sink (empty when
    // the server names none); false with a message when the server is not
    // reachable.
    bool listSinks(std::vector<SinkInfo> &sinks, QByteArray *defaultSink, QString *error);

private:
    std::shared_ptr<PulseConnection> connection(QString *error);
    // Finds the sink of a device number; -1 gives the default sink.
    bool resolveSink(int device, SinkInfo &sink, QString *error);

    std::mutex m_mutex;
    std::shared_ptr<PulseConnection> m_connection;
    std::atomic<uint32_t> m_serverVersion{0};
};

// Helpers for the capabilities record, exposed for tests.
namespace caps {
// A vendor or product id property ("0x8086", "8086", "10ec") as a number;
// 0 when absent, malformed or larger than 16 bits.
uint16_t parseHexId(const QString &text);
// "15.0.74" or "pulseaudio 16.1-rebootstrapped" as major << 8 | minor.
uint32_t versionNumber(const QString &text);
// Capabilities of one sink: every classic format (the server converts) and
// the support bits that hold for a sound server's sink.
WaveOutCaps fromSink(const SinkInfo &sink, uint32_t serverVersion);
}  // namespace caps

}  // namespace audio
