#pragma once

#include "platform/CertificateExceptions.h"
#include "platform/OwnPages.h"
#include "platform/PageSecurity.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class CrashPanel;
class QWebEngineCertificateError;
class QWebEngineLoadingInfo;
class QWebEnginePage;
class WebBrowser;

// Watches what becomes of the pages a view shows, and answers for the view
// when something goes wrong:
// - a load that fails shows an error page of ours in its place, a
//   certificate the engine does not trust a warning page; an HTTP error page
//   that the server sent is a page like any other;
// - a page whose process ends abnormally gives way to "This page stopped
//   working" and a Reload button;
// - it says what the window's status bar says about each load, and how safe
//   the connection of the page that shows is.
class PageGuard : public QObject {
    Q_OBJECT
public:
    explicit PageGuard(WebBrowser *view);
    ~PageGuard() override;

    // What every page of the view needs from its start (the engine's own error
    // page is never seen).
    static void prepare(QWebEnginePage *page);
    // Watches the page the view shows from now on (its first page, a popup
    // it takes over).
    void attach(QWebEnginePage *page);

    // What the last load of the view came to.
    struct Outcome {
        enum Kind { None, Loading, Done, HttpError, Failed, Stopped, Crashed };
        Kind kind = None;
        QUrl url;
        int code = 0;   // the engine's error code, or the HTTP status
        QString reason; // Failed and Crashed: in words
        QString words;  // what the status bar says (may be empty: nothing)

        bool failed() const { return kind == Failed; }
    };
    const Outcome &outcome() const { return m_outcome; }

    // A load event of the view's page, taken before the view reports it.
    // False for the loads that a button of ours starts and the view refuses:
    // they are not the view's loads and it says nothing about them.
    bool loadingChanged(const QWebEngineLoadingInfo &info);

    // Asked before every main-frame navigation of the view's page: true when
    // `url` is a button of one of our pages, which the view then refuses. The
    // button acts only when a page started the navigation and the page that
    // shows is the page of ours that holds its token.
    bool pressButton(const QUrl &url, bool pageStarted);

    // True while a page of ours (an error or certificate page) shows.
    bool ownPageShows() const { return m_own.has_value(); }
    // The connection of the page that shows.
    PageSecurity security() const;
    // The hosts whose certificates the user chose to pass, for every view of
    // the profile.
    CertificateExceptions *exceptions() const;
    // The panel that shows when the page stopped working (hidden otherwise).
    CrashPanel *crashPanel() const { return m_crash; }

signals:
    // What security() says may have changed.
    void securityChanged();
    // A page of ours now shows in the view.
    void ownPageShown();
    // The page's process ended abnormally; `words` for the status bar.
    void stoppedWorking(const QString &words);

private:
    struct OwnPage {
        QUrl url;
        QString token;
        bool certificate = false;
        CertificateProblem problem;
    };
    void certificateError(const QWebEngineCertificateError &error);
    void processEnded(int status, int exitCode);
    void loadFailed(const QWebEngineLoadingInfo &info);
    void showOwnPage(const OwnPage &page, const QString &html);
    // A page of ours that a load left may still show when that load stopped.
    void checkStillShown(const OwnPage &page);
    void act(OwnPages::Button button);

    WebBrowser *m_view;
    QPointer<QWebEnginePage> m_page;
    CrashPanel *m_crash;
    Outcome m_outcome;
    // The page of ours that shows, and the one a load under way is leaving.
    std::optional<OwnPage> m_own;
    std::optional<OwnPage> m_leaving;
    // What each host's certificate had against it, as last seen.
    QHash<QString, CertificateProblem> m_problems;
    // A button pressed; it acts once the refused navigation is over.
    OwnPages::Button m_pressed = OwnPages::Button::None;
    bool m_crashed = false;
    quint64 m_loads = 0;
};
