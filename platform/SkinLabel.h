#pragma once

#include <QLabel>
#include <QPointer>

#include <vector>

// A label that the skin paints. Windows keep them in an array whose element 0
// is a hidden template; mirroring plain labels grows the array at run time.
//
// A skin label paints its background in the colour of whatever it lies on
// (its parent's background), so that over a plain label it hides that label
// completely; the skin's style sheet gives it its text colour.
class SkinLabel : public QLabel {
    Q_OBJECT
public:
    explicit SkinLabel(QWidget *parent = nullptr);

    // Copies position, size, font, caption and visibility from a plain label
    // (and what Qt needs to lay the caption out the same way: alignment,
    // word wrap, text format, margins, link handling), then keeps following
    // that label's position and size, so that a layout moving the label moves
    // its skin label too.
    void mirror(QLabel *label);
    QLabel *source() const { return m_source; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QLabel> m_source;
};

using SkinLabelArray = std::vector<SkinLabel *>;
