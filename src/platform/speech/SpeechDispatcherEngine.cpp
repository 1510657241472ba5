// The Speech Dispatcher driver: listing on a thread of its own, and a
// central that hands each text to the service as SSML with a mark before
// every word, turning the marks that come back into word positions.
#include "SpeechDispatcherEngine.h"

#include "AudioDestinations.h"
#include "ControlTags.h"
#include "EngineRuntime.h"
#include "MessageService.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <libspeechd.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace sapi {

namespace {

const QString kMaker = QStringLiteral("Speech Dispatcher");
constexpr const char *kClientName = "voxtrella";

// Some modules (eSpeak NG) list every language with every variant, over ten
// thousand voices; their plain voices are the ones worth offering.
constexpr size_t kMaxVoicesPerModule = 300;

// The platform's numbers for the service's -100..100 (0 is the voice's own).
constexpr ModeRanges kRanges{50, 250, 150, 80, 450, 175};

const QString kServiceLost = QStringLiteral(
    "The desktop's speech service (Speech Dispatcher) stopped while reading, so the reading ended.\r\r"
    "Start the speech service again, or choose a voice of eSpeak NG or Flite, and read again.");

// A service that stops answering (killed, crashed) is noticed this often.
constexpr int kWatchMs = 250;

struct ServiceVoice {
    GUID mode;
    QByteArray module;
    QByteArray name;
};

// The Windows language identifier for a service language code ("en-US",
// "de", "pt-BR"); 0 when the catalogue has none.
uint16_t languageIdOf(const QString &code)
{
    static const std::map<QString, uint16_t> byCode = {
        {"ar", 1025}, {"bg", 1026}, {"ca", 1027}, {"zh", 1028},    {"cmn", 1028},   {"cs", 1029},    {"da", 1030},
        {"de", 1031}, {"el", 1032}, {"en", 1033}, {"en-us", 1033}, {"es", 1034},    {"fi", 1035},    {"fr", 1036},
        {"he", 1037}, {"hu", 1038}, {"is", 1039}, {"it", 1040},    {"ja", 1041},    {"ko", 1042},    {"nl", 1043},
        {"nb", 1044}, {"no", 1044}, {"pl", 1045}, {"pt-br", 1046}, {"ro", 1048},    {"ru", 1049},    {"hr", 1050},
        {"sk", 1051}, {"sq", 1052}, {"sv", 1053}, {"th", 1054},    {"en-gb", 2057}, {"es-mx", 2058}, {"pt", 2070},
    };
    const QString lower = code.toLower().replace(u'_', u'-');
    if (auto it = byCode.find(lower); it != byCode.end())
        return it->second;
    // Longer forms ("en-gb-scotland") by their language and region, then a
    // region the table does not know by its language's main form.
    if (auto it = byCode.find(lower.section(u'-', 0, 1)); it != byCode.end())
        return it->second;
    if (auto it = byCode.find(lower.section(u'-', 0, 0)); it != byCode.end())
        return it->second;
    return 0;
}

}  // namespace

// What the listing thread found; shared with it, since it may outlive the driver.
struct SpeechDispatcherEngine::Listing {
    mutable std::mutex mutex;
    std::condition_variable done;
    bool settled = false;
    QString problem;
    std::vector<TTSMODEINFOW> modes;
    std::vector<ServiceVoice> voices;
};

namespace {

// An explicit address is a service the user runs; only the desktop's usual
// one may be started on demand.
// Whether a service takes connections at the socket.
bool socketAnswers(const char *path)
{
    sockaddr_un address{};
    if (std::strlen(path) >= sizeof address.sun_path)
        return true;  // let the library say what is wrong with it
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path);
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return true;
    const bool answers = ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(probe);
    return answers;
}

SPDConnection *openConnection(const char *name, QString *problem)
{
    char *error = nullptr;
    SPDConnectionAddress *address = spd_get_default_address(&error);
    if (!address) {
        if (problem)
            *problem = QString::fromUtf8(error ? error : "no address");
        std::free(error);
        return nullptr;
    }
    const bool autospawn = qEnvironmentVariableIsEmpty("SPEECHD_ADDRESS");
    // Nobody to start a service and nothing listening: said without asking
    // the library, which keeps a copy of its message on that path.
    if (!autospawn && address->method == SPD_METHOD_UNIX_SOCKET && address->unix_socket_name &&
        !socketAnswers(address->unix_socket_name)) {
        if (problem)
            *problem = QStringLiteral("nothing listens at %1").arg(QString::fromLocal8Bit(address->unix_socket_name));
        SPDConnectionAddress__free(address);
        return nullptr;
    }
    SPDConnection *c = spd_open2(kClientName, name, nullptr, SPD_MODE_THREADED, address, autospawn, &error);
    SPDConnectionAddress__free(address);
    if (!c && problem)
        *problem = QString::fromUtf8(error ? error : "refused").trimmed();
    std::free(error);
    return c;
}

void listVoices(const std::shared_ptr<SpeechDispatcherEngine::Listing> &listing)
{
    QString problem;
    std::vector<TTSMODEINFOW> modes;
    std::vector<ServiceVoice> voices;
    if (SPDConnection *c = openConnection("list", &problem)) {
        const GUID engineId = nameBasedGuid(kMaker);
        char **modules = spd_list_modules(c);
        for (char **m = modules; m && *m; ++m) {
            const QByteArray module(*m);
            if (spd_set_output_module(c, *m) != 0)
                continue;
            SPDVoice **list = spd_list_synthesis_voices(c);
            // Plain voices when the module has any, else whatever it lists.
            bool anyPlain = false;
            for (SPDVoice **v = list; v && *v; ++v)
                anyPlain = anyPlain || !(*v)->variant || !qstrcmp((*v)->variant, "none");
            size_t taken = 0;
            for (SPDVoice **v = list; v && *v && taken < kMaxVoicesPerModule; ++v) {
                const bool plain = !(*v)->variant || !qstrcmp((*v)->variant, "none");
                if ((anyPlain && !plain) || !(*v)->name)
                    continue;
                const QString name = QString::fromUtf8((*v)->name);
                const QString language = QString::fromUtf8((*v)->language ? (*v)->language : "");
                const uint16_t languageId = languageIdOf(language);
                if (!languageId)
                    continue;  // the catalogue could not name its language
                const QString speaker = name + QStringLiteral(" (") + QString::fromUtf8(module) + u')';
                TTSMODEINFOW mode;
                mode.gEngineID = engineId;
                mode.gModeID =
                    nameBasedGuid(QStringLiteral("Speech Dispatcher/") + QString::fromUtf8(module) + u'/' + name);
                setField(mode.szMfgName, kMaker);
                setField(mode.szProductName, QStringLiteral("Speech Dispatcher ") + QString::fromUtf8(module));
                setField(mode.szModeName, QStringLiteral("Speech Dispatcher ") + speaker);
                mode.language.LanguageID = languageId;
                setField(mode.language.szDialect, language);
                setField(mode.szSpeaker, speaker);
                setField(mode.szStyle, QStringLiteral("Normal"));
                mode.dwFeatures = TTSFEATURE_TAGGED;
                mode.dwInterfaces = TTSI_ITTSATTRIBUTES;
                modes.push_back(mode);
                voices.push_back({mode.gModeID, module, QByteArray((*v)->name)});
                ++taken;
            }
            free_spd_voices(list);
        }
        if (modules) {
            for (char **m = modules; *m; ++m)
                std::free(*m);
            std::free(modules);
        }
        spd_close(c);
        if (modes.empty())
            problem = QStringLiteral("the service offers no voice in a language Voxtrella knows");
    }
    {
        std::lock_guard lock(listing->mutex);
        listing->problem = problem;
        listing->modes = std::move(modes);
        listing->voices = std::move(voices);
        listing->settled = true;
    }
    listing->done.notify_all();
    PlatformEvents::postModesChanged();
}

// ---- the central ----

class ServiceCore;

// Callbacks carry the connection's client number only: find its central.
std::mutex g_registryMutex;
std::map<size_t, std::weak_ptr<ServiceCore>> g_registry;

enum class ServiceEvent { Begin, End, Cancel, Mark };

// One text given to the service. A pause cancels it and a resume gives it
// again from the last word heard: the service's own pause does not hold
// the sound of every module.
struct ServiceJob {
    QString text;
    bool tagged = false;
    std::shared_ptr<ITTSBufNotifySink> sink;
    qsizetype resumeAt = 0;  // UTF-16 index of the last word reported
    bool started = false;
};

// The SSML for text from index from on; marks carry indexes into the whole text.
QByteArray ssmlFrom(const QString &text, bool tagged, qsizetype from)
{
    QByteArray ssml = "<speak>";
    TextWalker walker(text, tagged, qsizetype(1) << 20);
    qsizetype at = 0;  // where the walk is in text
    for (TextPiece p = walker.next(); p.kind != TextPiece::End; p = walker.next()) {
        if (p.kind == TextPiece::Text) {
            at = p.start + p.text.size();
            if (at <= from)
                continue;
            const qsizetype skip = std::max<qsizetype>(0, from - p.start);
            ssml += speechDispatcherSsml(p.text.mid(skip), p.start + skip);
            continue;
        }
        if (from > 0 && at <= from)
            continue;  // a tag before the place speech goes on from, already passed
        if (p.kind == TextPiece::Mark)
            ssml += "<mark name=\"b" + QByteArray::number(p.value) + "\"/>";
        else if (p.kind == TextPiece::Pause)
            ssml += "<break time=\"" + QByteArray::number(std::min<uint32_t>(p.value, 60000)) + "ms\"/>";
        // voice changes mid-text: the service takes settings per text only
    }
    return ssml + "</speak>";
}

class ServiceCore : public std::enable_shared_from_this<ServiceCore>
{
public:
    TTSMODEINFOW mode;
    ServiceVoice voice;
    SPDConnection *connection = nullptr;
    size_t clientId = 0;
    // Lives on the selecting thread: every notification is delivered there.
    QPointer<QObject> home;
    QTimer *watch = nullptr;
    QElapsedTimer clock;

    uint16_t pitch = kRanges.defaultPitch;
    uint32_t speed = kRanges.defaultSpeed;
    uint32_t volume = 0xFFFFFFFF;
    uint32_t realTime = 0;
    bool paused = false;
    bool audioActive = false;
    HRESULT failure = S_OK;
    bool lossTold = false;
    std::map<int, ServiceJob> messages;  // given to the service, by its message number
    std::vector<ServiceJob> held;        // while paused, in order
    std::map<uint32_t, std::shared_ptr<ITTSNotifySinkW>> sinks;
    uint32_t nextKey = 1;

    ~ServiceCore() { close(); }

    QWORD stamp() const { return QWORD(clock.nsecsElapsed() / 100); }

    std::vector<std::shared_ptr<ITTSNotifySinkW>> sinkList() const
    {
        std::vector<std::shared_ptr<ITTSNotifySinkW>> list;
        for (const auto &[key, sink] : sinks)
            list.push_back(sink);
        return list;
    }

    void audioStopped()
    {
        if (!audioActive)
            return;
        audioActive = false;
        const QWORD now = stamp();
        for (const auto &s : sinkList())
            s->AudioStop(now);
    }

    // On the selecting thread, in the order the service sent them.
    void handle(ServiceEvent event, int message, const QByteArray &mark)
    {
        auto it = messages.find(message);
        if (it == messages.end())
            return;  // cancelled by a pause or a reset, or not ours
        ServiceJob &job = it->second;
        const std::shared_ptr<ITTSBufNotifySink> sink = job.sink;
        const QWORD now = stamp();
        switch (event) {
        case ServiceEvent::Begin:
            if (!audioActive) {
                audioActive = true;
                for (const auto &s : sinkList())
                    s->AudioStart(now);
            }
            if (sink && !job.started)
                sink->TextDataStarted(now);
            job.started = true;
            break;
        case ServiceEvent::Mark:
            if (mark.size() > 1) {
                bool ok = false;
                const uint32_t value = mark.mid(1).toUInt(&ok);
                if (ok && mark.at(0) == 'w') {
                    job.resumeAt = qsizetype(value);
                    if (sink)
                        sink->WordPosition(now, value * 2);
                } else if (ok && mark.at(0) == 'b' && sink) {
                    sink->BookMark(now, value);
                }
            }
            break;
        case ServiceEvent::End:
        case ServiceEvent::Cancel:
            messages.erase(it);
            if (sink)
                sink->TextDataDone(now, event == ServiceEvent::Cancel ? TTSBNS_ABORTED : 0);
            if (messages.empty())
                audioStopped();
            break;
        }
    }

    // Gives a text to the service; false when it cannot be reached.
    bool send(ServiceJob job)
    {
        const int id = spd_say(connection, SPD_TEXT, ssmlFrom(job.text, job.tagged, job.resumeAt).constData());
        if (id < 0)
            return false;
        messages.emplace(id, std::move(job));
        if (watch && !watch->isActive())
            watch->start();
        return true;
    }

    void pause()
    {
        if (paused)
            return;
        paused = true;
        // Cancelled texts are forgotten first: their cancel notices are no ends.
        auto given = std::move(messages);
        messages.clear();
        for (auto &[id, job] : given)
            held.push_back(std::move(job));
        if (!held.empty() && connection && failure == S_OK)
            spd_cancel(connection);
    }

    void resume()
    {
        if (!paused)
            return;
        paused = false;
        auto waiting = std::move(held);
        held.clear();
        for (ServiceJob &job : waiting) {
            if (failure != S_OK || !send(std::move(job))) {
                serviceLost();
                return;
            }
        }
    }

    // The service went away: every text ends, aborted, and later ones are refused.
    void serviceLost()
    {
        if (failure == S_OK)
            failure = AUDERR_NOTOPEN;
        std::vector<std::shared_ptr<ITTSBufNotifySink>> ended;
        for (auto &[id, job] : messages)
            ended.push_back(job.sink);
        for (ServiceJob &job : held)
            ended.push_back(job.sink);
        messages.clear();
        held.clear();
        const QWORD now = stamp();
        for (const auto &sink : ended)
            if (sink)
                sink->TextDataDone(now, TTSBNS_ABORTED);
        audioStopped();
        if (watch)
            watch->stop();
        // Told once, after the listeners have ended the reading.
        if (!ended.empty() && !lossTold && home) {
            lossTold = true;
            QTimer::singleShot(0, home.data(), [] { MessageService::error(kServiceLost); });
        }
    }

    bool connectionLost() const
    {
        if (!connection || connection->socket < 0)
            return true;
        pollfd p{connection->socket, POLLRDHUP, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
    }

    void post(ServiceEvent event, int message, QByteArray mark)
    {
        QObject *target = home.data();
        if (!target)
            return;
        std::weak_ptr<ServiceCore> weak = weak_from_this();
        QMetaObject::invokeMethod(
            target,
            [weak, event, message, mark] {
                if (auto self = weak.lock())
                    self->handle(event, message, mark);
            },
            Qt::QueuedConnection);
    }

    void applyVoice()
    {
        spd_set_voice_rate(connection,
                           speechDispatcherScale(speed, kRanges.minSpeed, kRanges.defaultSpeed, kRanges.maxSpeed));
        spd_set_voice_pitch(connection,
                            speechDispatcherScale(pitch, kRanges.minPitch, kRanges.defaultPitch, kRanges.maxPitch));
        const uint32_t left = volume & 0xFFFF, right = volume >> 16;
        spd_set_volume(connection, int((left + right) / 2 * 200 / 0xFFFF) - 100);
    }

    void close()
    {
        if (!connection)
            return;
        {
            std::lock_guard lock(g_registryMutex);
            g_registry.erase(clientId);
        }
        spd_cancel(connection);
        spd_close(connection);
        connection = nullptr;
        if (QObject *h = home.data())
            h->deleteLater();
    }
};

std::shared_ptr<ServiceCore> coreOf(size_t clientId)
{
    std::lock_guard lock(g_registryMutex);
    auto it = g_registry.find(clientId);
    return it == g_registry.end() ? nullptr : it->second.lock();
}

void onEvent(size_t message, size_t clientId, SPDNotificationType type)
{
    auto core = coreOf(clientId);
    if (!core)
        return;
    switch (type) {
    case SPD_EVENT_BEGIN:
        core->post(ServiceEvent::Begin, int(message), {});
        break;
    case SPD_EVENT_END:
        core->post(ServiceEvent::End, int(message), {});
        break;
    case SPD_EVENT_CANCEL:
        core->post(ServiceEvent::Cancel, int(message), {});
        break;
    default:
        break;  // pause and resume change nothing the listener does not know
    }
}

void onMark(size_t message, size_t clientId, SPDNotificationType, char *mark)
{
    if (auto core = coreOf(clientId))
        core->post(ServiceEvent::Mark, int(message), QByteArray(mark ? mark : ""));
}

template <class T>
HRESULT giveOut(T *out, T value)
{
    if (!out)
        return E_POINTER;
    *out = value;
    return S_OK;
}

class ServiceAttributes : public ITTSAttributesW
{
public:
    explicit ServiceAttributes(std::shared_ptr<ServiceCore> core) : m_core(std::move(core)) {}

    HRESULT PitchGet(uint16_t *p) override { return giveOut(p, m_core->pitch); }
    HRESULT PitchSet(uint16_t p) override
    {
        return change(m_core->pitch, std::clamp(p, kRanges.minPitch, kRanges.maxPitch), TTSNSAC_PITCH);
    }
    HRESULT SpeedGet(uint32_t *s) override { return giveOut(s, m_core->speed); }
    HRESULT SpeedSet(uint32_t s) override
    {
        return change(m_core->speed, std::clamp(s, kRanges.minSpeed, kRanges.maxSpeed), TTSNSAC_SPEED);
    }
    HRESULT VolumeGet(uint32_t *v) override { return giveOut(v, m_core->volume); }
    HRESULT VolumeSet(uint32_t v) override { return change(m_core->volume, v, TTSNSAC_VOLUME); }
    HRESULT RealTimeGet(uint32_t *r) override { return giveOut(r, m_core->realTime); }
    HRESULT RealTimeSet(uint32_t r) override { return change(m_core->realTime, r, TTSNSAC_REALTIME); }

private:
    // The service takes a new voice setting for the texts that follow.
    template <class T>
    HRESULT change(T &field, T value, uint32_t attribute)
    {
        if (field == value)
            return S_OK;
        field = value;
        if (m_core->connection)
            m_core->applyVoice();
        for (const auto &s : m_core->sinkList())
            s->AttribChanged(attribute);
        return S_OK;
    }

    std::shared_ptr<ServiceCore> m_core;
};

class ServiceDialogs : public ITTSDialogsW
{
public:
    HRESULT AboutDlg(HWND, const char16_t *) override { return TTSERR_NOTSUPPORTED; }
    HRESULT LexiconDlg(HWND, const char16_t *) override { return TTSERR_NOTSUPPORTED; }
    HRESULT GeneralDlg(HWND, const char16_t *) override { return TTSERR_NOTSUPPORTED; }
    HRESULT TranslateDlg(HWND, const char16_t *) override { return TTSERR_NOTSUPPORTED; }
};

class ServiceCentral : public ITTSCentralW
{
public:
    explicit ServiceCentral(std::shared_ptr<ServiceCore> core)
        : m_core(std::move(core)), m_attributes(std::make_shared<ServiceAttributes>(m_core)),
          m_dialogs(std::make_shared<ServiceDialogs>())
    {
    }
    ~ServiceCentral() override { m_core->close(); }

    HRESULT QueryInterface(const GUID &iid, UnknownPtr &out) override
    {
        if (iid == IID_ITTSAttributesW) {
            out = m_attributes;
            return S_OK;
        }
        if (iid == IID_ITTSDialogsW) {
            out = m_dialogs;
            return S_OK;
        }
        return IUnknown::QueryInterface(iid, out);
    }

    HRESULT Inject(const char16_t *pszTag) override
    {
        if (!pszTag)
            return E_POINTER;
        const QString text = QString::fromUtf16(pszTag);
        TextWalker walker(text, true);
        bool any = false;
        for (TextPiece p = walker.next(); p.kind != TextPiece::End; p = walker.next()) {
            any = any || p.kind != TextPiece::Text;
            if (p.kind == TextPiece::Pitch)
                m_attributes->PitchSet(uint16_t(std::min<uint32_t>(p.value, 0xFFFF)));
            else if (p.kind == TextPiece::Speed)
                m_attributes->SpeedSet(p.value);
            else if (p.kind == TextPiece::Reset) {
                m_attributes->PitchSet(kRanges.defaultPitch);
                m_attributes->SpeedSet(kRanges.defaultSpeed);
            }
        }
        return any ? S_OK : E_INVALIDARG;
    }

    HRESULT ModeGet(TTSMODEINFOW *info) override { return giveOut(info, m_core->mode); }
    HRESULT Phoneme(uint32_t, uint32_t, SDATA, SDATA *out) override
    {
        if (out)
            *out = SDATA();
        return TTSERR_NOTSUPPORTED;
    }
    HRESULT PosnGet(QWORD *stamp) override { return giveOut(stamp, m_core->stamp()); }

    HRESULT TextData(uint32_t charset, uint32_t flags, SDATA data, const UnknownPtr &notify,
                     const GUID &iidNotify) override
    {
        if (charset != CHARSET_TEXT)
            return charset > CHARSET_ENGINEPHONETIC ? E_INVALIDARG : TTSERR_NOTSUPPORTED;
        if (data.dwSize > 0 && !data.pData)
            return E_POINTER;
        std::shared_ptr<ITTSBufNotifySink> sink;
        if (notify) {
            if (!(iidNotify == IID_ITTSBufNotifySink))
                return E_NOINTERFACE;
            sink = queryAs<ITTSBufNotifySink>(notify, iidNotify);
            if (!sink)
                return E_NOINTERFACE;
        }
        if (m_core->failure == S_OK && m_core->connectionLost())
            m_core->serviceLost();
        if (m_core->failure != S_OK || (data.dwSize < 2 && !sink))
            return m_core->failure;
        QString text = QString::fromUtf16(static_cast<const char16_t *>(data.pData), qsizetype(data.dwSize / 2));
        if (const qsizetype end = text.indexOf(QChar(u'\0')); end >= 0)
            text.truncate(end);

        ServiceJob job{text, bool(flags & TTSDATAFLAG_TAGGED), sink};
        if (m_core->paused) {
            m_core->held.push_back(std::move(job));
            return S_OK;
        }
        if (!m_core->send(std::move(job))) {
            m_core->serviceLost();
            return m_core->failure;
        }
        return S_OK;
    }

    HRESULT ToFileTime(QWORD stamp, int64_t *ft) override { return giveOut(ft, m_selectedFileTime + int64_t(stamp)); }

    HRESULT AudioPause() override
    {
        m_core->pause();
        return S_OK;
    }
    HRESULT AudioResume() override
    {
        m_core->resume();
        return S_OK;
    }
    HRESULT AudioReset() override
    {
        // Texts still queued end here, without their own done notifications,
        // as the built-in engines drop them.
        const bool given = !m_core->messages.empty();
        m_core->messages.clear();
        m_core->held.clear();
        m_core->paused = false;
        if (given && m_core->connection && m_core->failure == S_OK)
            spd_cancel(m_core->connection);
        if (m_core->audioActive) {
            std::weak_ptr<ServiceCore> weak = m_core;
            QTimer::singleShot(0, m_core->home.data(), [weak] {
                if (auto core = weak.lock())
                    core->audioStopped();
            });
        }
        return S_OK;
    }

    HRESULT Register(const UnknownPtr &notify, const GUID &iid, uint32_t *key) override
    {
        if (!key)
            return E_POINTER;
        *key = 0;
        if (!notify)
            return E_INVALIDARG;
        if (!(iid == IID_ITTSNotifySinkW))
            return E_NOINTERFACE;
        auto sink = queryAs<ITTSNotifySinkW>(notify, iid);
        if (!sink)
            return E_NOINTERFACE;
        *key = m_core->nextKey++;
        m_core->sinks[*key] = sink;
        return S_OK;
    }
    HRESULT UnRegister(uint32_t key) override { return m_core->sinks.erase(key) ? S_OK : TTSERR_INVALIDKEY; }

private:
    std::shared_ptr<ServiceCore> m_core;
    std::shared_ptr<ServiceAttributes> m_attributes;
    std::shared_ptr<ServiceDialogs> m_dialogs;
    int64_t m_selectedFileTime = (QDateTime::currentMSecsSinceEpoch() + 11644473600000ll) * 10000;
};

}  // namespace

QByteArray speechDispatcherSsml(const QString &text, qsizetype offset)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    bool inWord = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // Characters XML forbids (controls) would make the service refuse the text.
        if (c.unicode() < 0x20 && c != u'\n' && c != u'\t' && c != u'\r') {
            out += ' ';
            inWord = false;
            continue;
        }
        const bool space = c.isSpace();
        if (!space && !inWord)
            out += "<mark name=\"w" + QByteArray::number(offset + i) + "\"/>";
        inWord = !space;
        switch (c.unicode()) {
        case u'<':
            out += "&lt;";
            break;
        case u'>':
            out += "&gt;";
            break;
        case u'&':
            out += "&amp;";
            break;
        case u'"':
            out += "&quot;";
            break;
        default:
            if (c.isSurrogate()) {
                if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                    out += QString(text.constData() + i, 2).toUtf8();
                    ++i;
                }
            } else {
                out += QString(c).toUtf8();
            }
        }
    }
    return out;
}

int speechDispatcherScale(uint32_t value, uint32_t min, uint32_t def, uint32_t max)
{
    value = std::clamp(value, min, max);
    if (value >= def)
        return max > def ? int((int64_t(value) - def) * 100 / (int64_t(max) - def)) : 0;
    return def > min ? -int((int64_t(def) - value) * 100 / (int64_t(def) - min)) : 0;
}

std::shared_ptr<SpeechDispatcherEngine> SpeechDispatcherEngine::create(int waitMs)
{
    std::shared_ptr<SpeechDispatcherEngine> engine(new SpeechDispatcherEngine);
    engine->m_listing = std::make_shared<Listing>();
    std::thread([listing = engine->m_listing] { listVoices(listing); }).detach();
    std::unique_lock lock(engine->m_listing->mutex);
    engine->m_listing->done.wait_for(lock, std::chrono::milliseconds(waitMs),
                                     [&] { return engine->m_listing->settled; });
    return engine;
}

std::shared_ptr<SpeechDispatcherEngine> SpeechDispatcherEngine::load()
{
    static std::mutex mutex;
    static std::shared_ptr<SpeechDispatcherEngine> instance;
    std::lock_guard lock(mutex);
    // Start-up waits this long at most; later voices are announced.
    if (!instance)
        instance = create(200);
    return instance;
}

EngineFacts SpeechDispatcherEngine::engineFacts()
{
    return {.maker = kMaker,
            .displayName = kMaker,
            .languageInName = false,
            .groupName = kMaker,
            .languageName = {},
            .shortName = QStringLiteral("SpDp"),
            .features = 0,
            .hasLexicon = false,
            .favorites = FavoriteDefault::AllVoices,
            .favoriteNames = {},
            .playsItself = true,
            .speakerNames = true};
}

bool SpeechDispatcherEngine::settled() const
{
    std::lock_guard lock(m_listing->mutex);
    return m_listing->settled;
}

QString SpeechDispatcherEngine::problem() const
{
    std::lock_guard lock(m_listing->mutex);
    return m_listing->problem;
}

bool SpeechDispatcherEngine::waitForModes(int ms)
{
    std::unique_lock lock(m_listing->mutex);
    return m_listing->done.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_listing->settled; });
}

std::vector<TTSMODEINFOW> SpeechDispatcherEngine::modes()
{
    std::lock_guard lock(m_listing->mutex);
    return m_listing->modes;
}

std::optional<ModeRanges> SpeechDispatcherEngine::ranges(const GUID &modeId)
{
    std::lock_guard lock(m_listing->mutex);
    for (const ServiceVoice &v : m_listing->voices)
        if (v.mode == modeId)
            return kRanges;
    return std::nullopt;
}

HRESULT SpeechDispatcherEngine::select(const GUID &modeId, const UnknownPtr &audioDest,
                                       std::shared_ptr<ITTSCentralW> &central)
{
    central.reset();
    auto core = std::make_shared<ServiceCore>();
    {
        std::lock_guard lock(m_listing->mutex);
        for (size_t i = 0; i < m_listing->voices.size(); ++i) {
            if (m_listing->voices[i].mode == modeId) {
                core->voice = m_listing->voices[i];
                core->mode = m_listing->modes[i];
            }
        }
    }
    if (core->voice.name.isEmpty())
        return TTSERR_INVALIDMODE;
    // The service plays the sound itself: a file could only stay empty.
    if (std::dynamic_pointer_cast<FileAudioDest>(audioDest))
        return TTSERR_NOTSUPPORTED;
    if (!audioDest)
        return E_INVALIDARG;
    core->connection = openConnection("read", nullptr);
    if (!core->connection)
        return AUDERR_NOTOPEN;
    core->clientId = size_t(spd_get_client_id(core->connection));
    core->clock.start();
    {
        std::lock_guard lock(g_registryMutex);
        g_registry[core->clientId] = core;
    }
    core->connection->callback_begin = onEvent;
    core->connection->callback_end = onEvent;
    core->connection->callback_cancel = onEvent;
    core->connection->callback_im = onMark;
    if (spd_set_output_module(core->connection, core->voice.module.constData()) != 0 ||
        spd_set_synthesis_voice(core->connection, core->voice.name.constData()) != 0 ||
        spd_set_data_mode(core->connection, SPD_DATA_SSML) != 0 ||
        spd_set_notification_on(core->connection, SPD_BEGIN) != 0 ||
        spd_set_notification_on(core->connection, SPD_END) != 0 ||
        spd_set_notification_on(core->connection, SPD_CANCEL) != 0 ||
        spd_set_notification_on(core->connection, SPD_INDEX_MARKS) != 0)
        return AUDERR_NOTOPEN;
    core->applyVoice();
    core->home = new QObject;
    core->watch = new QTimer(core->home.data());
    core->watch->setInterval(kWatchMs);
    std::weak_ptr<ServiceCore> weak = core;
    QObject::connect(core->watch, &QTimer::timeout, core->home.data(), [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        if (self->messages.empty())
            self->watch->stop();
        else if (self->connectionLost())
            self->serviceLost();
    });
    central = std::make_shared<ServiceCentral>(core);
    return S_OK;
}

}  // namespace sapi
