#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class History;
class QCompleter;
class QLineEdit;
class SuggestionModel;

// The list under the address box that offers, as the user types, the pages of
// the history whose address or title holds every word typed: the most visited
// first, at most maxSuggestions. Typing is never changed by it. Up and Down
// walk the list and put the address of the suggestion in the box (past the
// first one, the typed text comes back); Enter takes it, or what the box
// holds when none is chosen; a click takes one; Esc closes the list and gives
// back what was typed. Down in the box opens the list again.
class AddressCompleter : public QObject {
    Q_OBJECT
public:
    static constexpr int maxSuggestions = 10;

    // Works for `box` (its child) over `history`.
    AddressCompleter(History *history, QLineEdit *box);

    QCompleter *completer() const { return m_completer; }
    // The addresses offered now, in their order.
    QStringList suggestions() const;
    bool listShown() const;

signals:
    // Enter, or a click on a suggestion: the box holds the address to open.
    void accepted();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Offers what matches `text`, as typed.
    void offer(const QString &text);
    void closeList();

    QPointer<History> m_history;
    QLineEdit *m_box;
    QCompleter *m_completer;
    SuggestionModel *m_model;
    // What the user typed last, which Esc and the top of the list give back.
    QString m_typed;
};
