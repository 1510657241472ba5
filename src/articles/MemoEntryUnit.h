#pragma once
// An article (title, voice, text) and the widgets that show one: the header
// strip (title, voice, buttons) above a plain-text editor holding the text.

#include "PropertyPanelUnit.h"

#include <QColor>
#include <QFrame>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class TMemoEntry;

// The article's editor. Text() uses "\n" line breaks; the saved file gets
// CR LF when written. Every position it takes or gives (caret, selection,
// the speaking highlight) is an offset into Text().
//
// A line longer than kSoftLineChars is shown in pieces, each a block of its
// own marked as continuing the line (a soft break): the editor lays a block
// out whole, and a block of millions of characters takes minutes and
// gigabytes, while pieces are laid out only when they come into view. The
// soft breaks exist only in the display: Text(), the positions and copied
// text leave them out.
class ArticleEditor : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit ArticleEditor(QWidget *parent = nullptr);

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
    void SetSelLength(int length);  // selects from SelStart
    void ScrollInView();
    void ScrollToFirstLine();

    void SetBackgroundColor(const QColor &colour);
    QColor BackgroundColor() const;

    void SetPopupMenu(QMenu *menu) { m_popup = menu; }
    QMenu *PopupMenu() const { return m_popup; }

    // The offset into Text() of a position of the editor's own cursor.
    int TextPosition(int editorPosition) const;

    static constexpr int kSoftLineChars = 2000;
    // Texts longer than this show several short lines in one block.
    static constexpr int kGroupLinesFromChars = 1024 * 1024;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    // Inserts text at the cursor, long lines in pieces.
    void InsertText(QTextCursor &cursor, const QString &text);
    int EditorPosition(int textPosition) const;
    // The editor positions where soft pieces start, rebuilt after a change.
    const std::vector<int> &SoftStarts() const;

    QPointer<QMenu> m_popup;
    bool m_hasSoft = false;  // soft breaks were made since the last SetText
    mutable bool m_softValid = false;
    mutable std::vector<int> m_softStarts;
    mutable std::vector<int> m_softTextStarts;  // the same as offsets into Text()
};

class TMemoListBox;
class TMemoEntryView;

// One article: its title, voice, text, caret and state. It is data only; a
// TMemoEntryView shows it while it is in view (or being read), and the
// getters then answer from the view, which holds the newest edits.
class TMemoEntry : public QObject
{
    Q_OBJECT
public:
    using TEntryEvent = std::function<void(TMemoEntry *)>;

    // An article of the list, or a loose one (tests, the command line).
    explicit TMemoEntry(TMemoListBox *list = nullptr);
    ~TMemoEntry() override;

    TEntryEvent OnRead;
    TEntryEvent OnReadToFile;
    TEntryEvent OnDelete;
    // Focus moved into the article from outside it.
    TEntryEvent OnEnter;

    bool Locked = false;
    bool Hidden = false;

    QString Title() const;
    void SetTitle(const QString &title);
    QString VoiceName() const;
    void SetVoiceName(const QString &voiceName);
    QString Text() const;
    void SetText(const QString &text);
    int LineCount() const;
    // The text holds nothing but white space.
    bool IsBlank() const;

    void SetColor(const QColor &colour);
    QColor Color() const { return m_color; }
    void TitleFromText(int maxChars);
    void TitleFromString(const QString &text, int maxChars);
    // Appends the lines of a text file; false only when it cannot be opened.
    bool LoadFromFile(const QString &fileName);
    void FocusHeader();
    void SetPopupMenu(QMenu *menu);
    QMenu *PopupMenu() const { return m_popup; }

    // The widgets showing the article; none while it is out of view.
    TMemoEntryView *View() const { return m_view; }
    // A row of the list shows the article now.
    bool OnScreen() const;
    // The editor showing the article. One is bound when it has none (it
    // stays bound while the article scrolls out of view, for the reading
    // highlight); null for an article outside a list.
    ArticleEditor *Editor();

    // Text files bigger than this are refused rather than frozen on.
    static constexpr qint64 kMaxTextFileBytes = 64 * 1024 * 1024;

private:
    friend class TMemoEntryView;

    TMemoListBox *m_list;
    TMemoEntryView *m_view = nullptr;
    QString m_title;
    QString m_voice;
    QString m_text;  // "\n" line breaks, as the editor keeps them
    int m_selStart = 0;
    int m_selLength = 0;
    int m_scrollTop = 0;
    QColor m_color;
    QPointer<QMenu> m_popup;
    // IsBlank is asked for every article on every Add; remember the answer
    // until the text changes.
    mutable int m_blank = -1;
};

// The widgets of one row of the list: the header strip above the editor.
// The list keeps a few and binds them to the articles in view.
class TMemoEntryView : public QFrame
{
    Q_OBJECT
public:
    explicit TMemoEntryView(QWidget *parent, VoiceProvider voices = {});
    ~TMemoEntryView() override;

    ArticleEditor *Memo;
    TPropertyPanel *Header;

    TMemoEntry *Entry() const { return m_entry; }
    // Shows the article, keeping the edits of the one shown before in it.
    void Bind(TMemoEntry *entry);
    // Keeps the edits in the article and shows none.
    void Release();

signals:
    // The text, title or voice of the article shown changed.
    void Edited();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class TMemoEntry;
    void PlaceChildren();
    // Reports the user's edits as Edited, for the saving of the list.
    void WatchEdits();

    TMemoEntry *m_entry = nullptr;
    bool m_textEdited = false;
};

// MakeTitle as the article unit's callers know it.
QString MakeTitle(const QString &text, int maxChars);
