#pragma once
// The program's windows, created in their fixed order at start-up and
// destroyed in reverse order at the end. The program entry and the tests
// share it, so both start the program the same way.

#include <memory>

class MainWindow;
class FloatingToolBar;
class Speaker;
class TOutDirDialog;
class TEngineWarningForm;

class AppWindows
{
public:
    AppWindows();
    ~AppWindows();
    AppWindows(const AppWindows &) = delete;
    AppWindows &operator=(const AppWindows &) = delete;

    // Creates every window. When the reading driver cannot be created the
    // engine warning is shown and the application is asked to end (the
    // message loop then ends at once); the other windows are still created.
    // Returns false in that case.
    bool Create();

    MainWindow *MainForm() const { return m_form1.get(); }

private:
    // Installed first, removed last: every window and the layers below
    // reach the user through it.
    std::unique_ptr<class WidgetInteraction> m_interaction;
    // The settings record every window works with; it outlives them.
    std::unique_ptr<class TPreferences> m_prefs;
    std::unique_ptr<MainWindow> m_form1;
    std::unique_ptr<FloatingToolBar> m_toolBarForm;
    std::unique_ptr<Speaker> m_ttsForm;
    std::unique_ptr<TOutDirDialog> m_outDirDialog;
    std::unique_ptr<TEngineWarningForm> m_engineWarningForm;
};
