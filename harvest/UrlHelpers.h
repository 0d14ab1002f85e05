#pragma once

#include <QByteArrayView>
#include <QString>

// The directory of an address: a page address gives its folder, a folder address
// its parent. At the root of a site the root itself comes back ("http" roots come
// back as host and "/" without the scheme, as the Back Directory command expects).
QString BaseDirectoryOf(const QString &url);

// The file-name key of a reference: the text after its last "/".
QString ImageFileName(const QString &reference);

namespace harvest {

// The scheme of an address as a browser reads it (character references decoded,
// leading blanks and control characters skipped, tabs and line breaks ignored),
// in lower case; empty when the address has none.
QString SchemeOf(const QString &address);

// True for an address that may be written into a generated page: no scheme,
// http, https, a data:image/ address, or file when the page itself is a file.
bool IsAllowedAddress(const QString &address, bool filePage);

// The same two on an address in UTF-8. Nearly every address reads as it is
// written (no character reference, tab or line break in it, no blank or control
// character first): those are read as bytes, the others through SchemeOf().
bool HasScheme(QByteArrayView address);
bool IsAllowedAddress(QByteArrayView address, bool filePage);

// True when a browser reads the address as it is written (see above).
bool ReadsAsWritten(QByteArrayView address);

// The scheme of an address that reads as it is written, in its own letter case;
// empty when it has none.
QByteArrayView SchemeOfPlain(QByteArrayView address);

// The root of the site of an address: everything up to the first "/" after "://"
// (or after the start when there is no "://"), that "/" included.
QString SiteRootOf(const QString &url);

} // namespace harvest
