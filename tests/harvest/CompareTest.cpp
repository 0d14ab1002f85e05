#include "tests/harvest/HarvestTestSupport.h"
#include "tests/harvest/PageGenerator.h"

#include "tests/support/TestSupport.h"

#include <QDir>

namespace {

TEST(HarvestAgainstReference, GeneratedPages)
{
    for (quint32 seed = 1; seed <= 300; ++seed) {
        PageGenerator generator(seed);
        const QString page = generator.page(int(seed % 60) + 1);
        const QString url = generator.pageUrl();
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        HarvestFolders folders;
        expectSameHarvest(page, url, folders);
        if (HasFailure())
            break;
    }
}

TEST(HarvestAgainstReference, GeneratedScans)
{
    for (quint32 seed = 1000; seed < 1200; ++seed) {
        PageGenerator generator(seed);
        const QString page = generator.page(40);
        const QString url = generator.pageUrl();
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        HarvestFolders folders;
        folders.scanBoth(page, url, false);
        folders.scanBoth(page, url, true);
        const harvest::ScanLines tags = harvest::SplitScanLines(page, false);
        EXPECT_EQ(tags.oneTagPerLine, reference::oneTagPerLine(page, false));
        const harvest::ScanLines links = harvest::SplitScanLines(page, true);
        EXPECT_EQ(links.oneTagPerLine, reference::oneTagPerLine(page, true));
        if (HasFailure())
            break;
    }
}

TEST(HarvestAgainstReference, LargerGeneratedPage)
{
    PageGenerator generator(77);
    const QString page = generator.page(3000);
    HarvestFolders folders;
    ResultLists lists;
    expectSameHarvest(page, QStringLiteral("http://www.example.com/dir/page.html"), folders,
                      &lists);
    EXPECT_GT(lists.Links[1].size(), 5);
    EXPECT_GT(lists.Links[0].size(), 5);
}

// Pages from the html5lib parser tests (malformed markup on purpose).
TEST(HarvestAgainstReference, ParserTestDocuments)
{
    const QDir dir(testsupport::dataFolder() + QStringLiteral("/html5lib-tree-construction"));
    const QStringList files = dir.entryList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty());
    int documents = 0;
    for (const QString &name : files) {
        // All documents of one file make one page.
        const QString all = QString::fromUtf8(testsupport::readFile(dir.filePath(name)));
        QString page;
        for (const QString &test : all.split(QStringLiteral("#data\n"), Qt::SkipEmptyParts)) {
            const qsizetype end = test.indexOf(QStringLiteral("\n#errors"));
            page += end >= 0 ? test.left(end) : test;
            page += QStringLiteral("\r\n");
            ++documents;
        }
        SCOPED_TRACE(name.toStdString());
        HarvestFolders folders;
        expectSameHarvest(page, QStringLiteral("https://example.org/t/page.html"), folders);
        if (HasFailure())
            return;
    }
    EXPECT_GT(documents, 1000);
}

} // namespace
