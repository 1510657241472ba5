#pragma once
// The floating toolbar: the reading commands, the short status and a
// progress gauge in a small window of its own, for use while the main window
// is hidden in the tray. It knows nothing of the main window; the main
// window assigns the callbacks and drives the status, gauge and buttons.

#include <QIcon>
#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class FloatingToolBar;
}

// A command's icon: the desktop theme's, else a symbol drawn in the
// palette's button text colour (visible in light, dark and high-contrast
// palettes). The main window's toolbar uses the same symbols.
QIcon ToolBarIcon(const QString &themeName);

class TPreferences;

class FloatingToolBar : public QWidget
{
    Q_OBJECT

public:
    static const QString Caption;  // "Voxtrella MP3 Toolbar"

    // Create it without a parent: a window owned by the main window would
    // lose its own taskbar entry.
    explicit FloatingToolBar(QWidget *parent = nullptr);
    ~FloatingToolBar() override;  // saves the window placement

    // The commands of the buttons (main window's PlayAllBtnClick,
    // PlayFileBtnClick, PauseBtnClick, SkipBtnClick, StopBtnClick,
    // RestoreFromTray). An empty callback does nothing.
    std::function<void()> OnPlay;
    std::function<void()> OnPlayFile;
    std::function<void()> OnPause;
    std::function<void()> OnSkip;
    std::function<void()> OnStop;
    std::function<void()> OnRestore;

    // The toolbar was shown (the tray item "Show &Toolbar" goes off) or the
    // user closed it, which only hides it (the item comes back on).
    std::function<void()> OnShown;
    std::function<void()> OnUserClosed;

    // StatusLabel: the short status text.
    void SetStatusText(const QString &text);
    QString StatusText() const;

    // Gauge1, driven together with the main window's gauge.
    void SetGaugeRange(int minimum, int maximum);
    void SetGaugePosition(int position);
    int GaugePosition() const;
    // A caption drawn on the gauge (while converting); empty for none.
    void SetGaugeText(const QString &text);
    void SetGaugeVisible(bool visible);
    bool IsGaugeVisible() const;
    // Idle: hidden and back to 0.
    void ResetGauge();

    // The command groups of the reading state.
    void SetAloudEnabled(bool enabled);
    void SetFileEnabled(bool enabled);
    void SetPauseEnabled(bool enabled);
    void SetSkipEnabled(bool enabled);
    void SetStopEnabled(bool enabled);

    // Shows it in its normal (not minimised) state.
    void ShowNormal();

    // Brings it to the front and keeps it on top of other windows exactly
    // when ToolbarOnTop is set.
    void FormActivate();
    bool IsOnTop() const;

    void PlayToolBtnClick();
    void PlayFileBtnClick();
    void PauseBtnClick();
    void SkipBtnClick();
    void StopBtnClick();
    void RestoreBtnClick();

    // The settings whose "on top" choice FormActivate applies; without them
    // the toolbar is an ordinary window.
    void SetPreferences(const TPreferences *prefs) { m_prefs = prefs; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Wide enough that the title bar shows the whole caption.
    void FitCaption();

    std::unique_ptr<Ui::FloatingToolBar> ui;
    const TPreferences *m_prefs = nullptr;
    bool m_applyingTopmost = false;
};
