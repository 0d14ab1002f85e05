#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

// A status bar of panels numbered from 1, each with a text and a width in
// twips. Panels are laid side by side from the left; what does not fit is
// clipped at the right edge.
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

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Panel {
        QString text;
        float width = 1440.0f;
    };
    QVector<Panel> m_panels;
};
