#pragma once

#include <QString>
#include <QWidget>

class QTimer;

// The website window: never shown. Loading it opens the website it is given
// with the system's default handler for web addresses; Timer1 unloads it one
// second later (tests may make that shorter). While it is loaded, a further
// Website command opens nothing.
class frmWebsite : public QWidget {
    Q_OBJECT
public:
    explicit frmWebsite(const QString &website, QWidget *parent = nullptr);

    QTimer *Timer1 = nullptr;

    // The address as it is opened: "http://" in front of an address that
    // has neither "https://" nor "http://" anywhere in it (in any case).
    static QString WebsiteAddress(const QString &website);
    // The loaded website window, or null.
    static frmWebsite *loaded();
    // How long a window stays loaded: one second unless set otherwise.
    static constexpr int defaultUnloadDelayMs = 1000;
    static void setUnloadDelay(int ms);
    static int unloadDelay();
    // True when the desktop took the address (a browser or handler opened it).
    bool handedOver() const { return m_handedOver; }

private:
    void Form_Load(const QString &website);
    void Timer1_Timer();

    bool m_handedOver = false;
};

// The Website command: loads the website window for the website unless it is
// already loaded. False when it was (nothing is opened then). With
// `handedOver`, says whether the desktop took the address.
bool ShowWebsiteWindow(const QString &website, bool *handedOver = nullptr);
