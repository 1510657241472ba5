#include "LexiconDialog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <sys/stat.h>

using namespace sapi;

namespace {

// Closes every modal window that opens while it lives, keeping the text of the last message box.
struct ModalCloser {
    ModalCloser()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                if (auto *box = qobject_cast<QMessageBox *>(w))
                    seen = box->text();
                w->close();
            }
        });
        timer.start(20);
    }
    QTimer timer;
    QString seen;
};

TEST(LexiconDialogTest, AddsChangesRemovesAndSavesOnlyTheEntriesEditedKeepingTheRestOfTheFile)
{
    const QString path = TestSupport::homeDir() + "/lexicon.txt";
    const QByteArray hand = "# by hand\nNew York\tnoo york\nQt\tcute\r\nna\xefve\tnah eve\nbroken\nlong\t" +
                            QByteArray(Lexicon::kMaxSoundLength + 1, 'x') + "\n";
    ASSERT_TRUE(TestSupport::writeFile(path, hand));
    {
        // OK without a change leaves every byte as it was.
        LexiconDialog unchanged(nullptr, QString(), path, {});
        auto *note = unchanged.findChild<QLabel *>("NoteLabel");
        ASSERT_TRUE(note);
        EXPECT_TRUE(note->isVisibleTo(&unchanged));
        EXPECT_TRUE(note->text().startsWith("Line 6 of")) << note->text().toStdString();
        EXPECT_EQ(unchanged.findChild<QTableWidget *>("EntryList")->rowCount(), 2);
        unchanged.accept();
        EXPECT_EQ(unchanged.result(), QDialog::Accepted);
        EXPECT_EQ(TestSupport::readFile(path), hand);
    }
    std::pair<QString, bool> tested;  // the text tried and whether it was phonemes
    LexiconDialog dialog(nullptr, QString(), path, [&](const QString &t, bool p) { tested = {t, p}; });
    auto *list = dialog.findChild<QTableWidget *>("EntryList");
    auto *word = dialog.findChild<QLineEdit *>("WordEdit");
    auto *sound = dialog.findChild<QLineEdit *>("SoundEdit");
    auto *phonemes = dialog.findChild<QCheckBox *>("PhonemesCB");
    auto *add = dialog.findChild<QPushButton *>("AddBtn");
    ASSERT_TRUE(list && word && sound && phonemes && add);
    ASSERT_EQ(list->rowCount(), 2);
    // Every control can be found by a screen reader.
    for (QWidget *w : dialog.findChildren<QWidget *>())
        EXPECT_TRUE(w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(&dialog) || !w->accessibleName().isEmpty())
            << w->objectName().toStdString();

    word->setText("QT");  // the same word in other letters: no second entry
    sound->setText("queue tea");
    EXPECT_FALSE(add->isEnabled());
    dialog.AddBtnClick();
    EXPECT_EQ(list->rowCount(), 2);

    // No entry longer than eSpeak NG takes: the brackets count too.
    word->setText("GIF");
    sound->setText(QString(Lexicon::kMaxSoundLength + 5, u'x'));
    EXPECT_EQ(sound->text().size(), Lexicon::kMaxSoundLength);
    phonemes->setChecked(true);
    {
        ModalCloser box;
        dialog.AddBtnClick();
        EXPECT_TRUE(box.seen.startsWith("A word and its pronunciation can have at most 100")) << box.seen.toStdString();
    }
    EXPECT_EQ(list->rowCount(), 2);

    sound->setText("[[dZIf]]");
    ASSERT_TRUE(add->isEnabled());
    dialog.AddBtnClick();
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(list->item(2, 1)->text(), "[[dZIf]]");  // not bracketed twice
    dialog.TestBtnClick();
    EXPECT_EQ(tested, std::pair(QString("dZIf"), true));

    list->setCurrentCell(0, 0);
    EXPECT_EQ(word->text(), "Qt");
    EXPECT_EQ(sound->text(), "cute");
    EXPECT_FALSE(phonemes->isChecked());
    sound->setText("kyöot\tx");
    dialog.ChangeBtnClick();
    EXPECT_EQ(list->item(0, 1)->text(), "kyöot x");  // a tab would break the file
    dialog.TestBtnClick();
    EXPECT_EQ(tested, std::pair(QString("kyöot\tx"), false));

    list->setCurrentCell(2, 0);
    dialog.RemoveBtnClick();
    list->setCurrentCell(1, 0);
    dialog.RemoveBtnClick();
    EXPECT_EQ(list->rowCount(), 1);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    // Only the changed line (now in UTF-8) and the removed one differ.
    EXPECT_EQ(TestSupport::readFile(path), "# by hand\nNew York\tnoo york\nQt\tkyöot x\r\nbroken\nlong\t" +
                                               QByteArray(Lexicon::kMaxSoundLength + 1, 'x') + "\n");
}

TEST(LexiconDialogTest, FailedSaveShowsAMessageAndKeepsTheDialogOpen)
{
    LexiconDialog dialog(nullptr, "Words", "/proc/voxtrella/lexicon.txt", {});
    dialog.findChild<QLineEdit *>("WordEdit")->setText("Qt");
    dialog.findChild<QLineEdit *>("SoundEdit")->setText("cute");
    dialog.AddBtnClick();
    ModalCloser box;
    dialog.accept();
    EXPECT_TRUE(box.seen.contains("could not be saved")) << box.seen.toStdString();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

TEST(LexiconDialogTest, APipeOrAnOversizedLexiconIsNeitherWaitedForNorCutShortBySaving)
{
    const QString path = Lexicon::filePath();
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_TRUE(Lexicon::current()->isEmpty());  // would hang the speaking thread if it waited for a writer
    {
        ModalCloser box;
        EXPECT_EQ(showLexiconDialog(nullptr, "Words", {}), S_OK);
        EXPECT_TRUE(box.seen.contains("not a regular file")) << box.seen.toStdString();
    }
    QFile::remove(path);

    // Too large to read whole: the speech side uses none of it, the editor refuses it.
    const QByteArray big = "Qt\tcute\r\n" + QByteArray(Lexicon::kMaxFileSize, '#') + "\r\nGIF\tjif\r\n";
    ASSERT_TRUE(TestSupport::writeFile(path, big));
    EXPECT_TRUE(Lexicon::current()->isEmpty());
    LexiconDialog dialog(nullptr, "Words", path, {});
    EXPECT_FALSE(dialog.loaded());
    EXPECT_TRUE(dialog.loadError().contains("larger than 4 MB")) << dialog.loadError().toStdString();
    {
        ModalCloser box;
        dialog.accept();
        EXPECT_TRUE(box.seen.contains("cannot be edited")) << box.seen.toStdString();
    }
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(TestSupport::readFile(path), big);
}

}  // namespace
