// The Engines / Voices page with the real catalogue: groups holding the
// voices of several engines, enabling and disabling groups and voices, the
// default voice, the voice editor and the Test commands.
#include "WindowTestSupport.h"

#include "EnginesVoicesPage.h"
#include "dialogs/VoiceEditUnit.h"

#include <QPushButton>
#include <QSet>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>

namespace {

using namespace WindowTesting;
using Page = EnginesVoicesPage;

class VoicesPageTest : public WindowTest
{
protected:
    void ShowPage()
    {
        form->ShowOptionsPage(*ui->EngineVoicesTab);
        tree = VoicesTab().EngineVoicesTV;
        ASSERT_TRUE(Page().TreeBuilt());
    }
    EnginesVoicesPage &Page() const { return form->VoicesPage(); }
    // The voice of that name, else the group or language; shown, with its parents open.
    QTreeWidgetItem *Node(const QString &text) const
    {
        const QList<QTreeWidgetItem *> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        EXPECT_FALSE(found.isEmpty()) << text.toStdString();
        QTreeWidgetItem *node = found.value(0);
        for (QTreeWidgetItem *n : found)
            node = Page::VoiceOf(n) ? n : node;
        for (QTreeWidgetItem *p = node ? node->parent() : nullptr; p; p = p->parent())
            p->setExpanded(true);
        return node;
    }
    // The voice nodes under a node, in tree order.
    static QList<QTreeWidgetItem *> VoiceNodes(QTreeWidgetItem *node)
    {
        QList<QTreeWidgetItem *> found;
        for (int i = 0; i < node->childCount(); ++i)
            found += Page::VoiceOf(node->child(i)) ? QList{node->child(i)} : VoiceNodes(node->child(i));
        return found;
    }
    void Select(const QString &text) const { tree->setCurrentItem(Node(text)); }
    // The voices of a group in catalogue order.
    QList<TVoiceEntry *> GroupVoices(const QString &group) const
    {
        QList<TVoiceEntry *> voices;
        for (int i = 0; i < form->Driver()->Voices().Count(); ++i)
            if (form->Driver()->Voices().Items(i)->Engine->GroupName == group)
                voices << form->Driver()->Voices().Items(i);
        return voices;
    }
    // The group's voices offered for reading, one flag each.
    QList<bool> Offered(const QString &group) const
    {
        QList<bool> offered;
        for (const TVoiceEntry *v : GroupVoices(group))
            offered << v->Offered();
        return offered;
    }
    qsizetype Favorites(const QString &group) const { return Offered(group).count(true); }
    TVoiceEntry *DefaultVoice() const { return form->Driver()->FindVoice(form->Preferences().TTS_DefaultVoiceName); }
    // The image every node must show, by the rules.
    void ExpectImagesFollowTheRules() const
    {
        for (int g = 0; g < tree->topLevelItemCount(); ++g) {
            QTreeWidgetItem *group = tree->topLevelItem(g);
            bool enabled = true;
            for (const TVoiceEntry *v : GroupVoices(group->text(0)))
                enabled = enabled && v->Engine->Enabled;
            EXPECT_EQ(Page::ImageOf(group), enabled ? 0 : 1) << group->text(0).toStdString();
            for (QTreeWidgetItem *node : VoiceNodes(group)) {
                const TVoiceEntry *v = Page::VoiceOf(node);
                EXPECT_EQ(Page::ImageOf(node), v == DefaultVoice() ? 2
                                               : v->Offered()      ? 0
                                                                   : 1)
                    << v->DisplayName.toStdString();
            }
        }
    }
    // As the mouse gives it: a click, then the second press.
    void DoubleClick(QTreeWidgetItem *node) const
    {
        const QPoint at = tree->visualItemRect(node).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, at);
    }
    // Page Down, or Page Up where the knob is already at the bottom.
    static void MoveByPage(QSlider *slider)
    {
        QTest::keyClick(slider, slider->value() > slider->minimum() ? Qt::Key_PageDown : Qt::Key_PageUp);
    }
    // Runs the edit command; inside the editor's loop, `inside` acts on it.
    void Edit(const std::function<void(TVoiceEditForm &)> &inside)
    {
        QTimer::singleShot(0, form, [this, inside] {
            ASSERT_TRUE(waitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000));
            auto *editor = qobject_cast<TVoiceEditForm *>(QApplication::activeModalWidget());
            ASSERT_NE(editor, nullptr);
            inside(*editor);
            if (editor->isVisible())
                editor->reject();
        });
        VoicesTab().EditBtn->click();
    }

    QTreeWidget *tree = nullptr;
};

const QString kEspeak = u"eSpeak NG"_s;
const QString kFlite = u"Flite"_s;

TEST_F(VoicesPageTest, GroupsHoldTheVoicesOfAllTheirEnginesAndTheButtonsFollowTheNode)
{
    Start();
    EXPECT_FALSE(Page().TreeBuilt());
    ShowPage();
    QTreeWidgetItem *espeak = Node(kEspeak);
    ASSERT_NE(Node(kFlite), nullptr);
    const QList<TVoiceEntry *> voices = GroupVoices(kEspeak);
    const QList<QTreeWidgetItem *> voiceNodes = VoiceNodes(espeak);
    ASSERT_EQ(voiceNodes.size(), voices.size());
    QSet<TEngineEntry *> engines;
    for (int i = 0; i < voiceNodes.size(); ++i) {
        EXPECT_EQ(Page::VoiceOf(voiceNodes[i]), voices[i]);
        engines << voices[i]->Engine;
        // Each language of the group is a node of its own holding its voices.
        EXPECT_EQ(voiceNodes[i]->parent()->text(0), voices[i]->Engine->LanguageName);
    }
    EXPECT_GE(engines.size(), 2);
    EXPECT_EQ(espeak->childCount(), engines.size());
    EXPECT_EQ(VoiceNodes(Node(kFlite)).size(), Node(kFlite)->childCount());  // one language: no language nodes
    ExpectImagesFollowTheRules();

    // The first node is chosen: a group, so only Enable acts.
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0));
    EXPECT_EQ(VoicesTab().EnableBtn->text(), u"Disable"_s);
    for (QPushButton *b : {VoicesTab().SetDfltBtn, VoicesTab().EditBtn, VoicesTab().TestButton})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    Page().UpdateVoiceMenuItems();
    QMenu *menu = Page().VoiceMenu();
    auto item = [menu](const char *name) { return menu->findChild<QAction *>(QLatin1String(name)); };
    EXPECT_EQ(item("EnableItem")->text(), u"Disable Engine"_s);
    EXPECT_FALSE(item("EditVoiceItem")->isEnabled());

    // A voice by keyboard, as by mouse.
    const TVoiceEntry *other = voices[0] == DefaultVoice() ? voices[1] : voices[0];
    tree->setFocus();
    Select(kEspeak);
    tree->collapseAll();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Right})
        QTest::keyClick(tree, key);
    EXPECT_TRUE(Page::IsLanguageNode(tree->currentItem()));
    EXPECT_FALSE(VoicesTab().EnableBtn->isEnabled() || VoicesTab().EditBtn->isEnabled());
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(Page::VoiceOf(tree->currentItem()), voices[0]);
    EXPECT_TRUE(VoicesTab().EditBtn->isEnabled());
    tree->setCurrentItem(Node(other->DisplayName));
    for (QPushButton *b : {VoicesTab().EnableBtn, VoicesTab().SetDfltBtn, VoicesTab().EditBtn, VoicesTab().TestButton})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    Page().UpdateVoiceMenuItems();
    EXPECT_EQ(item("EnableItem")->text(), other->Favorite ? u"Disable Voice"_s : u"Enable Voice"_s);
    EXPECT_TRUE(item("TestItem")->isEnabled());

    // A double click on a group neither folds it nor changes it.
    const auto favorites = Favorites(kEspeak);
    DoubleClick(espeak);
    EXPECT_TRUE(espeak->isExpanded());
    EXPECT_EQ(Favorites(kEspeak), favorites);
    EXPECT_TRUE(voices[0]->Engine->Enabled);
    EXPECT_TRUE(messages.isEmpty()) << Messages();
}

TEST_F(VoicesPageTest, TheDefaultVoiceShowsImage2EvenExcludedIsNeverExcludedAndKeepsItsGroupOn)
{
    Start();
    const QList<TVoiceEntry *> voices = GroupVoices(kEspeak);
    TVoiceEntry *dflt = voices.at(0);
    form->Preferences().TTS_DefaultVoiceName = dflt->DisplayName;
    dflt->Favorite = false;
    ShowPage();
    QTreeWidgetItem *node = Node(dflt->DisplayName);
    EXPECT_EQ(Page::ImageOf(node), 2);
    node->parent()->setExpanded(true);
    tree->setCurrentItem(node);
    EXPECT_FALSE(VoicesTab().EnableBtn->isEnabled());
    Page().UpdateVoiceMenuItems();
    EXPECT_FALSE(Page().VoiceMenu()->findChild<QAction *>(u"EnableItem"_s)->isEnabled());
    DoubleClick(node);
    Page().EnableItemClick();
    EXPECT_EQ(messages, QStringList(2, dflt->DisplayName + u" is the default voice"_s));
    EXPECT_FALSE(dflt->Favorite);
    // Set Default again offers it for reading.
    VoicesTab().SetDfltBtn->click();
    EXPECT_TRUE(dflt->Favorite);
    EXPECT_TRUE(form->Articles().FavoriteVoices().contains(dflt->DisplayName));
    EXPECT_EQ(Page::ImageOf(node), 2);

    // Nor is its group disabled; groups go off and on whole.
    messages.clear();
    Select(kEspeak);
    VoicesTab().EnableBtn->click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(u"This engine cannot be disabled because it contains the default voice, ["_s +
                                       dflt->DisplayName + u']'))
        << Messages();
    EXPECT_TRUE(messages[0].contains(u"Set Default"_s));
    EXPECT_TRUE(dflt->Engine->Enabled);

    // With a Flite voice as the default the group goes off whole.
    const TVoiceEntry *flite = GroupVoices(kFlite).at(0);
    flite->Engine->Enabled = false;
    Select(flite->DisplayName);
    VoicesTab().SetDfltBtn->click();
    EXPECT_EQ(form->Preferences().TTS_DefaultVoiceName, flite->DisplayName);
    EXPECT_TRUE(flite->Favorite && flite->Engine->Enabled);
    EXPECT_EQ(MiscTab().DfltVoiceCB->currentText(), flite->DisplayName);
    QList<bool> chosen = Offered(kEspeak);
    const qsizetype excluded = chosen.indexOf(false);
    ASSERT_GE(excluded, 0);
    Select(kEspeak);
    VoicesTab().EnableBtn->click();
    EXPECT_EQ(Favorites(kEspeak), 0);
    for (const TVoiceEntry *v : voices)
        EXPECT_FALSE(v->Engine->Enabled);
    EXPECT_EQ(VoicesTab().EnableBtn->text(), u"Enable"_s);
    for (const QString &name : form->Articles().FavoriteVoices())
        EXPECT_NE(form->Driver()->FindVoice(name)->Engine->GroupName, kEspeak);
    ExpectImagesFollowTheRules();

    // A voice enabled inside the disabled group enables the group with the favourites it had.
    DoubleClick(Node(voices[excluded]->DisplayName));
    chosen[excluded] = true;
    EXPECT_EQ(Offered(kEspeak), chosen);
    EXPECT_TRUE(form->Articles().FavoriteVoices().contains(voices[excluded]->DisplayName));
    ExpectImagesFollowTheRules();

    // Off and on again keeps them, through the settings record too; a group that comes back with no
    // favourite at all (as older versions left every disabled one) gets the default favourites.
    Select(kEspeak);
    VoicesTab().EnableBtn->click();
    EXPECT_TRUE(form->Preferences().GetValue(u"FAV_"_s + voices[excluded]->KeyName).toBool());
    VoicesTab().EnableBtn->click();
    EXPECT_EQ(Offered(kEspeak), chosen);
    VoicesTab().EnableBtn->click();
    for (TVoiceEntry *v : voices)
        v->Favorite = false;
    VoicesTab().EnableBtn->click();
    for (const TVoiceEntry *v : voices)
        EXPECT_EQ(v->Offered(), TVoiceCatalog::DefaultFavorite(*v->Engine, v->DisplayName))
            << v->DisplayName.toStdString();
    EXPECT_LT(Favorites(kEspeak), voices.size());
    ExpectImagesFollowTheRules();
    EXPECT_EQ(messages.size(), 1) << Messages();
}

TEST_F(VoicesPageTest, VoiceEditShowsTheLimitsOfAVoiceNeverQueriedKeepsItsValuesAndTestSpeaksTheBuiltInSentence)
{
    Start();
    ShowPage();
    TVoiceEntry *voice = GroupVoices(kFlite).at(0);
    ASSERT_EQ(voice->PitchMin, -1);
    Select(voice->DisplayName);
    int pitch = 0;
    Edit([&](TVoiceEditForm &editor) {
        auto *slider = editor.findChild<QSlider *>(u"PitchSlider"_s);
        EXPECT_NE(voice->PitchMin, -1);
        EXPECT_EQ(std::pair(slider->minimum(), slider->maximum()), std::pair(voice->PitchMin, voice->PitchMax));
        EXPECT_EQ(slider->value(), voice->PitchDefault);
        MoveByPage(slider);
        pitch = slider->value();
        editor.findChild<QPushButton *>(u"OkBtn"_s)->click();
    });
    ASSERT_NE(pitch, voice->PitchDefault);
    EXPECT_EQ(voice->Pitch, pitch);
    // Cancel keeps it.
    Edit([](TVoiceEditForm &editor) { MoveByPage(editor.findChild<QSlider *>(u"PitchSlider"_s)); });
    EXPECT_EQ(voice->Pitch, pitch);

    // Test, in a language without a code and so without a sentence in the test file, speaks the built-in one:
    // the words heard, found at the reported offsets.
    TVoiceEntry *spoken = GroupVoices(kEspeak).at(0);
    spoken->Engine->LanguageID = 1047;
    QStringList heard;
    QObject::connect(form->Driver()->TTS1(), &TTTS::OnWordPosition, form, [&heard](TTTS *, sapi::QWORD, uint32_t at) {
        heard << u"Thanks for trying Voxtrella MP3"_s.mid(int(at / 2)).section(u' ', 0, 0);
    });
    Node(kEspeak)->setExpanded(true);
    Select(spoken->DisplayName);
    VoicesTab().TestButton->click();
    EXPECT_EQ(form->StatusText(), u"Reading Test Message"_s);
    EXPECT_EQ(form->State(), rsReading);
    EXPECT_FALSE(VoicesTab().TestButton->isEnabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(heard.mid(0, 3), (QStringList{u"Thanks"_s, u"for"_s, u"trying"_s}));
    EXPECT_TRUE(VoicesTab().TestButton->isEnabled());

    // The editor's Test reads with the working values and leaves the voice's own.
    heard.clear();
    Edit([&](TVoiceEditForm &editor) {
        auto *test = editor.findChild<QPushButton *>(u"TestBtn"_s);
        const int32_t own = spoken->Pitch;
        MoveByPage(editor.findChild<QSlider *>(u"SpeedSlider"_s));
        test->click();
        EXPECT_EQ(form->State(), rsReading);
        EXPECT_EQ(form->Driver()->TTS1()->Speed(), uint32_t(editor.EditSpeed()));
        EXPECT_EQ(spoken->Pitch, own);
        EXPECT_NE(spoken->Speed, editor.EditSpeed());
        EXPECT_FALSE(test->isEnabled());
        EXPECT_TRUE(WaitIdle());
        EXPECT_TRUE(test->isEnabled());
    });
    EXPECT_EQ(heard.value(0), u"Thanks"_s);
    const QString name = voice->DisplayName;
    Exit();

    Start();
    EXPECT_EQ(form->Driver()->FindVoice(name)->Pitch, pitch);
    EXPECT_TRUE(messages.isEmpty()) << Messages();
}

}  // namespace
