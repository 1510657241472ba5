#include "OptionsStrip.h"

#include "settings/PreferenceUnit.h"

#include <QScrollArea>
#include <QSplitter>

#include <algorithm>
#include <vector>

namespace {

// The list keeps room for this many lines of text however large the band is.
constexpr int kListLines = 4;

}  // namespace

OptionsStrip::OptionsStrip(const Frame &frame, TPreferences &prefs, QObject *parent)
    : QObject(parent), m_frame(frame), m_prefs(prefs)
{
    // The list takes what the window gains or loses and keeps a few lines
    // however far the band is dragged; the band keeps its height.
    m_frame.splitter->setStretchFactor(1, 1);
    m_frame.list->setMinimumHeight(kListLines * m_frame.list->fontMetrics().height());
    connect(m_frame.splitter, &QSplitter::splitterMoved, this, &OptionsStrip::OptionsSplitterMoved);
}

int OptionsStrip::MenuAndStatusHeight() const
{
    return m_frame.menuBar->sizeHint().height() + m_frame.statusBar->minimumHeight();
}

int OptionsStrip::WholePagesHeight() const
{
    // Each page asks, for a moment, for all it holds; the band's least
    // height is then the height that shows every page without scrolling.
    QWidget *band = m_frame.band;
    std::vector<std::pair<QScrollArea *, int>> kept;
    for (QScrollArea *page : band->findChildren<QScrollArea *>()) {
        if (!page->widget())
            continue;
        kept.emplace_back(page, page->minimumHeight());
        page->setMinimumHeight(page->widget()->minimumSizeHint().height() + 2 * page->frameWidth());
    }
    // Layouts keep the sizes they counted, and a hidden page tells its
    // parents nothing: each widget up to the band is told.
    const auto recount = [band, &kept] {
        for (const auto &entry : kept) {
            for (QWidget *w = entry.first; w && w != band; w = w->parentWidget())
                w->updateGeometry();
        }
    };
    recount();
    const int height = band->minimumSizeHint().height();
    for (const auto &[page, least] : kept)
        page->setMinimumHeight(least);
    recount();
    return height;
}

int OptionsStrip::ShownStripHeight(int designed, int toolbar, int screenHeight) const
{
    // A stored height is held to what the screen leaves besides the menu,
    // toolbar, status bar and the list's least height; a smaller window gets
    // the band the splitter can give it, and the rest back when it grows.
    const int room = screenHeight - MenuAndStatusHeight() - toolbar - m_frame.list->minimumHeight();
    // A desktop font that draws the pages taller than they were designed
    // grows the band until they show whole, as far as the screen allows.
    const int band = std::max(designed - toolbar, std::min(WholePagesHeight(), room));
    return toolbar + m_prefs.OptionsBandHeight(band, m_frame.band->minimumSizeHint().height(), room);
}

int OptionsStrip::SetStripHeight(int height)
{
    height = std::max(0, height);
    const bool band = !m_frame.band->isHidden() && height > 0;
    if (band) {
        const int toolbar = m_frame.toolBar->isHidden() ? 0 : m_frame.toolBar->maximumHeight();
        m_frame.strip->setMinimumHeight(std::min(height, toolbar + m_frame.band->minimumSizeHint().height()));
        m_frame.strip->setMaximumHeight(QWIDGETSIZE_MAX);
    } else {
        m_frame.strip->setFixedHeight(height);
    }
    // A handle that cannot move takes no room and lets clicks through to the list.
    QSplitter *splitter = m_frame.splitter;
    splitter->setHandleWidth(band ? -1 : 0);
    splitter->handle(1)->setAttribute(Qt::WA_TransparentForMouseEvents, !band);
    m_frame.strip->setVisible(height > 0);
    splitter->setSizes({height, std::max(0, splitter->height() - height)});
    return MenuAndStatusHeight() + height + splitter->handleWidth() + m_frame.list->minimumHeight();
}

void OptionsStrip::OptionsSplitterMoved(int position)
{
    // The handle lies at the strip's lower edge, the band under the toolbar.
    m_prefs.OptionsHeight = position - (m_frame.toolBar->isHidden() ? 0 : m_frame.toolBar->height());
}
