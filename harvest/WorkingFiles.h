#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// The six working files of the harvest, all in one folder. Every value is written
// as UTF-8 followed by CR LF; replace-mode writes go through QSaveFile, so a write
// that fails leaves the previous content in place.
class WorkingFiles {
public:
    explicit WorkingFiles(const QString &folder);

    static const QLatin1StringView CheckImages;      // "checkImages.txt"
    static const QLatin1StringView CheckImagesClean; // "checkImagesClean.txt"
    static const QLatin1StringView SourcePage;       // "source.htm"
    static const QLatin1StringView ImagePage;        // "imagepage.html"
    static const QLatin1StringView Browser;          // "browser.txt"
    static const QLatin1StringView Images;           // "images.htm"

    QString folder() const;
    // The folder followed by "/" and the name.
    QString path(const QString &name) const;

    // The order in which start-up looks at the files.
    static QStringList startupOrder();

    // Creates each missing file of startupOrder() with one empty line; files that
    // exist (as `exists` tells from a full path) are left as they are. Returns
    // false when a file could not be created.
    bool createMissing(const std::function<bool(const QString &)> &exists) const;
    bool createMissing() const;

    // Appends one empty line (CR LF) to the file, creating it if needed.
    bool appendEmptyLine(const QString &name) const;

    // Replaces the file's content with value followed by CR LF, in UTF-8.
    bool writeReplace(const QString &name, const QString &value) const;

    // Replaces the file's content with bytes followed by CR LF.
    bool writeReplaceBytes(const QString &name, const QByteArray &bytes) const;

    // The whole file as text (UTF-8); false when it cannot be read.
    bool read(const QString &name, QString *text) const;

private:
    QString m_folder;
};
