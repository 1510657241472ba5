// Times the text filter on news-like text full of replacements (agency
// names, state codes, shouted headlines, web addresses, ellipses) at three
// sizes; the time must grow in proportion to the text.
#include "TTSFilter.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>

namespace {

QString newsText(qsizetype size)
{
    const QStringList sentences = {
        QStringLiteral("BREAKING NEWS: Officials in Sacramento, CA said on Monday (AP) that the budget passed... "),
        QStringLiteral("Read more at www.example.com/politics/budget-vote or http://news.example.org/a/b today. "),
        QStringLiteral("Storms moved from TX into OK and AR overnight, the National Weather Service said. "),
        QStringLiteral("NASA will launch the probe from FL next week; engineers are READY [see photos]. "),
        QStringLiteral("Shares rose 3.5 percent in NY trading -- the best day since March!!! Analysts agreed. "),
        QStringLiteral("The mayor of Boston, MA, spoke with reporters about the plan, quoted by AP. "),
    };
    QString text;
    text.reserve(size + 200);
    for (int k = 0; text.size() < size; ++k)
        text += sentences.at(k % sentences.size());
    text.truncate(size);
    return text;
}

double secondsToFilter(const QString &text, int rounds)
{
    TTTSFilter filter;
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        const QString out = filter.FilterText(0, text, true);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (out.isEmpty())
            std::fprintf(stderr, "filter returned nothing\n");
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main()
{
    const double s100k = secondsToFilter(newsText(100'000), 5);
    const double s1m = secondsToFilter(newsText(1'000'000), 3);
    const double s10m = secondsToFilter(newsText(10'000'000), 2);
    std::printf("filter_100k_s=%.6f\n", s100k);
    std::printf("filter_1m_s=%.6f\n", s1m);
    std::printf("filter_10m_s=%.6f\n", s10m);
    std::printf("filter_growth_10m_over_1m=%.2f\n", s10m / s1m);

    // Mapping a word position back is done once per spoken word.
    TTTSFilter filter;
    const QString out = filter.FilterText(0, newsText(10'000'000), true);
    const auto start = std::chrono::steady_clock::now();
    long long sum = 0;
    const int lookups = 100'000;
    for (int k = 0; k < lookups; ++k)
        sum += filter.MapPosition(int((qsizetype(k) * 7919) % out.size()));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("map_position_10m_ms=%.6f\n", took.count() * 1000.0 / lookups);
    std::printf("filter_10m_records=%zu\n", filter.Offsets().size());
    return sum < 0 ? 1 : 0;
}
