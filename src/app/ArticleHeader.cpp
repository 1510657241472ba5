#include "ArticleHeader.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int kSingleVoiceLeft = 250;
constexpr int kMultiVoiceLeft = 180;
constexpr int kControlTop = 2;
constexpr int kMinHeaderHeight = 25;
constexpr int kMinVoiceWidth = 180;

QLabel *boldLabel(const QString &caption, const QString &name, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

QPushButton *headerButton(const QString &caption, const QString &hint, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setAccessibleName(caption);
    button->setAccessibleDescription(hint);
    button->hide();
    return button;
}

}  // namespace

void VoiceComboBox::showPopup()
{
    emit AboutToDropDown();
    QComboBox::showPopup();
}

ArticleHeader::ArticleHeader(QWidget *parent, const VoiceChoiceSource *voices) : QFrame(parent), m_voices(voices)
{
    setObjectName(QStringLiteral("PropertyPanel"));
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(QStringLiteral("Article header"));

    TitleLabel = boldLabel(QStringLiteral("Title: "), QStringLiteral("TitleLabel"), this);
    TitleEdit = new QLineEdit(this);
    TitleEdit->setObjectName(QStringLiteral("TitleEdit"));
    TitleEdit->setAccessibleName(QStringLiteral("Title"));
    TitleLabel->setBuddy(TitleEdit);

    VoiceLabel = boldLabel(QStringLiteral("Voice: "), QStringLiteral("VoiceLabel"), this);
    VoiceCB = new VoiceComboBox(this);
    VoiceCB->setObjectName(QStringLiteral("VoiceCB"));
    VoiceCB->setAccessibleName(QStringLiteral("Voice"));
    VoiceCB->setEditable(false);
    connect(VoiceCB, &VoiceComboBox::AboutToDropDown, this, &ArticleHeader::LoadVoiceList);
    VoiceLabel->setBuddy(VoiceCB);

    ReadBtn = headerButton(QStringLiteral("Read"), QStringLiteral("Read selected article"), QStringLiteral("ReadBtn"),
                           this);
    ReadToFileBtn = headerButton(QStringLiteral("Read to File"), QStringLiteral("Read selected article to file"),
                                 QStringLiteral("ReadToFileBtn"), this);
    DeleteBtn = headerButton(QStringLiteral("Delete"), QStringLiteral("Delete selected article"),
                             QStringLiteral("DeleteBtn"), this);

    // Clicks on the labels and the title box refill the voices, as does
    // keyboard focus arriving at the drop-down.
    TitleLabel->installEventFilter(this);
    TitleEdit->installEventFilter(this);
    VoiceLabel->installEventFilter(this);
    VoiceCB->installEventFilter(this);

    ShowVoices(QString());
}

void ArticleHeader::ShowVoices(const QString &voice)
{
    // Every favourite voice is offered; the engine's state is only looked
    // at on a refill.
    const QSignalBlocker block(VoiceCB);
    VoiceCB->clear();
    if (m_voices) {
        for (const VoiceChoice &v : m_voices->VoiceChoices()) {
            if (v.Favorite)
                VoiceCB->addItem(v.DisplayName);
        }
    }
    // A voice that is no favourite (any more) stays the article's voice
    // until the user picks another: saving must not drop it.
    if (!voice.isEmpty() && VoiceCB->findText(voice, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        VoiceCB->addItem(voice);
    SelectVoice(voice);
    VoiceListLoaded = false;
    PlaceControls();
}

void ArticleHeader::LoadVoiceList()
{
    if (VoiceListLoaded)
        return;
    const QString remembered = VoiceCB->currentText();
    const QSignalBlocker block(VoiceCB);
    VoiceCB->clear();
    int select = 0;
    if (m_voices) {
        for (const VoiceChoice &v : m_voices->VoiceChoices()) {
            if (v.Favorite && v.EngineEnabled) {
                VoiceCB->addItem(v.DisplayName);
                if (v.DisplayName == remembered)
                    select = VoiceCB->count() - 1;
            } else if (v.DisplayName == remembered) {
                VoiceCB->addItem(v.DisplayName);
                select = VoiceCB->count() - 1;
            }
        }
    }
    VoiceCB->setCurrentIndex(VoiceCB->count() > 0 ? select : -1);
    VoiceListLoaded = true;
    PlaceControls();
}

void ArticleHeader::ShowButtons(bool show)
{
    m_voiceLeft = show ? kMultiVoiceLeft : kSingleVoiceLeft;
    m_buttonsShown = show;
    ReadBtn->setVisible(show);
    ReadToFileBtn->setVisible(show);
    DeleteBtn->setVisible(show);
    PlaceControls();
}

QString ArticleHeader::Title() const
{
    return TitleEdit->text();
}

void ArticleHeader::SetTitle(const QString &title)
{
    TitleEdit->setText(title);
    TitleEdit->setCursorPosition(0);
}

QString ArticleHeader::Voice() const
{
    return VoiceCB->currentText();
}

bool ArticleHeader::SelectVoice(const QString &name)
{
    const int index = VoiceCB->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    VoiceCB->setCurrentIndex(index);
    return index >= 0;
}

int ArticleHeader::PreferredHeight() const
{
    const int controls =
        std::max({TitleEdit->sizeHint().height(), VoiceCB->sizeHint().height(), ReadBtn->sizeHint().height()});
    return std::max(kMinHeaderHeight, controls + 2 * kControlTop);
}

void ArticleHeader::PlaceControls()
{
    m_placed = false;
    if (isVisible())
        PlaceNow();
}

void ArticleHeader::showEvent(QShowEvent *event)
{
    if (!m_placed)
        PlaceNow();
    QFrame::showEvent(event);
}

void ArticleHeader::PlaceNow()
{
    m_placed = true;
    const int controlHeight = PreferredHeight() - 2 * kControlTop;
    auto placeLabel = [&](QLabel *label, int left) {
        const QSize hint = label->sizeHint();
        label->setGeometry(left, kControlTop + (controlHeight - hint.height()) / 2, hint.width(), hint.height());
        return hint.width();
    };

    const int titleLabelWidth = placeLabel(TitleLabel, 5);
    const int titleLeft = titleLabelWidth + 5;
    int longest = 0;
    for (int i = 0; i < VoiceCB->count(); ++i)
        longest = std::max(longest, VoiceCB->fontMetrics().horizontalAdvance(VoiceCB->itemText(i)));
    int voiceWidth = std::max(kMinVoiceWidth, longest + 2 * controlHeight);
    int voiceLabelLeft = m_voiceLeft;

    // The designed places as long as the buttons fit; in a narrower header
    // (a larger font, a small window) the voice list and then the title
    // give way, so Read, Read to File and Delete stay in view.
    if (m_buttonsShown) {
        int buttons = 15;
        for (QPushButton *button : {ReadBtn, ReadToFileBtn, DeleteBtn})
            buttons += button->sizeHint().width() + 2;
        const int voiceLabelWidth = VoiceLabel->sizeHint().width();
        int over = voiceLabelLeft + voiceLabelWidth + voiceWidth + buttons - width();
        const int minVoiceWidth = VoiceCB->fontMetrics().averageCharWidth() * 12 + 2 * controlHeight;
        const int voiceGives = std::clamp(over, 0, std::max(0, voiceWidth - minVoiceWidth));
        voiceWidth -= voiceGives;
        over -= voiceGives;
        const int minTitleWidth = TitleEdit->fontMetrics().averageCharWidth() * 8;
        voiceLabelLeft -= std::clamp(over, 0, std::max(0, voiceLabelLeft - 10 - titleLeft - minTitleWidth));
    }
    TitleEdit->setGeometry(titleLeft, kControlTop, std::max(60, voiceLabelLeft - 10 - titleLeft), controlHeight);
    const int voiceLabelWidth = placeLabel(VoiceLabel, voiceLabelLeft);
    const int voiceLeft = voiceLabelWidth + voiceLabelLeft;
    VoiceCB->setGeometry(voiceLeft, kControlTop, voiceWidth, controlHeight);

    int left = voiceLeft + voiceWidth + 15;
    for (QPushButton *button : {ReadBtn, ReadToFileBtn, DeleteBtn}) {
        const int width = button->sizeHint().width();
        button->setGeometry(left, kControlTop, width, controlHeight);
        left += width + 2;
    }
}

void ArticleHeader::mousePressEvent(QMouseEvent *event)
{
    LoadVoiceList();
    QFrame::mousePressEvent(event);
}

bool ArticleHeader::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress)
        LoadVoiceList();
    else if (watched == VoiceCB && event->type() == QEvent::FocusIn)
        LoadVoiceList();
    return QFrame::eventFilter(watched, event);
}

void ArticleHeader::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    PlaceControls();
}

void ArticleHeader::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        PlaceControls();
    QFrame::changeEvent(event);
}
