#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

// One ZIP file written with libzip from the files of a folder. Pictures that
// are compressed already are stored as they are; other files are deflated.
// Names are UTF-8 and carry "/" between folders.
class ZipArchive {
public:
    struct Entry {
        QString file; // in the folder
        QString name; // in the archive
    };
    // Writes a new file at `path` with `entries` (files of `folder`) and
    // `extras` (name and content, written from memory). libzip writes a
    // temporary file beside `path` and renames it there at the end; a write
    // that fails, or that `cancelled` stops (it is asked now and then), leaves
    // nothing at `path`. An existing `path` is an error.
    static bool write(const QString &path, const QString &folder, const QList<Entry> &entries,
                      const QList<QPair<QString, QByteArray>> &extras,
                      const std::function<bool()> &cancelled, QString *error);
    // The names of the entries of a ZIP file, in order; empty and *error when
    // it cannot be read.
    static QStringList names(const QString &path, QString *error = nullptr);
};
