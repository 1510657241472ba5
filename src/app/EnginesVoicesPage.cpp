#include "EnginesVoicesPage.h"

#include "EnginesVoicesForm.h"
#include "ui_EnginesVoicesForm.h"

#include "platform/shell/MessageService.h"
#include "reader/Speaker.h"
#include "settings/PreferenceUnit.h"
#include "voices/TTSEngineUnit.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QHash>
#include <QSet>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cmath>
#include <numbers>

namespace {

const QString kTestFallback = QStringLiteral("Thanks for trying Voxtrella MP3");
const QString kReadingTest = QStringLiteral("Reading Test Message");
const QString kIsDefaultVoice = QStringLiteral(" is the default voice");
const QString kLanguageNode = QStringLiteral("Language");
// The rule stands; the message tells the way past it.
const QString kCannotDisable = QStringLiteral(
    "This engine cannot be disabled because it contains the default voice, [%1]\r\r"
    "To disable it, first choose a voice of another engine and click Set Default.");
const QString kNoRanges =
    QStringLiteral("The pitch and speed of %1 could not be read from its engine, so the voice cannot be edited.");

constexpr int kImageRole = Qt::UserRole;
constexpr int kVoiceRole = Qt::UserRole + 1;
constexpr int kGroupRole = Qt::UserRole + 2;

// The node images, drawn so that they need no files and read on light and
// dark backgrounds alike: saturated fills with a dark rim and a white mark.
QPixmap DrawImage(int image, int size, qreal ratio)
{
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    switch (image) {
    case EnginesVoicesPage::niFavorite:
        p.setPen(QPen(QColor(0x14, 0x52, 0x22), 1.0));
        p.setBrush(QColor(0x2e, 0x9e, 0x44));
        p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
        p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(4.8, 8.3), QPointF(7.1, 10.6), QPointF(11.3, 5.6)}));
        break;
    case EnginesVoicesPage::niExcluded:
        p.setPen(QPen(QColor(0x6e, 0x10, 0x10), 1.0));
        p.setBrush(QColor(0xd0, 0x30, 0x30));
        p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.2, 6.9, 7.6, 2.2));
        break;
    default: {
        QPainterPath star;
        for (int i = 0; i < 10; ++i) {
            const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
            const double r = i % 2 ? 3.2 : 7.4;
            const QPointF point(8 + r * std::cos(angle), 8.6 + r * std::sin(angle));
            i ? star.lineTo(point) : star.moveTo(point);
        }
        star.closeSubpath();
        p.setPen(QPen(QColor(0x7a, 0x5a, 0x00), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(0xf2, 0xb7, 0x05));
        p.drawPath(star);
        break;
    }
    }
    return pixmap;
}

QIcon ImageIcon(int image)
{
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0})
        icon.addPixmap(DrawImage(image, 16, ratio));
    return icon;
}

// What a screen reader says for a node's image.
QString ImageText(int image, bool voice)
{
    switch (image) {
    case EnginesVoicesPage::niFavorite:
        return voice ? QStringLiteral("Favorite") : QStringLiteral("Enabled");
    case EnginesVoicesPage::niExcluded:
        return voice ? QStringLiteral("Excluded") : QStringLiteral("Disabled");
    default:
        return QStringLiteral("Default voice");
    }
}

}  // namespace

EnginesVoicesPage::EnginesVoicesPage(EnginesVoicesForm &page, TPreferences &prefs, QObject *parent)
    : QObject(parent), m_page(page), ui(page.Controls()), m_prefs(prefs)
{
    for (int i = 0; i < 3; ++i)
        m_images[size_t(i)] = ImageIcon(i);
    QLabel *legend[] = {ui.epImage1, ui.epImage2, ui.epImage3};
    for (int i = 0; i < 3; ++i) {
        legend[i]->setPixmap(DrawImage(i, 20, legend[i]->devicePixelRatioF()));
        legend[i]->setAlignment(Qt::AlignCenter);
    }

    QTreeWidget *tree = ui.EngineVoicesTV;
    tree->setIconSize(QSize(16, 16));
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    // A double click changes a voice; it must not fold a group as well.
    tree->setExpandsOnDoubleClick(false);
    connect(tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        NodeSelected(current);
        // After the tree has scrolled to it.
        QMetaObject::invokeMethod(this, &EnginesVoicesPage::KeepSelectedInView, Qt::QueuedConnection);
    });
    connect(tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *node) { NodeDoubleClicked(node); });

    BuildPopupMenu();
    connect(tree, &QWidget::customContextMenuRequested, this, [this, tree](const QPoint &pos) {
        if (QTreeWidgetItem *node = tree->itemAt(pos))
            tree->setCurrentItem(node);
        m_voiceMenu->popup(tree->viewport()->mapToGlobal(pos));
    });

    connect(ui.EnableBtn, &QPushButton::clicked, this, &EnginesVoicesPage::EnableItemClick);
    connect(ui.SetDfltBtn, &QPushButton::clicked, this, &EnginesVoicesPage::SetDfltItemClick);
    connect(ui.EditBtn, &QPushButton::clicked, this, &EnginesVoicesPage::EditVoiceItemClick);
    connect(ui.TestButton, &QPushButton::clicked, this, &EnginesVoicesPage::TestButtonClick);

    // A tab chosen before the catalogue existed builds its tree when it is
    // next shown (eventFilter).
    m_page.installEventFilter(this);

    m_editor = new TVoiceEditForm(&m_page);
}

EnginesVoicesPage::~EnginesVoicesPage() = default;

void EnginesVoicesPage::AttachReading(Speaker &driver, ReadingController &reading)
{
    m_driver = &driver;
    m_reading = &reading;
    // A speech service that answered after start-up brings its voices late:
    // the tree and every voice list take them in.
    connect(&driver, &Speaker::VoicesAdded, this, [this] {
        if (m_treeBuilt) {
            // The user's place in the tree stays where it was.
            QTreeWidget *tree = ui.EngineVoicesTV;
            const QTreeWidgetItem *current = tree->currentItem();
            const TVoiceEntry *voice = VoiceOf(current);
            const QString text = current ? current->text(0) : QString();
            BuildTree();
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                if (voice ? VoiceOf(*it) == voice : (*it)->text(0) == text) {
                    tree->setCurrentItem(*it);
                    break;
                }
            }
        }
        emit FavoritesChanged();
    });
}

void EnginesVoicesPage::BuildPopupMenu()
{
    m_voiceMenu = new QMenu(&m_page);
    m_voiceMenu->setObjectName(QStringLiteral("PopupMenu3"));
    m_voiceMenu->setAccessibleName(tr("Engines and voices menu"));
    auto add = [this](const char *name, const QString &text, void (EnginesVoicesPage::*handler)()) {
        QAction *action = m_voiceMenu->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    m_enableItem = add("EnableItem", QStringLiteral("Enable Engine"), &EnginesVoicesPage::EnableItemClick);
    m_setDfltItem = add("SetDfltItem", QStringLiteral("Set Voice as Default"), &EnginesVoicesPage::SetDfltItemClick);
    m_editVoiceItem = add("EditVoiceItem", QStringLiteral("Edit Voice"), &EnginesVoicesPage::EditVoiceItemClick);
    m_testItem = add("TestItem", QStringLiteral("Test"), &EnginesVoicesPage::TestButtonClick);
    connect(m_voiceMenu, &QMenu::aboutToShow, this, &EnginesVoicesPage::UpdateVoiceMenuItems);
}

bool EnginesVoicesPage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && watched == &m_page && !m_treeBuilt)
        EngineVoicesTabShow();
    return QObject::eventFilter(watched, event);
}

// ------------------------------------------------------------------- nodes

int EnginesVoicesPage::ImageOf(const QTreeWidgetItem *node)
{
    return node && !IsLanguageNode(node) ? node->data(0, kImageRole).toInt() : -1;
}

TVoiceEntry *EnginesVoicesPage::VoiceOf(const QTreeWidgetItem *node)
{
    return node ? reinterpret_cast<TVoiceEntry *>(node->data(0, kVoiceRole).value<quintptr>()) : nullptr;
}

bool EnginesVoicesPage::IsLanguageNode(const QTreeWidgetItem *node)
{
    return node && node->parent() && !VoiceOf(node);
}

QString EnginesVoicesPage::GroupOf(const QTreeWidgetItem *node)
{
    while (node && node->parent())
        node = node->parent();
    return node ? node->data(0, kGroupRole).toString() : QString();
}

bool EnginesVoicesPage::IsDefault(const TVoiceEntry *voice) const
{
    return voice && voice->DisplayName == m_prefs.TTS_DefaultVoiceName;
}

bool EnginesVoicesPage::GroupEnabled(const QString &group) const
{
    // Engine flags stored apart could leave a group half enabled; it then
    // shows as disabled, and enabling it enables every engine of it.
    if (!m_driver)
        return false;
    TEngineList &engines = m_driver->Engines();
    bool any = false;
    for (int i = 0; i < engines.Count(); ++i) {
        if (engines.GroupName(i) != group)
            continue;
        if (!engines.Enabled(i))
            return false;
        any = true;
    }
    return any;
}

int EnginesVoicesPage::ImageFor(const QTreeWidgetItem *node) const
{
    if (const TVoiceEntry *voice = VoiceOf(node))
        // A favourite of a disabled engine is not offered, so it shows excluded.
        return IsDefault(voice) ? niDefault : voice->Offered() ? niFavorite : niExcluded;
    return GroupEnabled(GroupOf(node)) ? niFavorite : niExcluded;
}

void EnginesVoicesPage::SetImage(QTreeWidgetItem *node, int image)
{
    node->setData(0, kImageRole, image);
    node->setIcon(0, m_images[size_t(image)]);
    const QString text = ImageText(image, VoiceOf(node) != nullptr);
    node->setData(0, Qt::ToolTipRole, text);
    node->setData(0, Qt::AccessibleDescriptionRole, text);
}

// ------------------------------------------------------------ the page

void EnginesVoicesPage::EngineVoicesTabShow()
{
    Speaker *driver = m_driver;
    // Before the catalogue is built there is nothing to show yet; the tree
    // is built at the first showing after it.
    if (!driver || driver->Voices().Count() == 0)
        return;
    FollowReadingCommands();
    if (!m_treeBuilt)
        BuildTree();
    else
        RefreshImages();
}

void EnginesVoicesPage::BuildTree()
{
    QTreeWidget *tree = ui.EngineVoicesTV;
    TEngineList &engines = m_driver->Engines();
    TVoiceList &voices = m_driver->Voices();
    const QSignalBlocker block(tree);
    tree->clear();
    for (int i = 0; i < engines.Count(); ++i) {
        const QString group = engines.GroupName(i);
        bool known = false;
        for (int n = 0; n < tree->topLevelItemCount() && !known; ++n)
            known = GroupOf(tree->topLevelItem(n)) == group;
        if (known)
            continue;
        auto *groupNode = new QTreeWidgetItem(tree, QStringList(group));
        groupNode->setData(0, kGroupRole, group);
        SetImage(groupNode, ImageFor(groupNode));
        // A group that speaks several languages holds one node per language,
        // so that its voices (a handful for each of dozens of languages) do
        // not make one list of a hundred and more.
        QSet<const TEngineEntry *> languages;
        for (int v = 0; v < voices.Count(); ++v)
            if (voices.Items(v)->Engine && voices.Items(v)->Engine->GroupName == group)
                languages.insert(voices.Items(v)->Engine);
        QHash<const TEngineEntry *, QTreeWidgetItem *> languageNodes;
        for (int v = 0; v < voices.Count(); ++v) {
            TVoiceEntry *voice = voices.Items(v);
            if (!voice->Engine || voice->Engine->GroupName != group)
                continue;
            QTreeWidgetItem *parent = groupNode;
            if (languages.size() > 1) {
                QTreeWidgetItem *&language = languageNodes[voice->Engine];
                if (!language) {
                    language = new QTreeWidgetItem(groupNode, QStringList(voice->Engine->LanguageName));
                    language->setData(0, Qt::AccessibleDescriptionRole, kLanguageNode);
                }
                parent = language;
            }
            auto *voiceNode = new QTreeWidgetItem(parent, QStringList(voice->DisplayName));
            voiceNode->setData(0, kVoiceRole, QVariant::fromValue(reinterpret_cast<quintptr>(voice)));
            SetImage(voiceNode, ImageFor(voiceNode));
        }
    }
    tree->setCurrentItem(tree->topLevelItem(0));
    m_treeBuilt = true;
    NodeSelected(tree->currentItem());
}

void EnginesVoicesPage::RefreshImages()
{
    QTreeWidget *tree = ui.EngineVoicesTV;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if (!IsLanguageNode(*it))
            SetImage(*it, ImageFor(*it));
    NodeSelected(tree->currentItem());
    tree->viewport()->update();
}

// A small options strip scrolls the page itself; the selected node must not
// sit below its visible part.
void EnginesVoicesPage::KeepSelectedInView()
{
    QTreeWidgetItem *node = ui.EngineVoicesTV->currentItem();
    if (!node || !m_page.isVisible())
        return;
    const QRect row = ui.EngineVoicesTV->visualItemRect(node);
    const QPoint at = ui.EngineVoicesTV->viewport()->mapTo(ui.EngineVoicesTabContents, row.center());
    ui.EngineVoicesTabScroll->ensureVisible(at.x(), at.y(), 0, row.height());
}

void EnginesVoicesPage::NodeSelected(QTreeWidgetItem *node)
{
    const bool voice = VoiceOf(node) != nullptr;
    ui.SetDfltBtn->setEnabled(voice);
    ui.EditBtn->setEnabled(voice);
    ui.TestButton->setEnabled(voice && AloudAllowed());
    const int image = ImageOf(node);
    ui.EnableBtn->setText(image == niExcluded ? QStringLiteral("Enable") : QStringLiteral("Disable"));
    ui.EnableBtn->setAccessibleName(ui.EnableBtn->text());
    // The default voice cannot be excluded.
    // A language node only holds voices; the commands act on a voice or a group.
    ui.EnableBtn->setEnabled(node && image != niDefault && !IsLanguageNode(node));
}

void EnginesVoicesPage::UpdateVoiceMenuItems()
{
    QTreeWidgetItem *node = ui.EngineVoicesTV->currentItem();
    TVoiceEntry *voice = VoiceOf(node);
    if (!node || IsLanguageNode(node)) {
        for (QAction *item : {m_enableItem, m_setDfltItem, m_editVoiceItem, m_testItem})
            item->setEnabled(false);
        return;
    }
    if (!voice) {
        m_enableItem->setEnabled(true);
        m_enableItem->setText(GroupEnabled(GroupOf(node)) ? QStringLiteral("Disable Engine")
                                                          : QStringLiteral("Enable Engine"));
    } else {
        m_enableItem->setText(voice->Offered() ? QStringLiteral("Disable Voice") : QStringLiteral("Enable Voice"));
        m_enableItem->setEnabled(!IsDefault(voice));
    }
    m_setDfltItem->setEnabled(voice != nullptr);
    m_editVoiceItem->setEnabled(voice != nullptr);
    m_testItem->setEnabled(voice != nullptr && AloudAllowed());
}

// -------------------------------------------------------------- commands

void EnginesVoicesPage::ToggleFavorite(TVoiceEntry *voice)
{
    // A favourite shown excluded because its engine is off is offered again,
    // not dropped.
    voice->Favorite = !voice->Offered();
    if (voice->Favorite && voice->Engine)
        m_driver->Catalog().SetGroupEnabled(voice->Engine->GroupName, true);
}

void EnginesVoicesPage::VoicesChanged()
{
    RefreshImages();
    emit FavoritesChanged();
    m_driver->SaveVoicePrefs();
}

void EnginesVoicesPage::EnableItemClick()
{
    QTreeWidgetItem *node = ui.EngineVoicesTV->currentItem();
    if (!node || IsLanguageNode(node) || !m_driver)
        return;
    if (TVoiceEntry *voice = VoiceOf(node)) {
        if (IsDefault(voice)) {
            MessageService::notice(voice->DisplayName + kIsDefaultVoice);
            return;
        }
        ToggleFavorite(voice);
    } else {
        const QString group = GroupOf(node);
        const bool enabled = GroupEnabled(group);
        const TVoiceEntry *dflt = m_driver->FindVoice(m_prefs.TTS_DefaultVoiceName);
        if (enabled && dflt && dflt->Engine && dflt->Engine->GroupName == group) {
            MessageService::notice(kCannotDisable.arg(dflt->DisplayName));
            return;
        }
        m_driver->SetEngineEnabled(group, !enabled);
    }
    VoicesChanged();
}

void EnginesVoicesPage::NodeDoubleClicked(QTreeWidgetItem *node)
{
    if (IsLanguageNode(node))
        node->setExpanded(!node->isExpanded());
    TVoiceEntry *voice = VoiceOf(node);
    if (!voice || !m_driver)
        return;
    if (IsDefault(voice)) {
        MessageService::notice(voice->DisplayName + kIsDefaultVoice);
        return;
    }
    ToggleFavorite(voice);
    VoicesChanged();
}

void EnginesVoicesPage::SetDfltItemClick()
{
    TVoiceEntry *voice = VoiceOf(ui.EngineVoicesTV->currentItem());
    if (!voice || !m_driver)
        return;
    // Setting the default again is the way to offer a default voice that
    // stored settings left excluded or in a disabled group.
    if (IsDefault(voice) && voice->Offered())
        return;
    m_prefs.TTS_DefaultVoiceName = voice->DisplayName;
    voice->Favorite = true;
    if (voice->Engine)
        m_driver->Catalog().SetGroupEnabled(voice->Engine->GroupName, true);
    // All images from the rules: the previous default shows what it is,
    // favourite or excluded.
    VoicesChanged();
}

void EnginesVoicesPage::EditVoiceItemClick()
{
    TVoiceEntry *voice = VoiceOf(ui.EngineVoicesTV->currentItem());
    Speaker *driver = m_driver;
    if (!voice || !driver || !m_editor)
        return;
    if (voice->PitchMin == -1)
        driver->LoadVoiceDefaults(voice);
    if (voice->PitchMin == -1) {
        MessageService::error(kNoRanges.arg(voice->DisplayName));
        return;
    }
    VoiceEditValues values;
    values.DisplayName = voice->DisplayName;
    values.PitchMin = voice->PitchMin;
    values.PitchMax = voice->PitchMax;
    values.PitchDefault = voice->PitchDefault;
    values.Pitch = voice->Pitch > 0 ? voice->Pitch : voice->PitchDefault;
    values.SpeedMin = voice->SpeedMin;
    values.SpeedMax = voice->SpeedMax;
    values.SpeedDefault = voice->SpeedDefault;
    values.Speed = voice->Speed > 0 ? voice->Speed : voice->SpeedDefault;
    values.PlaysItself = !voice->WritesFiles();
    m_editor->SetVoice(values);
    // The test reads with the working values and leaves the voice's own.
    const QMetaObject::Connection test = connect(m_editor, &TVoiceEditForm::TestRequested, this,
                                                 [this, voice](int32_t pitch, int32_t speed) {
                                                     const int32_t keptPitch = voice->Pitch, keptSpeed = voice->Speed;
                                                     voice->Pitch = pitch;
                                                     voice->Speed = speed;
                                                     SpeakTest(voice);
                                                     voice->Pitch = keptPitch;
                                                     voice->Speed = keptSpeed;
                                                 });
    FollowReadingCommands();
    m_editor->SetTestAllowed(AloudAllowed());
    const int result = m_editor->exec();
    disconnect(test);
    if (result != QDialog::Accepted || !m_editor || State() == rsExiting)
        return;
    voice->Pitch = m_editor->Voice().Pitch;
    voice->Speed = m_editor->Voice().Speed;
    driver->ApplyPitch(voice);
    driver->ApplySpeed(voice);
    driver->SaveVoicePrefs();
}

void EnginesVoicesPage::TestButtonClick()
{
    if (TVoiceEntry *voice = VoiceOf(ui.EngineVoicesTV->currentItem()))
        SpeakTest(voice);
}

void EnginesVoicesPage::SpeakTest(TVoiceEntry *voice)
{
    if (State() != rsIdle || !m_reading)
        return;
    QString text = GetTestMessage(voice->Engine).trimmed();
    if (text.isEmpty())
        text = kTestFallback;
    m_reading->UpdateStatus(kReadingTest);
    m_reading->SpeakAudioHelp(text, voice->DisplayName);
}

// ------------------------------------------------------ reading state

// Test here and in the editor belongs to the read-aloud commands. The
// reading commands enable TestButton by their state alone; this runs after
// them and keeps it off while no voice is selected.
void EnginesVoicesPage::FollowReadingCommands()
{
    ReadingController *reading = m_reading;
    if (m_commandsConnection || !reading)
        return;
    m_aloudAllowed = reading->AllowedCommands().aloud;
    m_commandsConnection = connect(reading, &ReadingController::CommandsChanged, this,
                                   [this](ReadingController::Commands commands) { CommandsChanged(commands); });
}

void EnginesVoicesPage::CommandsChanged(ReadingController::Commands commands)
{
    m_aloudAllowed = commands.aloud;
    QTreeWidgetItem *node = ui.EngineVoicesTV->currentItem();
    ui.TestButton->setEnabled(m_aloudAllowed && VoiceOf(node));
    if (m_editor)
        m_editor->SetTestAllowed(m_aloudAllowed);
}

bool EnginesVoicesPage::AloudAllowed() const
{
    if (m_commandsConnection)
        return m_aloudAllowed;
    return State() == rsIdle;
}

ReadingState EnginesVoicesPage::State() const
{
    return m_reading ? m_reading->State() : rsIdle;
}
