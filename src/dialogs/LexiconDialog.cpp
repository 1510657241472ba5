#include "LexiconDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace sapi {

namespace {

const QString kDefaultTitle = QStringLiteral("Pronunciation Editor");
const QString kTooLong = QStringLiteral("A word and its pronunciation can have at most %1 characters each.");
const QString kLinesTooLong =
    QStringLiteral("Line %1 of \"%2\" is longer than %3 characters, so it is not used. It stays in the file as it is.");
const QString kManyLinesTooLong = QStringLiteral(
    "Lines %1 of \"%2\" are longer than %3 characters, so they are not used. They stay in the file as they are.");
// Where an entry came from: the key it was loaded as (none for added ones).
constexpr int kOriginalKeyRole = Qt::UserRole;

QString stripBrackets(const QString &sound)
{
    return sound.mid(2, sound.size() - 4);
}

}  // namespace

LexiconDialog::LexiconDialog(QWidget *parent, const QString &title, const QString &path, TestFunction test)
    : QDialog(parent), m_path(path), m_test(std::move(test))
{
    setObjectName(QStringLiteral("LexiconDialog"));
    setWindowTitle(title.isEmpty() ? kDefaultTitle : title);
    setAccessibleName(windowTitle());

    m_list = new QTableWidget(0, 2, this);
    m_list->setObjectName(QStringLiteral("EntryList"));
    m_list->setAccessibleName(QStringLiteral("Pronunciations"));
    m_list->setHorizontalHeaderLabels({QStringLiteral("Word"), QStringLiteral("Sounds like")});
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->verticalHeader()->hide();
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setTabKeyNavigation(false);

    m_word = new QLineEdit(this);
    m_word->setObjectName(QStringLiteral("WordEdit"));
    m_word->setAccessibleName(QStringLiteral("Word"));
    m_word->setMaxLength(int(Lexicon::kMaxWordLength));
    m_sound = new QLineEdit(this);
    m_sound->setMaxLength(int(Lexicon::kMaxSoundLength));
    m_sound->setObjectName(QStringLiteral("SoundEdit"));
    m_sound->setAccessibleName(QStringLiteral("Sounds like"));
    m_phonemes = new QCheckBox(QStringLiteral("eSpeak &phonemes"), this);
    m_phonemes->setObjectName(QStringLiteral("PhonemesCB"));
    m_phonemes->setAccessibleName(QStringLiteral("eSpeak phonemes"));

    auto *form = new QFormLayout;
    auto *wordLabel = new QLabel(QStringLiteral("&Word:"), this);
    wordLabel->setBuddy(m_word);
    auto *soundLabel = new QLabel(QStringLiteral("&Sounds like:"), this);
    soundLabel->setBuddy(m_sound);
    form->addRow(wordLabel, m_word);
    form->addRow(soundLabel, m_sound);
    form->addRow(QString(), m_phonemes);

    auto button = [this](const QString &caption, const QString &name, void (LexiconDialog::*slot)()) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAccessibleName(QString(caption).remove(u'&'));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    m_add = button(QStringLiteral("&Add"), QStringLiteral("AddBtn"), &LexiconDialog::AddBtnClick);
    m_change = button(QStringLiteral("&Change"), QStringLiteral("ChangeBtn"), &LexiconDialog::ChangeBtnClick);
    m_remove = button(QStringLiteral("&Remove"), QStringLiteral("RemoveBtn"), &LexiconDialog::RemoveBtnClick);
    m_testButton = button(QStringLiteral("&Test"), QStringLiteral("TestBtn"), &LexiconDialog::TestBtnClick);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_add, m_change, m_remove, m_testButton})
        buttons->addWidget(b);
    buttons->addStretch();

    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->setObjectName(QStringLiteral("DialogButtons"));
    box->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    box->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    connect(box, &QDialogButtonBox::accepted, this, &LexiconDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &LexiconDialog::reject);

    auto *note = new QLabel(this);
    note->setObjectName(QStringLiteral("NoteLabel"));
    note->setWordWrap(true);
    note->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    note->setFocusPolicy(Qt::StrongFocus);  // read by screen readers in the tab order
    note->setAccessibleName(QStringLiteral("Note"));
    note->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(m_list);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(box);

    setTabOrder(note, m_list);
    setTabOrder(m_list, m_word);
    setTabOrder(m_word, m_sound);
    setTabOrder(m_sound, m_phonemes);
    setTabOrder(m_phonemes, m_add);
    setTabOrder(m_add, m_change);
    setTabOrder(m_change, m_remove);
    setTabOrder(m_remove, m_testButton);
    setTabOrder(m_testButton, box);

    LexiconDocument document;
    QString error;
    if (!Lexicon::readDocument(m_path, document, &error)) {
        m_loadError = QStringLiteral("The pronunciations in \"%1\" cannot be edited: %2.")
                          .arg(QDir::toNativeSeparators(m_path), error);
        for (QWidget *w :
             {static_cast<QWidget *>(m_list), static_cast<QWidget *>(m_word), static_cast<QWidget *>(m_sound),
              static_cast<QWidget *>(m_phonemes), static_cast<QWidget *>(box->button(QDialogButtonBox::Ok))})
            w->setEnabled(false);
    }
    for (const LexiconEntry &e : document.entries()) {
        const int row = m_list->rowCount();
        m_list->insertRow(row);
        auto *word = new QTableWidgetItem(e.word);
        word->setData(kOriginalKeyRole, Lexicon::key(e.word));
        m_list->setItem(row, 0, word);
        m_list->setItem(row, 1, new QTableWidgetItem(e.sound));
    }
    if (!document.tooLong.empty()) {
        QStringList numbers;
        for (int line : document.tooLong)
            numbers << QString::number(line);
        note->setText((numbers.size() == 1 ? kLinesTooLong : kManyLinesTooLong)
                          .arg(numbers.join(QStringLiteral(", ")), QDir::toNativeSeparators(m_path))
                          .arg(Lexicon::kMaxSoundLength));
        note->setAccessibleDescription(note->text());
        note->show();
    }
    connect(m_list, &QTableWidget::itemSelectionChanged, this, &LexiconDialog::fillEditors);
    connect(m_word, &QLineEdit::textChanged, this, &LexiconDialog::updateButtons);
    connect(m_sound, &QLineEdit::textChanged, this, &LexiconDialog::updateButtons);
    updateButtons();
    resize(460, 380);
}

std::vector<EditedEntry> LexiconDialog::entries() const
{
    std::vector<EditedEntry> out;
    for (int row = 0; row < m_list->rowCount(); ++row)
        out.push_back({m_list->item(row, 0)->data(kOriginalKeyRole).toString(),
                       {m_list->item(row, 0)->text(), m_list->item(row, 1)->text()}});
    return out;
}

bool LexiconDialog::fitsTheLimits()
{
    if (m_word->text().trimmed().size() <= Lexicon::kMaxWordLength &&
        soundFromEditors().size() <= Lexicon::kMaxSoundLength)
        return true;
    QMessageBox::warning(this, windowTitle(), kTooLong.arg(Lexicon::kMaxSoundLength));
    return false;
}

int LexiconDialog::rowOf(const QString &word) const
{
    const QString k = Lexicon::key(word);
    for (int row = 0; row < m_list->rowCount(); ++row)
        if (Lexicon::key(m_list->item(row, 0)->text()) == k)
            return row;
    return -1;
}

QString LexiconDialog::soundFromEditors() const
{
    QString sound = m_sound->text().trimmed();
    if (m_phonemes->isChecked()) {
        if (sound.startsWith(QLatin1String("[[")) && sound.endsWith(QLatin1String("]]")))
            sound = stripBrackets(sound).trimmed();
        sound = QStringLiteral("[[") + sound + QStringLiteral("]]");
    }
    // A tab or line break would break the file's one-entry-a-line form.
    sound.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
    return sound;
}

void LexiconDialog::fillEditors()
{
    const int row = m_list->currentRow();
    if (row < 0)
        return;
    const QString sound = m_list->item(row, 1)->text();
    const bool phonemes = LexiconEntry{QString(), sound}.phonemes();
    m_word->setText(m_list->item(row, 0)->text());
    m_phonemes->setChecked(phonemes);
    m_sound->setText(phonemes ? stripBrackets(sound) : sound);
    updateButtons();
}

void LexiconDialog::updateButtons()
{
    const QString word = m_word->text().trimmed();
    const bool complete = !word.isEmpty() && !word.contains(u' ') && !m_sound->text().trimmed().isEmpty();
    const int existing = word.isEmpty() ? -1 : rowOf(word);
    m_add->setEnabled(complete && existing < 0);
    m_change->setEnabled(complete && m_list->currentRow() >= 0);
    m_remove->setEnabled(m_list->currentRow() >= 0);
    m_testButton->setEnabled(!m_sound->text().trimmed().isEmpty() || !word.isEmpty());
}

void LexiconDialog::AddBtnClick()
{
    const QString word = m_word->text().trimmed();
    if (word.isEmpty() || word.contains(u' ') || m_sound->text().trimmed().isEmpty() || rowOf(word) >= 0)
        return;
    if (!fitsTheLimits())
        return;
    const int row = m_list->rowCount();
    m_list->insertRow(row);
    m_list->setItem(row, 0, new QTableWidgetItem(word));
    m_list->setItem(row, 1, new QTableWidgetItem(soundFromEditors()));
    m_list->setCurrentCell(row, 0);
    updateButtons();
}

void LexiconDialog::ChangeBtnClick()
{
    const int row = m_list->currentRow();
    const QString word = m_word->text().trimmed();
    if (row < 0 || word.isEmpty() || word.contains(u' ') || m_sound->text().trimmed().isEmpty())
        return;
    const int clash = rowOf(word);
    if (clash >= 0 && clash != row)
        return;  // the word already has its own entry
    if (!fitsTheLimits())
        return;
    m_list->item(row, 0)->setText(word);
    m_list->item(row, 1)->setText(soundFromEditors());
    updateButtons();
}

void LexiconDialog::RemoveBtnClick()
{
    const int row = m_list->currentRow();
    if (row < 0)
        return;
    m_list->removeRow(row);
    m_word->clear();
    m_sound->clear();
    m_phonemes->setChecked(false);
    updateButtons();
}

void LexiconDialog::TestBtnClick()
{
    if (!m_test)
        return;
    const QString sound = m_sound->text().trimmed();
    if (sound.isEmpty())
        m_test(m_word->text().trimmed(), false);
    else if (m_phonemes->isChecked())
        m_test(soundFromEditors().mid(2).chopped(2), true);
    else
        m_test(sound, false);
}

void LexiconDialog::accept()
{
    if (!loaded()) {
        // Saving would replace the file with the nothing that was shown.
        QMessageBox::warning(this, windowTitle(), m_loadError);
        return;
    }
    QString error;
    if (!Lexicon::saveEdits(m_path, entries(), &error)) {
        QMessageBox::critical(this, windowTitle(),
                              QStringLiteral("The pronunciations could not be saved to \"%1\": %2").arg(m_path, error));
        return;
    }
    QDialog::accept();
}

HRESULT showLexiconDialog(QWidget *parent, const QString &title, LexiconDialog::TestFunction test)
{
    LexiconDialog dialog(parent, title, Lexicon::filePath(), std::move(test));
    if (!dialog.loaded()) {
        QMessageBox::warning(parent, dialog.windowTitle(), dialog.loadError());
        return S_OK;
    }
    dialog.exec();
    return S_OK;
}

}  // namespace sapi
