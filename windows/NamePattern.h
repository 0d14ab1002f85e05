#pragma once

#include "platform/PageInventory.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

// What a picture's name is made of.
struct NameFields {
    int n = 1;     // its place among the pictures saved, in page order, from 1
    int count = 1; // how many are saved: {n} has as many digits as this
    QString address;
    QString mimeType;
    QString alt;
    QSize size; // invalid when unknown
};

// File names from a pattern such as "{n} {alt}.{ext}" or "{host}/{name}.{ext}":
//   {n}      the picture's place in page order, zero-padded to the count's width
//   {name}   the address's file name without its extension ("picture" if none)
//   {ext}    the extension of its type, else of its address
//   {host}   the address's host
//   {path}   the folders of the address's path, as folders
//   {alt}    its alt text
//   {width}, {height}  its dimensions, when known
//   {type}   its type in short: "png", "jpeg", "svg"
// A "/" written in the pattern makes a folder; a "/" in what a page chose (an
// alt text, a host) never does. Every folder and the name are made safe as
// SafeFileName makes names: no ".." nor empty folder is left, nothing starts
// with "/", and no path leaves the folder it is saved in. At most maxFolders
// folders of at most maxFolderBytes in all are kept.
class NamePattern {
public:
    static QString defaultPattern() { return QStringLiteral("{name}.{ext}"); }
    static const QStringList &fields();
    // The fields of `pattern` that are none of ours ("{size}"); empty when fine.
    static QStringList unknownFields(const QString &pattern);
    // The relative path ("a/b/name.jpg") of one picture. With `keepFolders`,
    // the address's host and folders come first.
    static QString apply(const QString &pattern, const NameFields &fields,
                         bool keepFolders = false);

    static constexpr int maxFolders = 12;
    static constexpr int maxFolderBytes = 1024;
    // How much of an alt text goes into a name, in characters.
    static constexpr int maxAltCharacters = 100;
};

// Of the entries of one row (the img first, then its folded candidates), the
// one of the widest candidate the page offers: when a candidate says its
// width ("800w"), by those widths and the widths known of the others
// (`knownWidth`, -1 when unknown); else by the densities the candidates say
// ("2x"); else by the widths known. Ties keep the first.
int WidestCandidate(const QList<int> &entries, const QList<InventoryEntry> &pictures,
                    const std::function<int(int entry)> &knownWidth);
