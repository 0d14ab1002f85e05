#include "tests/harvest/HarvestTestSupport.h"

#include "tests/support/TestSupport.h"

namespace {

const QString kPage = QStringLiteral("http://www.example.com/dir/page.html");

struct Row {
    const char *url;
    const char *markup;
    const char *address; // nullptr: nothing recorded
    const char *key;
};

void checkRows(const Row *rows, size_t count, bool links)
{
    const int k = links ? 0 : 1;
    for (size_t i = 0; i < count; ++i) {
        const Row &row = rows[i];
        SCOPED_TRACE(row.markup);
        HarvestFolders folders;
        const ResultLists lists =
            folders.scanBoth(QString::fromUtf8(row.markup), QString::fromUtf8(row.url), links);
        EXPECT_TRUE(lists.Links[1 - k].isEmpty());
        if (!row.address) {
            EXPECT_TRUE(lists.Links[k].isEmpty()) << lists.Links[k].join(u' ').toStdString();
            EXPECT_TRUE(lists.Keys[k].isEmpty());
            continue;
        }
        ASSERT_EQ(lists.Links[k].size(), 1);
        ASSERT_EQ(lists.Keys[k].size(), 1);
        EXPECT_EQ(lists.Links[k].at(0), QString::fromUtf8(row.address));
        // A key may start with a byte-order mark, which QString::fromUtf8() would drop.
        EXPECT_EQ(lists.Keys[k].at(0), harvest::TextOfUtf8(row.key));
    }
}

const char *const kHttpPage = "http://www.example.com/dir/page.html";
const char *const kHttpsPage = "https://secure.example.com/shop/list.html";
const char *const kFilePage = "file:///tmp/site/page.html";

TEST(ScanImageTags, Table)
{
    const Row rows[] = {
        {kHttpPage, "<p><img src=\"images/a.gif\" width=10></p>",
         "http://www.example.com/dir/images/a.gif", "a.gif"},
        {kHttpPage, "<IMG SRC='b.jpg'>", "http://www.example.com/dir/b.jpg", "b.jpg"},
        {kHttpPage, "<img src=\"http://cdn.example.net/x.gif\">", "http://cdn.example.net/x.gif",
         "x.gif"},
        {kHttpPage, "<img src=\"/img/b.gif\">", "http://www.example.com/img/b.gif", "b.gif"},
        {kHttpPage, "<img alt=\"\" src=\"c.gif\" border=0>", "http://www.example.com/dir/c.gif",
         "c.gif"},
        {kHttpPage, "<img src=\"pics/d e.gif\">", "http://www.example.com/dir/pics/d e.gif",
         "d e.gif"},
        // An empty value names the page, not a picture.
        {kHttpPage, "<img src=\"\">", nullptr, nullptr},
        {kHttpPage, "<img src=\"\" alt=\"x\">", nullptr, nullptr},
        {kHttpPage, "<img src=\"  \">", nullptr, nullptr},
        {kHttpPage, "<img src>", nullptr, nullptr},
        // Absolute https addresses are taken as they are.
        {kHttpPage, "<img src=\"https://cdn.example.net/y.gif\">", "https://cdn.example.net/y.gif",
         "y.gif"},
        {kHttpPage, "<img src=\"HTTP://CDN.example.net/Q.GIF\">", "HTTP://CDN.example.net/Q.GIF",
         "Q.GIF"},
        {kHttpPage, "<img src=\"HtTpS://cdn.example.net/y.gif\">", "HtTpS://cdn.example.net/y.gif",
         "y.gif"},
        {kHttpPage, "<img src=\"//cdn.example.net/z.gif\">", "http://cdn.example.net/z.gif",
         "z.gif"},
        {kHttpPage, "<img src=\"data:image/gif;base64,R0lGODlh\">",
         "data:image/gif;base64,R0lGODlh", "gif;base64,R0lGODlh"},
        // Other schemes are never recorded.
        {kHttpPage, "<img src=\"javascript:alert('x.gif')\">", nullptr, nullptr},
        {kHttpPage, "<img src=\"  JavaScript:alert(1)\">", nullptr, nullptr},
        {kHttpPage, "<img src=\"vbscript:msgbox\">", nullptr, nullptr},
        {kHttpPage, "<img src=\"data:text/html,x.gif\">", nullptr, nullptr},
        {kHttpPage, "<img src=\"file:///etc/a.gif\">", nullptr, nullptr},
        {kHttpPage, "<img src=\"&#106;avascript:alert(1)\">", nullptr, nullptr},
        // Unquoted values end at the first blank or ">".
        {kHttpPage, "<img src=e.gif width=2>", "http://www.example.com/dir/e.gif", "e.gif"},
        {kHttpPage, "<img src=f.gif>", "http://www.example.com/dir/f.gif", "f.gif"},
        {kHttpPage, "<img src=f2.gif alt=\"two words\">", "http://www.example.com/dir/f2.gif",
         "f2.gif"},
        // Each "../" climbs one folder, never above the site root.
        {"http://www.example.com/a/b/c/page.html", "<img src=\"../g.gif\">",
         "http://www.example.com/a/b/g.gif", "g.gif"},
        {"http://www.example.com/a/b/c/page.html", "<img src=\"../../g.gif\">",
         "http://www.example.com/a/g.gif", "g.gif"},
        {kHttpPage, "<img src=\"../../../h.gif\">", "http://www.example.com/h.gif", "h.gif"},
        // The value is the image tag's own: a src= in the next tag is not.
        {kHttpPage, "<img alt=x><span src=\"j.gif\">", nullptr, nullptr},
        // A tag that goes on on the next line is one tag: an unquoted value ends at
        // the line break, a quoted one at its quote, line breaks and all.
        {kHttpPage, "<img src=\"k.gif\"\r\nalt=\"x\">", "http://www.example.com/dir/k.gif",
         "k.gif"},
        {kHttpPage, "<img src=k2.gif\r\n width=1>", "http://www.example.com/dir/k2.gif", "k2.gif"},
        {kHttpPage, "<img src=\"l m.gif\r\n\">", "http://www.example.com/dir/l m.gif\r\n",
         "l m.gif\r\n"},
        // The attribute is src itself: not one whose name ends in it, nor text
        // inside another attribute's value; the first of two counts.
        {kHttpPage, "<img lowsrc=\"a.gif\" src=\"b.gif\">", "http://www.example.com/dir/b.gif",
         "b.gif"},
        {kHttpPage, "<img data-src='{\"u\":\"x.jpg\"}' src=\"real.jpg\">",
         "http://www.example.com/dir/real.jpg", "real.jpg"},
        {kHttpPage, "<img alt=\"see src=no.gif\" src=yes.gif>",
         "http://www.example.com/dir/yes.gif", "yes.gif"},
        {kHttpPage, "<img alt=x data-src=\"lazy.gif\">", nullptr, nullptr},
        {kHttpPage, "<img alt='src=\"x.gif'>", nullptr, nullptr},
        {kHttpPage, "<img/src=\"slash.gif\">", "http://www.example.com/dir/slash.gif", "slash.gif"},
        {kHttpPage, "<img alt=\"x\"src=\"glued.gif\">", "http://www.example.com/dir/glued.gif",
         "glued.gif"},
        {kHttpPage, "<img SRC = \"spaced.gif\">", "http://www.example.com/dir/spaced.gif",
         "spaced.gif"},
        {kHttpPage, "<img src=\"one.gif\" src=\"two.gif\">", "http://www.example.com/dir/one.gif",
         "one.gif"},
        {kHttpPage, "<img width=3>", nullptr, nullptr},
        {kHttpPage, "<img\nsrc=\"lf.gif\">", "http://www.example.com/dir/lf.gif", "lf.gif"},
        // Page addresses.
        {"http://hometown.aol.com/user/page.html", "<img src=\"x.gif\">",
         "http://members.aol.com/user/x.gif", "x.gif"},
        {"http://hometown.aol.com/user/page.html", "<img src=\"/y.gif\">",
         "http://hometown.aol.com/y.gif", "y.gif"},
        {"http://hometown.aol.com/user/page.html", "<img src=\"http://hometown.aol.com/z.gif\">",
         "http://hometown.aol.com/z.gif", "z.gif"},
        {"http://www.example.com/dir/", "<img src=\"a.gif\">", "http://www.example.com/dir/a.gif",
         "a.gif"},
        {"http://www.example.com", "<img src=\"img/a.gif\">", "http://www.example.com/img/a.gif",
         "a.gif"},
        {kHttpsPage, "<img src=\"img/a.gif\">", "https://secure.example.com/shop/img/a.gif",
         "a.gif"},
        {kHttpsPage, "<img src=\"/r.gif\">", "https://secure.example.com/r.gif", "r.gif"},
        {kHttpsPage, "<img src=\"//c.example.net/a.gif\">", "https://c.example.net/a.gif", "a.gif"},
        {kHttpsPage, "<img src=\"../u.gif\">", "https://secure.example.com/u.gif", "u.gif"},
        {"https://secure.example.com", "<img src=\"a.gif\">", "https://secure.example.com/a.gif",
         "a.gif"},
        {"https://secure.example.com/", "<img src=\"/a.gif\">", "https://secure.example.com/a.gif",
         "a.gif"},
        {kFilePage, "<img src=\"a.gif\">", "file:///tmp/site/a.gif", "a.gif"},
        {kFilePage, "<img src=\"/b.gif\">", "file:///b.gif", "b.gif"},
        {kFilePage, "<img src=\"../d.gif\">", "file:///tmp/d.gif", "d.gif"},
        {kFilePage, "<img src=\"file:///tmp/c.gif\">", "file:///tmp/c.gif", "c.gif"},
        {kFilePage, "<img src=\"http://h/e.gif\">", "http://h/e.gif", "e.gif"},
        {kHttpPage, "<img src=\"写真/猫.jpg\">", "http://www.example.com/dir/写真/猫.jpg",
         "猫.jpg"},
        // A byte-order mark is a character of the value like any other, first or not.
        {kHttpPage,
         "<img src=\"\xEF\xBB\xBF"
         "b.gif\">",
         "http://www.example.com/dir/\xEF\xBB\xBF"
         "b.gif",
         "\xEF\xBB\xBF"
         "b.gif"},
        {kHttpPage,
         "<img src=\"p/\xEF\xBB\xBF\xEF\xBB\xBF"
         "c.gif\">",
         "http://www.example.com/dir/p/\xEF\xBB\xBF\xEF\xBB\xBF"
         "c.gif",
         "\xEF\xBB\xBF\xEF\xBB\xBF"
         "c.gif"},
    };
    checkRows(rows, std::size(rows), false);
}

TEST(ScanImageLinks, Table)
{
    const Row rows[] = {
        {kHttpPage, "<a href=\"pics/big.jpg\">x</a>", "http://www.example.com/dir/pics/big.jpg",
         "big.jpg"},
        {kHttpPage, "<a href='x.gif' target=_blank>y</a>", "http://www.example.com/dir/x.gif",
         "x.gif"},
        {kHttpPage, "<A HREF=\"pic.JPG\">z</A>", "http://www.example.com/dir/pic.JPG", "pic.JPG"},
        {kHttpPage, "<a href=\"http://cdn.example.net/p/a.bmp\">p</a>",
         "http://cdn.example.net/p/a.bmp", "a.bmp"},
        {kHttpPage, "<a href=\"/cgi-bin/i/pics/a.gif\">p</a>", "http://www.example.com/pics/a.gif",
         "a.gif"},
        // The link's own address has to lead to a picture, not the text it holds.
        {kHttpPage, "<a href=\"page.html\"><img src=\"t.gif\"></a>", nullptr, nullptr},
        {kHttpPage, "<a href=\"doc.html\">photo.jpg</a>", nullptr, nullptr},
        {kHttpPage, "<a href=\"pic.png\">p</a>", nullptr, nullptr},
        // Any blank ends the tag's name, a line break too.
        {kHttpPage, "<a\thref=\"a.jpeg\">p</a>", "http://www.example.com/dir/a.jpeg", "a.jpeg"},
        {kHttpPage, "<a\r\nhref=\"a.jpeg\">p</a>", "http://www.example.com/dir/a.jpeg", "a.jpeg"},
        {kHttpPage, "<a\nhref=\"a.jpeg\">p</a>", "http://www.example.com/dir/a.jpeg", "a.jpeg"},
        {kHttpPage, "<a href=\"a.jpeg\">p</a>", "http://www.example.com/dir/a.jpeg", "a.jpeg"},
        // Mended: schemes, unsafe values, ">" before "href=".
        {kHttpPage, "<a href=\"https://cdn.example.net/big.jpg\">p</a>",
         "https://cdn.example.net/big.jpg", "big.jpg"},
        {kHttpPage, "<a href=\"javascript:show('a.gif')\">p</a>", nullptr, nullptr},
        {kHttpPage, "<a href=\"data:text/html;a.gif\">p</a>", nullptr, nullptr},
        {kHttpPage, "<a name=\"n\">caption</a> <link href=\"s.gif\">", nullptr, nullptr},
        {kHttpPage, "<a href=big2.jpg>p</a>", "http://www.example.com/dir/big2.jpg", "big2.jpg"},
        // The attribute is href itself.
        {kHttpPage, "<a data-href=\"no.jpg\" href=\"yes.jpg\">p</a>",
         "http://www.example.com/dir/yes.jpg", "yes.jpg"},
        {kHttpPage, "<a xlink:href=\"no.jpg\">p</a>", nullptr, nullptr},
        {kHttpPage, "<a title=\"href=no.jpg\">p</a>", nullptr, nullptr},
        {kHttpsPage, "<a href=\"/p/big.jpg\">p</a>", "https://secure.example.com/p/big.jpg",
         "big.jpg"},
        {kFilePage, "<a href=\"big.jpg\">p</a>", "file:///tmp/site/big.jpg", "big.jpg"},
        {kHttpPage,
         "<a href=\"\xEF\xBB\xBF"
         "b.gif\">x</a>",
         "http://www.example.com/dir/\xEF\xBB\xBF"
         "b.gif",
         "\xEF\xBB\xBF"
         "b.gif"},
    };
    checkRows(rows, std::size(rows), true);
}

TEST(ScanImageTags, TwoTagsOnOneLineInOrder)
{
    HarvestFolders folders;
    const ResultLists lists = folders.scanBoth(
        QStringLiteral(
            "<p><img src=\"one.gif\"> and <IMG src=\"two.gif\"></p>\r\n<img src=three.gif>"),
        kPage, false);
    EXPECT_EQ(lists.Keys[1], QStringList({"one.gif", "two.gif", "three.gif"}));
    EXPECT_EQ(folders.fileBytes(WorkingFiles::CheckImagesClean),
              QByteArray("<img src=\"one.gif\"> and \r\n<img src=\"two.gif\"></p>\r\n"
                         "<img src=three.gif>\r\n\r\n"));
}

TEST(ScanImageTags, DuplicateKeysAreSkippedWithLetterCase)
{
    HarvestFolders folders;
    const ResultLists lists = folders.scanBoth(
        QStringLiteral("<img src=\"a/b.gif\"><img src=\"c/b.gif\"><img src=\"A.GIF\"><img "
                       "src=\"a.gif\">"),
        kPage, false);
    EXPECT_EQ(lists.Links[1],
              QStringList({"http://www.example.com/dir/a/b.gif", "http://www.example.com/dir/A.GIF",
                           "http://www.example.com/dir/a.gif"}));
    EXPECT_EQ(lists.Keys[1], QStringList({"b.gif", "A.GIF", "a.gif"}));
}

TEST(ScanImageTags, PageUrlIsShortenedToItsFolder)
{
    HarvestFolders folders;
    folders.files.writeReplace(WorkingFiles::CheckImages, QString());
    ResultLists lists;
    QString url = kPage;
    ScanImageTags(url, folders.files, lists);
    EXPECT_EQ(url, QStringLiteral("http://www.example.com/dir/"));
    url = QStringLiteral("http://www.example.com");
    ScanImageTags(url, folders.files, lists);
    EXPECT_EQ(url, QStringLiteral("http://www.example.com"));
}

TEST(ScanImageTags, EmptyPageGivesEmptyScan)
{
    HarvestFolders folders;
    const ResultLists lists = folders.scanBoth(QString(), kPage, false);
    EXPECT_TRUE(lists.Links[1].isEmpty());
    EXPECT_EQ(folders.fileBytes(WorkingFiles::CheckImagesClean), QByteArray("\r\n"));
}

TEST(ScanImageTags, MissingInputRecordsNothing)
{
    QTemporaryDir dir;
    WorkingFiles files(dir.path());
    ResultLists lists;
    QString url = kPage;
    ScanImageTags(url, files, lists);
    ScanImageLinks(url, files, lists);
    EXPECT_TRUE(lists.Links[0].isEmpty());
    EXPECT_TRUE(lists.Links[1].isEmpty());
}

TEST(ScanImageTags, ScansDoNotClearTheLists)
{
    HarvestFolders folders;
    folders.files.writeReplace(WorkingFiles::CheckImages,
                               QStringLiteral("<img src=\"a.gif\"><img src=\"b.gif\">"));
    ResultLists lists;
    lists.Links[1] << QStringLiteral("http://x/a.gif");
    lists.Keys[1] << QStringLiteral("a.gif");
    QString url = kPage;
    ScanImageTags(url, folders.files, lists);
    EXPECT_EQ(lists.Keys[1], QStringList({"a.gif", "b.gif"}));
}

TEST(ScanImageTags, MoreThanSixteenBitsOfEntries)
{
    QString page;
    const int count = 33000;
    for (int i = 0; i < count; ++i)
        page += QStringLiteral("<img src=\"p%1.gif\">\r\n").arg(i);
    QTemporaryDir dir;
    WorkingFiles files(dir.path());
    files.writeReplace(WorkingFiles::CheckImages, page);
    ResultLists lists;
    QString url = kPage;
    ScanImageTags(url, files, lists);
    ASSERT_EQ(lists.Links[1].size(), count);
    EXPECT_EQ(lists.Keys[1].at(32767), QStringLiteral("p32767.gif"));
    EXPECT_EQ(lists.Links[1].last(), QStringLiteral("http://www.example.com/dir/p32999.gif"));
}

TEST(ScanImageTags, AddressesLongerThanSixteenBits)
{
    const QString longName = QString(40000, u'n') + QStringLiteral(".gif");
    HarvestFolders folders;
    const QString url =
        QStringLiteral("http://h/") + QString(40000, u'd') + QStringLiteral("/p.html");
    const ResultLists lists = folders.scanBoth(QStringLiteral("<img src=\"") + longName +
                                                   QStringLiteral("\"><img src=\"../up.gif\">"),
                                               url, false);
    ASSERT_EQ(lists.Links[1].size(), 2);
    EXPECT_EQ(lists.Keys[1].first(), longName);
    EXPECT_EQ(lists.Links[1].first(),
              QStringLiteral("http://h/") + QString(40000, u'd') + u'/' + longName);
    EXPECT_EQ(lists.Links[1].last(), QStringLiteral("http://h/up.gif"));
}

TEST(ScanImageLinks, PictureShownAndLinkedIsRecordedInBothPairs)
{
    HarvestFolders folders;
    const QString page = QStringLiteral("<a href=\"big/cat.jpg\"><img src=\"small/cat.jpg\"></a>");
    ResultLists lists;
    expectSameHarvest(page, kPage, folders, &lists);
    EXPECT_EQ(lists.Links[0], QStringList({"http://www.example.com/dir/big/cat.jpg"}));
    EXPECT_EQ(lists.Links[1], QStringList({"http://www.example.com/dir/small/cat.jpg"}));
    EXPECT_EQ(lists.Keys[0], QStringList({"cat.jpg"}));
    EXPECT_EQ(lists.Keys[1], QStringList({"cat.jpg"}));
}

TEST(ScanImageLinks, SecondLinkToSameNameIsSkipped)
{
    HarvestFolders folders;
    const ResultLists lists = folders.scanBoth(
        QStringLiteral("<a href=\"a/x.gif\">1</a> <a href=\"b/x.gif\">2</a>"), kPage, true);
    EXPECT_EQ(lists.Links[0], QStringList({"http://www.example.com/dir/a/x.gif"}));
}

TEST(SplitScanLines, OneTagPerLineMatchesTheHundredRounds)
{
    const QString texts[] = {
        QStringLiteral(
            "<img src=a><IMG src=b>\r\ntext\r\nx<img\r\n\r\n<iMg>\n<img>\rq<img<img>\r\n"),
        QStringLiteral(
            "lead <a href=x>1</a><A HREF=y> <a <a \r\n<a cgi-bin/i/\r\n<cgi-bin/I/a x\r\n"),
        QStringLiteral("\n\n<img\n\r\n\r\n<img>"),
        QString(),
    };
    for (const QString &text : texts) {
        for (bool links : {false, true}) {
            const harvest::ScanLines split = harvest::SplitScanLines(text, links);
            EXPECT_EQ(split.oneTagPerLine, reference::oneTagPerLine(text, links))
                << text.toStdString();
            QStringList expected;
            for (const QString &line :
                 reference::readLines(reference::oneTagPerLine(text, links) + "\r\n")) {
                if (line.contains(links ? QStringLiteral("<a ") : QStringLiteral("<img"),
                                  Qt::CaseInsensitive))
                    expected << line;
            }
            EXPECT_EQ(split.lines, expected) << text.toStdString();
        }
    }
}

} // namespace

namespace {

// The check of a page's UTF-8 as it is written finds the "cgi-bin/i/" that the link
// scan's clean file takes out, wherever it lies, also across the pieces in which the
// page is checked, and the clean texts made with what it found are those made
// without it.
TEST(CleanText, CgiBinIsFoundAsThePageIsChecked)
{
    constexpr qsizetype kPiece = qsizetype(256) << 10;
    for (qsizetype before = kPiece - 12; before <= kPiece + 2; ++before) {
        for (const bool holds : {false, true}) {
            SCOPED_TRACE(testing::Message() << before << (holds ? " with" : " without"));
            QByteArray page(before, 'x');
            page +=
                holds ? "<a href=\"CGI-bin/i/a.gif\">a</a>\r\n" : "<a href=\"cgi-bin/a.gif\">\r\n";
            page += "<a href=\"b.jpg\">b</a>";
            QByteArray written;
            QByteArray converted;
            bool found = !holds;
            {
                harvest::ByteArraySink sink(written);
                harvest::WriteValidUtf8(page, sink, &converted, &found);
            }
            EXPECT_EQ(found, holds);
            EXPECT_EQ(written, page);
            QByteArray lines;
            QByteArray tags;
            {
                harvest::ByteArraySink linesSink(lines);
                harvest::ByteArraySink tagsSink(tags);
                harvest::WriteCleanTexts(page, true, &linesSink, &tagsSink, &found);
            }
            QByteArray expected;
            harvest::MakeCleanText(page, true, false, expected);
            EXPECT_EQ(lines, expected);
            harvest::MakeCleanText(page, true, true, expected);
            EXPECT_EQ(tags, expected);
        }
    }
}

} // namespace
