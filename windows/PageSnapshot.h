#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <atomic>

// The pictures a page already has, out of its MHTML snapshot
// (QWebEnginePage::save with MimeHtmlSaveFormat). The engine writes such a
// snapshot from the resources its renderer holds, with their own bytes, and
// fetches nothing: the pictures it has shown come out without a new request.
//
// Qt 6.4 offers no other way to read what the engine has: its HTTP cache has
// no reading API, and QWebEnginePage::download() asks the server again (the
// engine downloads without its cache).
class PageSnapshot {
public:
    struct Part {
        QString file; // in the folder given to extract()
        QString type; // its Content-Type
        qint64 bytes = 0;
    };
    // Writes the parts of the snapshot at `path` whose address is one of
    // `wanted` into new files of `folder`, each at most `maxBytes` (a larger
    // one is left out); base64 and quoted-printable parts only. Stops early
    // when `stop` is set. Keyed by the wanted address.
    static QHash<QString, Part> extract(const QString &path, const QSet<QString> &wanted,
                                        const QString &folder, qint64 maxBytes,
                                        const std::atomic_bool *stop = nullptr);
    // The form addresses are compared in: without a fragment, fully encoded.
    static QString key(const QString &address);
};
