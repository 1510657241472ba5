#pragma once
// The speech platform: the text-to-speech objects, calls, records and result
// codes that the speech component is written against. Objects are shared
// and reference counted (std::shared_ptr); an object offers further
// interfaces through QueryInterface. Engines call the sinks on the thread
// that selected them, through its Qt event loop.

#include <cstdint>
#include <cstring>
#include <memory>


namespace sapi {

using HRESULT = int32_t;
// A window of the window layer, opaque here.
using HWND = void *;
using QWORD = uint64_t;

constexpr HRESULT hr(uint32_t code)
{
    return static_cast<HRESULT>(code);
}

// Result codes.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hr(0x80004001);
constexpr HRESULT E_NOINTERFACE = hr(0x80004002);
constexpr HRESULT E_POINTER = hr(0x80004003);
constexpr HRESULT E_FAIL = hr(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = hr(0x8007000E);
constexpr HRESULT E_INVALIDARG = hr(0x80070057);
constexpr HRESULT REGDB_E_CLASSNOTREG = hr(0x80040154);
constexpr HRESULT CLASS_E_NOAGGREGATION = hr(0x80040110);
// Speech API result codes (facility ITF, 0x8004xxxx).
constexpr HRESULT TTSERR_NONE = 0;
constexpr HRESULT TTSERR_INVALIDINTERFACE = E_NOINTERFACE;
constexpr HRESULT TTSERR_OUTOFDISK = hr(0x80070070);  // disk full
constexpr HRESULT TTSERR_NOTSUPPORTED = E_NOTIMPL;
constexpr HRESULT TTSERR_VALUEOUTOFRANGE = hr(0x8007000D);
constexpr HRESULT TTSERR_INVALIDWINDOW = hr(0x80070578);
constexpr HRESULT TTSERR_INVALIDPARAM = E_INVALIDARG;
constexpr HRESULT TTSERR_INVALIDMODE = hr(0x80040206);  // no such engine / mode
constexpr HRESULT TTSERR_INVALIDKEY = hr(0x80040209);
constexpr HRESULT TTSERR_WAVEFORMATNOTSUPPORTED = hr(0x80040202);
constexpr HRESULT TTSERR_INVALIDCHAR = hr(0x80040208);
constexpr HRESULT TTSERR_QUEUEFULL = hr(0x8004020A);
constexpr HRESULT TTSERR_WAVEDEVICEBUSY = hr(0x80040203);  // device in use
constexpr HRESULT TTSERR_NOTPAUSED = hr(0x80040204);
constexpr HRESULT TTSERR_ALREADYPAUSED = hr(0x80040205);
constexpr HRESULT AUDERR_NOTOPEN = hr(0x80040210);  // file or device could not be opened

struct GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};

    bool operator==(const GUID &o) const { return std::memcmp(this, &o, sizeof(GUID)) == 0; }
    bool isNull() const { return *this == GUID{}; }
};

// Builds a GUID from its registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
GUID guidFromString(const char *text);

// Object and interface identifiers.
extern const GUID CLSID_TTSEnumerator;
extern const GUID CLSID_MMAudioDest;
extern const GUID CLSID_AudioDestFile;
extern const GUID CLSID_AudioDestDirect;
extern const GUID IID_IUnknown;
extern const GUID IID_ITTSEnumW;
extern const GUID IID_ITTSFindW;
extern const GUID IID_ITTSCentralW;
extern const GUID IID_ITTSAttributesW;
extern const GUID IID_ITTSDialogsW;
extern const GUID IID_ITTSNotifySinkW;
extern const GUID IID_ITTSBufNotifySink;
extern const GUID IID_IAudioMultiMediaDevice;
extern const GUID IID_IAudioFile;
extern const GUID IID_IAudioDirect;
extern const GUID IID_IDirectSound;

constexpr uint32_t CLSCTX_ALL = 7;

constexpr int TTSI_NAMELEN = 262;  // characters, terminating null included

// Feature and interface bits of the mode record.
constexpr uint32_t TTSFEATURE_TAGGED = 0x10;
constexpr uint32_t TTSI_ITTSATTRIBUTES = 0x2;

// Character sets and text flags.
constexpr uint32_t CHARSET_TEXT = 0;
constexpr uint32_t CHARSET_IPAPHONETIC = 1;
constexpr uint32_t CHARSET_ENGINEPHONETIC = 2;
constexpr uint32_t TTSDATAFLAG_TAGGED = 1;

// Attribute numbers for AttribChanged.
constexpr uint32_t TTSNSAC_REALTIME = 0;
constexpr uint32_t TTSNSAC_PITCH = 1;
constexpr uint32_t TTSNSAC_SPEED = 2;
constexpr uint32_t TTSNSAC_VOLUME = 3;

// Flags of TextDataDone.
constexpr uint32_t TTSBNS_ABORTED = 1;

struct LANGUAGEW {
    uint16_t LanguageID = 0;  // Windows language identifier, e.g. 0x0409 US English
    char16_t szDialect[TTSI_NAMELEN] = {};
};

struct TTSMODEINFOW {
    GUID gEngineID;
    char16_t szMfgName[TTSI_NAMELEN] = {};
    char16_t szProductName[TTSI_NAMELEN] = {};
    GUID gModeID;
    char16_t szModeName[TTSI_NAMELEN] = {};
    LANGUAGEW language;
    char16_t szSpeaker[TTSI_NAMELEN] = {};
    char16_t szStyle[TTSI_NAMELEN] = {};
    uint16_t wGender = 0;  // 0 neutral, 1 female, 2 male
    uint16_t wAge = 0;
    uint32_t dwFeatures = 0;
    uint32_t dwInterfaces = 0;
    uint32_t dwEngineFeatures = 0;
};

// Weights of Find; 0 means the field does not matter.
struct TTSMODEINFORANK {
    uint32_t dwEngineID = 0, dwMfgName = 0, dwProductName = 0, dwModeID = 0, dwModeName = 0, dwLanguage = 0,
             dwDialect = 0, dwSpeaker = 0, dwStyle = 0, dwGender = 0, dwAge = 0, dwFeatures = 0, dwInterfaces = 0,
             dwEngineFeatures = 0;
};

struct SDATA {
    void *pData = nullptr;
    uint32_t dwSize = 0;  // bytes
};

struct TTSMOUTH {
    uint8_t bMouthHeight = 0, bMouthWidth = 0, bMouthUpturn = 0, bJawOpen = 0, bTeethUpperVisible = 0,
            bTeethLowerVisible = 0, bTonguePosn = 0, bLipTension = 0;
};

// Memory handed out by the platform (the phoneme buffer) is freed with this.
void *CoTaskMemAlloc(size_t bytes);
void CoTaskMemFree(void *p);

class IUnknown;
using UnknownPtr = std::shared_ptr<IUnknown>;

class IUnknown : public std::enable_shared_from_this<IUnknown>
{
public:
    virtual ~IUnknown() = default;
    // Gives the interface iid of this object in out: S_OK, or E_NOINTERFACE
    // with out empty. The default answers for every interface the object's
    // class implements.
    virtual HRESULT QueryInterface(const GUID &iid, UnknownPtr &out);
};

// Typed convenience over QueryInterface.
template <class I>
std::shared_ptr<I> queryAs(const UnknownPtr &object, const GUID &iid, HRESULT *result = nullptr)
{
    UnknownPtr out;
    HRESULT r = object ? object->QueryInterface(iid, out) : E_POINTER;
    if (result)
        *result = r;
    return r == S_OK ? std::dynamic_pointer_cast<I>(out) : nullptr;
}

class ITTSNotifySinkW : public virtual IUnknown
{
public:
    virtual HRESULT AttribChanged(uint32_t dwAttribute) = 0;
    virtual HRESULT AudioStart(QWORD qTimeStamp) = 0;
    virtual HRESULT AudioStop(QWORD qTimeStamp) = 0;
    virtual HRESULT Visual(QWORD qTimeStamp, char16_t cIPAPhoneme, char16_t cEnginePhoneme, uint32_t dwHints,
                           const TTSMOUTH *pTTSMouth) = 0;
};

class ITTSBufNotifySink : public virtual IUnknown
{
public:
    virtual HRESULT TextDataDone(QWORD qTimeStamp, uint32_t dwFlags) = 0;
    virtual HRESULT TextDataStarted(QWORD qTimeStamp) = 0;
    virtual HRESULT BookMark(QWORD qTimeStamp, uint32_t dwMarkNum) = 0;
    virtual HRESULT WordPosition(QWORD qTimeStamp, uint32_t dwByteOffset) = 0;
};

class ITTSCentralW : public virtual IUnknown
{
public:
    virtual HRESULT Inject(const char16_t *pszTag) = 0;
    virtual HRESULT ModeGet(TTSMODEINFOW *pttsInfo) = 0;
    // Converts text to phonemes; *pdOut is allocated with CoTaskMemAlloc.
    virtual HRESULT Phoneme(uint32_t eCharacterSet, uint32_t dwFlags, SDATA dText, SDATA *pdOut) = 0;
    virtual HRESULT PosnGet(QWORD *pqTimeStamp) = 0;
    // Queues a text (UTF-16, size in bytes, terminating null included).
    // The sink, when given, reports on this text.
    virtual HRESULT TextData(uint32_t eCharacterSet, uint32_t dwFlags, SDATA dText, const UnknownPtr &pNotifyInterface,
                             const GUID &iidNotifyInterface) = 0;
    virtual HRESULT ToFileTime(QWORD qTimeStamp, int64_t *pFT) = 0;
    virtual HRESULT AudioPause() = 0;
    virtual HRESULT AudioResume() = 0;
    virtual HRESULT AudioReset() = 0;
    virtual HRESULT Register(const UnknownPtr &pNotifyInterface, const GUID &iidNotifyInterface, uint32_t *pdwKey) = 0;
    virtual HRESULT UnRegister(uint32_t dwKey) = 0;
};

class ITTSAttributesW : public virtual IUnknown
{
public:
    virtual HRESULT PitchGet(uint16_t *pwPitch) = 0;
    virtual HRESULT PitchSet(uint16_t wPitch) = 0;
    virtual HRESULT RealTimeGet(uint32_t *pdwRealTime) = 0;
    virtual HRESULT RealTimeSet(uint32_t dwRealTime) = 0;
    virtual HRESULT SpeedGet(uint32_t *pdwSpeed) = 0;
    virtual HRESULT SpeedSet(uint32_t dwSpeed) = 0;
    virtual HRESULT VolumeGet(uint32_t *pdwVolume) = 0;
    virtual HRESULT VolumeSet(uint32_t dwVolume) = 0;
};

class ITTSDialogsW : public virtual IUnknown
{
public:
    virtual HRESULT AboutDlg(HWND hWndParent, const char16_t *pszTitle) = 0;
    virtual HRESULT LexiconDlg(HWND hWndParent, const char16_t *pszTitle) = 0;
    virtual HRESULT GeneralDlg(HWND hWndParent, const char16_t *pszTitle) = 0;
    virtual HRESULT TranslateDlg(HWND hWndParent, const char16_t *pszTitle) = 0;
};

class ITTSEnumW : public virtual IUnknown
{
public:
    virtual HRESULT Next(uint32_t celt, TTSMODEINFOW *pNext, uint32_t *pceltFetched) = 0;
    virtual HRESULT Skip(uint32_t celt) = 0;
    virtual HRESULT Reset() = 0;
    // Binds the mode's engine to the audio destination.
    virtual HRESULT Select(GUID gModeID, std::shared_ptr<ITTSCentralW> &ppiTTSCentral,
                           const UnknownPtr &pIUnknownForAudio) = 0;
};

class ITTSFindW : public virtual IUnknown
{
public:
    // The installed mode closest to the query by the rank weights (all
    // weights equal when pRank is null); an all-zero query gives the default voice.
    virtual HRESULT Find(const TTSMODEINFOW *pttsInfo, const TTSMODEINFORANK *pttsInfoRank,
                         TTSMODEINFOW *pttsInfoFound) = 0;
    virtual HRESULT Select(GUID gModeID, std::shared_ptr<ITTSCentralW> &ppiTTSCentral,
                           const UnknownPtr &pIUnknownForAudio) = 0;
};

class IAudioMultiMediaDevice : public virtual IUnknown
{
public:
    virtual HRESULT DeviceNumSet(uint32_t dwDeviceID) = 0;  // 0xFFFFFFFF: the default device
    virtual HRESULT DeviceNumGet(uint32_t *pdwDeviceID) = 0;
};

class IAudioFile : public virtual IUnknown
{
public:
    virtual HRESULT Set(const char16_t *pszFile, uint32_t dwType) = 0;  // dwType 1: WAV
    virtual HRESULT Flush() = 0;
};

class IAudioDirect : public virtual IUnknown
{
public:
    virtual HRESULT Init(const UnknownPtr &pDirectSound, const GUID &iid) = 0;
};

// Creates a platform object (the enumerator or one of the audio destinations)
// and gives its interface iid. REGDB_E_CLASSNOTREG for an unknown class.
HRESULT CoCreateInstance(const GUID &clsid, const UnknownPtr &outer, uint32_t clsContext, const GUID &iid,
                         UnknownPtr &out);

// Copies a string into a fixed mode-record field, cut to fit with a null.
void copyName(char16_t (&field)[TTSI_NAMELEN], const char16_t *text, size_t length);
// Length of a mode-record field up to its first null.
size_t nameLength(const char16_t *field, size_t capacity = TTSI_NAMELEN);

}  // namespace sapi
