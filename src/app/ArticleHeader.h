#pragma once
// The header strip of an article: title box, voice drop-down and, in
// Multi-Article mode, the Read / Read to File / Delete buttons.

#include <QComboBox>
#include <QFrame>
#include <QString>

#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

// One voice of the voice catalogue as the article header needs it.
struct VoiceChoice {
    QString DisplayName;
    bool Favorite = false;
    bool EngineEnabled = true;
};

// Gives the catalogue's voices in catalogue order, asked each time the
// voices are shown, so changes in the catalogue show at once.
class VoiceChoiceSource
{
public:
    virtual ~VoiceChoiceSource() = default;
    virtual std::vector<VoiceChoice> VoiceChoices() const = 0;
};

// A drop-down list that refreshes its items just before it opens.
class VoiceComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

signals:
    void AboutToDropDown();
};

class ArticleHeader : public QFrame
{
    Q_OBJECT
public:
    explicit ArticleHeader(QWidget *parent, const VoiceChoiceSource *voices = nullptr);

    // Refills the drop-down with the favourite voices of enabled engines,
    // keeping the article's current voice; nothing while VoiceListLoaded.
    void LoadVoiceList();

    // The Multi-Article layout (voice further left, buttons shown), or
    // with false the Single-Article one.
    void ShowButtons(bool show = true);
    bool ButtonsShown() const { return m_buttonsShown; }

    QString Title() const;
    void SetTitle(const QString &title);
    // Fills the drop-down with the favourite voices and selects voice, which
    // is offered also when it is none of them.
    void ShowVoices(const QString &voice);
    QString Voice() const;
    // Selects the first item equal to name; with no such item none is selected.
    bool SelectVoice(const QString &name);

    void SetVoiceChoices(const VoiceChoiceSource *voices) { m_voices = voices; }

    // The height the header needs with the current fonts (at least 25).
    int PreferredHeight() const;

    // Focus left the panel: the next click or drop-down refills the list.
    void FocusLeft() { VoiceListLoaded = false; }

    bool VoiceListLoaded = false;

    QLabel *TitleLabel;
    QLineEdit *TitleEdit;
    QLabel *VoiceLabel;
    VoiceComboBox *VoiceCB;
    QPushButton *ReadBtn;
    QPushButton *ReadToFileBtn;
    QPushButton *DeleteBtn;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Places the controls now when shown, else at the next show: measuring
    // texts for a thousand hidden headers is what makes a long import slow.
    void PlaceControls();
    void PlaceNow();
    bool m_placed = false;

    const VoiceChoiceSource *m_voices = nullptr;
    int m_voiceLeft = 250;
    bool m_buttonsShown = false;
};
