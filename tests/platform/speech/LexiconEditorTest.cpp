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

template <class W>
W *child(QWidget &parent, const char *name)
{
    W *w = parent.findChild<W *>(name);
    EXPECT_TRUE(w) << name;
    return w;
}

}  // namespace

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
    for (QWidget *w : dialog.findChildren<QWidget *>()) {
        if (w->focusPolicy() != Qt::NoFocus && w->isVisibleTo(&dialog)) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        }
    }

    word->setText("QT");  // the same word in other letters: no second entry
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
    EXPECT_EQ(list->item(1, 1)->text(), "[[dZIf]]");  // not bracketed twice
    dialog.TestBtnClick();
    EXPECT_EQ(tested, "dZIf");
    EXPECT_TRUE(testedPhonemes);

    list->setCurrentCell(0, 0);
    EXPECT_EQ(word->text(), "Qt");
    EXPECT_EQ(sound->text(), "cute");
    EXPECT_FALSE(phonemes->isChecked());
    sound->setText("kyoot\tx");
    dialog.ChangeBtnClick();
    EXPECT_EQ(list->item(0, 1)->text(), "kyoot x");  // a tab would break the file
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
    QString shown;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->close();
        }
    });
    timer.start(20);
    dialog.accept();
    EXPECT_TRUE(shown.contains("could not be saved")) << shown.toStdString();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

TEST(LexiconEngineTest, EspeakAppliesEntriesToWholeWordsWithoutMovingPositions)
{
    SpeechPlatform::restoreDefaultEngines();
    const TTSMODEINFOW mode = modeNamed("eSpeak NG English (America)");
    ASSERT_FALSE(mode.gModeID.isNull());
    int n = 0;
    auto say = [&](const QString &text, std::vector<uint32_t> *words = nullptr) {
        const QString path = TestSupport::homeDir() + QString("/%1.wav").arg(++n);
        Bound b = toFile(mode.gModeID, path);
        EXPECT_EQ(b.result, S_OK);
        EXPECT_EQ(speak(b, text), S_OK);
        EXPECT_TRUE(waitForStop(b, 10000));
        std::dynamic_pointer_cast<IAudioFile>(b.dest)->Flush();
        if (words)
            *words = b.recorder->values(Note::Word);
        return readWav(path).samples;
    };
    std::vector<uint32_t> plainWords, lexiconWords;
    const auto plain = say("I like tomato soup.", &plainWords);
    const auto plural = say("I like tomatoes.");

    ASSERT_TRUE(TestSupport::writeFile(Lexicon::filePath(), "tomato\tbanana split\r\nsoup\t[[s'u:p]]\r\n"));
    const auto replaced = say("I like tomato soup.", &lexiconWords);
    EXPECT_NE(replaced, plain);
    EXPECT_GT(replaced.size(), plain.size() + 2000);  // "banana split" is longer
    EXPECT_EQ(lexiconWords, plainWords);
    // eSpeak NG's output varies by a few samples from call to call; a
    // replacement changes the length by far more.
    auto sameLength = [](const std::vector<int16_t> &a, const std::vector<int16_t> &b) {
        return std::abs(double(a.size()) - double(b.size())) < 0.02 * double(b.size());
    };
    EXPECT_TRUE(sameLength(say("I like TOMATO soup."), replaced));  // letter case does not matter
    EXPECT_TRUE(sameLength(say("I like tomatoes."), plural));       // only whole words
}

TEST(LexiconEngineTest, DialogsOfTheEnginesOpenOrSayTheyAreNotSupported)
{
    SpeechPlatform::restoreDefaultEngines();
    for (const char *name : {"eSpeak NG English (America)", "Flite slt"}) {
        const TTSMODEINFOW mode = modeNamed(name);
        Bound b = toFile(mode.gModeID, TestSupport::homeDir() + "/d.wav");
        ASSERT_EQ(b.result, S_OK);
        auto dialogs = queryAs<ITTSDialogsW>(b.central, IID_ITTSDialogsW);
        ASSERT_TRUE(dialogs);
        EXPECT_EQ(dialogs->GeneralDlg(nullptr, nullptr), TTSERR_NOTSUPPORTED);
        EXPECT_EQ(dialogs->TranslateDlg(nullptr, nullptr), TTSERR_NOTSUPPORTED);

        QString seen;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                seen = w->windowTitle();
                w->close();
            }
        });
        timer.start(20);
        EXPECT_EQ(dialogs->AboutDlg(nullptr, u"About the voice"), S_OK);
        EXPECT_EQ(seen, "About the voice");
        seen.clear();
        const HRESULT lexicon = dialogs->LexiconDlg(nullptr, nullptr);
        if (QString(name).startsWith("eSpeak")) {
            EXPECT_EQ(lexicon, S_OK);
            EXPECT_EQ(seen, "Pronunciation Editor");
        } else {
            EXPECT_EQ(lexicon, TTSERR_NOTSUPPORTED);  // Flite has no user lexicon
            EXPECT_TRUE(seen.isEmpty());
        }
    }
}
