// Feeds arbitrary text to the filter and checks it against the in-place
// algorithm: same output, same records, same mapping, mapping monotonic
// and inside the original text.
#include "ReferenceFilter.h"
#include "TTSFilter.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t flags = data[0];
    // Half the inputs as UTF-8, half as raw UTF-16 (odd surrogates and all).
    QString text;
    if (flags & 4)
        text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    else
        text = QString(reinterpret_cast<const QChar *>(data + 1), qsizetype((size - 1) / 2));
    const uint8_t features = (flags & 1) ? 3 : 0;
    const bool symbols = flags & 2;

    TTTSFilter fast;
    const QString out = fast.FilterText(features, text, symbols);
    reference::InPlaceFilter slow;
    const QString expected = slow.filter(features, text, symbols);
    if (out != expected || fast.Offsets().size() != slow.records.size())
        std::abort();

    long long total = 0;
    for (const TOffsetRecord &r : fast.Offsets())
        total += r.Change;
    if (out.size() + total != text.size())
        std::abort();

    int last = 0;
    for (int p = 0; p <= out.size(); ++p) {
        const int m = fast.MapPosition(p);
        if (m != slow.map(p) || m < last || m > text.size())
            std::abort();
        last = m;
    }
    return 0;
}
