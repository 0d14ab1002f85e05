#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>

class QWebEngineProfile;

// A saved page read by the web engine at its own address, for the collector.
//
// The page opens as an almost empty document at the page's address whose
// content security policy lets no script of the page run; the page's text is
// then written into it from the collector's world, in pieces, and parsed by the
// engine's own HTML parser. `parsed` comes once the parser has read it all and
// every frame made from the page's own text (srcdoc) has loaded: a style sheet
// the page names in its body holds the parser until the engine gives up on it,
// which it does at once, as nothing is fetched.
//
// With scripting on (the default), the engine parses the page as a browser that
// runs scripts does (the content of <noscript> is text), while the policy keeps
// the page's own scripts, handlers and javascript: addresses from running. With
// scripting off, it parses as a browser without scripts does (<noscript> content
// is markup).
//
// Nothing the page names is loaded: no frame or link navigates, and the profile's
// interceptor (not this class) must refuse every request but the first document.
class SavedPage : public QWebEnginePage {
    Q_OBJECT
public:
    SavedPage(QWebEngineProfile *profile, bool scripting, QObject *parent = nullptr);

    // Starts reading `text` (decoded from the character set `encoding`) as the
    // document at `address`. Call once.
    void open(const QString &text, const QByteArray &encoding, const QUrl &address);

    // The policy of the first document: no script of the page runs, nor a plugin.
    static QString scriptPolicy();

signals:
    void parsed();
    void failed(const QString &why);
    // The engine cannot read the address.
    void refusedAddress();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceId) override;

private:
    void openAt(const QByteArray &first, const QByteArray &type, const QUrl &address);
    void write(qsizetype piece);
    QString writingScript(qsizetype piece) const;

    // The program's own next load of a document may go ahead; nothing else.
    bool m_mayNavigate = false;
    bool m_told = false;
    QString m_text;
    QList<qsizetype> m_starts;
    // What the collector's world says on the console once the page is read: no
    // text of the page can say it, as it is made anew for each run.
    QString m_token;
};
