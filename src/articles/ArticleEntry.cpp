#include "ArticleEntry.h"

#include "ArticleText.h"
#include "DiagnosticLog.h"
#include "MessageService.h"
#include "SafeFile.h"

#include <algorithm>

namespace {

const QString kReadInputError = QStringLiteral("Error reading input file");

}  // namespace

ArticleEntry::~ArticleEntry()
{
    if (m_display)
        m_display->Release();
}

QString ArticleEntry::Title() const
{
    return m_display ? m_display->ShownTitle() : m_kept.Title;
}

void ArticleEntry::SetTitle(const QString &title)
{
    m_kept.Title = title;
    if (m_display)
        m_display->ShowTitle(title);
}

QString ArticleEntry::VoiceName() const
{
    return m_display ? m_display->ShownVoice() : m_kept.Voice;
}

void ArticleEntry::SetVoiceName(const QString &voiceName)
{
    m_kept.Voice = voiceName;
    if (m_display)
        m_display->ShowVoice(voiceName);
}

QString ArticleEntry::Text() const
{
    return m_display ? m_display->ShownText() : m_kept.Text;
}

void ArticleEntry::SetText(const QString &text)
{
    m_kept.Text = ArticleText::EditorText(text);
    m_blank = -1;
    m_kept.SelStart = m_kept.SelLength = m_kept.ScrollTop = 0;
    if (m_display)
        m_display->ShowText(m_kept.Text);
}

int ArticleEntry::LineCount() const
{
    return m_display ? m_display->ShownLineCount() : int(m_kept.Text.count(u'\n')) + 1;
}

bool ArticleEntry::IsBlank() const
{
    if (m_blank < 0) {
        const QString &text = m_kept.Text;
        m_blank = (m_display ? m_display->ShownBlank()
                             : std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); }))
                      ? 1
                      : 0;
    }
    return m_blank == 1;
}

void ArticleEntry::TitleFromText(int maxChars)
{
    SetTitle(ArticleText::MakeTitle(Text(), maxChars));
}

void ArticleEntry::TitleFromString(const QString &text, int maxChars)
{
    SetTitle(ArticleText::MakeTitle(text, maxChars));
}

bool ArticleEntry::LoadFromFile(const QString &fileName)
{
    // Only regular files: a FIFO or a device would block or never end.
    const SafeFile::ReadResult read = SafeFile::readRegularFile(fileName, kMaxTextFileBytes);
    switch (read.status) {
    case SafeFile::ReadStatus::Ok:
        break;
    case SafeFile::ReadStatus::Missing:
    case SafeFile::ReadStatus::NotRegular:
        DiagnosticLog::WriteLog(QStringLiteral("LoadFromFile - cannot open: ") + fileName);
        return false;
    case SafeFile::ReadStatus::TooLarge:
        DiagnosticLog::WriteLog(QStringLiteral("LoadFromFile - file too large: ") + fileName);
        MessageService::notice(kReadInputError);
        return true;
    case SafeFile::ReadStatus::Failed:
        DiagnosticLog::WriteLog(QStringLiteral("LoadFromFile - read error: ") + read.error);
        if (read.bytes.isEmpty())
            return false;
        MessageService::notice(kReadInputError);
        break;
    }
    try {
        const QStringList lines = ArticleText::SplitLines(ArticleText::DecodeTextFile(read.bytes));
        if (m_display) {
            m_display->ShowMoreLines(lines);
        } else if (!lines.isEmpty()) {
            m_kept.Text += (m_kept.Text.isEmpty() ? QString() : QStringLiteral("\n")) +
                           ArticleText::EditorText(lines.join(u'\n'));
            m_blank = -1;
        }
    } catch (const std::exception &e) {
        DiagnosticLog::WriteLog(QStringLiteral("LoadFromFile failed: ") + QString::fromUtf8(e.what()));
        MessageService::notice(kReadInputError);
    }
    return true;
}

void ArticleEntry::Bind(ArticleDisplay *display)
{
    if (m_display && m_display != display)
        m_display->Release();
    m_display = display;
}

void ArticleEntry::Unbind(Kept kept)
{
    m_display = nullptr;
    m_kept = std::move(kept);
}
