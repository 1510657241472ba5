#pragma once
// Shared pieces of the speech components: the component base class, the
// speech error classes and their message table, the start-up probes and the
// two mode-list routines the voice catalogue uses.

#include "platform/speech/SpeechApi.h"
#include "util/AppError.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>

// An OLE-style failure with a readable message (also the component's own
// refusals, such as "The Active property must be TRUE ...").
class EOleError : public EAppError
{
public:
    explicit EOleError(QString message, int32_t code = 0, int helpContext = 0)
        : EAppError(std::move(message), code), m_helpContext(helpContext)
    {
    }
    int HelpContext() const noexcept { return m_helpContext; }

private:
    int m_helpContext;
};

// A failure of the speech platform's own runtime routines (object creation,
// enumeration in ModeIDFromName): the system's text for the code.
class EOleSysError : public EOleError
{
public:
    explicit EOleSysError(int32_t code);
    int32_t ErrorCode() const noexcept { return code(); }
};

// A failing result of an engine call: the table text, then "Error code XXXXXXXX".
class ESpeechError : public EOleError
{
public:
    explicit ESpeechError(int32_t code);
    int32_t ErrorCode() const noexcept { return code(); }
};

// Base of the speech components. Stands in for the component framework's
// loading state: while BeginLoading() .. Loaded() runs, stored property
// values are being applied and some result checks are skipped.
class TSpeechComponent : public QObject
{
public:
    explicit TSpeechComponent(QObject *Owner = nullptr);
    ~TSpeechComponent() override;

    // The engine's main interface; empty while there is none.
    virtual sapi::UnknownPtr GetEngineInterface() = 0;

    // Start of applying stored property values; Loaded() ends it.
    void BeginLoading() { m_loading = true; }
    virtual void Loaded() { m_loading = false; }
    // True while the component is being loaded, read or written.
    bool IsLoading() const { return m_loading; }

    // A free value for the owner (the main window keeps the article being
    // read here).
    intptr_t Tag() const { return m_tag; }
    void SetTag(intptr_t value) { m_tag = value; }

private:
    bool m_loading = false;
    intptr_t m_tag = 0;
};

// What the speech platform and the sound server offer, as one probe finds
// them now.
struct TSpeechSupport {
    bool SpeechInstalled = false;
    bool TTSInstalled = false;
    bool SRInstalled = false;
    bool WaveOutPresent = false;
    bool WaveInPresent = false;
};

TSpeechSupport ProbeSpeechSupport();

// Raises ESpeechError for every code but 0 (success codes such as 1 too).
void SpeechCheck(sapi::HRESULT code);
// Raises EOleSysError for failure codes only (the runtime's own check).
void OleCheck(sapi::HRESULT code);

// The table text for the code's low 16 bits; empty when there is no row.
QString SpeechErrorText(sapi::HRESULT code);
// The text for a general result code (used when the table has no row); a
// general sentence for a code without one.
QString SystemErrorText(sapi::HRESULT code);

// Adds the name of every installed mode, in enumeration order, untrimmed and
// with duplicates. Returns the first failing result, 0 after the last mode.
sapi::HRESULT GetModeNames(QStringList &Names);
// The mode whose name equals Name, both trimmed of blanks and control
// characters (case-sensitive); the zero GUID when none matches.
void ModeIDFromName(const QString &Name, sapi::GUID &ModeID);
