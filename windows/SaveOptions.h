#pragma once

#include <QString>

// How the Page Info window saves pictures, as the save dialog sets it.
struct SaveOptions {
    enum class Into { Folder, Zip };
    Into into = Into::Folder;
    QString folder;  // the pictures, or the ZIP file, go here
    QString zipName; // the ZIP file's name in the folder ("pictures.zip")
    // A file name pattern of NamePattern's fields; "{name}.{ext}" names a
    // picture as its address does.
    QString pattern = QStringLiteral("{name}.{ext}");
    bool keepFolders = false;    // host/path/ of the address as folders
    bool largestVariant = false; // of a row's candidates, only the widest
    bool fromPage = false;       // the bytes the page has, without a new download
    bool manifest = false;       // manifest.json beside the pictures
};
