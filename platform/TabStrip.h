#pragma once

#include <QWidget>

class QTabBar;
class QFrame;

// A tab strip: a row of tabs over a framed client area. The views it
// switches are not its children; they lie over its client area. Tabs are
// numbered from 1.
class TabStrip : public QWidget {
    Q_OBJECT
public:
    explicit TabStrip(QWidget *parent = nullptr);

    int addTab(const QString &caption, const QString &toolTip);
    int tabCount() const;
    QString tabCaption(int tab) const;
    QString tabToolTip(int tab) const;

    // The selected tab's number.
    int SelectedItem() const;
    // Marks a tab selected, as a program does it: no Click follows.
    void select(int tab);

    // Height of the row of tabs in pixels.
    int tabRowHeight() const;

    QTabBar *tabBar() const { return m_bar; }

signals:
    // The user selected a tab (mouse or keyboard).
    void Click();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QTabBar *m_bar;
    QFrame *m_frame;
    bool m_selecting = false;
};
