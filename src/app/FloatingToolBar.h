#pragma once
// The floating toolbar: the reading commands, the short status and a
// progress gauge in a small window of its own, for use while the main window
// is hidden in the tray. It knows nothing of the main window: its command
// buttons show the shared reading actions (enabled state and all), and it
// reports the rest by signals.

#include <QWidget>

#include <memory>

namespace Ui {
class FloatingToolBar;
}

class ReadingActions;
class TPreferences;

class FloatingToolBar : public QWidget
{
    Q_OBJECT

public:
    static const QString Caption;  // "Voxtrella MP3 Toolbar"

    // Create it without a parent: a window owned by the main window would
    // lose its own taskbar entry. Its five command buttons show commands.
    explicit FloatingToolBar(const ReadingActions *commands = nullptr, QWidget *parent = nullptr);
    ~FloatingToolBar() override;  // saves the window placement

    // The reading commands the five command buttons give, with their
    // enabled state, hints and shortcuts (which then work in this window too).
    void SetCommands(const ReadingActions &commands);

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

    // Shows it in its normal (not minimised) state.
    void ShowNormal();

    // Brings it to the front and keeps it on top of other windows exactly
    // when ToolbarOnTop is set.
    void FormActivate();
    bool IsOnTop() const;

    // The settings whose "on top" choice FormActivate applies; without them
    // the toolbar is an ordinary window.
    void SetPreferences(const TPreferences *prefs) { m_prefs = prefs; }

signals:
    // RestoreBtn: the main window is wanted back.
    void RestoreRequested();
    // The toolbar was shown (the tray item "Show &Toolbar" goes off) or the
    // user closed it, which only hides it (the item comes back on).
    void Shown();
    void ClosedByUser();

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
