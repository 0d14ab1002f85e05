#pragma once

#include "harvest/Harvest.h"
#include "tests/harvest/ReferenceHarvest.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The scans and pages one at a time, as the harvest makes them, for tests that
// check a step on its own. The harvest itself runs them all in memory.

// The image-tag scan of the text in checkImages.txt (before the CR LF its write
// added): writes the clean file twice as the scan makes it and records each new
// image in Links(1)/Keys(1). pageUrl becomes the folder the scan resolved against.
void ScanImageTags(QString &pageUrl, const WorkingFiles &files, ResultLists &lists);
// The link-to-image scan, recording in Links(0)/Keys(0).
void ScanImageLinks(QString &pageUrl, const WorkingFiles &files, ResultLists &lists);
// Writes imagepage.html from Links(1). False when the file could not be written.
bool WriteImagePage(const WorkingFiles &files, const ResultLists &lists);

namespace harvest {
// The Images page as text, its byte-order mark as U+FEFF.
QString BuildImagePage(const ResultLists &lists, qsizetype byteLimit = -1,
                       qsizetype *shown = nullptr);

// The lines that a scan looks at, and the one-tag-per-line text it writes first.
struct ScanLines {
    QString oneTagPerLine; // the text of the first clean file, before its final CR LF
    QStringList lines;     // the lines of the second clean file, in order
};
// Splits the text of checkImages.txt into scan lines as MakeCleanText() does.
ScanLines SplitScanLines(const QString &fileText, bool links);
} // namespace harvest

// A temporary working folder for the real harvest and another for the literal one.
// Both lie in memory (/dev/shm) when the system has it, so that many small
// harvests do not wait on the disk.
class HarvestFolders {
public:
    HarvestFolders()
        : fast(scratchTemplate()), slow(scratchTemplate()), bytes(scratchTemplate()),
          files(fast.path()), bytesFiles(bytes.path())
    {
    }

    static QString scratchTemplate();

    QString referencePath() const { return slow.path(); }

    QByteArray fileBytes(const QString &name) const;
    QByteArray referenceBytes(const QString &name) const;

    // Runs both scans of one kind on the same checkImages.txt content and expects
    // the same lists and the same clean file.
    ResultLists scanBoth(const QString &page, const QString &url, bool links);

    QTemporaryDir fast;
    QTemporaryDir slow;
    QTemporaryDir bytes; // the harvest of the page's UTF-8 bytes, as quarrow-harvest runs it
    WorkingFiles files;
    WorkingFiles bytesFiles;
};

// Expects both harvests, and the harvest of the page's UTF-8 bytes, to give the same
// lists and the same six files. baseUrl is the document's base address (url when
// empty).
void expectSameHarvest(const QString &page, const QString &url, HarvestFolders &folders,
                       ResultLists *listsOut = nullptr, const QString &baseUrl = QString());

::testing::AssertionResult sameLists(const ResultLists &a, const ResultLists &b);
