#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

class WebBrowser;

// Loads a harvest page into a view a piece at a time. The view's document is
// the file's first blocks, under the file's own address, so the view reports
// its load finished as soon as they are in; the other blocks are then added at
// the end of the page a slice at a time, each slice a short task for the view,
// until the page holds the whole file. A file small enough is simply opened.
//
// A newer load, or the view going elsewhere, ends the slices of the old one. A
// view that comes back to a first piece from its history shows the file again,
// whole, as it is now: as it would by opening the file.
class PieceLoader : public QObject {
    Q_OBJECT
public:
    // `blockEnd` ends each block of the file; the file is cut only after one.
    PieceLoader(WebBrowser *view, QByteArray blockEnd, QObject *parent = nullptr);

    // Opens `path` in the view. False, with nothing done, when it cannot be read.
    bool load(const QString &path);
    // True while blocks are still to be added.
    bool adding() const { return !m_text.isEmpty(); }

    // Where a piece of `text` that begins at `from` ends: after the last block end
    // within `limit` bytes of `from`, or after the first one beyond when none is;
    // the text's end when no block end follows.
    static qsizetype cut(QByteArrayView text, QByteArrayView blockEnd, qsizetype from,
                         qsizetype limit);

    // The size of the first piece, and of each slice after it.
    static constexpr qsizetype firstPieceBytes = 16 * 1024;
    static constexpr qsizetype sliceBytes = 32 * 1024;
    // The engine carries content in a data: address of at most 2 MB, in which
    // a byte may take three: a file whose first block is longer than this is
    // opened whole instead.
    static constexpr qsizetype largestFirstPiece = 600 * 1024;

private:
    void loadStarted();
    void loadFinished(bool ok);
    void addNextSlice();
    // Loads the file again when the view shows it but does not hold all of it.
    void checkWhole();
    void stopAdding();

    WebBrowser *m_view;
    QByteArray m_blockEnd;
    QString m_path;
    QUrl m_url;
    // The file's text while blocks are still to be added, and how much of it
    // the page holds.
    QByteArray m_text;
    qsizetype m_added = 0;
    // Each load and each slice carries the generation it belongs to.
    quint64 m_generation = 0;
    bool m_expectingStart = false;
    // The first piece's own load is under way; a newer file waits for its end.
    bool m_firstPieceLoading = false;
    QString m_queued;
    static constexpr int queueWaitMs = 3000;
    // Until the page takes its first slice, the slice is offered at each load's
    // end and every so often, a bounded number of times.
    bool m_waitingForFirst = false;
    int m_firstOffers = 0;
    static constexpr int maxFirstOffers = 100;
    static constexpr int firstOfferIntervalMs = 50;
};
