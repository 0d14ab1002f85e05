#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QToolButton;

// The bar over the page that asks whether a site may use something of the
// user's ("HOST wants to use your location"), with Allow and Deny. Closing it
// (its close button, or Esc while it has the focus) denies. It tells how many
// other questions wait behind the one it shows. It never takes the focus by
// itself: a page the user types into keeps the keys.
class PermissionBar : public QWidget {
    Q_OBJECT
public:
    explicit PermissionBar(QWidget *parent = nullptr);

    // Shows the bar with `question`; `waiting` other questions come after it.
    void ask(const QString &question, int waiting);
    // Hides the bar, unanswered. True when it had the keys (the caller
    // gives them back to the page).
    bool dismiss();

    QString question() const;
    QString waitingText() const;

signals:
    // The user's answer: Allow, or Deny (its button, the close button, Esc).
    void answered(bool allow);
    void visibilityChanged(bool shown);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void answer(bool allow);

    QLabel *m_question = nullptr;
    QLabel *m_waiting = nullptr;
    QPushButton *m_allow = nullptr;
    QPushButton *m_deny = nullptr;
    QToolButton *m_close = nullptr;
};
