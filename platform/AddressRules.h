#pragma once

#include <QString>
#include <QUrl>

// What an address handed to the window may open. Addresses come from places
// that the user does not watch: another program's command line, the desktop,
// a link on a web page that a command of ours follows. None of them may run
// script in the page that is open or reach the user's files on a web page's
// behalf.
struct AddressVerdict {
    // The address to open; empty when refused.
    QUrl url;
    // Why it is refused, in words for the status bar; empty when allowed.
    QString refusal;
    bool allowed() const { return refusal.isEmpty() && !url.isEmpty(); }
};

// An address given from outside (the command line, the instance channel, the
// desktop's %u): http and https with a host, a local path or file: address,
// or plain words for the address box. Every other scheme is refused. A
// relative path is read against `folder` (the caller's working folder).
AddressVerdict AddressFromOutside(const QString &text, const QString &folder = QString());

// An address that a command of ours opens for the page `page` (Page Info's
// Open, the Links tab, Send to Browser): http, https and pictures carried as
// data:image, and file: only for a page that is itself a local file.
AddressVerdict AddressForPage(const QUrl &target, const QUrl &page);

// True when a page at `page` may lead to `target`: a web page never leads to a
// local file.
bool PageMayLeadTo(const QUrl &page, const QUrl &target);

// The status bar's words for a local file that a web page may not open.
QString LocalFileRefusal(const QUrl &target);
