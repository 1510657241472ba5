#pragma once
// The copy prompt: offers New, Append and Cancel for text that has just
// been copied, and presses its default button by itself once the delay
// (CB_PromptDelay seconds) has run out. A delay of 0 keeps it open.

#include "ClipboardWatcher.h"

#include <QDialog>

#include <functional>
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
    // addText takes the chosen action (0 New, 1 Append).
    ClipboardPrompt(ArticleList &list, TPreferences &prefs, std::function<void(int)> addText,
                    QWidget *parent = nullptr);
    ~ClipboardPrompt() override;

    QPushButton *New() const;
    QPushButton *Append() const;
    QPushButton *Cancel() const;
    QPushButton *DefaultButton() const { return m_default; }
    QTimer *Timer1() const { return m_timer1; }
    QString ModeText() const;

    // Raises the shown prompt above other programs' windows once.
    void BringToFront();

    void NewClick();
    void AppendClick();
    void CancelClick();
    void TimeOutToDefault();

    // Escape and the window manager's close act as Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // New or Append: remembered as the last answer, then the text is added.
    void AddText(ClipboardWatcher::Action action);
    void FormCreate();
    void FormShow();
    void FormActivate();
    void ChooseDefaultButton();
    void Place();

    std::unique_ptr<Ui::ClipboardPrompt> ui;
    ArticleList &m_list;
    TPreferences &m_prefs;
    std::function<void(int)> m_addText;
    QTimer *m_timer1;
    QPushButton *m_default = nullptr;
    QPoint m_placedAt{-1, -1};
    bool m_acting = false;  // New or Append is adding the text
};
