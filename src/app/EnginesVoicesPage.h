#pragma once
// The Engines / Voices page: the tree of engine groups and voices, its
// buttons and menu (PopupMenu3), and the voice editor. Every change goes
// into the catalogue at once and on to the settings record; the favourite
// list's users hear of it by FavoritesChanged.

#include "dialogs/VoiceEditUnit.h"
#include "reader/ReadingController.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <cstdint>

class QAction;
class QMenu;
class QTreeWidgetItem;
class EnginesVoicesForm;
class Speaker;
class TPreferences;
class TVoiceEntry;

namespace Ui {
class EnginesVoicesForm;
}

class EnginesVoicesPage : public QObject
{
    Q_OBJECT
public:
    // Node images: favourite voice or enabled group, excluded voice or
    // disabled group, the default voice.
    enum NodeImage { niFavorite = 0, niExcluded = 1, niDefault = 2 };

    EnginesVoicesPage(EnginesVoicesForm &page, TPreferences &prefs, QObject *parent = nullptr);
    ~EnginesVoicesPage() override;

    // The voice catalogue's driver and the reading commands: the tree shows
    // the catalogue, and Test reads through the commands when they allow it.
    void AttachReading(Speaker &driver, ReadingController &reading);

    QMenu *VoiceMenu() const { return m_voiceMenu; }
    TVoiceEditForm *VoiceEditForm() const { return m_editor; }
    bool TreeBuilt() const { return m_treeBuilt; }

    // A node's image index (-1 for a language node), its voice (nullptr for a
    // group or language node) and its group. Groups of several languages hold
    // a language node per language, the voices below it.
    static int ImageOf(const QTreeWidgetItem *node);
    static TVoiceEntry *VoiceOf(const QTreeWidgetItem *node);
    static bool IsLanguageNode(const QTreeWidgetItem *node);
    static QString GroupOf(const QTreeWidgetItem *node);

    void EngineVoicesTabShow();
    // A node became the selected one, by mouse or keyboard.
    void NodeSelected(QTreeWidgetItem *node);
    void NodeDoubleClicked(QTreeWidgetItem *node);
    void UpdateVoiceMenuItems();
    void EnableItemClick();
    void SetDfltItemClick();
    void EditVoiceItemClick();
    void TestButtonClick();

signals:
    // Favourites, the default voice or an engine's state changed: the voice
    // lists offered elsewhere are to be read again.
    void FavoritesChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildPopupMenu();
    void BuildTree();
    void RefreshImages();
    void SetImage(QTreeWidgetItem *node, int image);
    int ImageFor(const QTreeWidgetItem *node) const;
    bool IsDefault(const TVoiceEntry *voice) const;
    // Every engine of the group is enabled.
    bool GroupEnabled(const QString &group) const;
    void ToggleFavorite(TVoiceEntry *voice);
    // After a change: images, the favourite lists, the settings record.
    void VoicesChanged();
    void SpeakTest(TVoiceEntry *voice);
    void KeepSelectedInView();
    void FollowReadingCommands();
    void CommandsChanged(ReadingController::Commands commands);
    bool AloudAllowed() const;
    ReadingState State() const;

    EnginesVoicesForm &m_page;
    Ui::EnginesVoicesForm &ui;
    TPreferences &m_prefs;
    Speaker *m_driver = nullptr;
    QPointer<ReadingController> m_reading;
    QMenu *m_voiceMenu = nullptr;
    QAction *m_enableItem = nullptr;
    QAction *m_setDfltItem = nullptr;
    QAction *m_editVoiceItem = nullptr;
    QAction *m_testItem = nullptr;
    QPointer<TVoiceEditForm> m_editor;
    std::array<QIcon, 3> m_images;
    bool m_treeBuilt = false;
    bool m_aloudAllowed = true;
    QMetaObject::Connection m_commandsConnection;
};
