#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QAuthenticator;
class QUrl;
class QWebEnginePage;
class QWidget;
class ViewSwitcher;
class WebBrowser;

// Logging in to sites (and proxies) that ask for a user name and password:
// the login dialog over the window names who asks and what for. "Log In"
// sends the answer; Cancel shows the server's own refusal page. A refused
// answer asks again, with the name typed before, up to `maxAsks` times in one
// load; then the refusal page shows. Nothing is kept: not on disk, and here
// only the user name of a question still being asked.
class Logins : public QObject {
    Q_OBJECT
public:
    Logins(ViewSwitcher *switcher, QWidget *dialogParent);

    // How often one load may ask the same question.
    static constexpr int maxAsks = 5;

private:
    void watch(WebBrowser *view, QWebEnginePage *page);
    void ask(WebBrowser *view, QWebEnginePage *page, const QUrl &address,
             QAuthenticator *authenticator, const QString &proxyHost);

    // The question a page asked last in its current load.
    struct Asked {
        QString key;
        int times = 0;
        QString user;
    };
    QHash<const QWebEnginePage *, Asked> m_asked;
    QWidget *m_dialogParent = nullptr;
};
