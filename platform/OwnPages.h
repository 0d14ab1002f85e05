#pragma once

#include "platform/CertificateExceptions.h"

#include <QString>
#include <QUrl>

// The pages the program shows in a view in place of a page that could not be
// opened: an error page that names the address and the reason, and the
// warning about a certificate. They are written into the document the engine
// commits for the failed load, so that the failed address keeps its one place
// in the view's history, as in other browsers: Back leaves it, Reload tries it
// again.
//
// Their buttons are plain links to addresses under a reserved host, each with
// the token of the page that shows it. The view refuses every navigation to
// them and acts on one only when the page that shows is the one that holds its
// token; no web page can read that page, so none can press its buttons.
namespace OwnPages {

enum class Button { None, TryAgain, GoBack, Continue };

// The address a button leads to.
QUrl buttonUrl(Button button, const QString &token);
// The button an address names (None for any other address); *token receives
// its token.
Button buttonOf(const QUrl &url, QString *token = nullptr);
// True for any address under the buttons' reserved host.
bool isButtonAddress(const QUrl &url);
// A token no page can guess.
QString newToken();

// The error page: the address, the reason in words, the engine's name of the
// error ("ERR_CONNECTION_REFUSED", may be empty) and a Try Again button.
QString errorPage(const QUrl &address, int code, const QString &reason, const QString &engineName,
                  const QString &token);
// The certificate warning: Go Back first; the certificate's facts and, when
// the engine allows it, "Continue to HOST (unsafe)" behind Details.
QString certificatePage(const QUrl &address, const QString &reason,
                        const CertificateProblem &problem, const QString &token);

// A certificate's subject or issuer as "CN=example.com, O=Example".
QString subjectText(const QSslCertificate &certificate);
QString issuerText(const QSslCertificate &certificate);
// "9 Dec 2026, 19:45 UTC".
QString dateText(const QDateTime &when);

// Scripts for the application world of a page:
// hides the engine's own error page from its first moment (at document creation);
QString hideEngineErrorPage();
// writes `html` over the engine's error page; answers true when it did;
QString writeOverErrorPage(const QString &html, const QString &token);
// answers the token of the page of ours that shows (null for none).
QString tokenOfShownPage();

} // namespace OwnPages
