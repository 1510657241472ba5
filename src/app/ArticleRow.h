#pragma once
// One row of the article list: the header strip (title, voice, buttons)
// above the editor with the text. The list keeps a few rows and binds them
// to the articles in view; while bound, the row holds the article's newest
// edits.

#include "ArticleEntry.h"

#include <QFrame>

class ArticleEditor;
class ArticleHeader;
class VoiceChoiceSource;

class ArticleRow : public QFrame, public ArticleDisplay
{
    Q_OBJECT
public:
    explicit ArticleRow(QWidget *parent, const VoiceChoiceSource *voices = nullptr);
    ~ArticleRow() override;

    ArticleEditor *Memo;
    ArticleHeader *Header;

    ArticleEntry *Entry() const { return m_entry; }
    // Shows the article, keeping the edits of the one shown before in it.
    void Bind(ArticleEntry *entry);
    // Keeps the edits in the article and shows none.
    void Release() override;

    // The title box gets the focus, with the voices fresh.
    void FocusHeader();

    QString ShownTitle() const override;
    QString ShownVoice() const override;
    QString ShownText() const override;
    int ShownLineCount() const override;
    bool ShownBlank() const override;
    void ShowTitle(const QString &title) override;
    void ShowVoice(const QString &voiceName) override;
    void ShowText(const QString &text) override;
    void ShowMoreLines(const QStringList &lines) override;

signals:
    // The user changed the text of the article shown (or a command did
    // without blocking the editor's signals).
    void TextEdited(ArticleEntry *entry);
    // The user changed its title or voice.
    void HeaderEdited();
    // Focus moved into the row from outside it.
    void Entered(ArticleEntry *entry);
    // The header's buttons.
    void ReadClicked(ArticleEntry *entry);
    void ReadToFileClicked(ArticleEntry *entry);
    void DeleteClicked(ArticleEntry *entry);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void PlaceChildren();

    ArticleEntry *m_entry = nullptr;
    bool m_textEdited = false;
};
