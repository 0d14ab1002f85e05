#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QCheckBox;
class RichTextBox;
class SkinControl;

// The readme/help window: the help document "Help.rtf" from the program's
// folder in a read-only rich-text view, and a "Show at Startup" check box
// kept in the per-user settings. The window is loaded when created and
// unloaded (deleted) when closed, Esc and Ctrl+W among the ways; it has no
// resize handling of its own. With a parent it is that window's own window,
// kept above it.
class Form8 : public QWidget {
    Q_OBJECT
public:
    // productName: whose settings hold the window's choice; skin: the skin it
    // wears, or none.
    Form8(const QString &productName, SkinControl *skin, QWidget *parent = nullptr);

    RichTextBox *rtf1 = nullptr;
    QCheckBox *Check1 = nullptr;

    // Where the help document is looked for.
    static QString helpFilePath();
    // The one line shown instead of the document when it is missing.
    static QString missingHelpText(const QString &path);
    // The check box value a stored setting gives: the text read as a 16-bit
    // number, rounded as the settings store's readers round; nothing for text
    // that is not a number or a value a check box cannot take (0, 1 and 2
    // for the grey third state).
    static std::optional<int> checkValueOfSetting(const QString &text);
    // The window's own 24 x 24 icon.
    static QIcon helpIcon();
    // Whether the window opens when the program starts: the "Show at Startup"
    // box as stored reads ticked (nothing stored reads ticked too).
    static bool showAtStartup(const QString &productName);

private:
    void Form_Load(SkinControl *skin);
    QString m_product;
    void Check1_Click();
    void setCheckValue(int value);
    int checkValue() const;
};

// "View Help": loads the help window unless it is loaded, and shows it
// modeless. A window it loads belongs to `owner` and opens centred over it
// (without owner: on the screen). `window` follows the loaded window; it
// becomes null when the window is closed.
Form8 *ShowHelpWindow(QPointer<Form8> &window, const QString &productName, SkinControl *skin,
                      QWidget *owner = nullptr);
