#pragma once
// The Engines / Voices page: the tree of engine groups and voices, its
// buttons and menu (PopupMenu3), and the voice editor. Every change goes
// into the catalogue at once and on to the settings record.

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
class MainWindow;
class TVoiceEntry;

class EnginesVoicesPage : public QObject
{
    Q_OBJECT
public:
    // Node images: favourite voice or enabled group, excluded voice or
    // disabled group, the default voice.
    enum NodeImage { niFavorite = 0, niExcluded = 1, niDefault = 2 };

    explicit EnginesVoicesPage(MainWindow &form);
    ~EnginesVoicesPage() override;

    QMenu *PopupMenu3() const { return m_popupMenu3; }
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
    void EngineVoicesTVMouseDown(QTreeWidgetItem *node);
    void EngineVoicesTVDblClick(QTreeWidgetItem *node);
    void UpdateVoiceMenuItems();
    void EnableItemClick();
    void SetDfltItemClick();
    void EditVoiceItemClick();
    void TestButtonClick();

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

    MainWindow &m_form;
    QMenu *m_popupMenu3 = nullptr;
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
