#pragma once

#include "harvest/ByteSink.h"
#include "harvest/ResultLists.h"
#include "harvest/Tags.h"
#include "harvest/Utf8Lists.h"
#include "harvest/WorkingFiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// What one page's harvest made: the two lists of entries, in page order, and the
// two generated pages. It depends on nothing but the page text and its addresses.
struct HarvestResult {
    ResultLists lists;
    QByteArray sourcePage; // UTF-8, byte-order mark first, without the final CR LF
    QByteArray imagePage;  // the same
    // The pages the Source Code and Images views show, when they were asked for
    // (see HarvestViews).
    QByteArray sourceView;
    QByteArray imageView;
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
// resolving relative references against baseUrl (the document's base address, as
// the engine reports it; pageUrl when empty), then the Source Code page (the page
// text escaped, every recorded file name linked) and the Images page. pageUrl
// decides which schemes may be recorded. Writes nothing.
HarvestResult Harvest(const QString &pageText, const QString &pageUrl,
                      const QString &baseUrl = QString());

// What a harvest makes for the window's views besides its pages: each view's
// page, with these written inside its <head>.
struct HarvestViews {
    QByteArray sourceHead;
    QByteArray imageHead;
};

// The same harvest of a page given as UTF-8 bytes (bytes that are not UTF-8 are
// read as QString::fromUtf8() reads them), and the views' pages when `views` is
// given. Writes nothing.
HarvestResult HarvestBytes(QByteArrayView pageUtf8, const QString &pageUrl,
                           const QString &baseUrl = QString(), const HarvestViews *views = nullptr);

// Writes the working files as a harvest leaves them: imagepage.html and
// source.htm as a pair, then checkImages.txt, checkImagesClean.txt, browser.txt
// and images.htm emptied. Every write is best-effort: one that fails is skipped,
// and the report says so.
HarvestReport WriteWorkingFiles(const HarvestResult &result, const WorkingFiles &files);

// Harvest() and WriteWorkingFiles() in one: the lists come back in `lists`.
HarvestReport RunHarvest(const QString &pageText, const QString &pageUrl, const WorkingFiles &files,
                         ResultLists &lists, const QString &baseUrl = QString());

// The same harvest on a page given as UTF-8 bytes, worked on as bytes and never
// decoded whole, each generated page streamed into its file as it is made: what
// quarrow-harvest runs. The files and lists are those RunHarvest() makes of the
// decoded text.
HarvestReport RunHarvestUtf8(const QByteArray &pageUtf8, const QString &pageUrl,
                             const WorkingFiles &files, ResultLists &lists,
                             const QString &baseUrl = QString());

// The same, its lists kept in UTF-8: the page's bytes are only read, and may lie in
// memory the harvest does not own (a file mapped into memory).
HarvestReport RunHarvestBytes(QByteArrayView pageUtf8, const QString &pageUrl,
                              const WorkingFiles &files, harvest::Utf8Lists &lists,
                              const QString &baseUrl = QString());

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
    static Limits forBytes(qsizetype pageBytes);
};

// The size of text once written as UTF-8.
qsizetype Utf8Length(QStringView text);

// The budget of one harvest's lists, shared by its two scans.
struct ScanBudget {
    qsizetype charsLeft = -1; // characters the lists may still take; -1: no limit
    qsizetype refused = 0;    // entries not recorded because the lists were full
};

// The page's bytes as QString::fromUtf8() and QString::toUtf8() would leave them:
// the same bytes when they are UTF-8 already, which is what nearly every page is
// (without a byte-order mark at the start, which fromUtf8() drops).
QByteArray ValidUtf8(const QByteArray &bytes);

// The same for bytes the caller keeps: a view of them, or of *converted when they
// had to be converted.
QByteArrayView ValidUtf8(QByteArrayView bytes, QByteArray *converted);

// The same, the text written into sink as it is checked. *holdsCgiBin, when given,
// tells whether the text holds "cgi-bin/i/" (in any case), which the link scan's
// clean file takes out: looked for on the way, while each piece is in the cache.
QByteArrayView WriteValidUtf8(QByteArrayView bytes, ByteSink &sink, QByteArray *converted,
                              bool *holdsCgiBin = nullptr);

// The address without its query and fragment: from the first "?" or "#" on.
QString WithoutQueryAndFragment(const QString &url);

// The address that relative references of a page resolve against: baseUrl (pageUrl
// when empty) without its query and fragment, cut to its folder unless it ends in
// "/" or in a top-level domain of the old web.
QString ScanFolder(const QString &baseUrl);

// One scan over the page text (UTF-8, see ValidUtf8) in memory (links: the link
// scan, else the image scan), over the tags FindTags() finds in it. baseUrl is the
// address relative references resolve against (pageUrl when empty); pageUrl tells
// which schemes may be recorded.
void ScanText(bool links, QByteArrayView pageText, const QString &pageUrl, const QString &baseUrl,
              Utf8Lists &lists, ScanBudget *budget = nullptr);
// Both scans of a page, the image scan first, sharing the budget and their tables.
void ScanPage(QByteArrayView pageText, const QString &pageUrl, const QString &baseUrl,
              Utf8Lists &lists, ScanBudget &budget);
// One scan into lists of text.
void ScanText(bool links, QByteArrayView pageText, const QString &pageUrl, const QString &baseUrl,
              ResultLists &lists, ScanBudget *budget = nullptr);

// The text of the clean file that a scan writes, in UTF-8, before the CR LF its
// write adds: every text line of the page (a line ends at CR or CR LF) that holds a
// tag marker ("<a " for the link scan, after "cgi-bin/i/" is taken out; "<img"
// for the image scan), as one line for the text before its first marker and one
// for each marker up to the next or the line's end (tagsOnly: the marker lines
// only), each marker written in lower case and every line followed by CR LF.
void WriteCleanText(QByteArrayView pageText, bool links, bool tagsOnly, ByteSink &sink);
// Both texts of a scan in one reading of the page: every line into `lines`, the
// marker lines only into `tags` (either may be null). holdsCgiBin, when given, tells
// whether the text holds "cgi-bin/i/", which is then not looked for again.
void WriteCleanTexts(QByteArrayView pageText, bool links, ByteSink *lines, ByteSink *tags,
                     const bool *holdsCgiBin = nullptr);

// The same text, written into out.
void MakeCleanText(QByteArrayView pageText, bool links, bool tagsOnly, QByteArray &out);

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

// The same page from the page's UTF-8 bytes (see ValidUtf8) and the lists in
// UTF-8, written into sink instead of held whole. It needs to be made twice only
// when a first line has to say what was cut: then the sink is restarted and the
// page is made again.
void WriteSourcePage(QByteArrayView pageText, const Utf8Lists &lists, ByteSink &sink,
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

// The same page of the lists in UTF-8, written into sink; made twice only when a
// first line has to say what was left out: then the sink is restarted and the
// page is made again.
void WriteImagePage(const Utf8Lists &lists, qsizetype byteLimit, ByteSink &sink,
                    qsizetype *shown = nullptr);

// An address written so that it can neither leave a quoted attribute nor open or
// close markup: "<", ">", '"' and "'" become character references, "&" stays, and
// C0 control characters other than tab, CR and LF are percent-encoded.
QString AttributeSafe(const QString &address);

// Text with every C0 control character other than tab, CR and LF replaced by its
// symbol from the Control Pictures block (U+2400 and on), so that it shows and can
// never act on how the page is read.
QString VisibleControls(const QString &text);

} // namespace harvest
