#pragma once

#include <QColor>
#include <QHash>
#include <QObject>
#include <QPalette>
#include <QString>
#include <QWidget>

// The skin engine: holds one skin definition and skins windows with it.
//
// A definition is a small text file in sections:
//   [colours]  the four colours by dispatch id ("2 = #F7F4EC")
//   [look]     named colours of the rest of the look ("accent = #2A4D6E")
//   [base]     "style = Fusion": the widget style the skin draws on
//   [fonts]    font substitutes ("Verdana = DejaVu Sans, Liberation Sans")
//   [style]    a Qt style sheet, to the end of the file; "@name" in it stands
//              for the [look] colour of that name
// Lines starting with '#' outside [style] are comments.
class SkinControl : public QObject {
    Q_OBJECT
public:
    // Loads the program's own skin, ":/app/skin/quarrow.skin".
    explicit SkinControl(QObject *parent = nullptr);

    static QString defaultDefinition();

    // Replaces the skin with the definition at path; false when it cannot
    // be read (the skin is then empty: every colour 0, no style sheet).
    bool load(const QString &path);
    // The same from the definition's text.
    void loadText(const QString &definition);

    // The skin's colours by their dispatch ids 2 to 5, as 0x00RRGGBB.
    quint32 colour(int dispatchId) const;

    // A named colour of the [look] section; invalid when absent.
    QColor look(const QString &name) const;
    // The palette a skinned window gets.
    QPalette palette() const;
    // The style sheet a skinned window gets, its @names replaced.
    QString styleSheet() const;
    // Font substitutes by family, as the definition gives them.
    QHash<QString, QStringList> fontSubstitutes() const { return m_fonts; }
    // The widget style the skin draws on; skinning a window makes it the
    // application's style.
    QString baseStyle() const { return m_baseStyle; }

    // Skins a top-level window from now on: the skin's palette and style
    // sheet, and on Windows 11 and later a caption and border in the accent.
    void skinWindow(QWidget *window);

    // True when skinWindow has been applied to this window.
    static bool isSkinned(const QWidget *window);

private:
    QHash<int, quint32> m_colours;
    QHash<QString, QColor> m_look;
    QHash<QString, QStringList> m_fonts;
    QString m_style;
    QString m_baseStyle;
};
