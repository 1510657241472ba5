#pragma once
// One article of the list: its title, voice, text, caret and state. It is
// data only; while a row of the list shows it, the row holds the newest
// edits and the getters answer from the row.

#include <QObject>
#include <QString>
#include <QStringList>

// The row showing an article, as the article sees it.
class ArticleDisplay
{
public:
    virtual ~ArticleDisplay() = default;
    virtual QString ShownTitle() const = 0;
    virtual QString ShownVoice() const = 0;
    virtual QString ShownText() const = 0;
    virtual int ShownLineCount() const = 0;
    virtual bool ShownBlank() const = 0;
    virtual void ShowTitle(const QString &title) = 0;
    virtual void ShowVoice(const QString &voiceName) = 0;
    virtual void ShowText(const QString &text) = 0;
    virtual void ShowMoreLines(const QStringList &lines) = 0;
    // Hands the edits back to the article (see ArticleEntry::Unbind) and
    // shows it no more.
    virtual void Release() = 0;
};

class ArticleEntry : public QObject
{
    Q_OBJECT
public:
    // What the article keeps while no row shows it.
    struct Kept {
        QString Title;
        QString Voice;
        QString Text;  // "\n" line breaks, as the editor keeps them
        int SelStart = 0;
        int SelLength = 0;
        int ScrollTop = 0;
    };

    ArticleEntry() = default;
    ~ArticleEntry() override;

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

    void TitleFromText(int maxChars);
    void TitleFromString(const QString &text, int maxChars);
    // Appends the lines of a text file; false only when it cannot be opened.
    bool LoadFromFile(const QString &fileName);

    // The row showing the article; none while it is out of view.
    ArticleDisplay *Display() const { return m_display; }
    const Kept &KeptState() const { return m_kept; }
    // A row shows the article from now on.
    void Bind(ArticleDisplay *display);
    // The row showing it lets go and hands back what it holds.
    void Unbind(Kept kept);
    // The row changed the text: the blank state is asked again.
    void TextChanged() { m_blank = -1; }

    // Text files bigger than this are refused rather than frozen on.
    static constexpr qint64 kMaxTextFileBytes = 64 * 1024 * 1024;

private:
    ArticleDisplay *m_display = nullptr;
    Kept m_kept;
    // IsBlank is asked for every article on every Add; remember the answer
    // until the text changes.
    mutable int m_blank = -1;
};
