#pragma once
// The Speech Dispatcher driver: the voices the desktop's speech service
// offers (every module it has set up), spoken by the service itself. The
// service plays the sound, so its voices cannot be read into a file or sent
// to a chosen device; the catalogue learns that from the facts.
//
// Connecting and listing may take seconds (the service may have to be
// started, and some modules list thousands of voices), so it runs on a
// thread of its own: load() waits for it a moment only, and voices that
// arrive later are announced by PlatformEvents::modesChanged.

#include "SpeechEngine.h"

#include <QString>

#include <memory>
#include <vector>

namespace sapi {

class SpeechDispatcherEngine : public SpeechEngine
{
public:
    // The process's driver, connecting in the background; it has no modes
    // until (and unless) the service answered.
    static std::shared_ptr<SpeechDispatcherEngine> load();
    // A driver of its own (tests): waits up to waitMs for the service.
    static std::shared_ptr<SpeechDispatcherEngine> create(int waitMs);

    // Named "Speech Dispatcher", voices named "voice (module)", playing
    // the sound itself.
    static EngineFacts engineFacts();

    EngineFacts facts() const override { return engineFacts(); }
    std::vector<TTSMODEINFOW> modes() override;
    std::optional<ModeRanges> ranges(const GUID &modeId) override;
    HRESULT select(const GUID &modeId, const UnknownPtr &audioDest, std::shared_ptr<ITTSCentralW> &central) override;

    QString problem() const override;
    bool waitForModes(int ms) override;

    // The listing is over (with voices or without).
    bool settled() const;

    struct Listing;

private:
    SpeechDispatcherEngine() = default;
    std::shared_ptr<Listing> m_listing;
};

// The SSML the service is given for a text: a mark named "w<index>" before
// each word (index: the word's UTF-16 position in text), markup characters
// escaped. Exposed for tests.
QByteArray speechDispatcherSsml(const QString &text, qsizetype offset = 0);

// The service's rate or pitch (-100..100) for a value of the platform's
// range, the range's default giving 0.
int speechDispatcherScale(uint32_t value, uint32_t min, uint32_t def, uint32_t max);

}  // namespace sapi
