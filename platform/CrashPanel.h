#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// What a view shows when the process behind its page has ended abnormally:
// "This page stopped working", the reason and a Reload button. It lies over
// the view, whose page can show nothing more until it is loaded again.
class CrashPanel : public QWidget {
    Q_OBJECT
public:
    explicit CrashPanel(QWidget *view);

    // Shows the panel over the whole view with the reason in words.
    void showReason(const QString &reason);
    QString reason() const;
    QPushButton *reloadButton() const { return m_reload; }

signals:
    void reloadRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_reason;
    QPushButton *m_reload;
};
