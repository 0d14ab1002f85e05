#include "tests/harvest/HarvestTestSupport.h"

#include "harvest/UrlHelpers.h"

#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kPage = QStringLiteral("http://www.example.com/dir/page.html");
const QByteArray kMark = harvest::kByteOrderMark;

// A generated page without the byte-order mark it must start with.
QByteArray withoutMark(const QByteArray &page)
{
    EXPECT_TRUE(page.startsWith(kMark)) << page.left(20).toStdString();
    return page.mid(kMark.size());
}

QString withoutMark(const QString &page)
{
    EXPECT_TRUE(page.startsWith(QChar(0xFEFF)));
    return page.mid(1);
}

// Runs the real harvest and the literal one and returns the real Source Code page.
QByteArray harvestSource(const QString &page, ResultLists *lists = nullptr,
                         const QString &url = kPage)
{
    HarvestFolders folders;
    expectSameHarvest(page, url, folders, lists);
    return withoutMark(folders.fileBytes(WorkingFiles::SourcePage));
}

TEST(HarvestDriver, EscapingTable)
{
    const struct {
        const char *page;
        const char *source;
    } rows[] = {
        {"a<b", "a&lt;b\r\n"},
        {"x\r\ny", "x<BR><BR>y\r\n"},
        {"x\ny", "x<BR>y\r\n"},
        {"x\ry", "x<BR>y\r\n"},
        {"&amp;", "&amp;amp;\r\n"},
        {"&lt;b&gt;", "&amp;lt;b&amp;gt;\r\n"},
        {"a > b \"q\" 'r'", "a > b \"q\" 'r'\r\n"},
        {"<p>日本語のページ</p>", "&lt;p>日本語のページ&lt;/p>\r\n"},
        {"", "\r\n"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(harvestSource(QString::fromUtf8(row.page)), QByteArray(row.source)) << row.page;
}

TEST(HarvestDriver, PageWithoutImages)
{
    HarvestFolders folders;
    ResultLists lists;
    lists.Links[1] << QStringLiteral("stale");
    lists.Keys[1] << QStringLiteral("stale");
    RunHarvest(QStringLiteral("<p>plain</p>"), kPage, folders.files, lists);
    EXPECT_TRUE(lists.Links[1].isEmpty());
    EXPECT_TRUE(lists.Keys[1].isEmpty());
    EXPECT_EQ(withoutMark(folders.fileBytes(WorkingFiles::SourcePage)),
              QByteArray("&lt;p>plain&lt;/p>\r\n"));
    EXPECT_EQ(withoutMark(folders.fileBytes(WorkingFiles::ImagePage)), QByteArray("\r\n"));
}

TEST(HarvestDriver, NoDocumentGivesEmptyPages)
{
    HarvestFolders folders;
    ResultLists lists;
    RunHarvest(QString(), QString(), folders.files, lists);
    EXPECT_EQ(withoutMark(folders.fileBytes(WorkingFiles::SourcePage)), QByteArray("\r\n"));
    EXPECT_EQ(withoutMark(folders.fileBytes(WorkingFiles::ImagePage)), QByteArray("\r\n"));
}

TEST(HarvestDriver, ScratchFilesAreEmptiedAfterEveryHarvest)
{
    HarvestFolders folders;
    ResultLists lists;
    RunHarvest(QStringLiteral("<img src=\"a.gif\"><a href=\"b.jpg\">b</a>"), kPage, folders.files,
               lists);
    for (const QLatin1StringView name : {WorkingFiles::CheckImages, WorkingFiles::CheckImagesClean,
                                         WorkingFiles::Browser, WorkingFiles::Images})
        EXPECT_EQ(folders.fileBytes(name), QByteArray("\r\n")) << name.data();
    EXPECT_EQ(withoutMark(folders.fileBytes(WorkingFiles::ImagePage)),
              QByteArray("<a href='http://www.example.com/dir/a.gif'><img "
                         "src='http://www.example.com/dir/a.gif'></a><BR>"
                         "http://www.example.com/dir/a.gif<BR><BR><BR>\r\n"));
}

TEST(HarvestDriver, TheCoreWritesNothingAndTheFilesHoldItsPages)
{
    HarvestFolders folders;
    const QString page = QStringLiteral("<img src=\"a.gif\"><a href=\"b.jpg\">b</a>");
    const HarvestResult result = Harvest(page, kPage);
    EXPECT_EQ(result.lists.Links[1], QStringList({"http://www.example.com/dir/a.gif"}));
    EXPECT_EQ(result.lists.Links[0], QStringList({"http://www.example.com/dir/b.jpg"}));
    EXPECT_TRUE(QDir(folders.fast.path()).isEmpty());
    const HarvestReport report = WriteWorkingFiles(result, folders.files);
    EXPECT_TRUE(report.failure.isEmpty());
    EXPECT_EQ(folders.fileBytes(WorkingFiles::SourcePage), result.sourcePage + "\r\n");
    EXPECT_EQ(folders.fileBytes(WorkingFiles::ImagePage), result.imagePage + "\r\n");
}

TEST(HarvestDriver, EveryOccurrenceOfANameIsLinked)
{
    const QByteArray source =
        harvestSource(QStringLiteral("<img src=\"images/a.gif\"> see a.gif\r\nalso xa.gif"));
    EXPECT_EQ(source,
              QByteArray("&lt;img src=\"images/<a href='http://www.example.com/dir/images/a.gif'>"
                         "a.gif</a>\"> see <a href='http://www.example.com/dir/images/a.gif'>"
                         "a.gif</a><BR><BR>also x<a href='http://www.example.com/dir/images/"
                         "a.gif'>a.gif</a>\r\n"));
}

TEST(HarvestDriver, NameOfBothKindsIsWrappedOnceWithTheLinkAddress)
{
    ResultLists lists;
    const QByteArray source = harvestSource(
        QStringLiteral("<a href=\"big/cat.jpg\"><img src=\"small/cat.jpg\"></a>"), &lists);
    EXPECT_EQ(source, QByteArray("&lt;a href=\"big/<a href='http://www.example.com/dir/big/"
                                 "cat.jpg'>cat.jpg</a>\">&lt;img src=\"small/<a "
                                 "href='http://www.example.com/dir/big/cat.jpg'>cat.jpg</a>\">"
                                 "&lt;/a>\r\n"));
}

TEST(HarvestDriver, LongestNameWinsAndInsertedTextIsNeverTouched)
{
    ResultLists lists;
    lists.Links[0] << QStringLiteral("http://h/big.jpg");
    lists.Keys[0] << QStringLiteral("big.jpg");
    lists.Links[1] << QStringLiteral("http://h/g.jpg") << QStringLiteral("http://h/h");
    lists.Keys[1] << QStringLiteral("g.jpg") << QStringLiteral("h");
    EXPECT_EQ(
        withoutMark(harvest::BuildSourcePage(QStringLiteral("big.jpg g.jpg h"), lists)),
        QByteArray("<a href='http://h/big.jpg'>big.jpg</a> <a href='http://h/g.jpg'>g.jpg</a> "
                   "<a href='http://h/h'>h</a>"));
}

TEST(HarvestDriver, NamesMatchInTheirEscapedForm)
{
    ResultLists lists;
    lists.Links[1] << QStringLiteral("http://h/a&amp;b.gif") << QStringLiteral("http://h/lt;b")
                   << QStringLiteral("http://h/BR>");
    lists.Keys[1] << QStringLiteral("a&b.gif") << QStringLiteral("lt;b") << QStringLiteral("BR>");
    // A name is wrapped only where it stands whole in the page text, never inside
    // the escape of a single character.
    EXPECT_EQ(withoutMark(harvest::BuildSourcePage(QStringLiteral("x a&b.gif <b\r\n lt;b"), lists)),
              QByteArray("x <a href='http://h/a&amp;b.gif'>a&amp;b.gif</a> &lt;b<BR><BR> "
                         "<a href='http://h/lt;b'>lt;b</a>"));
}

TEST(HarvestDriver, AddressesCannotLeaveTheirAttribute)
{
    ResultLists lists;
    lists.Links[1] << QStringLiteral("http://h/a'><script>x</script>.gif")
                   << QStringLiteral("http://h/\"q\".gif");
    lists.Keys[1] << QStringLiteral("a.gif") << QStringLiteral("q.gif");
    EXPECT_EQ(
        withoutMark(harvest::BuildSourcePage(QStringLiteral("a.gif"), lists)),
        QByteArray("<a href='http://h/a&#39;&gt;&lt;script&gt;x&lt;/script&gt;.gif'>a.gif</a>"));
    EXPECT_EQ(withoutMark(harvest::BuildImagePage(lists)),
              QStringLiteral("<a href='http://h/a&#39;&gt;&lt;script&gt;x&lt;/script&gt;.gif'><img "
                             "src='http://h/a&#39;&gt;&lt;script&gt;x&lt;/script&gt;.gif'></a><BR>"
                             "http://h/a&#39;&gt;&lt;script&gt;x&lt;/script&gt;.gif<BR><BR><BR>"
                             "<a href='http://h/&quot;q&quot;.gif'><img "
                             "src='http://h/&quot;q&quot;.gif'></a><BR>http://h/&quot;q&quot;.gif"
                             "<BR><BR><BR>"));
}

TEST(WriteImagePage, Table)
{
    const struct {
        const char *stored;
        const char *target;
    } rows[] = {
        {"http://www.example.com/a.gif", "http://www.example.com/a.gif"},
        {"www.example.com/a.gif", "http://www.example.com/a.gif"},
        {"HTTP://X/A.GIF", "HTTP://X/A.GIF"},
        {"https://x/a.gif", "https://x/a.gif"},
        {"file:///tmp/a.gif", "file:///tmp/a.gif"},
        {"data:image/gif;base64,R0lG", "data:image/gif;base64,R0lG"},
        {"a&amp;b.gif", "http://a&amp;b.gif"},
    };
    for (const auto &row : rows) {
        QTemporaryDir dir;
        WorkingFiles files(dir.path());
        ResultLists lists;
        lists.Links[1] << QString::fromUtf8(row.stored);
        lists.Keys[1] << ImageFileName(QString::fromUtf8(row.stored));
        ASSERT_TRUE(WriteImagePage(files, lists));
        const QByteArray target(row.target);
        EXPECT_EQ(withoutMark(testsupport::readFile(files.path(WorkingFiles::ImagePage))),
                  "<a href='" + target + "'><img src='" + target + "'></a><BR>" +
                      QByteArray(row.stored) + "<BR><BR><BR>\r\n")
            << row.stored;
    }
}

TEST(WriteImagePage, TwoImagesWithTheSameNameAreShownOnce)
{
    ResultLists lists;
    harvestSource(QStringLiteral("<img src=\"a/x.gif\"><img src=\"b/x.gif\">"), &lists);
    EXPECT_EQ(lists.Links[1].size(), 1);
}

TEST(WorkingFiles, NamesAndPaths)
{
    WorkingFiles files(QStringLiteral("/some/folder"));
    EXPECT_EQ(files.path(WorkingFiles::CheckImages),
              QStringLiteral("/some/folder/checkImages.txt"));
    EXPECT_EQ(WorkingFiles::startupOrder(),
              QStringList({"browser.txt", "source.htm", "images.htm", "checkImages.txt",
                           "checkImagesClean.txt", "imagepage.html"}));
}

TEST(WorkingFiles, StartUpCreatesOnlyMissingFiles)
{
    QTemporaryDir dir;
    WorkingFiles files(dir.path());
    ASSERT_TRUE(testsupport::writeFile(files.path(WorkingFiles::SourcePage), "kept"));
    ASSERT_TRUE(files.createMissing());
    for (const QString &name : WorkingFiles::startupOrder()) {
        EXPECT_EQ(testsupport::readFile(files.path(name)),
                  name == WorkingFiles::SourcePage ? QByteArray("kept") : QByteArray("\r\n"))
            << name.toStdString();
    }
    EXPECT_TRUE(files.appendEmptyLine(WorkingFiles::SourcePage));
    EXPECT_EQ(testsupport::readFile(files.path(WorkingFiles::SourcePage)), QByteArray("kept\r\n"));
}

TEST(WorkingFiles, WriteReplaceWritesUtf8AndCrLf)
{
    QTemporaryDir dir;
    WorkingFiles files(dir.path());
    ASSERT_TRUE(files.writeReplace(WorkingFiles::Browser, QStringLiteral("a long first value")));
    ASSERT_TRUE(files.writeReplace(WorkingFiles::Browser, QStringLiteral("猫")));
    EXPECT_EQ(testsupport::readFile(files.path(WorkingFiles::Browser)),
              QByteArray("\xe7\x8c\xab\r\n"));
    ASSERT_TRUE(files.writeReplace(WorkingFiles::Browser, QString()));
    EXPECT_EQ(testsupport::readFile(files.path(WorkingFiles::Browser)).size(), 2);
}

TEST(WorkingFiles, FailedWriteLeavesThePreviousContent)
{
    QTemporaryDir dir;
    WorkingFiles files(dir.path() + QStringLiteral("/missing"));
    EXPECT_FALSE(files.writeReplace(WorkingFiles::Browser, QStringLiteral("x")));
    EXPECT_FALSE(QFile::exists(files.path(WorkingFiles::Browser)));
    // A target that cannot be replaced keeps what it was.
    WorkingFiles real(dir.path());
    ASSERT_TRUE(QDir(dir.path()).mkdir(WorkingFiles::Images));
    EXPECT_FALSE(real.writeReplace(WorkingFiles::Images, QStringLiteral("x")));
    EXPECT_TRUE(QFileInfo(real.path(WorkingFiles::Images)).isDir());
}

TEST(HarvestDriver, EveryStepIsBestEffort)
{
    // The clean file cannot be written: the scans work from memory and still record,
    // the rest of the harvest runs, emptying the scratch files stops at it, and the
    // report names it.
    QTemporaryDir dir;
    WorkingFiles files(dir.path());
    ASSERT_TRUE(files.createMissing());
    ASSERT_TRUE(files.writeReplace(WorkingFiles::Browser, QStringLiteral("old")));
    QFile::remove(files.path(WorkingFiles::CheckImagesClean));
    ASSERT_TRUE(QDir(dir.path()).mkdir(WorkingFiles::CheckImagesClean));
    ResultLists lists;
    const HarvestReport report =
        RunHarvest(QStringLiteral("<img src=\"a.gif\">"), kPage, files, lists);
    EXPECT_EQ(lists.Links[1], QStringList({"http://www.example.com/dir/a.gif"}));
    EXPECT_TRUE(report.pagesWritten);
    EXPECT_EQ(report.failure, QStringLiteral("checkImagesClean.txt: is a folder"));
    EXPECT_TRUE(withoutMark(testsupport::readFile(files.path(WorkingFiles::SourcePage)))
                    .startsWith("&lt;img src=\"<a href='http://www.example.com/dir/a.gif'>"));
    EXPECT_EQ(testsupport::readFile(files.path(WorkingFiles::CheckImages)), QByteArray("\r\n"));
    EXPECT_EQ(testsupport::readFile(files.path(WorkingFiles::Browser)), QByteArray("old\r\n"));
}

TEST(HarvestDriver, JapanesePageKeepsItsCharacters)
{
    ResultLists lists;
    const QString page = QStringLiteral("<p>猫の写真</p><img src=\"写真/猫.jpg\">");
    const QByteArray source = harvestSource(page, &lists);
    EXPECT_EQ(QString::fromUtf8(source),
              QStringLiteral("&lt;p>猫の写真&lt;/p>&lt;img src=\"写真/<a "
                             "href='http://www.example.com/dir/写真/猫.jpg'>猫.jpg</a>\">\r\n"));
}

TEST(HarvestDriver, LoneSurrogatesAreWrittenAsQt)
{
    QString page = QStringLiteral("a");
    page.append(QChar(0xD800));
    page.append(QStringLiteral("b😀c"));
    page.append(QChar(0xDC00));
    harvestSource(page);
}

} // namespace

namespace {

TEST(HarvestDriver, ThePageBytesReadAsTheirText)
{
    const QByteArray pages[] = {
        "plain ASCII text that runs past eight bytes <img src=\"a.gif\">",
        "\xEF\xBB\xBF<p>a byte-order mark first</p>",
        "<p>a byte-order mark inside \xEF\xBB\xBF</p>\xEF\xBB\xBF",
        "\xEF\xBB\xBF\xEF\xBB\xBF two marks",
        "noncharacters \xEF\xBF\xBE\xEF\xBF\xBF\xEF\xB7\x90 and the last \xF4\x8F\xBF\xBF",
        "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 \xC3\xA9",
        "overlong \xC0\xAF \xE0\x80\xAF \xF0\x80\x80\xAF",
        "surrogates \xED\xA0\x80\xED\xB0\x80",
        "above U+10FFFF \xF4\x90\x80\x80 \xF5\x80\x80\x80",
        "cut off \xE6\x97",
        "lone continuation \x80\xBF and Latin-1 caf\xE9",
        QByteArray("a NUL \0 inside", 15),
        "",
    };
    for (const QByteArray &page : pages) {
        SCOPED_TRACE(page.toHex().toStdString());
        EXPECT_EQ(harvest::ValidUtf8(page), QString::fromUtf8(page).toUtf8());
    }
}

} // namespace
