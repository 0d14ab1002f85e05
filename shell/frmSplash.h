#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class SkinControl;
class Form1;

// The start-up window: a borderless picture that stays up for a short count
// of timer ticks, then opens the main window and hides. It stays loaded for
// the whole run: its skin control skins every other window.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);
    ~frmSplash() override;

    void Form_Load();
    void Timer2_Timer();

    SkinControl *skn = nullptr;
    QTimer Timer2;
    QLabel *Image1 = nullptr;
    QLabel *Label3 = nullptr;
    qint16 intTemp = 0;

    // The main window this splash opened, once it has.
    Form1 *mainWindow() const { return m_form1; }

private:
    QPointer<Form1> m_form1;
};
