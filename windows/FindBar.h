#pragma once

#include <QPointer>
#include <QWebEngineView>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

// The bar that finds text in a web view (in the main window, the view that
// shows; in the page source window, its source): it finds as the user types,
// counts the matches ("3 of 12"), steps forward with Enter or F3 and back with
// Shift+Enter or Shift+F3, and closes with Esc.
class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QWidget *parent = nullptr);

    // The view the bar searches; a change clears the old view's marks.
    void setView(QWebEngineView *view);
    QWebEngineView *view() const { return m_view; }

    // Shows the bar with its text selected and the focus in it.
    void open();
    // Hides the bar, clears the marks and gives the focus back to the view.
    void close();

    void findNext();
    void findPrevious();

    QString text() const;
    // "N of M" after a search, "No matches" when there are none, empty before.
    QString resultText() const;

signals:
    void visibilityChanged(bool shown);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void find(bool backward);
    void showResult(int active, int count);

    QPointer<QWebEngineView> m_view;
    // What the engine's current search looks for; another text or letter case
    // starts a new search from the top.
    QString m_searched;
    bool m_searchedCase = false;
    QLineEdit *m_text = nullptr;
    QCheckBox *m_matchCase = nullptr;
    QLabel *m_result = nullptr;
    QToolButton *m_previous = nullptr;
    QToolButton *m_next = nullptr;
    QToolButton *m_close = nullptr;
};
