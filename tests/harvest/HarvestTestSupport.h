#pragma once

#include "harvest/Harvest.h"
#include "tests/harvest/ReferenceHarvest.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
