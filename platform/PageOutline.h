#pragma once

#include <QWidget>

// A ring drawn over a view around a part of its page: the program's own mark,
// a widget over the page and not part of it, so that the page can neither see
// it nor take it away. Clicks and the wheel go through it to the page.
class PageOutline : public QWidget {
    Q_OBJECT
public:
    // The ring's width, outside the part it surrounds.
    static constexpr int ringWidth = 4;

    explicit PageOutline(QWidget *view);

    // Shows the ring around `box` (the view's coordinates), or moves it there.
    void surround(const QRect &box);
    // The part the ring surrounds (its inside).
    QRect surrounded() const { return m_box; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect m_box;
};
