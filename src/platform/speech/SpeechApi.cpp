// Identifiers, memory, interface lookup and object creation of the speech
// platform.
#include "SpeechApi.h"

#include "AudioDestinations.h"
#include "SpeechPlatformInternal.h"

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace sapi {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

GUID guidFromString(const char *text)
{
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 32 hex digits; anything
    // malformed gives the null GUID rather than a half-read one.
    if (!text)
        return {};
    const char *p = text;
    if (*p == '{')
        ++p;
    uint8_t bytes[16] = {};
    int n = 0;
    static const int dashAfter[] = {4, 6, 8, 10};
    while (n < 16) {
        if (std::find(std::begin(dashAfter), std::end(dashAfter), n) != std::end(dashAfter)) {
            if (*p != '-')
                return {};
            ++p;
        }
        int hi = hexValue(p[0]);
        int lo = hi < 0 ? -1 : hexValue(p[1]);
        if (hi < 0 || lo < 0)
            return {};
        bytes[n++] = static_cast<uint8_t>(hi * 16 + lo);
        p += 2;
    }
    if (text[0] == '{' ? (*p != '}' || p[1] != '\0') : *p != '\0')
        return {};
    GUID g;
    g.Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    g.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    std::copy(bytes + 8, bytes + 16, g.Data4);
    return g;
}

const GUID CLSID_TTSEnumerator = guidFromString("{D67C0280-C743-11CD-80E5-00AA003E4B50}");
const GUID CLSID_MMAudioDest = guidFromString("{CB96B400-C743-11CD-80E5-00AA003E4B50}");
const GUID CLSID_AudioDestFile = guidFromString("{D4623720-E4B9-11CF-8D56-00A0C9034A7E}");
const GUID CLSID_AudioDestDirect = guidFromString("{B9F11A90-90E3-11D0-8D77-00A0C9034A7E}");
const GUID IID_IUnknown = guidFromString("{00000000-0000-0000-C000-000000000046}");
const GUID IID_ITTSEnumW = guidFromString("{6B837B20-4A47-101B-931A-00AA0047BA4F}");
const GUID IID_ITTSFindW = guidFromString("{7AA42960-4A47-101B-931A-00AA0047BA4F}");
const GUID IID_ITTSCentralW = guidFromString("{28016060-4A47-101B-931A-00AA0047BA4F}");
const GUID IID_ITTSAttributesW = guidFromString("{1287A280-4A47-101B-931A-00AA0047BA4F}");
const GUID IID_ITTSDialogsW = guidFromString("{47F59D00-4A47-101B-931A-00AA0047BA4F}");
const GUID IID_ITTSNotifySinkW = guidFromString("{C0FA8F40-4A46-101B-931A-00AA0047BA4F}");
const GUID IID_ITTSBufNotifySink = guidFromString("{E4963D40-C743-11CD-80E5-00AA003E4B50}");
const GUID IID_IAudioMultiMediaDevice = guidFromString("{B68AD320-C743-11CD-80E5-00AA003E4B50}");
const GUID IID_IAudioFile = guidFromString("{FD7C2320-3D6D-11B9-C000-FED6CBA3B1A9}");
const GUID IID_IAudioDirect = guidFromString("{B9F11A94-90E3-11D0-8D77-00A0C9034A7E}");
const GUID IID_IDirectSound = guidFromString("{279AFA83-4981-11CE-A521-0020AF0BE560}");

void *CoTaskMemAlloc(size_t bytes)
{
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void CoTaskMemFree(void *p)
{
    std::free(p);
}

HRESULT IUnknown::QueryInterface(const GUID &iid, UnknownPtr &out)
{
    out.reset();
    struct Known {
        const GUID *iid;
        std::function<bool(IUnknown *)> implements;
    };
    static const Known known[] = {
        {&IID_IUnknown, [](IUnknown *) { return true; }},
        {&IID_ITTSEnumW, [](IUnknown *o) { return dynamic_cast<ITTSEnumW *>(o) != nullptr; }},
        {&IID_ITTSFindW, [](IUnknown *o) { return dynamic_cast<ITTSFindW *>(o) != nullptr; }},
        {&IID_ITTSCentralW, [](IUnknown *o) { return dynamic_cast<ITTSCentralW *>(o) != nullptr; }},
        {&IID_ITTSAttributesW, [](IUnknown *o) { return dynamic_cast<ITTSAttributesW *>(o) != nullptr; }},
        {&IID_ITTSDialogsW, [](IUnknown *o) { return dynamic_cast<ITTSDialogsW *>(o) != nullptr; }},
        {&IID_ITTSNotifySinkW, [](IUnknown *o) { return dynamic_cast<ITTSNotifySinkW *>(o) != nullptr; }},
        {&IID_ITTSBufNotifySink, [](IUnknown *o) { return dynamic_cast<ITTSBufNotifySink *>(o) != nullptr; }},
        {&IID_IAudioMultiMediaDevice, [](IUnknown *o) { return dynamic_cast<IAudioMultiMediaDevice *>(o) != nullptr; }},
        {&IID_IAudioFile, [](IUnknown *o) { return dynamic_cast<IAudioFile *>(o) != nullptr; }},
        {&IID_IAudioDirect, [](IUnknown *o) { return dynamic_cast<IAudioDirect *>(o) != nullptr; }},
    };
    UnknownPtr self = weak_from_this().lock();
    if (!self)
        return E_NOINTERFACE;  // not shared: nothing could keep the answer alive
    for (const Known &k : known) {
        if (*k.iid == iid) {
            if (!k.implements(this))
                return E_NOINTERFACE;
            out = self;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

void copyName(char16_t (&field)[TTSI_NAMELEN], const char16_t *text, size_t length)
{
    size_t n = text ? std::min(length, size_t(TTSI_NAMELEN - 1)) : 0;
    std::fill(std::begin(field), std::end(field), u'\0');
    for (size_t i = 0; i < n && text[i]; ++i)
        field[i] = text[i];
}

size_t nameLength(const char16_t *field, size_t capacity)
{
    if (!field)
        return 0;
    size_t n = 0;
    while (n < capacity && field[n])
        ++n;
    return n;
}

HRESULT CoCreateInstance(const GUID &clsid, const UnknownPtr &outer, uint32_t clsContext, const GUID &iid,
                         UnknownPtr &out)
{
    out.reset();
    if (outer)
        return CLASS_E_NOAGGREGATION;
    UnknownPtr object;
    if (clsid == CLSID_TTSEnumerator) {
        if (!SpeechPlatform::installed())
            return REGDB_E_CLASSNOTREG;
        object = makeModeEnumerator();
    } else if (clsid == CLSID_MMAudioDest) {
        object = std::make_shared<MMAudioDest>();
    } else if (clsid == CLSID_AudioDestFile) {
        object = std::make_shared<FileAudioDest>();
    } else if (clsid == CLSID_AudioDestDirect) {
        object = std::make_shared<DirectAudioDest>();
    } else {
        return REGDB_E_CLASSNOTREG;
    }
    return object->QueryInterface(iid, out);
}

}  // namespace sapi
