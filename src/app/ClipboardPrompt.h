#pragma once
// The copy prompt: offers New, Append and Cancel for text that has just
// been copied, and presses its default button by itself once the delay
// (CB_PromptDelay seconds) has run out. A delay of 0 keeps it open.

#include <QDialog>

#include <cstdint>
#include <memory>

class QPushButton;
class QTimer;
class ArticleList;
class TPreferences;

namespace Ui {
class ClipboardPrompt;
}

class ClipboardPrompt : public QDialog
{
    Q_OBJECT
public:
    // Stored values of CB_DfltPromptAction and CB_LastPromptAction.
    enum Action : uint8_t { caNew = 0, caAppend = 1, caCancel = 2, caRememberLast = 3 };

    ClipboardPrompt(ArticleList &list, TPreferences &prefs, QWidget *parent = nullptr);
    ~ClipboardPrompt() override;

    QPushButton *New() const;
    QPushButton *Append() const;
    QPushButton *Cancel() const;
    QPushButton *DefaultButton() const { return m_default; }
    QTimer *DelayTimer() const { return m_delayTimer; }
    QString ModeText() const;

    // Raises the shown prompt above other programs' windows once.
    void BringToFront();

    void NewClick();
    void AppendClick();
    void CancelClick();
    void TimeOutToDefault();

    // Escape and the window manager's close act as Cancel.
    void reject() override;

signals:
    // New or Append was chosen (0 New, 1 Append): the text is to be added now.
    void ActionChosen(int action);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // New or Append: remembered as the last answer, then the text is added.
    void AddText(Action action);
    void FormCreate();
    void FormShow();
    void FormActivate();
    void ChooseDefaultButton();
    void Place();

    std::unique_ptr<Ui::ClipboardPrompt> ui;
    ArticleList &m_list;
    TPreferences &m_prefs;
    QTimer *m_delayTimer;
    QPushButton *m_default = nullptr;
    QPoint m_placedAt{-1, -1};
    bool m_acting = false;  // New or Append is adding the text
};
