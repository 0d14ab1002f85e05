#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

#include <functional>

class PageGuard;
class QWebEngineProfile;
class WebBrowserPage;

// The web browser control of the main window: a web view with the members the
// program uses under their familiar names, and four events that carry the
// control's index in its array.
class WebBrowser : public QWebEngineView {
    Q_OBJECT
public:
    WebBrowser(int index, QWebEngineProfile *profile, QWidget *parent = nullptr);
    ~WebBrowser() override;

    int index() const { return m_index; }

    // Reads the text as a user's address. Text that names no address the
    // engine can open is refused: nothing happens and false comes back.
    bool Navigate(const QString &address);
    // Opens a local file path or an address.
    bool Navigate2(const QString &pathOrAddress);
    // Opens an address that was vetted elsewhere as a new navigation of the
    // view, never inside the page that is open: javascript: is refused.
    bool open(const QUrl &url);
    bool GoBack();
    bool GoForward();
    // Opens the start page shipped beside the program.
    void GoHome();
    void Refresh();
    void Stop();

    // When silent, the page shows no dialog boxes of its own.
    bool Silent() const { return m_silent; }
    void setSilent(bool silent) { m_silent = silent; }

    QString LocationURL() const;
    QString LocationName() const;

    // The control's own visibility flag, whether or not its window is shown.
    bool Visible() const { return !isHidden(); }

    // True while a navigation is under way.
    bool Busy() const { return m_busy; }

    // The body element's markup as the engine writes it out (empty without a
    // document or body), the address of the document it came from, and the
    // document's base address (document.baseURI: what a <base href> makes of the
    // address, which relative references resolve against). Not valid when the page
    // went away first.
    struct BodyText {
        QString text;
        QString address;
        QString base;
        bool valid = false;
    };
    // Arrives asynchronously.
    void bodyOuterHtml(const std::function<void(const BodyText &)> &callback);

    // Text whose line breaks, however written, are all CR LF: the engine writes
    // lone LFs, the harvest reads lines that end in CR LF.
    static QString withCrLf(QString text);

    // `text` as a JavaScript string literal, for scripts run in a page.
    static QString scriptString(const QString &text);

    // The start page: a file beside the executable.
    static QString homePagePath();

    // Pages for which this view turns its scripts off: the rule is asked
    // before every main-frame navigation of the view, whoever starts it, and
    // scripts are on again for any page the rule does not name. Without a
    // rule the view keeps whatever its settings say.
    void setScriptlessPages(std::function<bool(const QUrl &)> rule);

    // Where this view's pages may lead: asked before every main-frame
    // navigation that a page starts (a link, a form, a redirect, a script),
    // with the address to go to. A non-empty
    // answer refuses the navigation and is the reason, which
    // navigationRefused carries.
    void setNavigationRule(std::function<QString(const QUrl &)> rule);

    // A page asked for a new window (a link with a target, window.open). The
    // popup waits hidden until it commits an address of its own; only one
    // waits at a time. Null when none waits.
    QWebEnginePage *pendingPopup() const;
    // How long a popup may wait for an address before it is closed.
    static constexpr int popupPatienceMs = 10000;
    void setPopupPatience(int ms) { m_popupPatienceMs = ms; }
    int popupPatience() const { return m_popupPatienceMs; }

    // What becomes of the view's loads: failures, certificates, crashes, and
    // how safe the page that shows is.
    PageGuard *guard() const { return m_guard; }

signals:
    void StatusTextChange(int index, const QString &text);
    void ProgressChange(int index, int progress, int progressMax);
    void DownloadComplete(int index);
    void TitleChange(int index, const QString &text);
    // The view's navigation rule refused an address (after the refusal).
    void navigationRefused(int index, const QString &reason);
    // The view made a page besides the one it started with (a popup, which
    // may become the view's page): what watches the view's pages watches it
    // too, from before its first load.
    void pageCreated(QWebEnginePage *page);

private:
    friend class WebBrowserPage;

    void attachPage(WebBrowserPage *page);
    // Called by a page of this view before a navigation starts; false when
    // the view's rule refuses it.
    bool navigationStarting(WebBrowserPage *page, const QUrl &url, bool isMainFrame,
                            bool pageStarted);
    // Called by a page of this view that wants a new window.
    QWebEnginePage *openPopup(WebBrowserPage *opener);
    void adoptPopup();
    void closePopup();
    // Scripts and local file access for the page that is about to show `url`.
    void applyPageRules(QWebEnginePage *page, const QUrl &url);

    int m_index;
    bool m_silent = false;
    bool m_busy = false;
    WebBrowserPage *m_page = nullptr;
    PageGuard *m_guard = nullptr;
    QPointer<WebBrowserPage> m_popup;
    QTimer m_popupTimer;
    std::function<bool(const QUrl &)> m_scriptless;
    std::function<QString(const QUrl &)> m_navigationRule;
    int m_popupPatienceMs = popupPatienceMs;
};
