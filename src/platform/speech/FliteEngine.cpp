#include "FliteEngine.h"

#include "EngineRuntime.h"

#include <flite/flite.h>
#include <flite/flite_version.h>

#include <QHash>

#include <algorithm>
#include <cstring>
#include <mutex>

extern "C" {
#ifdef VOXTRELLA_FLITE_AWB
cst_voice *register_cmu_us_awb(const char *voxdir);
#endif
#ifdef VOXTRELLA_FLITE_KAL
cst_voice *register_cmu_us_kal(const char *voxdir);
#endif
#ifdef VOXTRELLA_FLITE_KAL16
cst_voice *register_cmu_us_kal16(const char *voxdir);
#endif
#ifdef VOXTRELLA_FLITE_RMS
cst_voice *register_cmu_us_rms(const char *voxdir);
#endif
#ifdef VOXTRELLA_FLITE_SLT
cst_voice *register_cmu_us_slt(const char *voxdir);
#endif
}

namespace sapi {

namespace {

const QString kMaker = QStringLiteral("Carnegie Mellon University");
constexpr uint16_t kMinPitch = 50, kMaxPitch = 300;
constexpr uint32_t kMinSpeed = 80, kMaxSpeed = 450, kDefaultSpeed = 175;

struct FliteVoiceRow {
    const char *speaker;
    cst_voice *(*registerVoice)(const char *);
    bool telephone;
    uint16_t gender;  // 1 female, 2 male
};

const std::vector<FliteVoiceRow> &voiceRows()
{
    static const std::vector<FliteVoiceRow> rows = {
#ifdef VOXTRELLA_FLITE_AWB
        {"awb", register_cmu_us_awb, false, 2},
#endif
#ifdef VOXTRELLA_FLITE_KAL
        {"kal", register_cmu_us_kal, true, 2},
#endif
#ifdef VOXTRELLA_FLITE_KAL16
        {"kal16", register_cmu_us_kal16, false, 2},
#endif
#ifdef VOXTRELLA_FLITE_RMS
        {"rms", register_cmu_us_rms, false, 2},
#endif
#ifdef VOXTRELLA_FLITE_SLT
        {"slt", register_cmu_us_slt, false, 1},
#endif
    };
    return rows;
}

struct FliteVoice {
    GUID mode;
    cst_voice *voice = nullptr;
    int sampleRate = 16000;
    uint16_t defaultPitch = 100;
};

struct StreamContext {
    ChunkOutput *out = nullptr;
    const QByteArray *latin = nullptr;
    const std::vector<int> *map = nullptr;
    int sampleRate = 16000;
    bool eventsDone = false;
    bool streamed = false;
    bool stopped = false;
};

// Word starts (from the Token and Word relations) and phonemes (Segment
// relation), merged in time order.
void emitEvents(const cst_utterance *utt, StreamContext &ctx)
{
    ctx.eventsDone = true;
    struct Ev {
        int64_t sample;
        bool word;
        qsizetype index;
        QString symbol;
    };
    std::vector<Ev> events;
    const QByteArray &latin = *ctx.latin;
    qsizetype cursor = 0;
    for (const cst_item *tok = relation_head(utt_relation(utt, "Token")); tok; tok = item_next(tok)) {
        const char *name = item_feat_string(tok, "name");
        if (!name || !*name)
            continue;
        const qsizetype pos = latin.indexOf(name, cursor);
        if (pos < 0)
            continue;
        cursor = pos + qsizetype(std::strlen(name));
        const cst_item *word = item_daughter(tok);
        if (!word || !flite_path_to_item(word, "R:SylStructure.daughter1.daughter1"))
            continue;  // nothing spoken for it
        const float start = flite_ffeature_float(word, "R:SylStructure.daughter1.daughter1.R:Segment.p.end");
        events.push_back({int64_t(double(start) * ctx.sampleRate), true, (*ctx.map)[size_t(pos)], {}});
    }
    for (const cst_item *seg = relation_head(utt_relation(utt, "Segment")); seg; seg = item_next(seg)) {
        const float start = item_prev(seg) ? item_feat_float(item_prev(seg), "end") : 0.0f;
        events.push_back(
            {int64_t(double(start) * ctx.sampleRate), false, 0, QString::fromLatin1(item_feat_string(seg, "name"))});
    }
    std::stable_sort(events.begin(), events.end(), [](const Ev &a, const Ev &b) { return a.sample < b.sample; });
    for (const Ev &e : events) {
        if (e.word)
            ctx.out->word(e.sample, e.index);
        else
            ctx.out->phoneme(e.sample, e.symbol);
    }
}

int streamChunk(const cst_wave *w, int start, int size, int, cst_audio_streaming_info *asi)
{
    auto *ctx = static_cast<StreamContext *>(asi->userdata);
    if (!ctx)
        return CST_AUDIO_STREAM_CONT;
    if (!ctx->eventsDone && asi->utt)
        emitEvents(asi->utt, *ctx);
    ctx->streamed = true;
    if (size > 0 && !ctx->out->audio(w->samples + start, size_t(size))) {
        ctx->stopped = true;
        return CST_AUDIO_STREAM_STOP;
    }
    return CST_AUDIO_STREAM_CONT;
}

}  // namespace

QByteArray fliteTransliterate(const QString &text, std::vector<int> &map)
{
    static const QHash<char16_t, const char *> special = {
        {u'ß', "ss"},       {u'æ', "ae"},  {u'Æ', "AE"},   {u'œ', "oe"},    {u'Œ', "OE"},   {u'ø', "o"},
        {u'Ø', "O"},        {u'đ', "d"},   {u'Đ', "D"},    {u'ł', "l"},     {u'Ł', "L"},    {u'þ', "th"},
        {u'Þ', "Th"},       {u'ð', "d"},   {u'Ð', "D"},    {u'ı', "i"},     {0x2018, "'"},  {0x2019, "'"},
        {0x201A, "'"},      {0x2032, "'"}, {0x201C, "\""}, {0x201D, "\""},  {0x201E, "\""}, {0x00AB, "\""},
        {0x00BB, "\""},     {0x2013, "-"}, {0x2014, "-"},  {0x2026, "..."}, {0x00A0, " "},  {0x20AC, "euros"},
        {0x00A3, "pounds"},
    };
    QByteArray out;
    out.reserve(text.size());
    map.clear();
    map.reserve(size_t(text.size()));
    auto put = [&](const QByteArray &bytes, int origin) {
        for (char c : bytes) {
            out += c;
            map.push_back(origin);
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const int origin = int(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            put(" ", origin);  // outside the BMP: nothing Flite could say
            ++i;
            continue;
        }
        if (c.unicode() < 128) {
            put(QByteArray(1, c.unicode() < 32 && c != u'\n' && c != u'\t' ? ' ' : char(c.unicode())), origin);
            continue;
        }
        if (auto it = special.find(c.unicode()); it != special.end()) {
            put(*it, origin);
            continue;
        }
        QByteArray base;
        for (QChar d : QString(c).normalized(QString::NormalizationForm_KD))
            if (d.unicode() < 128 && d.unicode() >= 32)
                base += char(d.unicode());
        put(base.isEmpty() ? QByteArray(" ") : base, origin);
    }
    return out;
}

class FliteBackend : public SynthesisBackend
{
public:
    std::vector<FliteVoice> voices;

    const FliteVoice *find(const GUID &mode) const
    {
        for (const FliteVoice &v : voices)
            if (v.mode == mode)
                return &v;
        return nullptr;
    }

    audio::PcmFormat format(const GUID &mode) override
    {
        const FliteVoice *v = find(mode);
        return {v ? v->sampleRate : 16000, 1};
    }

    ModeRanges ranges(const GUID &mode) override
    {
        const FliteVoice *v = find(mode);
        const uint16_t def = v ? v->defaultPitch : 100;
        return {kMinPitch, kMaxPitch, def, kMinSpeed, kMaxSpeed, kDefaultSpeed};
    }

    HRESULT speak(const GUID &mode, const VoiceState &voice, uint32_t charset, const QString &chunk,
                  ChunkOutput &out) override
    {
        const FliteVoice *v = find(mode);
        if (!v)
            return TTSERR_INVALIDMODE;
        std::vector<int> map;
        const QByteArray latin = fliteTransliterate(chunk, map);
        if (latin.trimmed().isEmpty())
            return S_OK;
        cst_features *f = v->voice->features;
        flite_feat_set_float(f, "duration_stretch", float(kDefaultSpeed) / float(std::max<uint32_t>(1, voice.speed)));
        flite_feat_set_float(f, "int_f0_target_mean", float(voice.pitch));
        flite_feat_set_float(f, "f0_shift", float(voice.pitch) / float(std::max<uint16_t>(1, v->defaultPitch)));

        StreamContext ctx;
        ctx.out = &out;
        ctx.latin = &latin;
        ctx.map = &map;
        ctx.sampleRate = v->sampleRate;
        cst_audio_streaming_info *asi = new_audio_streaming_info();
        asi->asc = streamChunk;
        asi->userdata = &ctx;
        flite_feat_set(f, "streaming_info", audio_streaming_info_val(asi));
        cst_utterance *utt = flite_synth_text(latin.constData(), v->voice);
        flite_feat_remove(f, "streaming_info");
        if (!utt)
            return E_FAIL;
        if (!ctx.eventsDone)
            emitEvents(utt, ctx);
        if (!ctx.streamed && !ctx.stopped) {
            // Voices that do not stream hand over the whole sentence at the end.
            if (const cst_wave *w = utt_wave(utt); w && w->num_samples > 0)
                out.audio(w->samples, size_t(w->num_samples));
        }
        delete_utterance(utt);
        return S_OK;
    }

    HRESULT phonemes(const GUID &mode, uint32_t charset, const QString &text, QString &out) override
    {
        if (charset == CHARSET_IPAPHONETIC)
            return TTSERR_NOTSUPPORTED;
        const FliteVoice *v = find(mode);
        if (!v)
            return TTSERR_INVALIDMODE;
        std::vector<int> map;
        const QByteArray latin = fliteTransliterate(text, map);
        QStringList names;
        if (!latin.trimmed().isEmpty()) {
            cst_utterance *utt = flite_synth_text(latin.constData(), v->voice);
            if (!utt)
                return E_FAIL;
            for (const cst_item *seg = relation_head(utt_relation(utt, "Segment")); seg; seg = item_next(seg))
                names << QString::fromLatin1(item_feat_string(seg, "name"));
            delete_utterance(utt);
        }
        out = names.join(u' ');
        return S_OK;
    }

    QString aboutText(const GUID &) override
    {
        return QStringLiteral("Flite %1\nCarnegie Mellon University\n\nA small, fast run-time speech synthesis engine.")
            .arg(QString::fromLatin1(FLITE_PROJECT_VERSION));
    }
};

std::shared_ptr<FliteEngine> FliteEngine::load()
{
    static std::mutex mutex;
    static std::shared_ptr<FliteEngine> instance;
    static bool tried = false;
    std::lock_guard lock(mutex);
    if (tried)
        return instance;
    tried = true;

    std::shared_ptr<FliteEngine> engine(new FliteEngine);
    engine->m_thread = std::make_shared<SynthesisThread>("flite");
    engine->m_backend = std::make_shared<FliteBackend>();
    FliteBackend &backend = *engine->m_backend;
    const bool ok = engine->m_thread->call<bool>([&] {
        flite_init();
        const GUID engineId = nameBasedGuid(QStringLiteral("Flite"));
        const QString product = QStringLiteral("Flite ") + QString::fromLatin1(FLITE_PROJECT_VERSION);
        for (const FliteVoiceRow &row : voiceRows()) {
            cst_voice *voice = row.registerVoice(nullptr);
            if (!voice)
                continue;
            // The sample rate is the voice database's; a word tells it.
            cst_wave *probe = flite_text_to_wave("a", voice);
            if (!probe)
                continue;
            const int rate = probe->sample_rate;
            delete_wave(probe);
            const QString speaker = QString::fromLatin1(row.speaker);
            TTSMODEINFOW m;
            m.gEngineID = engineId;
            m.gModeID = nameBasedGuid(QStringLiteral("Flite/") + speaker);
            setField(m.szMfgName, kMaker);
            setField(m.szProductName, product);
            setField(m.szModeName,
                     QStringLiteral("Flite ") + speaker + (row.telephone ? QStringLiteral(" Telephone") : QString()));
            m.language.LanguageID = 1033;
            setField(m.language.szDialect, QStringLiteral("en-us"));
            setField(m.szSpeaker, speaker);
            setField(m.szStyle, QStringLiteral("Normal"));
            m.wGender = row.gender;
            m.dwFeatures = TTSFEATURE_TAGGED;
            m.dwInterfaces = TTSI_ITTSATTRIBUTES;
            const float mean = flite_get_param_float(voice->features, "int_f0_target_mean", 100.0f);
            const uint16_t pitch = uint16_t(std::clamp<int>(int(mean + 0.5f), kMinPitch, kMaxPitch));
            engine->m_modes.push_back(m);
            backend.voices.push_back({m.gModeID, voice, rate, pitch});
        }
        return !engine->m_modes.empty();
    });
    if (!ok)
        return nullptr;
    instance = engine;
    return instance;
}

EngineFacts FliteEngine::engineFacts()
{
    return {.maker = kMaker,
            .displayName = QStringLiteral("Flite"),
            .languageInName = false,
            .groupName = QStringLiteral("Flite"),
            .languageName = QStringLiteral("US English"),
            .shortName = QStringLiteral("Flte"),
            .features = 0,
            .hasLexicon = false,
            .favorites = FavoriteDefault::AllVoices,
            .favoriteNames = {}};
}

std::vector<TTSMODEINFOW> FliteEngine::modes()
{
    return m_modes;
}

std::optional<ModeRanges> FliteEngine::ranges(const GUID &modeId)
{
    if (!m_backend->find(modeId))
        return std::nullopt;
    return m_backend->ranges(modeId);
}

HRESULT FliteEngine::select(const GUID &modeId, const UnknownPtr &audioDest, std::shared_ptr<ITTSCentralW> &central)
{
    central.reset();
    for (const TTSMODEINFOW &m : m_modes)
        if (m.gModeID == modeId)
            return selectCentral(m, m_backend, m_thread, audioDest, central);
    return TTSERR_INVALIDMODE;
}

}  // namespace sapi
