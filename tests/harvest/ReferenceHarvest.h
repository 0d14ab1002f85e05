#pragma once

#include "harvest/ResultLists.h"

#include <QString>
#include <QStringList>

#include <functional>

// A slow, literal harvest used to check the real one: every step is carried out
// as written, on whole texts and files, with plain loops and repeated
// replacements. Its files go to the folder given, like the real harvest's.
namespace reference {

// Lines as the scans read them: a line ends at CR or CR LF; a lone LF stays.
QStringList readLines(const QString &text);

// The first clean text of a scan of checkImages.txt: the gathered lines with
// 100 rounds of the tag-per-line replacements.
QString oneTagPerLine(const QString &fileText, bool links);

// The scans of checkImages.txt. Relative references resolve against baseUrl
// (pageUrl when empty); pageUrl becomes the folder they resolve against.
void ScanImageTags(QString &pageUrl, const QString &folder, ResultLists &lists,
                   const QString &baseUrl = QString());
void ScanImageLinks(QString &pageUrl, const QString &folder, ResultLists &lists,
                    const QString &baseUrl = QString());
QString SourcePageText(const QString &pageText, const ResultLists &lists);
QString ImagePageText(const ResultLists &lists);
void RunHarvest(const QString &pageText, const QString &pageUrl, const QString &folder,
                ResultLists &lists, const QString &baseUrl = QString());

} // namespace reference
