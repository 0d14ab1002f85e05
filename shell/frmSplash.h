#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "windows/Branding.h"

class QLabel;
class SkinControl;

// The start-up window: a borderless picture that shows for a short count of
// timer ticks and then says its time is up. It only shows and hides: the
// application opens the main window.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    frmSplash(const Branding &branding, SkinControl *skin, QWidget *parent = nullptr);
    ~frmSplash() override;

signals:
    void timeUp();

private:
    void Form_Load(const Branding &branding, SkinControl *skin);
    void Timer2_Timer();

    QTimer Timer2;
    QLabel *Image1 = nullptr;
    QLabel *Label3 = nullptr;
    qint16 intTemp = 0;
};
