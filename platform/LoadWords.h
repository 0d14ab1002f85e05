#pragma once

#include <QString>
#include <QUrl>

// What the window says about a page's load, in words a user reads: the status
// bar's texts and the reasons a page could not be opened. The engine's facts
// (its network error codes, the server's status code) go in; sentences come
// out.
namespace LoadWords {

// "Opening example.com…" (a local file: its name).
QString opening(const QUrl &url);
QString done();
// "Done: 404 Not Found".
QString doneWithStatus(int httpStatus);
QString stopped();
// "Could not open ADDRESS: REASON".
QString couldNotOpen(const QUrl &url, const QString &reason);

// The reason for one of the engine's network error codes (negative numbers,
// as net::ERR_CONNECTION_REFUSED is -102): "The server refused the
// connection". A code without words of its own is named by the engine's text
// ("net::ERR_SOMETHING").
QString networkError(int code, const QString &engineText = QString());
// True for the codes of certificate errors.
bool isCertificateError(int code);
// "404 Not Found"; "HTTP 599" for a code without a standard name.
QString httpStatus(int code);
// The engine's short name of an error: "ERR_CONNECTION_REFUSED" from
// "net::ERR_CONNECTION_REFUSED"; empty when it gives none.
QString engineName(const QString &engineText);

} // namespace LoadWords
