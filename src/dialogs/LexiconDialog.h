#pragma once
// The pronunciation editor behind LexiconDlg: lists, adds, changes and
// removes "word -> how it should sound" entries, with a Test button.

#include "Lexicon.h"
#include "SpeechApi.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace sapi {

class LexiconDialog : public QDialog
{
public:
    using TestFunction = std::function<void(const QString &text, bool phonemes)>;

    LexiconDialog(QWidget *parent, const QString &title, const QString &path, TestFunction test);

    // The entries as edited so far, each with the key it was loaded as.
    std::vector<EditedEntry> entries() const;

    // False when the file is there but could not be read whole (too large,
    // not a regular file, unreadable): the dialog then edits and saves
    // nothing, as saving would drop what it could not show.
    bool loaded() const { return m_loadError.isEmpty(); }
    // Why it could not be read, as a sentence for the user.
    QString loadError() const { return m_loadError; }

    void AddBtnClick();
    void ChangeBtnClick();
    void RemoveBtnClick();
    void TestBtnClick();
    // Saves and closes; on a failed save the dialog stays open with a message.
    void accept() override;

private:
    void fillEditors();
    void updateButtons();
    QString soundFromEditors() const;
    // False, after telling the user, when the editors hold too long an entry.
    bool fitsTheLimits();
    int rowOf(const QString &word) const;

    QString m_path;
    QString m_loadError;
    TestFunction m_test;
    QTableWidget *m_list = nullptr;
    QLineEdit *m_word = nullptr;
    QLineEdit *m_sound = nullptr;
    QCheckBox *m_phonemes = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_change = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_testButton = nullptr;
};

// Shows the editor modally over parent with the user's lexicon file, or a
// message instead when that file cannot be edited.
HRESULT showLexiconDialog(QWidget *parent, const QString &title, LexiconDialog::TestFunction test);

}  // namespace sapi
