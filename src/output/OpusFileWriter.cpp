#include "OpusFileWriter.h"

#include "DiagnosticLog.h"

#include <opus/opusenc.h>

#include <algorithm>
#include <cstdlib>

namespace {

const std::array<int, 5> kBitRates = {16, 24, 32, 48, 64};
// libopusenc takes its sample counts as int.
constexpr size_t kMaxCallSamples = 1 << 20;

}  // namespace

const std::array<int, 5> &OpusFileWriter::BitRates()
{
    return kBitRates;
}

int OpusFileWriter::NearestBitRate(int kbps)
{
    int best = kBitRates.front();
    for (const int rate : kBitRates) {
        if (std::abs(qint64(rate) - kbps) < std::abs(qint64(best) - kbps))
            best = rate;
    }
    return best;
}

OpusFileWriter::OpusFileWriter(int bitRate) : m_bitRate(NearestBitRate(bitRate)) {}

OpusFileWriter::~OpusFileWriter()
{
    Abort();
}

int OpusFileWriter::writePages(void *self, const unsigned char *data, int size)
{
    auto *writer = static_cast<OpusFileWriter *>(self);
    // Unbuffered, so that a full disk is seen at the page that hit it.
    if (writer->m_writeFailed || !writer->m_file ||
        !writer->m_file->Write(reinterpret_cast<const char *>(data), size)) {
        writer->m_writeFailed = true;
        return 1;
    }
    return 0;
}

int OpusFileWriter::closeStream(void *)
{
    return 0;  // the PendingFile closes the file when it is placed or discarded
}

TMp3Result OpusFileWriter::encoderFailure(int code)
{
    // A failed page write is the file's fault: the PendingFile says why.
    if (m_writeFailed && m_file)
        return fail(m_file->ErrorString());
    const QString target = m_file ? m_file->Target() : QString();
    return fail(QStringLiteral("Cannot write \"%1\": the Opus encoder failed (%2)")
                    .arg(target, QString::fromUtf8(ope_strerror(code))));
}

TMp3Result OpusFileWriter::Open(const QString &file, int inputSampleRate, OutputPlacement placement)
{
    Abort();
    m_placement = placement;
    m_writeFailed = false;
    m_file = std::make_unique<PendingFile>(file);
    if (!m_file->Create())
        return fail(m_file->ErrorString());
    if (inputSampleRate <= 0)
        return encoderFailure(OPE_BAD_ARG);

    OggOpusComments *comments = ope_comments_create();
    if (!comments)
        return encoderFailure(OPE_ALLOC_FAIL);
    const auto add = [comments](const char *name, const QString &value) {
        if (!value.isEmpty())
            ope_comments_add(comments, name, value.toUtf8().constData());
    };
    add("TITLE", m_tags.Title);
    add("ALBUM", m_tags.Album);
    add("ARTIST", m_tags.Artist);
    if (m_tags.Track > 0)
        add("TRACKNUMBER", QString::number(m_tags.Track));
    if (m_tags.TrackCount > 0)
        add("TRACKTOTAL", QString::number(m_tags.TrackCount));

    const OpusEncCallbacks callbacks = {&OpusFileWriter::writePages, &OpusFileWriter::closeStream};
    int error = OPE_OK;
    // Mono, mapping family 0: the plain single-stream layout every player reads.
    m_encoder = ope_encoder_create_callbacks(&callbacks, this, comments, inputSampleRate, 1, 0, &error);
    ope_comments_destroy(comments);
    if (!m_encoder)
        return encoderFailure(error);
    if (const int r = ope_encoder_ctl(m_encoder, OPUS_SET_BITRATE(m_bitRate * 1000)); r != OPE_OK)
        return encoderFailure(r);
    ope_encoder_ctl(m_encoder, OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE));
    return {};
}

TMp3Result OpusFileWriter::Write(std::span<const int16_t> samples)
{
    if (!m_encoder)
        return TMp3Result::Fail(QStringLiteral("No Opus file is open"));
    while (!samples.empty()) {
        const size_t n = std::min(samples.size(), kMaxCallSamples);
        if (const int r = ope_encoder_write(m_encoder, samples.data(), int(n)); r != OPE_OK || m_writeFailed)
            return encoderFailure(r != OPE_OK ? r : OPE_WRITE_FAIL);
        samples = samples.subspan(n);
    }
    return {};
}

TMp3Result OpusFileWriter::Finish(const QByteArray &)
{
    if (!m_encoder)
        return TMp3Result::Fail(QStringLiteral("No Opus file is open"));
    if (const int r = ope_encoder_drain(m_encoder); r != OPE_OK || m_writeFailed)
        return encoderFailure(r != OPE_OK ? r : OPE_WRITE_FAIL);
    ope_encoder_destroy(m_encoder);
    m_encoder = nullptr;
    return placeFinished(m_file, m_placement);
}

void OpusFileWriter::Abort()
{
    if (m_encoder) {
        ope_encoder_destroy(m_encoder);
        m_encoder = nullptr;
    }
    m_file.reset();  // an unplaced PendingFile removes its temporary file
}
