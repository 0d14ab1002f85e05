#pragma once

#include <QString>
#include <QWidget>

class QTimer;

// The website window: never shown. Loading it opens the product's website
// with the system's default handler for web addresses (when the Website
// command asked for it through WebsiteMode); Timer1 unloads it one second
// later. While it is loaded, a further Website command opens nothing.
class frmWebsite : public QWidget {
    Q_OBJECT
public:
    explicit frmWebsite(QWidget *parent = nullptr);

    QTimer *Timer1 = nullptr;

    // The address as it is opened: "http://" in front of an address that
    // has neither "https://" nor "http://" anywhere in it (in any case).
    static QString WebsiteAddress(const QString &website);
    // The loaded website window, or null.
    static frmWebsite *loaded();

private:
    void Form_Load();
    void Timer1_Timer();
};

// The Website command's second half (after WebsiteMode = "Website"): loads
// the website window unless it is already loaded.
void ShowWebsiteWindow();
