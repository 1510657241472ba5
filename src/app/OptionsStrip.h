#pragma once
// The strip under the menu: the toolbar and, below it, the options band,
// split from the article list by a handle the user drags. Gives the strip
// its height and keeps the band at the height the user last dragged it to.

#include <QObject>

class QSplitter;
class QWidget;
class TPreferences;

class OptionsStrip : public QObject
{
    Q_OBJECT
public:
    // The window's parts the strip's height is counted from.
    struct Frame {
        QWidget *menuBar;
        QWidget *statusBar;
        // The strip above the handle, the list below it.
        QSplitter *splitter;
        // Toolbar and band, one over the other.
        QWidget *strip;
        QWidget *toolBar;
        // The options band: the mode sheets and the pages.
        QWidget *band;
        QWidget *list;
    };

    OptionsStrip(const Frame &frame, TPreferences &prefs, QObject *parent = nullptr);

    // With the band shown, a strip designed at designed pixels over a
    // toolbar of toolbar pixels, the band at the height the user last
    // dragged it to with the splitter; screenHeight is the height the
    // screen leaves for the window.
    int ShownStripHeight(int designed, int toolbar, int screenHeight) const;
    // Gives the strip its height. Only a shown band can be resized; without
    // it the strip is the toolbar alone, or nothing. Returns the window
    // height the strip and the list's least height need.
    int SetStripHeight(int height);

private:
    void OptionsSplitterMoved(int position);
    int MenuAndStatusHeight() const;
    int WholePagesHeight() const;

    Frame m_frame;
    TPreferences &m_prefs;
};
