#pragma once
// The reading commands as actions: one QAction per command, shared by the
// toolbar, the Read menu, the tray menu, the floating toolbar and the
// article menu, so that every place that offers a command shows the same
// enabled state and the same Pause/Resume caption. What the commands do is
// connected to their triggered signals by whoever runs the reading.

#include "reader/ReadingController.h"

#include <QObject>

class QAction;

class ReadingActions : public QObject
{
    Q_OBJECT
public:
    // Idle: Read Aloud and Read to File on, the others off.
    explicit ReadingActions(QObject *parent = nullptr);

    // The five command groups (Read menu, toolbars, tray menu).
    QAction *ReadAloud() const { return m_readAloud; }
    QAction *ReadToFile() const { return m_readToFile; }
    QAction *PauseResume() const { return m_pauseResume; }
    QAction *Skip() const { return m_skip; }
    QAction *Stop() const { return m_stop; }
    // The article menu's own reading commands.
    QAction *ReadFromCursor() const { return m_readFromCursor; }
    QAction *ReadSelected() const { return m_readSelected; }

    // The one place where the commands follow the reading state.
    void Apply(const ReadingController::Commands &commands);
    // "Resume" while paused, "Pause" otherwise.
    void ShowPaused(bool paused);
    bool ShowsPaused() const { return m_paused; }
    // Read Selected needs a selection in the selected article.
    void SetSelectionPresent(bool present);

signals:
    // Emitted by every Apply, for the controls outside these actions that
    // follow the same state: the voice test follows Read Aloud, and the
    // audio device and pronunciation commands need the sound device free.
    void ReadAloudAllowed(bool allowed);
    void SoundDeviceFree(bool free);

private:
    QAction *m_readAloud;
    QAction *m_readToFile;
    QAction *m_pauseResume;
    QAction *m_skip;
    QAction *m_stop;
    QAction *m_readFromCursor;
    QAction *m_readSelected;
    bool m_paused = false;
};
