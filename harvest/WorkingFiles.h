#pragma once

#include "harvest/ByteSink.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>

// The six working files of the harvest, all in one folder. Every value is written
// as UTF-8 followed by CR LF. A replace-mode write goes to a fresh owner-only file
// beside the target that is then renamed over it, so a write that fails leaves the
// previous content in place. Nothing is ever written through a symbolic link: a
// link (or a folder) where a working file should be is refused, and said so.
class WorkingFiles {
public:
    explicit WorkingFiles(const QString &folder);

    static const QLatin1StringView CheckImages;      // "checkImages.txt"
    static const QLatin1StringView CheckImagesClean; // "checkImagesClean.txt"
    static const QLatin1StringView SourcePage;       // "source.htm"
    static const QLatin1StringView ImagePage;        // "imagepage.html"
    static const QLatin1StringView Browser;          // "browser.txt"
    static const QLatin1StringView Images;           // "images.htm"

    // Removes the temporary files that writes under way have made, for a process
    // that has to end at once: safe to call from a signal handler.
    static void removeUnfinished();

    QString folder() const;
    // The folder followed by "/" and the name.
    QString path(const QString &name) const;

    // The order in which start-up looks at the files.
    static QStringList startupOrder();

    // Creates each missing file of startupOrder() with one empty line; files that
    // exist (as `exists` tells from a full path) are left as they are. Returns
    // false when a file could not be created; *error then says which and why.
    bool createMissing(const std::function<bool(const QString &)> &exists,
                       QString *error = nullptr) const;
    bool createMissing() const;

    // Appends one empty line (CR LF) to the file, creating it owner-only if needed.
    bool appendEmptyLine(const QString &name, QString *error = nullptr) const;

    // Replaces the file's content with value followed by CR LF, in UTF-8.
    bool writeReplace(const QString &name, const QString &value, QString *error = nullptr) const;

    // Replaces the file's content with bytes followed by CR LF. On failure the file
    // keeps its content and *error reads "<name>: <reason>".
    bool writeReplaceBytes(const QString &name, const QByteArray &bytes,
                           QString *error = nullptr) const;

    // Replaces two files as a pair, first then second, each with its bytes followed
    // by CR LF: afterwards both hold the new content, or both the old.
    bool writePair(const QString &first, const QByteArray &firstBytes, const QString &second,
                   const QByteArray &secondBytes, QString *error = nullptr) const;

    // Where a streamed write puts its bytes.
    using Stream = harvest::ByteSink;

    using Fill = std::function<void(Stream &)>;

    // As writeReplaceBytes(), the content written into a stream by fill, so that it
    // never has to be held whole.
    bool writeReplaceWith(const QString &name, const Fill &fill, QString *error = nullptr) const;

    // As writePair(), each file's content written into a stream by its fill.
    bool writePair(const QString &first, const Fill &firstFill, const QString &second,
                   const Fill &secondFill, QString *error = nullptr) const;

private:
    QString m_folder;
};
