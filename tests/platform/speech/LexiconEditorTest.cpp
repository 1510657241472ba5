// The pronunciation editor and the eSpeak NG driver applying its entries.
#include "LexiconDialog.h"
#include "SpeechEngine.h"
#include "SpeechTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

using namespace sapi;
using namespace speechtest;

namespace {

template <class W> W *child(QWidget &parent, const char *name)
{
    W *w = parent.findChild<W *>(name);
    EXPECT_TRUE(w) << name;
    return w;
}

// Closes every modal window that opens while it lives, keeping what see() read of it.
struct ModalCloser {
    explicit ModalCloser(std::function<QString(QWidget *)> see)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, see] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                seen = see(w);
                w->close();
            }
        });
        timer.start(20);
    }
    QTimer timer;
    QString seen;
};

} // namespace

TEST(LexiconDialogTest, AddsChangesRemovesAndSavesEntries)
{
    const QString path = TestSupport::homeDir() + "/lexicon.txt";
    ASSERT_TRUE(TestSupport::writeFile(path, "Qt\tcute\r\n"));
    QString tested;
    bool testedPhonemes = true;
    LexiconDialog dialog(nullptr, QString(), path, [&](const QString &t, bool p) {
        tested = t;
        testedPhonemes = p;
    });
    EXPECT_EQ(dialog.windowTitle(), "Pronunciation Editor");
    auto *list = child<QTableWidget>(dialog, "EntryList");
    auto *word = child<QLineEdit>(dialog, "WordEdit");
    auto *sound = child<QLineEdit>(dialog, "SoundEdit");
    auto *phonemes = child<QCheckBox>(dialog, "PhonemesCB");
    auto *add = child<QPushButton>(dialog, "AddBtn");
    ASSERT_EQ(list->rowCount(), 1);
    // Every control can be found by a screen reader.
    for (QWidget *w : dialog.findChildren<QWidget *>())
        EXPECT_TRUE(w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(&dialog) || !w->accessibleName().isEmpty())
            << w->objectName().toStdString();

    word->setText("QT"); // the same word in other letters: no second entry
    sound->setText("queue tea");
    EXPECT_FALSE(add->isEnabled());
    dialog.AddBtnClick();
    EXPECT_EQ(list->rowCount(), 1);

    word->setText("GIF");
    sound->setText("[[dZIf]]");
    phonemes->setChecked(true);
    ASSERT_TRUE(add->isEnabled());
    dialog.AddBtnClick();
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->item(1, 1)->text(), "[[dZIf]]"); // not bracketed twice
    dialog.TestBtnClick();
    EXPECT_EQ(tested, "dZIf");
    EXPECT_TRUE(testedPhonemes);

    list->setCurrentCell(0, 0);
    EXPECT_EQ(word->text(), "Qt");
    EXPECT_EQ(sound->text(), "cute");
    EXPECT_FALSE(phonemes->isChecked());
    sound->setText("kyoot\tx");
    dialog.ChangeBtnClick();
    EXPECT_EQ(list->item(0, 1)->text(), "kyoot x"); // a tab would break the file
    dialog.TestBtnClick();
    EXPECT_EQ(tested, "kyoot\tx");
    EXPECT_FALSE(testedPhonemes);

    list->setCurrentCell(1, 0);
    dialog.RemoveBtnClick();
    EXPECT_EQ(list->rowCount(), 1);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(TestSupport::readFile(path), "Qt\tkyoot x\r\n");
}

TEST(LexiconDialogTest, FailedSaveShowsAMessageAndKeepsTheDialogOpen)
{
    LexiconDialog dialog(nullptr, "Words", "/proc/voxtrella/lexicon.txt", {});
    ModalCloser box(
        [](QWidget *w) { return qobject_cast<QMessageBox *>(w) ? qobject_cast<QMessageBox *>(w)->text() : QString(); });
    dialog.accept();
    EXPECT_TRUE(box.seen.contains("could not be saved")) << box.seen.toStdString();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

TEST(LexiconEngineTest, EspeakAppliesEntriesToWholeWordsWithoutMovingPositions)
{
    SpeechPlatform::restoreDefaultEngines();
    const TTSMODEINFOW mode = modeNamed("eSpeak NG English (America)");
    ASSERT_FALSE(mode.gModeID.isNull());
    auto say = [&](const QString &text) { return speakToFile(mode, text, false, {}, 10000); };
    const Spoken plain = say("I like tomato soup."), plural = say("I like tomatoes.");

    ASSERT_TRUE(TestSupport::writeFile(Lexicon::filePath(), "tomato\tbanana split\r\nsoup\t[[s'u:p]]\r\n"));
    const Spoken replaced = say("I like tomato soup.");
    EXPECT_NE(replaced.wav.samples, plain.wav.samples);
    EXPECT_GT(replaced.wav.samples.size(), plain.wav.samples.size() + 2000); // "banana split" is longer
    EXPECT_EQ(replaced.notes->values(Note::Word), plain.notes->values(Note::Word));
    // eSpeak NG's output varies by a few samples from call to call; a
    // replacement changes the length by far more.
    auto sameLength = [](const Spoken &a, const Spoken &b) {
        return std::abs(a.wav.seconds() - b.wav.seconds()) < 0.02 * b.wav.seconds();
    };
    EXPECT_TRUE(sameLength(say("I like TOMATO soup."), replaced)); // letter case does not matter
    EXPECT_TRUE(sameLength(say("I like tomatoes."), plural));      // only whole words
}

TEST(LexiconEngineTest, DialogsOfTheEnginesOpenOrSayTheyAreNotSupported)
{
    SpeechPlatform::restoreDefaultEngines();
    for (const char *name : {"eSpeak NG English (America)", "Flite slt"}) {
        Bound b = toFile(modeNamed(name).gModeID, TestSupport::homeDir() + "/d.wav");
        ASSERT_EQ(b.result, S_OK);
        auto dialogs = queryAs<ITTSDialogsW>(b.central, IID_ITTSDialogsW);
        ASSERT_TRUE(dialogs);
        EXPECT_EQ(dialogs->GeneralDlg(nullptr, nullptr), TTSERR_NOTSUPPORTED);
        EXPECT_EQ(dialogs->TranslateDlg(nullptr, nullptr), TTSERR_NOTSUPPORTED);
        ModalCloser window([](QWidget *w) { return w->windowTitle(); });
        EXPECT_EQ(dialogs->AboutDlg(nullptr, u"About the voice"), S_OK);
        EXPECT_EQ(window.seen, "About the voice");
        window.seen.clear();
        const bool espeak = QString(name).startsWith("eSpeak"); // Flite has no user lexicon
        EXPECT_EQ(dialogs->LexiconDlg(nullptr, nullptr), espeak ? S_OK : TTSERR_NOTSUPPORTED);
        EXPECT_EQ(window.seen, espeak ? "Pronunciation Editor" : "");
    }
}
