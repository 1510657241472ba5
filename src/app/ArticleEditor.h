#pragma once
// The editor that shows and edits an article's text.

#include <QColor>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <vector>

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
