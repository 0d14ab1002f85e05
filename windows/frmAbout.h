#pragma once

#include "platform/SkinLabel.h"
#include "windows/Branding.h"

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QWidget>

// The about window: product name, version (as --version gives it), owner,
// website and a rights notice from the program's version information, beside
// the product picture. The website is a link that opens in the desktop's web
// browser, as the Website command does. It closes with its OK button (the
// default), the window's close box, Esc or Ctrl+W and is unloaded (deleted)
// then. With a parent it is that window's dialog: it stays above it and goes
// with it.
class QAction;
class QPushButton;
class SkinControl;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    frmAbout(const Branding &branding, SkinControl *skin, QWidget *parent = nullptr);

    SkinLabel *Label1 = nullptr; // the product name
    QLabel *Label2 = nullptr;    // "Version:"
    SkinLabel *lblVersion = nullptr;
    QLabel *Label3 = nullptr; // "Owned By:"
    SkinLabel *lblCompany = nullptr;
    QLabel *Label4 = nullptr; // "Website:"
    SkinLabel *lblWebsite = nullptr;
    QLabel *Label5 = nullptr;   // the rights notice
    QLabel *Picture1 = nullptr; // the product picture
    QPushButton *cmdOK = nullptr;
    // Skin labels; element 0 is the hidden template, mirroring adds the rest.
    SkinLabelArray SkinLabel1;

    // Where the product picture comes from.
    static QString pictureResource();

    // The command the website's link runs (the main window's Website
    // command); without one, the link hands the site to the desktop itself.
    void setWebsiteAction(QAction *action) { m_websiteAction = action; }

private:
    void Form_Load(const Branding &branding, SkinControl *skin);
    void openWebsite();

    QString m_website;
    QPointer<QAction> m_websiteAction;
};

// "About this software": loads the about window unless it is loaded, and
// shows it modeless. A window it loads is the dialog of `owner` and opens
// centred over it (without owner: on the screen).
frmAbout *ShowAboutWindow(QPointer<frmAbout> &window, const Branding &branding, SkinControl *skin,
                          QWidget *owner = nullptr);
