#pragma once

#include "harvest/Harvest.h"
#include "tests/harvest/ReferenceHarvest.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A temporary working folder for the real harvest and another for the literal one.
// Both lie in memory (/dev/shm) when the system has it, as the harvest syncs every
// file it replaces and many small harvests would otherwise wait on the disk.
class HarvestFolders {
public:
    HarvestFolders() : fast(scratchTemplate()), slow(scratchTemplate()), files(fast.path()) {}

    static QString scratchTemplate();

    QString referencePath() const { return slow.path(); }

    QByteArray fileBytes(const QString &name) const;
    QByteArray referenceBytes(const QString &name) const;

    // Runs both scans of one kind on the same checkImages.txt content and expects
    // the same lists and the same clean file.
    ResultLists scanBoth(const QString &page, const QString &url, bool links);

    QTemporaryDir fast;
    QTemporaryDir slow;
    WorkingFiles files;
};

// Expects both harvests to give the same lists and the same six files.
void expectSameHarvest(const QString &page, const QString &url, HarvestFolders &folders,
                       ResultLists *listsOut = nullptr);

::testing::AssertionResult sameLists(const ResultLists &a, const ResultLists &b);
