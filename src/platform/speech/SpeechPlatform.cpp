// The installed engine drivers, the enumerator and finder over their modes,
// and the start-up probes.
#include "SpeechEngine.h"
#include "SpeechPlatformInternal.h"

#include "AudioSystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>

#include <mutex>

namespace sapi {

namespace {

struct PlatformState {
    std::mutex mutex;
    bool loaded = false;
    bool installed = true;
    std::vector<std::shared_ptr<SpeechEngine>> engines;
};

PlatformState &state()
{
    static PlatformState s;
    return s;
}

struct InstalledMode {
    TTSMODEINFOW info;
    std::shared_ptr<SpeechEngine> engine;
};

// Every driver's modes in installation order, and the first driver's own
// choice for an empty query.
struct ModeWalk {
    std::vector<InstalledMode> modes;
    std::optional<GUID> preferred;
};

ModeWalk walkModes()
{
    // Every activation walks a few hundred records of over 2 kB each: sized
    // once, so that the list is not copied again at each growth.
    const std::vector<std::shared_ptr<SpeechEngine>> engines = SpeechPlatform::engines();
    std::vector<std::vector<TTSMODEINFOW>> lists;
    size_t count = 0;
    for (const auto &engine : engines)
        count += lists.emplace_back(engine->modes()).size();
    ModeWalk walk;
    walk.modes.reserve(count);
    for (size_t i = 0; i < engines.size(); ++i) {
        for (const TTSMODEINFOW &m : lists[i])
            walk.modes.push_back({m, engines[i]});
        if (!walk.preferred)
            walk.preferred = engines[i]->defaultMode();
    }
    return walk;
}

class ModeEnumerator : public ITTSEnumW, public ITTSFindW
{
public:
    ModeEnumerator()
    {
        ModeWalk walk = walkModes();
        m_modes = std::move(walk.modes);
        m_defaultMode = walk.preferred;
    }

    HRESULT Next(uint32_t celt, TTSMODEINFOW *pNext, uint32_t *pceltFetched) override
    {
        if (pceltFetched)
            *pceltFetched = 0;
        if (celt == 0)
            return S_OK;
        if (!pNext || (celt > 1 && !pceltFetched))
            return E_POINTER;
        uint32_t n = 0;
        while (n < celt && m_position < m_modes.size())
            pNext[n++] = m_modes[m_position++].info;
        if (pceltFetched)
            *pceltFetched = n;
        // Callers loop until the count is 0, so the end is not an error.
        return S_OK;
    }

    HRESULT Skip(uint32_t celt) override
    {
        m_position = std::min<size_t>(m_modes.size(), m_position + celt);
        return S_OK;
    }

    HRESULT Reset() override
    {
        m_position = 0;
        return S_OK;
    }

    HRESULT Find(const TTSMODEINFOW *pttsInfo, const TTSMODEINFORANK *pttsInfoRank,
                 TTSMODEINFOW *pttsInfoFound) override
    {
        if (!pttsInfo || !pttsInfoFound)
            return E_POINTER;
        if (m_modes.empty())
            return TTSERR_INVALIDMODE;
        TTSMODEINFORANK rank;
        if (pttsInfoRank) {
            rank = *pttsInfoRank;
        } else {
            rank = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
        }
        const InstalledMode *best = nullptr;
        uint64_t bestScore = 0;
        bool bestIsDefault = false;
        for (const InstalledMode &m : m_modes) {
            const uint64_t score = rankScore(m.info, *pttsInfo, rank);
            const bool isDefault = m_defaultMode && m.info.gModeID == *m_defaultMode;
            if (!best || score > bestScore || (score == bestScore && isDefault && !bestIsDefault)) {
                best = &m;
                bestScore = score;
                bestIsDefault = isDefault;
            }
        }
        *pttsInfoFound = best->info;
        return S_OK;
    }

    HRESULT Select(GUID gModeID, std::shared_ptr<ITTSCentralW> &ppiTTSCentral,
                   const UnknownPtr &pIUnknownForAudio) override
    {
        ppiTTSCentral.reset();
        if (!pIUnknownForAudio)
            return E_INVALIDARG;
        for (const InstalledMode &m : m_modes) {
            if (m.info.gModeID == gModeID)
                return m.engine->select(gModeID, pIUnknownForAudio, ppiTTSCentral);
        }
        return TTSERR_INVALIDMODE;
    }

private:
    std::vector<InstalledMode> m_modes;
    std::optional<GUID> m_defaultMode;
    size_t m_position = 0;
};

bool sameText(const char16_t *a, const char16_t *b)
{
    const size_t n = nameLength(a);
    return n == nameLength(b) && std::equal(a, a + n, b);
}

}  // namespace

uint64_t rankScore(const TTSMODEINFOW &mode, const TTSMODEINFOW &query, const TTSMODEINFORANK &rank)
{
    // Full weight counts 2, a near miss (same primary language) 1.
    uint64_t score = 0;
    auto text = [&](uint32_t weight, const char16_t *q, const char16_t *m) {
        if (weight && q[0] && sameText(q, m))
            score += 2ull * weight;
    };
    auto bits = [&](uint32_t weight, uint32_t q, uint32_t m) {
        if (weight && q && (m & q) == q)
            score += 2ull * weight;
    };
    if (rank.dwEngineID && !query.gEngineID.isNull() && query.gEngineID == mode.gEngineID)
        score += 2ull * rank.dwEngineID;
    if (rank.dwModeID && !query.gModeID.isNull() && query.gModeID == mode.gModeID)
        score += 2ull * rank.dwModeID;
    text(rank.dwMfgName, query.szMfgName, mode.szMfgName);
    text(rank.dwProductName, query.szProductName, mode.szProductName);
    text(rank.dwModeName, query.szModeName, mode.szModeName);
    text(rank.dwDialect, query.language.szDialect, mode.language.szDialect);
    text(rank.dwSpeaker, query.szSpeaker, mode.szSpeaker);
    text(rank.dwStyle, query.szStyle, mode.szStyle);
    if (rank.dwLanguage && query.language.LanguageID) {
        if (query.language.LanguageID == mode.language.LanguageID)
            score += 2ull * rank.dwLanguage;
        else if ((query.language.LanguageID & 0x3FF) == (mode.language.LanguageID & 0x3FF))
            score += rank.dwLanguage;
    }
    if (rank.dwGender && query.wGender && query.wGender == mode.wGender)
        score += 2ull * rank.dwGender;
    if (rank.dwAge && query.wAge && query.wAge == mode.wAge)
        score += 2ull * rank.dwAge;
    bits(rank.dwFeatures, query.dwFeatures, mode.dwFeatures);
    bits(rank.dwInterfaces, query.dwInterfaces, mode.dwInterfaces);
    bits(rank.dwEngineFeatures, query.dwEngineFeatures, mode.dwEngineFeatures);
    return score;
}

UnknownPtr makeModeEnumerator()
{
    return std::make_shared<ModeEnumerator>();
}

std::vector<std::shared_ptr<SpeechEngine>> SpeechPlatform::engines()
{
    PlatformState &s = state();
    std::lock_guard lock(s.mutex);
    if (!s.loaded) {
        s.engines = loadDefaultEngines();
        s.installed = true;
        s.loaded = true;
    }
    return s.engines;
}

void SpeechPlatform::setEngines(std::vector<std::shared_ptr<SpeechEngine>> engines, bool installed)
{
    PlatformState &s = state();
    std::lock_guard lock(s.mutex);
    s.engines = std::move(engines);
    s.installed = installed;
    s.loaded = true;
}

void SpeechPlatform::waitForModes(int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (const auto &engine : engines())
        engine->waitForModes(int(std::max<qint64>(0, ms - clock.elapsed())));
}

PlatformEvents &PlatformEvents::instance()
{
    static PlatformEvents *events = [] {
        auto *e = new PlatformEvents;
        if (QCoreApplication::instance())
            e->moveToThread(QCoreApplication::instance()->thread());
        return e;
    }();
    return *events;
}

void PlatformEvents::postModesChanged()
{
    PlatformEvents *events = &instance();
    QMetaObject::invokeMethod(
        events, [events] { emit events->modesChanged(); }, Qt::QueuedConnection);
}

void SpeechPlatform::restoreDefaultEngines()
{
    PlatformState &s = state();
    std::lock_guard lock(s.mutex);
    s.engines.clear();
    s.installed = true;
    s.loaded = false;
}

bool SpeechPlatform::installed()
{
    PlatformState &s = state();
    std::lock_guard lock(s.mutex);
    return s.installed;
}

InstalledModes SpeechPlatform::installedModes()
{
    InstalledModes result;
    if (!installed())
        return result;
    ModeWalk walk = walkModes();
    result.modes.reserve(walk.modes.size());
    for (const InstalledMode &m : walk.modes) {
        result.modes.push_back(m.info);
        // As Find ranks an empty query: every mode scores alike, the
        // preferred one wins the tie, else the first.
        if (walk.preferred && m.info.gModeID == *walk.preferred && result.defaultMode.isNull())
            result.defaultMode = m.info.gModeID;
    }
    if (result.defaultMode.isNull() && !result.modes.empty())
        result.defaultMode = result.modes.front().gModeID;
    return result;
}

std::optional<ModeRanges> SpeechPlatform::ranges(const GUID &modeId)
{
    if (!installed())
        return std::nullopt;
    for (const auto &engine : engines())
        if (auto r = engine->ranges(modeId))
            return r;
    return std::nullopt;
}

SpeechProbe probeSpeechPlatform()
{
    SpeechProbe probe;
    probe.speechInstalled = SpeechPlatform::installed();
    if (probe.speechInstalled) {
        for (const auto &engine : SpeechPlatform::engines()) {
            if (!engine->modes().empty()) {
                probe.ttsInstalled = true;
                break;
            }
        }
    }
    probe.srInstalled = false;  // no recogniser on this platform
    probe.waveOutPresent = waveOutGetNumDevs() > 0;
    probe.waveInPresent = waveInGetNumDevs() > 0;
    return probe;
}

uint32_t waveOutGetNumDevs()
{
    return static_cast<uint32_t>(std::max(0, audio::audioSystem().outputDeviceCount()));
}

uint32_t waveInGetNumDevs()
{
    return static_cast<uint32_t>(std::max(0, audio::audioSystem().inputDeviceCount()));
}

}  // namespace sapi
