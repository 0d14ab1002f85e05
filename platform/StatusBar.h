#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

// A status bar of panels numbered from 1, each with a text and a width in
// twips. Panels are laid side by side from the left; a panel ends at the
// bar's right edge at the latest. A text too long for its panel is shortened
// with "…", and the panel's tool tip holds it whole.
class StatusBar : public QWidget {
    Q_OBJECT
public:
    explicit StatusBar(QWidget *parent = nullptr);

    int panelCount() const { return static_cast<int>(m_panels.size()); }
    // Appends a panel with default properties.
    void addPanel();

    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);
    float panelWidth(int panel) const;
    void setPanelWidth(int panel, float twips);
    // The left edge of a panel, in twips from the bar's left edge.
    float panelLeft(int panel) const;

    // Where a panel's text goes, in pixels of the bar (empty when the panel
    // lies past the bar's edge).
    QRect textRect(int panel) const;
    // A panel's text as the bar shows it.
    QString shownText(int panel) const;
    // The panel at a point of the bar (0: none), and its tool tip there.
    int panelAt(const QPoint &point) const;
    QString toolTipAt(const QPoint &point) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    // A panel's frame, clipped to the bar.
    QRect boxOf(int panel) const;

    struct Panel {
        QString text;
        float width = 1440.0f;
    };
    QVector<Panel> m_panels;
};
