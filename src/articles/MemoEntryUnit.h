#pragma once
// One article on screen: the header strip (title, voice, buttons) above a
// plain-text editor holding the text.

#include "PropertyPanelUnit.h"

#include <QColor>
#include <QFrame>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>

#include <functional>

class TMemoEntry;

// The article's editor. Text() uses "\n" line breaks, so a character offset
// into it is also a caret position (the speaking highlight relies on that);
// the saved file gets CR LF when written.
class TMyPlusMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TMyPlusMemo(QWidget *parent = nullptr);

    QString Text() const;
    void SetText(const QString &text);
    int TextLength() const;
    // Adds a line after the existing text (into the empty first line when
    // the editor is empty).
    void AppendLine(const QString &line);
    void AppendLines(const QStringList &lines);
    int LineCount() const;

    int SelStart() const;
    void SetSelStart(int position);  // moves the caret, clears the selection
    int SelLength() const;
    void SetSelLength(int length);   // selects from SelStart
    void ScrollInView();
    void ScrollToFirstLine();

    void SetBackgroundColor(const QColor &colour);
    QColor BackgroundColor() const;

    void SetPopupMenu(QMenu *menu) { m_popup = menu; }
    QMenu *PopupMenu() const { return m_popup; }

    // The article this editor belongs to.
    TMemoEntry *Tag = nullptr;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QPointer<QMenu> m_popup;
};

class TMemoEntry : public QFrame
{
    Q_OBJECT
public:
    using TEntryEvent = std::function<void(TMemoEntry *)>;

    explicit TMemoEntry(QWidget *parent, VoiceProvider voices = {});
    ~TMemoEntry() override;

    TEntryEvent OnRead;
    TEntryEvent OnReadToFile;
    TEntryEvent OnDelete;
    // Focus moved into the article from outside it.
    TEntryEvent OnEnter;

    TMyPlusMemo *Memo;
    TPropertyPanel *Header;

    bool Locked = false;
    bool Hidden = false;

    QString Title() const { return Header->Title(); }
    void SetTitle(const QString &title) { Header->SetTitle(title); }
    QString VoiceName() const { return Header->Voice(); }
    QString Text() const { return Memo->Text(); }
    void SetText(const QString &text) { Memo->SetText(text); }
    // The text holds nothing but white space.
    bool IsBlank() const;

    void SetColor(const QColor &colour);
    void TitleFromText(int maxChars);
    void TitleFromString(const QString &text, int maxChars);
    // Appends the lines of a text file; false only when it cannot be opened.
    bool LoadFromFile(const QString &fileName);
    void FocusHeader();
    void SetPopupMenu(QMenu *menu) { Memo->SetPopupMenu(menu); }

    // Text files bigger than this are refused rather than frozen on.
    static constexpr qint64 kMaxTextFileBytes = 64 * 1024 * 1024;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void PlaceChildren();

    // IsBlank is asked for every article on every Add; remember the answer
    // until the text changes.
    mutable int m_blank = -1;
};

// MakeTitle as the article unit's callers know it.
QString MakeTitle(const QString &text, int maxChars);
