#pragma once

#include "harvest/ResultLists.h"
#include "harvest/WorkingFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// Builds the Source Code and Images pages of one page text (steps 2 to 10 of the
// harvest): writes checkImages.txt, clears the lists, runs ScanImageTags and then
// ScanImageLinks, each with a fresh locationUrl(), escapes the page text and links
// every recorded file name in it, writes imagepage.html and source.htm and empties
// the scratch files. Every step is best-effort: one that fails is skipped.
void RunHarvest(const QString &pageText, const std::function<QString()> &locationUrl,
                const WorkingFiles &files, ResultLists &lists);

// The image-tag scan: reads checkImages.txt, records each new image in
// Links(1)/frmList(1). pageUrl may be shortened to its folder.
void ScanImageTags(QString &pageUrl, const WorkingFiles &files, ResultLists &lists);

// The link-to-image scan: as ScanImageTags for anchors that lead to picture files,
// recording in Links(0)/frmList(0).
void ScanImageLinks(QString &pageUrl, const WorkingFiles &files, ResultLists &lists);

// Writes imagepage.html from Links(1). False when the file could not be written.
bool WriteImagePage(const WorkingFiles &files, const ResultLists &lists);

// Empties checkImages.txt, checkImagesClean.txt, browser.txt and images.htm, in this
// order, stopping at the first that cannot be written.
void ResetWorkingFiles(const WorkingFiles &files);

namespace harvest {

// The Source Code page (UTF-8, without the final CR LF): the page text with "&",
// "<", CR and LF escaped and every occurrence of a recorded file name wrapped once
// in an anchor to its address.
QByteArray BuildSourcePage(const QString &pageText, const ResultLists &lists);

// The Images page (without the final CR LF): one block per entry of Links(1).
QString BuildImagePage(const ResultLists &lists);

// An address written so that it can neither leave a quoted attribute nor open or
// close markup: "<", ">", '"' and "'" become character references, "&" stays.
QString AttributeSafe(const QString &address);

// The lines that a scan looks at, and the one-tag-per-line text it writes first.
struct ScanLines {
    QString oneTagPerLine; // the text of the first clean file, before its final CR LF
    QStringList lines;     // the lines of the second clean file, in order
};

// Splits the text of checkImages.txt into scan lines: for the link scan (links =
// true) "<a " is the marker and "cgi-bin/i/" is removed from every line first; for
// the image scan the marker is "<img".
ScanLines SplitScanLines(const QString &fileText, bool links);

} // namespace harvest
