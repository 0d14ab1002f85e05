#pragma once

#include "harvest/ResultLists.h"
#include "harvest/WorkingFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// What one page's harvest made: the two lists of entries, in page order, and the
// two generated pages. It depends on nothing but the page text and its address.
struct HarvestResult {
    ResultLists lists;
    QByteArray sourcePage; // UTF-8, byte-order mark first, without the final CR LF
    QByteArray imagePage;  // the same
    // The limits the harvest reached, one sentence each (see harvest::Limits).
    QStringList notices;
};

// What writing a harvest's working files did.
struct HarvestReport {
    // The first write that failed, as "<file>: <reason>"; empty when all were written.
    QString failure;
    // True when source.htm and imagepage.html hold this harvest's pages.
    bool pagesWritten = false;
    // The limits the harvest reached, one sentence each.
    QStringList notices;
};

// The harvest of one page text: the image scan and then the link scan, each
// resolving against pageUrl, then the Source Code page (the page text escaped, every
// recorded file name linked) and the Images page. Writes nothing.
HarvestResult Harvest(const QString &pageText, const QString &pageUrl);

// Writes the six working files of a harvest, in the order the harvest makes them:
// checkImages.txt with the page text, the clean file twice for each scan,
// imagepage.html and source.htm as a pair, then the four scratch files emptied.
// Every write is best-effort: one that fails is skipped, and the report says so.
HarvestReport WriteWorkingFiles(const HarvestResult &result, const QString &pageText,
                                const WorkingFiles &files);

// Harvest() and WriteWorkingFiles() in one: the lists come back in `lists`.
HarvestReport RunHarvest(const QString &pageText, const QString &pageUrl, const WorkingFiles &files,
                         ResultLists &lists);

// The image-tag scan of the text in checkImages.txt: records each new image in
// Links(1)/Keys(1). pageUrl may be shortened to its folder.
void ScanImageTags(QString &pageUrl, const WorkingFiles &files, ResultLists &lists);

// The link-to-image scan: as ScanImageTags for anchors that lead to picture files,
// recording in Links(0)/Keys(0).
void ScanImageLinks(QString &pageUrl, const WorkingFiles &files, ResultLists &lists);

// Writes imagepage.html from Links(1). False when the file could not be written.
bool WriteImagePage(const WorkingFiles &files, const ResultLists &lists);

// Empties checkImages.txt, checkImagesClean.txt, browser.txt and images.htm, in this
// order, stopping at the first that cannot be written.
bool ResetWorkingFiles(const WorkingFiles &files, QString *error = nullptr);

namespace harvest {

// The UTF-8 byte-order mark that starts both generated pages: with it the engine
// reads them as UTF-8 whatever bytes the page text holds, and guesses nothing.
inline constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// Values (src and href) longer than this many characters are not recorded.
inline constexpr qsizetype kLongestRecordedValue = qsizetype(1) << 20;

// File names longer than this many characters are not linked in the Source Code page.
inline constexpr qsizetype kLongestLinkedName = 1000;

// How much a harvest of one page may produce. Every figure grows linearly with the
// size of the page (its UTF-8 bytes), so that no page, however it is made, can make
// the harvest's time, memory or output grow faster than the page itself.
struct Limits {
    qsizetype pageBytes = 0;
    qsizetype listChars = 0;      // characters of addresses and keys the lists may hold
    qsizetype nameNodes = 0;      // nodes of the tables that find file names to link
    qsizetype anchorBytes = 0;    // bytes of anchors the Source Code page may add
    qsizetype imagePageBytes = 0; // bytes of the Images page

    static Limits forPage(const QString &pageText);
};

// The size of text once written as UTF-8.
qsizetype Utf8Length(QStringView text);

// The budget of one harvest's lists, shared by its two scans.
struct ScanBudget {
    qsizetype charsLeft = -1; // characters the lists may still take; -1: no limit
    qsizetype refused = 0;    // entries not recorded because the lists were full
};

// One scan over the page text in memory (links: the link scan, else the image scan).
// writeClean, when given, receives the two texts of the clean file (UTF-8) as the scan
// makes them, before the CR LF their write adds.
void ScanText(bool links, const QString &pageText, QString &pageUrl, ResultLists &lists,
              ScanBudget *budget = nullptr,
              const std::function<void(const QByteArray &)> &writeClean = {});

// What the Source Code page left unlinked to stay within its limits.
struct SourcePageCuts {
    qsizetype occurrences = 0;  // occurrences of recorded names in the page text
    qsizetype linked = 0;       // of which linked
    qsizetype namesLeftOut = 0; // recorded names not linked at all (too long, too many)
};

// The Source Code page (UTF-8, byte-order mark first, without the final CR LF): the
// page text with "&", "<", CR and LF escaped, C0 control characters shown as the
// symbols of the Control Pictures block, and every occurrence of a recorded file
// name wrapped once in an anchor to its address, as far as the page's limits allow;
// when they do not, a first line says so.
QByteArray BuildSourcePage(const QString &pageText, const ResultLists &lists,
                           SourcePageCuts *cuts = nullptr);

// The sentence that heads the Source Code page when it could not link everything,
// or empty when it did.
QString SourceCutNotice(const SourcePageCuts &cuts);

// The sentence that heads the Images page when it shows fewer pictures than were
// recorded, or empty when it shows them all.
QString ImageCutNotice(qsizetype shown, qsizetype recorded);

// The Images page (byte-order mark first, without the final CR LF): one block per
// entry of Links(1), as many as fit in the page's limits; when not all do, a first
// line says so. *shown, when given, receives the number of blocks.
QByteArray BuildImagePageBytes(const ResultLists &lists, qsizetype byteLimit = -1,
                               qsizetype *shown = nullptr);
QString BuildImagePage(const ResultLists &lists, qsizetype byteLimit = -1,
                       qsizetype *shown = nullptr);

// An address written so that it can neither leave a quoted attribute nor open or
// close markup: "<", ">", '"' and "'" become character references, "&" stays, and
// C0 control characters other than tab, CR and LF are percent-encoded.
QString AttributeSafe(const QString &address);

// Text with every C0 control character other than tab, CR and LF replaced by its
// symbol from the Control Pictures block (U+2400 and on), so that it shows and can
// never act on how the page is read.
QString VisibleControls(const QString &text);

// The lines that a scan looks at, and the one-tag-per-line text it writes first.
struct ScanLines {
    QString oneTagPerLine; // the text of the first clean file, before its final CR LF
    QStringList lines;     // the lines of the second clean file, in order
};

// Where the lines of a scan lie in the page text: the text before a text line's first
// tag (kept only when the line has one), and each tag up to the next tag or the end
// of its text line. The scan reads them in place instead of copying them.
struct ScanSpans {
    struct Piece {
        qsizetype start = 0;
        qsizetype length = 0;
        bool tag = false; // a scan line, beginning with the marker
    };
    QLatin1StringView marker;
    const QString *text = nullptr; // the page text
    QString cleaned;               // the link scan's copy without "cgi-bin/i/", if needed
    bool usesCleaned = false;
    std::vector<Piece> pieces;

    const QString &source() const { return usesCleaned ? cleaned : *text; }
    QStringView view(const Piece &piece) const
    {
        return QStringView(source()).mid(piece.start, piece.length);
    }
    // The first text of the clean file (tagsOnly false) or the second, in UTF-8:
    // every line followed by CR LF (the write adds one more).
    QByteArray cleanText(bool tagsOnly) const;
};

// The spans of a scan over fileText. The result points into fileText: keep it alive.
ScanSpans FindScanSpans(const QString &fileText, bool links);

// Splits the text of checkImages.txt into scan lines: for the link scan (links =
// true) "<a " is the marker and "cgi-bin/i/" is removed from every line first; for
// the image scan the marker is "<img".
ScanLines SplitScanLines(const QString &fileText, bool links);

} // namespace harvest
