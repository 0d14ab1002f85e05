#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// The part of a path after its last separator. Backslashes separate, as in
// the paths the program was first written for; off Windows so do slashes.
QString FileNameOf(const QString &path);

// True when `path` names a plain, visible file. The letter case of the name
// does not matter, as on the file systems the program was first written
// for: the file is looked for in its folder ignoring case.
bool FileExists(const QString &path);

// Keeps a window above every window that is not itself kept on top.
void SetTopMost(QWidget *form);

// ---------------------------------------------------------------------------
// Files named and written for what a web page offers (the Page Info window's
// saved pictures). A page chooses the names and the bytes, so the names cannot
// mislead and the writes never leave the chosen folder.

// The longest file name most file systems take, in bytes of UTF-8.
inline constexpr int MaxFileNameBytes = 255;

// The extension a picture of this MIME type gets ("jpg" for image/jpeg);
// empty for a type that is not a picture we know.
QString PictureExtension(const QString &mimeType);

// Qt's image reader format for a picture of this MIME type ("jpeg" for
// image/jpeg); empty for a type that is not a picture we know.
QByteArray PictureReaderFormat(const QString &mimeType);

// The picture type the bytes begin with, read from their signature
// ("image/png", "image/svg+xml"); empty when they are no picture we know,
// whatever a server or an address says.
QString SniffPictureType(const QByteArray &head);

// A file name for `raw` (the last part of an address) that is safe on any
// file system and cannot mislead:
//  - format characters (Unicode Cf: bidirectional overrides and isolates,
//    zero-width characters) are removed; control characters, line and
//    paragraph separators and the characters Windows refuses become "_";
//  - leading dots and trailing dots and spaces go;
//  - a picture of a known `mimeType` ends with that type's extension (an
//    extension of another type, ".html" or ".exe", is replaced); a name of
//    unknown type keeps no extension that runs or renders (".exe" becomes
//    "_exe");
//  - a reserved Windows device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, also
//    with an extension and in any case) gets "_" after it: "CON_.png";
//  - the name is cut to MaxFileNameBytes bytes of UTF-8, never inside a
//    character, keeping its extension.
// An empty result becomes "picture".
QString SafeFileName(const QString &raw, const QString &mimeType);

// True for a reserved Windows device name, with or without an extension.
bool IsReservedDeviceName(const QString &name);

// `name` cut to `maxBytes` bytes of UTF-8 without splitting a character,
// keeping its extension.
QString FitFileName(const QString &name, int maxBytes = MaxFileNameBytes);

// "name (2).jpg" for "name.jpg" and 2, cut to fit as FitFileName does.
QString NumberedFileName(const QString &name, int n);

// `name` with the extension of the picture type `mimeType` when it has
// another one; unchanged for a type we do not know or an extension of its own.
QString WithPictureExtension(const QString &name, const QString &mimeType);

// True when something of this path's name is there, a link that leads
// nowhere included.
bool EntryExists(const QString &path);

// Reads at most `maxBytes` of a regular file. A FIFO, a device, a folder or
// a file of the kernel's (/proc, /sys) is refused without waiting on it: the
// file is opened without blocking and checked once open, so a swap of the
// path in between changes nothing. Null bytes and `*error` say why not.
QByteArray ReadRegularFile(const QString &path, qint64 maxBytes, QString *error);

// The first `bytes` bytes of the regular file `name` of `folder` and, in
// *size, its whole size; a link of that name is not followed.
QByteArray FileHead(const QString &folder, const QString &name, int bytes, qint64 *size,
                    QString *error);

// How placing a file into a folder ended.
enum class PlaceResult {
    Placed,  // the file is there under *finalName
    Refused, // the name is taken by a link, a folder or another kind of file
    Failed,  // the file system said no
};

// Writes `bytes` into `folder` as `name`: into a fresh temporary file of the
// folder (created exclusively, never through a link), then renamed into place
// as PlaceFileAt does (`name` may be a relative path: "host/a/name.jpg").
PlaceResult WriteFileSafely(const QString &folder, const QString &name, const QByteArray &bytes,
                            bool replace, QString *finalName, QString *error);

// Renames the file `partName` of `folder` into place as `name`. A link, a
// folder or anything but a regular file of that name is never followed nor
// replaced: Refused. An existing regular file is replaced when `replace`;
// otherwise the file takes the next free "name (N).ext". The part file is
// gone afterwards, whatever the result.
PlaceResult PlaceFile(const QString &folder, const QString &partName, const QString &name,
                      bool replace, QString *finalName, QString *error);

// PlaceFile from one folder into another, at a path relative to it
// ("host/a/name.jpg"): the folders on the way are made as needed, each opened
// without following a link; a link or a file where a folder should be is
// Refused. *finalName is the relative path the file got.
PlaceResult PlaceFileAt(const QString &fromFolder, const QString &partName, const QString &folder,
                        const QString &relativePath, bool replace, QString *finalName,
                        QString *error);

// The SHA-256 of the regular file `name` of `folder` (a link is not
// followed), with its size in *size and its first `headBytes` bytes in
// *head; null and *error when it cannot be read.
QByteArray HashFile(const QString &folder, const QString &name, qint64 *size, QByteArray *head,
                    int headBytes, QString *error);

// A new, hard to guess name for a hidden part file.
QString NewPartFileName();
