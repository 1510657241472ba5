#include "EspeakEngine.h"

#include "EngineRuntime.h"
#include "EspeakText.h"
#include "Lexicon.h"
#include "MessageService.h"

#include <espeak-ng/speak_lib.h>

#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include <cstring>
#include <map>

namespace sapi {

namespace {

// One eSpeak NG voice per catalogued language (the catalogue names voices by
// speaker and language, so two voices of one language would clash).
struct LanguageRow {
    uint16_t id;
    const char *code;
};
constexpr LanguageRow kLanguages[] = {
    {1025, "ar"},    {1026, "bg"},    {1027, "ca"},     {1028, "cmn"}, {1029, "cs"},    {1030, "da"}, {1031, "de"},
    {1032, "el"},    {1033, "en-us"}, {1034, "es"},     {1035, "fi"},  {1036, "fr-fr"}, {1037, "he"}, {1038, "hu"},
    {1039, "is"},    {1040, "it"},    {1041, "ja"},     {1042, "ko"},  {1043, "nl"},    {1044, "nb"}, {1045, "pl"},
    {1046, "pt-br"}, {1048, "ro"},    {1049, "ru"},     {1050, "hr"},  {1051, "sk"},    {1052, "sq"}, {1053, "sv"},
    {1054, "th"},    {2057, "en-gb"}, {2058, "es-419"}, {2070, "pt"},
};

// The variants offered besides each language's own voice: two female, two male.
constexpr const char *kVariants[] = {"Andrea", "Annie", "Denis", "Marco"};

constexpr uint16_t kMinPitch = 50, kMaxPitch = 250, kDefaultPitch = 150;

const QString kMaker = QStringLiteral("eSpeak NG");

struct EspeakVoice {
    GUID mode;
    QByteArray name;    // what espeak_SetVoiceByName takes
    QStringList files;  // the voice's data files, relative to the data folder
    uint16_t language = 0;
    QString code;  // language code, "en-us"
    bool variant = false;
};

struct SynthContext {
    ChunkOutput *out = nullptr;
    const std::vector<int> *map = nullptr;
};

// eSpeak NG runs on one thread only, so the running synthesis is one pointer.
SynthContext *g_running = nullptr;

int synthCallback(short *wav, int numsamples, espeak_EVENT *events)
{
    SynthContext *ctx = g_running;
    if (!ctx)
        return 1;
    for (espeak_EVENT *e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        if (e->type == espeakEVENT_WORD) {
            const std::vector<int> &map = *ctx->map;
            // Words eSpeak NG makes up itself (spelled-out symbols) carry no position.
            if (map.empty() || e->text_position < 1)
                continue;
            const size_t at = size_t(std::clamp<int>(e->text_position - 1, 0, int(map.size()) - 1));
            ctx->out->word(e->sample, map[at]);
        } else if (e->type == espeakEVENT_PHONEME) {
            const char *s = e->id.string;
            ctx->out->phoneme(e->sample, QString::fromUtf8(s, qsizetype(strnlen(s, sizeof e->id.string))));
        }
    }
    if (wav && numsamples > 0 && !ctx->out->audio(wav, size_t(numsamples)))
        return 1;  // the only way to stop a running synthesis quickly
    return ctx->out->cancelled() ? 1 : 0;
}

// eSpeak NG pauses after a sentence inside one text, but not after the
// last sentence of a synthesis call; measured with eSpeak NG 1.51 (the
// pause after "." by speed, in ms). Chunked text gets these back.
uint32_t sentencePauseMs(uint32_t speed)
{
    static const std::pair<uint32_t, uint32_t> table[] = {{80, 864},  {120, 535}, {175, 294},
                                                          {250, 137}, {300, 78},  {450, 40}};
    if (speed <= table[0].first)
        return table[0].second;
    for (size_t i = 1; i < std::size(table); ++i) {
        if (speed <= table[i].first) {
            const auto [s0, p0] = table[i - 1];
            const auto [s1, p1] = table[i];
            return p0 - (p0 - p1) * (speed - s0) / (s1 - s0);
        }
    }
    return table[std::size(table) - 1].second;
}

uint32_t pauseAfterChunk(const QString &chunk, uint32_t speed)
{
    qsizetype i = chunk.size() - 1;
    while (i >= 0 && chunk[i].isSpace())
        --i;
    if (i < 0)
        return 0;
    const QChar last = chunk[i];
    if (last == u'.' || last == u'!' || last == u'?' || last == QChar(0x2026))
        return sentencePauseMs(speed);
    if (last == u';' || last == u':')
        return sentencePauseMs(speed) * 3 / 4;
    return 0;
}

QString firstLanguage(const char *languages)
{
    // Priority byte, language name, zero; an empty name ends the list.
    if (!languages || !languages[0] || !languages[1])
        return {};
    return QString::fromUtf8(languages + 1).toLower();
}

}  // namespace

uint16_t espeakLanguageId(const QString &code)
{
    for (const LanguageRow &row : kLanguages)
        if (code.compare(QLatin1String(row.code), Qt::CaseInsensitive) == 0)
            return row.id;
    return 0;
}

class EspeakBackend : public SynthesisBackend
{
public:
    std::vector<EspeakVoice> voices;
    int sampleRate = 22050;
    QString version;
    QString dataPath;

    HRESULT prepare(const GUID &mode) override
    {
        const EspeakVoice *v = find(mode);
        if (!v)
            return TTSERR_INVALIDMODE;
        for (const QString &file : v->files)
            if (!QFileInfo::exists(dataPath + u'/' + file))
                return TTSERR_INVALIDMODE;  // the voice's data went missing
        return S_OK;
    }

    const EspeakVoice *find(const GUID &mode) const
    {
        for (const EspeakVoice &v : voices)
            if (v.mode == mode)
                return &v;
        return nullptr;
    }

    audio::PcmFormat format(const GUID &) override { return {sampleRate, 1}; }

    ModeRanges ranges(const GUID &) override
    {
        return {kMinPitch, kMaxPitch, kDefaultPitch, espeakRATE_MINIMUM, espeakRATE_MAXIMUM, espeakRATE_NORMAL};
    }

    bool acceptsCharset(uint32_t charset) const override
    {
        return charset == CHARSET_TEXT || charset == CHARSET_ENGINEPHONETIC;
    }

    bool useVoice(const EspeakVoice &v)
    {
        if (m_current == v.name)
            return true;
        if (espeak_SetVoiceByName(v.name.constData()) != EE_OK)
            return false;
        m_current = v.name;
        return true;
    }

    HRESULT speak(const GUID &mode, const VoiceState &voice, uint32_t charset, const QString &chunk,
                  ChunkOutput &out) override
    {
        const EspeakVoice *v = find(mode);
        if (!v)
            return TTSERR_INVALIDMODE;
        if (!useVoice(*v))
            return E_FAIL;
        espeak_SetParameter(espeakRATE, int(voice.speed), 0);
        espeak_SetParameter(espeakPITCH, (int(voice.pitch) - kMinPitch) * 100 / (kMaxPitch - kMinPitch), 0);

        const EspeakInput input = charset == CHARSET_ENGINEPHONETIC ? EspeakText::fromPhonemes(chunk)
                                                                    : EspeakText::fromText(chunk, *Lexicon::current());
        const QByteArray utf8 = input.text.toUtf8();
        SynthContext ctx{&out, &input.map};
        espeak_SetSynthCallback(synthCallback);  // direct users of the library may have set theirs
        g_running = &ctx;
        const espeak_ERROR r = espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                                            espeakCHARS_UTF8 | (input.phonemes ? espeakPHONEMES : 0), nullptr, nullptr);
        g_running = nullptr;
        if (r != EE_OK)
            return E_FAIL;
        if (charset == CHARSET_TEXT && !out.cancelled())
            out.pauseAfter(pauseAfterChunk(chunk, voice.speed));
        return S_OK;
    }

    HRESULT phonemes(const GUID &mode, uint32_t charset, const QString &text, QString &out) override
    {
        const EspeakVoice *v = find(mode);
        if (!v)
            return TTSERR_INVALIDMODE;
        if (!useVoice(*v))
            return E_FAIL;
        const QByteArray utf8 = EspeakText::fromText(text, {}).text.toUtf8();
        const void *p = utf8.constData();
        const int mode_ = charset == CHARSET_IPAPHONETIC ? 0x02 : 0;
        QStringList parts;
        while (p) {
            const char *ph = espeak_TextToPhonemes(&p, espeakCHARS_UTF8, mode_);
            if (ph && *ph)
                parts << QString::fromUtf8(ph).trimmed();
        }
        out = parts.join(u' ');
        return S_OK;
    }

    QString aboutText(const GUID &mode) override
    {
        const EspeakVoice *v = find(mode);
        return QStringLiteral("eSpeak NG %1\nVoice: %2\n\nA compact open-source speech synthesizer for many languages.")
            .arg(version, v ? QString::fromUtf8(v->name) : QString());
    }

    HRESULT lexiconDialog(HWND parent, const QString &title, std::function<void(const QString &, bool)> test) override
    {
        // The editor is a window of the window layer; it edits the lexicon
        // file this driver applies.
        MessageService::interaction().editPronunciations(parent, title, std::move(test));
        return S_OK;
    }

private:
    QByteArray m_current;
};

std::shared_ptr<EspeakEngine> EspeakEngine::load()
{
    static std::mutex mutex;
    static std::shared_ptr<EspeakEngine> instance;
    static bool tried = false;
    std::lock_guard lock(mutex);
    if (tried)
        return instance;
    tried = true;

    std::shared_ptr<EspeakEngine> engine(new EspeakEngine);
    engine->m_thread = std::make_shared<SynthesisThread>("espeak-ng");
    engine->m_backend = std::make_shared<EspeakBackend>();
    EspeakBackend &backend = *engine->m_backend;
    const bool ok = engine->m_thread->call<bool>([&] {
        // Short buffers: audio starts as soon as the first few words are ready.
        const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 40, nullptr,
                                           espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_DONT_EXIT);
        if (rate <= 0)
            return false;
        backend.sampleRate = rate;
        const char *dataPath = nullptr;
        backend.version = QString::fromUtf8(espeak_Info(&dataPath));
        backend.dataPath = QString::fromUtf8(dataPath);
        espeak_SetSynthCallback(synthCallback);

        // ListVoices frees the previous list, so keep copies.
        struct Listed {
            QString name;
            QString identifier;
            int gender = 0;
        };
        std::map<QString, Listed> byCode;
        for (const espeak_VOICE **v = espeak_ListVoices(nullptr); v && *v; ++v) {
            const QString identifier = QString::fromUtf8((*v)->identifier);
            if (identifier.startsWith(QLatin1String("mb/")))
                continue;  // MBROLA voices need MBROLA itself
            const QString code = firstLanguage((*v)->languages);
            if (!code.isEmpty() && !byCode.count(code))
                byCode[code] = {QString::fromUtf8((*v)->name), identifier, (*v)->gender};
        }
        espeak_VOICE query{};
        query.languages = "variant";
        std::map<QString, std::pair<QString, int>> variants;  // file name -> name, gender
        for (const espeak_VOICE **v = espeak_ListVoices(&query); v && *v; ++v) {
            const QString identifier = QString::fromUtf8((*v)->identifier);
            variants[identifier.section(u'/', -1)] = {QString::fromUtf8((*v)->name), (*v)->gender};
        }

        const QString product = QStringLiteral("eSpeak NG ") + backend.version.section(u' ', 0, 0);
        const GUID engineId = nameBasedGuid(QStringLiteral("eSpeak NG"));
        for (const LanguageRow &row : kLanguages) {
            auto it = byCode.find(QLatin1String(row.code));
            if (it == byCode.end())
                continue;
            const Listed &voice = it->second;
            const QString language = QString(voice.name).replace(u'_', u' ');
            auto add = [&](const QString &variantFile, const QString &speaker, int espeakGender) {
                TTSMODEINFOW m;
                m.gEngineID = engineId;
                const QString key = QString::fromLatin1(row.code) +
                                    (variantFile.isEmpty() ? QString() : u'+' + variantFile);
                m.gModeID = nameBasedGuid(QStringLiteral("eSpeak NG/") + key);
                setField(m.szMfgName, kMaker);
                setField(m.szProductName, product);
                setField(m.szModeName, QStringLiteral("eSpeak NG ") + language +
                                           (variantFile.isEmpty() ? QString() : QStringLiteral(" - ") + speaker));
                m.language.LanguageID = row.id;
                setField(m.language.szDialect, QString::fromLatin1(row.code));
                setField(m.szSpeaker, speaker);
                setField(m.szStyle, QStringLiteral("Normal"));
                m.wGender = espeakGender == 2 ? 1 : espeakGender == 1 ? 2 : 0;
                m.dwFeatures = TTSFEATURE_TAGGED;
                m.dwInterfaces = TTSI_ITTSATTRIBUTES;
                engine->m_modes.push_back(m);
                // The voice file's identifier: language codes ignore variants.
                const QString voiceName = voice.identifier + (variantFile.isEmpty() ? QString() : u'+' + variantFile);
                QStringList files{QStringLiteral("lang/") + voice.identifier};
                if (!variantFile.isEmpty())
                    files << QStringLiteral("voices/!v/") + variantFile;
                backend.voices.push_back({m.gModeID, voiceName.toUtf8(), files, row.id, QString::fromLatin1(row.code),
                                          !variantFile.isEmpty()});
            };
            add(QString(), language, voice.gender ? voice.gender : 1);
            for (const char *variant : kVariants) {
                auto v = variants.find(QLatin1String(variant));
                if (v != variants.end())
                    add(v->first, v->second.first, v->second.second ? v->second.second : 1);
            }
        }
        return !engine->m_modes.empty();
    });
    if (!ok)
        return nullptr;

    // The default voice: the user's locale language, else US English.
    const QString locale = QLocale::system().name().toLower().replace(u'_', u'-');
    auto findByLanguage = [&](auto pred) -> std::optional<GUID> {
        for (const EspeakVoice &v : backend.voices)
            if (!v.variant && pred(v.code))
                return v.mode;
        return std::nullopt;
    };
    const QString primary = locale.section(u'-', 0, 0);
    engine->m_default = findByLanguage([&](const QString &code) { return code == locale; });
    if (!engine->m_default)  // "pt-pt" finds "pt" before "pt-br"
        engine->m_default = findByLanguage([&](const QString &code) { return code == primary; });
    if (!engine->m_default)
        engine->m_default = findByLanguage(
            [&](const QString &code) { return primary.size() >= 2 && code.section(u'-', 0, 0) == primary; });
    if (!engine->m_default)
        engine->m_default = findByLanguage([](const QString &code) { return code == QLatin1String("en-us"); });
    instance = engine;
    return instance;
}

std::vector<TTSMODEINFOW> EspeakEngine::modes()
{
    return m_modes;
}

EngineFacts EspeakEngine::engineFacts()
{
    return {.maker = kMaker,
            .displayName = QStringLiteral("eSpeak NG"),
            .languageInName = true,
            .groupName = QStringLiteral("eSpeak NG"),
            .languageName = {},
            .shortName = QStringLiteral("Espk"),
            .features = 0,
            .hasLexicon = true,
            // Dozens of languages: only the user's own start as favourites.
            .favorites = FavoriteDefault::LocaleLanguage,
            .favoriteNames = {}};
}

std::optional<GUID> EspeakEngine::defaultMode()
{
    return m_default;
}

std::optional<ModeRanges> EspeakEngine::ranges(const GUID &modeId)
{
    if (!m_backend->find(modeId))
        return std::nullopt;
    return m_backend->ranges(modeId);
}

HRESULT EspeakEngine::select(const GUID &modeId, const UnknownPtr &audioDest, std::shared_ptr<ITTSCentralW> &central)
{
    central.reset();
    for (const TTSMODEINFOW &m : m_modes)
        if (m.gModeID == modeId)
            return selectCentral(m, m_backend, m_thread, audioDest, central);
    return TTSERR_INVALIDMODE;
}

QString EspeakEngine::voiceName(const GUID &modeId) const
{
    const EspeakVoice *v = m_backend->find(modeId);
    return v ? QString::fromUtf8(v->name) : QString();
}

void EspeakEngine::runOnEngineThread(const std::function<void()> &fn)
{
    m_thread->call<bool>([&] {
        fn();
        return true;
    });
}

}  // namespace sapi
