#pragma once

#include <QDialog>
#include <QPointer>
#include <QUrl>

class History;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class VisitListModel;

// The History window: the last visits, newest first, each with its title,
// address and time, a filter that keeps those whose title or address holds
// every word typed, and Open, which opens the chosen visit's page and closes
// the window. Down in the filter goes to the list; Enter opens the chosen
// visit (the first when none is chosen); a double click opens one; Esc closes.
class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    // At most this many visits are listed; the filter finds older ones.
    static constexpr int listedVisits = 2000;

    HistoryWindow(History *history, QWidget *owner = nullptr);

    // Lists the visits again, as the history holds them now.
    void refresh();

    // For tests: what the window is made of.
    QLineEdit *filter() const { return m_filter; }
    QTreeView *list() const { return m_list; }
    QPushButton *openButton() const { return m_open; }
    // The addresses listed, top down.
    QList<QUrl> listed() const;

signals:
    // The user chose a visit to open.
    void openRequested(const QUrl &address);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void openChosen();
    void showCount();

    QPointer<History> m_history;
    VisitListModel *m_model = nullptr;
    QLineEdit *m_filter = nullptr;
    QTreeView *m_list = nullptr;
    QLabel *m_count = nullptr;
    QPushButton *m_open = nullptr;
};
