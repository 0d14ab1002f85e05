#include "shell/Logins.h"

#include "platform/WebBrowser.h"
#include "shell/PageWatch.h"
#include "shell/ViewSwitcher.h"
#include "windows/LoginDialog.h"
#include "windows/WindowPlacement.h"

#include <QApplication>
#include <QAuthenticator>
#include <QPointer>
#include <QWebEnginePage>

#include <algorithm>

Logins::Logins(ViewSwitcher *switcher, QWidget *dialogParent)
    : QObject(dialogParent), m_dialogParent(dialogParent)
{
    WatchPages(switcher, this,
               [this](WebBrowser *view, QWebEnginePage *page) { watch(view, page); });
}

void Logins::watch(WebBrowser *view, QWebEnginePage *page)
{
    // The engine waits for the answer: the dialog runs inside the signal.
    connect(page, &QWebEnginePage::authenticationRequired, this,
            [this, view, page](const QUrl &address, QAuthenticator *authenticator) {
                ask(view, page, address, authenticator, QString());
            });
    connect(page, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this, view, page](const QUrl &address, QAuthenticator *authenticator,
                               const QString &proxyHost) {
                ask(view, page, address, authenticator, proxyHost);
            });
    // A load that has ended starts the count again.
    connect(page, &QWebEnginePage::loadFinished, this, [this, page] { m_asked.remove(page); });
    connect(page, &QObject::destroyed, this, [this, page] { m_asked.remove(page); });
}

void Logins::ask(WebBrowser *view, QWebEnginePage *page, const QUrl &address,
                 QAuthenticator *authenticator, const QString &proxyHost)
{
    // Only the view's own page, or the popup about to become it, may ask: a
    // page on its way out gets no answer.
    if (page != view->page() && page != view->pendingPopup()) {
        *authenticator = QAuthenticator();
        return;
    }
    LoginQuestion question;
    question.proxy = !proxyHost.isEmpty();
    question.site = SiteName(address);
    question.asker = question.proxy ? proxyHost : question.site;
    question.realm = authenticator->realm();
    question.unencrypted = !question.proxy && address.scheme() == QLatin1String("http");

    Asked &asked = m_asked[page];
    const QString key = (question.proxy ? QStringLiteral("proxy ") : QString()) + question.asker +
                        QLatin1Char(' ') + question.realm;
    if (asked.key != key)
        asked = Asked{key, 0, QString()};
    // The same question again in one load: the last answer was refused.
    question.again = asked.times > 0;
    question.user = asked.user;
    if (asked.times >= maxAsks) {
        m_asked.remove(page);
        *authenticator = QAuthenticator();
        return;
    }
    ++asked.times;

    // The dialog belongs to the program rather than to one window of it, so
    // that the window system keeps it over all of them (the help window kept
    // on top among them); it opens centred over the main window.
    LoginDialog dialog(question);
    const QWidgetList windows = QApplication::topLevelWidgets();
    if (std::any_of(windows.cbegin(), windows.cend(), [](const QWidget *window) {
            return window->isVisible() && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        }))
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.adjustSize();
    CentreOverOwner(&dialog, m_dialogParent);
    // A page that goes while its question is open needs no answer.
    QPointer<QWebEnginePage> asking(page);
    connect(page, &QObject::destroyed, &dialog, &QDialog::reject);
    const bool logIn = dialog.exec() == QDialog::Accepted && asking;
    if (!logIn) {
        m_asked.remove(page);
        *authenticator = QAuthenticator();
        return;
    }
    m_asked[page].user = dialog.user();
    authenticator->setUser(dialog.user());
    authenticator->setPassword(dialog.password());
}
