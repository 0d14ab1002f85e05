#pragma once

#include "platform/PictureAudit.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <cstdio>

class MediaModel;

// Writes the pictures of a filled MediaModel for pipelines:
//   plain: a line a picture entry, in document order of first use,
//     "picture<TAB>address<TAB>kinds", with the issue names (comma-separated,
//     of the row the entry heads; empty for a variant folded into another
//     row) as a fourth field when audited;
//   json: a JSON object a row, on a line of its own (JSON Lines), with every
//     field the Page Info window's JSON export writes of it: address, kinds,
//     type, natural and displayed size, bytes, alt, uses, element, variants,
//     failed, status, problem, source and state, and when audited its issues.
// A page nothing loaded (a saved file) has every picture from its markup and
// not loaded.
class InventoryPrinter {
public:
    struct Options {
        bool json = false;
        bool audit = false;
        bool nothingLoaded = false;
    };

    InventoryPrinter(const MediaModel &media, const Options &options)
        : m_media(media), m_options(options)
    {
    }

    // Writes everything to `out`; false when it could not be written.
    bool write(std::FILE *out);
    // The kinds of the issues found in the rows that are pictures, by how many
    // rows have each.
    const QHash<PictureAudit::Kind, int> &found() const { return m_found; }

    // Tab, CR, LF, NUL and backslash written as \t, \r, \n, \0 and \\.
    static QString escaped(const QString &text);

private:
    // The line of the entry `entryIndex`, heading row `row` (-1: none).
    QByteArray plainLine(int entryIndex, int row) const;
    QByteArray jsonLine(int row) const;
    QList<PictureAudit::Issue> issuesOf(int row) const;

    const MediaModel &m_media;
    Options m_options;
    QHash<PictureAudit::Kind, int> m_found;
};
