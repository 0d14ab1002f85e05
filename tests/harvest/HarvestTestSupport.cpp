#include "tests/harvest/HarvestTestSupport.h"

#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
void scanFile(bool links, QString &pageUrl, const WorkingFiles &files, ResultLists &lists)
{
    QFile file(files.path(WorkingFiles::CheckImages));
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray text = file.readAll();
    // The file holds the page text and the CR LF its write added.
    if (text.endsWith("\r\n"))
        text.chop(2);
    text = harvest::ValidUtf8(text);
    QByteArray clean;
    for (const bool tagsOnly : {false, true}) {
        harvest::MakeCleanText(text, links, tagsOnly, clean);
        files.writeReplaceBytes(WorkingFiles::CheckImagesClean, clean);
    }
    const QString url = pageUrl;
    pageUrl = harvest::ScanFolder(url);
    harvest::ScanText(links, text, url, url, lists);
}
} // namespace

void ScanImageTags(QString &pageUrl, const WorkingFiles &files, ResultLists &lists)
{
    scanFile(false, pageUrl, files, lists);
}

void ScanImageLinks(QString &pageUrl, const WorkingFiles &files, ResultLists &lists)
{
    scanFile(true, pageUrl, files, lists);
}

bool WriteImagePage(const WorkingFiles &files, const ResultLists &lists)
{
    return files.writeReplaceBytes(WorkingFiles::ImagePage, harvest::BuildImagePageBytes(lists));
}

namespace harvest {
QString BuildImagePage(const ResultLists &lists, qsizetype byteLimit, qsizetype *shown)
{
    return QChar(0xFEFF) + QString::fromUtf8(BuildImagePageBytes(lists, byteLimit, shown).mid(3));
}

ScanLines SplitScanLines(const QString &fileText, bool links)
{
    const QByteArray text = fileText.toUtf8();
    ScanLines out;
    QByteArray clean;
    MakeCleanText(text, links, false, clean);
    out.oneTagPerLine = QString::fromUtf8(clean);
    MakeCleanText(text, links, true, clean);
    // A tag line holds no CR, so CR LF ends each one.
    qsizetype start = 0;
    while (start < clean.size()) {
        const qsizetype end = clean.indexOf("\r\n", start);
        out.lines.append(QString::fromUtf8(clean.constData() + start, end - start));
        start = end + 2;
    }
    return out;
}
} // namespace harvest

QString HarvestFolders::scratchTemplate()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return base + QStringLiteral("/quarrow-harvest-XXXXXX");
}

QByteArray HarvestFolders::fileBytes(const QString &name) const
{
    return testsupport::readFile(files.path(name));
}

QByteArray HarvestFolders::referenceBytes(const QString &name) const
{
    return testsupport::readFile(slow.path() + u'/' + name);
}

::testing::AssertionResult sameLists(const ResultLists &a, const ResultLists &b)
{
    for (int k = 0; k < 2; ++k) {
        if (a.Links[k] != b.Links[k])
            return ::testing::AssertionFailure()
                   << "Links(" << k << "): " << a.Links[k].join(u'|').toStdString() << " vs "
                   << b.Links[k].join(u'|').toStdString();
        if (a.Keys[k] != b.Keys[k])
            return ::testing::AssertionFailure()
                   << "Keys(" << k << "): " << a.Keys[k].join(u'|').toStdString() << " vs "
                   << b.Keys[k].join(u'|').toStdString();
    }
    return ::testing::AssertionSuccess();
}

ResultLists HarvestFolders::scanBoth(const QString &page, const QString &url, bool links)
{
    files.writeReplace(WorkingFiles::CheckImages, page);
    testsupport::writeFile(slow.path() + QStringLiteral("/checkImages.txt"),
                           (page + QStringLiteral("\r\n")).toUtf8());
    ResultLists fastLists;
    ResultLists slowLists;
    QString fastUrl = url;
    QString slowUrl = url;
    if (links) {
        ScanImageLinks(fastUrl, files, fastLists);
        reference::ScanImageLinks(slowUrl, slow.path(), slowLists);
    } else {
        ScanImageTags(fastUrl, files, fastLists);
        reference::ScanImageTags(slowUrl, slow.path(), slowLists);
    }
    EXPECT_TRUE(sameLists(fastLists, slowLists));
    EXPECT_EQ(fastUrl, slowUrl);
    EXPECT_EQ(fileBytes(QStringLiteral("checkImagesClean.txt")),
              referenceBytes(QStringLiteral("checkImagesClean.txt")));
    return fastLists;
}

void expectSameHarvest(const QString &page, const QString &url, HarvestFolders &folders,
                       ResultLists *listsOut, const QString &baseUrl)
{
    ResultLists fastLists;
    ResultLists slowLists;
    RunHarvest(page, url, folders.files, fastLists, baseUrl);
    reference::RunHarvest(page, url, folders.referencePath(), slowLists, baseUrl);
    ResultLists bytesLists;
    RunHarvestUtf8(page.toUtf8(), url, folders.bytesFiles, bytesLists, baseUrl);
    EXPECT_TRUE(sameLists(fastLists, slowLists));
    EXPECT_TRUE(sameLists(fastLists, bytesLists));
    for (const QString &name : WorkingFiles::startupOrder()) {
        const QByteArray a = folders.fileBytes(name);
        const QByteArray b = folders.referenceBytes(name);
        EXPECT_EQ(a, b) << name.toStdString() << " differs for url " << url.toStdString();
        EXPECT_EQ(a, testsupport::readFile(folders.bytesFiles.path(name)))
            << name.toStdString() << " differs from the harvest of the bytes";
    }
    if (listsOut)
        *listsOut = fastLists;
}
