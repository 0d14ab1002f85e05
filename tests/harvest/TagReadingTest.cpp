// How the tags of a page are read: a quoted value runs to its own closing quote
// whatever it holds, and the reading stays linear in the page's size on pages made
// to defeat it (comments, raw-text elements and quotes that never end, fragments of
// markup), counted in the bytes it passes over rather than timed.
#include "tests/harvest/HarvestTestSupport.h"

#include "harvest/Tags.h"
#include "tests/support/TestSupport.h"

namespace {

const char *const kPage = "http://www.example.com/dir/page.html";

struct QuotedRow {
    const char *name;
    const char *markup;
    const char *address; // the one address recorded (of Links(1) for <img>, else Links(0))
    const char *key;
};

TEST(QuotedValues, RunToTheirClosingQuoteWhateverTheyHold)
{
    const QuotedRow rows[] = {
        {"\"<\" and \">\" in a double-quoted src", "<img src=\"/q/plain<b>.jpg\">",
         "http://www.example.com/q/plain<b>.jpg", "plain<b>.jpg"},
        {"\">\" alone", "<img src=\"a>b.gif\" alt=x>", "http://www.example.com/dir/a>b.gif",
         "a>b.gif"},
        {"\"<\" alone", "<img src=\"a<b.gif\">", "http://www.example.com/dir/a<b.gif", "a<b.gif"},
        {"a whole tag inside", "<img src=\"x<img src=y.gif>z.gif\">",
         "http://www.example.com/dir/x<img src=y.gif>z.gif", "x<img src=y.gif>z.gif"},
        {"single quotes", "<IMG SRC='/q/s<i>ngle.jpg'>", "http://www.example.com/q/s<i>ngle.jpg",
         "s<i>ngle.jpg"},
        {"a double quote inside single quotes", "<img src='say \"hi\".gif'>",
         "http://www.example.com/dir/say \"hi\".gif", "say hi.gif"},
        {"a single quote inside double quotes", "<img src=\"it's.gif\">",
         "http://www.example.com/dir/it's.gif", "it's.gif"},
        {"line breaks and \">\" across them", "<img src=\"one\r\n>two\n<three.gif\"\r\nalt=x>",
         "http://www.example.com/dir/one\r\n>two\n<three.gif", "one\r\n>two\n<three.gif"},
        {"a link to a picture", "<a href=\"pics/x<y>.jpg\">x</a>",
         "http://www.example.com/dir/pics/x<y>.jpg", "x<y>.jpg"},
        {"a link with single quotes and \">\"", "<a title=x href='full>size.jpeg'>y</a>",
         "http://www.example.com/dir/full>size.jpeg", "full>size.jpeg"},
        {"\"href=\" is still taken out of a quoted value", "<a href=\"big>href=.jpg\">b</a>",
         "http://www.example.com/dir/big>.jpg", "big>.jpg"},
        {"\"href=\" right after the attribute", "<a href=href=\"pq.jpg\">b</a>",
         "http://www.example.com/dir/pq.jpg", "pq.jpg"},
    };
    for (const QuotedRow &row : rows) {
        SCOPED_TRACE(row.name);
        HarvestFolders folders;
        ResultLists lists;
        expectSameHarvest(QString::fromUtf8(row.markup), QString::fromUtf8(kPage), folders, &lists);
        const int k = QByteArray(row.markup).startsWith("<a") ? 0 : 1;
        ASSERT_EQ(lists.Links[k].size(), 1);
        EXPECT_TRUE(lists.Links[1 - k].isEmpty());
        EXPECT_EQ(lists.Links[k].at(0), QString::fromUtf8(row.address));
        EXPECT_EQ(lists.Keys[k].at(0), QString::fromUtf8(row.key));
    }
}

TEST(QuotedValues, TheSourceCodePageLinksTheWholeName)
{
    HarvestFolders folders;
    expectSameHarvest(QStringLiteral("<img src=\"/q/plain<b>.jpg\">"), QString::fromUtf8(kPage),
                      folders);
    EXPECT_EQ(folders.fileBytes(WorkingFiles::SourcePage).mid(3),
              QByteArray("&lt;img src=\"/q/<a href='http://www.example.com/q/plain&lt;b&gt;.jpg'>"
                         "plain&lt;b>.jpg</a>\">\r\n"));
    EXPECT_EQ(folders.fileBytes(WorkingFiles::ImagePage).mid(3),
              QByteArray("<a href='http://www.example.com/q/plain&lt;b&gt;.jpg'><img "
                         "src='http://www.example.com/q/plain&lt;b&gt;.jpg'></a><BR>"
                         "http://www.example.com/q/plain&lt;b&gt;.jpg<BR><BR><BR>\r\n"));
}

TEST(SourceCodePage, ANameUsedAgainIsLinkedAlikeEachTime)
{
    const QByteArray longFolder(700, 'f');
    const struct {
        const char *name;
        QByteArray page;
    } rows[] = {
        {"CR and LF in a name match each other",
         "<img src=\"a\r\nb.gif\">a\n\nb.gif a\r\rb.gif\ra\n\rb.gif a\r\nb.gif"},
        {"names that escape", "<img src=\"x&amp;<\x01.gif\"> x&amp;<\x01.gif x&amp;<\x01.gif"},
        {"an anchor too long to keep",
         "<img src=\"/" + longFolder + "/n.gif\"> n.gif n.gif\r\n<a href=\"n.gif\">n.gif</a>"},
        {"names of both kinds", "<a href=\"p/q.jpg\">q.jpg</a><img src=\"q.jpg\"> q.jpg q.jp"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        HarvestFolders folders;
        expectSameHarvest(QString::fromUtf8(row.page), QString::fromUtf8(kPage), folders);
    }
}

TEST(SourceCodePage, AnchorsBeyondThePagesLimitAreLeftOutWhetherKeptOrNot)
{
    // More places of a name than the anchors of the page may take (512 KB and twice
    // the page): with an anchor too long to keep, and with one kept and used again.
    const struct {
        qsizetype folder;
        qsizetype places;
    } rows[] = {{700, 800}, {8, 20000}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.folder);
        const QByteArray folder(row.folder, 'f');
        const QByteArray text = QByteArray(" m.gif").repeated(row.places);
        const QByteArray page = "<img src=\"" + folder + "/m.gif\">" + text;
        const HarvestResult result = Harvest(QString::fromUtf8(page), QString::fromUtf8(kPage));
        const QByteArray anchor =
            "<a href='http://www.example.com/dir/" + folder + "/m.gif'>m.gif</a>";
        const qsizetype linked = result.sourcePage.count(anchor);
        EXPECT_GT(linked, row.places / 2);
        EXPECT_LT(linked, row.places);
        EXPECT_TRUE(result.sourcePage.mid(3).startsWith(
            "[Quarrow linked " + QByteArray::number(linked) + " of the " +
            QByteArray::number(row.places + 1) + " places"));
        // What is not linked is the page's text, escaped.
        QByteArray plain = result.sourcePage;
        plain.replace(anchor, "m.gif");
        EXPECT_TRUE(plain.endsWith("&lt;img src=\"" + folder + "/m.gif\">" + text));
    }
}

// Pages made of one piece again and again, each built to make a reading that
// searches to the page's end for every opening take time that grows with the
// square of the page.
struct Shape {
    const char *name;
    const char *piece;
};

const Shape kShapes[] = {
    {"comments", "<!-- c --><img src=a.jpg>\r\n"},
    {"comments closed by --!>", "<!-- c --!><img src=a.jpg>\r\n"},
    {"comments of both endings", "<!-- c --><!-- d --!><a href=b.jpg>b</a>\r\n"},
    {"\">\" in comments", "<!-- >> -> !> -!> <img src=a.jpg> --><img src=b.jpg>\r\n"},
    {"a comment of \">\"", "<!-- >>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>"},
    {"comments that end at once", "<!--><!---><img src=a.jpg>"},
    {"a comment never closed", "<!-- -- -! --! <img src=a.jpg> >\r\n"},
    {"script openings", "<script><img src=a.jpg></scrip></scripts>\r\n"},
    {"scripts closed", "<script>x</script ><img src=a.jpg>\r\n"},
    {"textarea openings", "<textarea><img src=a.jpg></textare>\r\n"},
    {"raw text of every kind",
     "<title>t</title><style>s</style><xmp>x</xmp><iframe>i</iframe><noscript>n</noscript>"
     "<img src=a.jpg>\r\n"},
    {"unclosed double quotes", "<img src=\"a.jpg alt=x>\r\n"},
    {"unclosed single quotes", "<a title='x href=b.jpg>\r\n"},
    {"quotes closed far on", "<img alt=\"<img src=a.jpg>' src=b.jpg>\r\n"},
    {"declaration fragments", "<! x <!- <!D <? <img src=a.jpg>\r\n"},
    {"end tag fragments", "</ </3 </a </img x=\" <img src=a.jpg>\r\n"},
    {"lone \"<\"", "< << <1 <img src=a.jpg>\r\n"},
    {"templates", "<template><img src=a.jpg></template><img src=b.jpg>\r\n"},
};

QByteArray repeated(const char *piece, qsizetype bytes)
{
    const QByteArray unit(piece);
    QByteArray page;
    page.reserve(bytes + unit.size());
    while (page.size() < bytes)
        page += unit;
    page.truncate(bytes);
    return page;
}

struct Reading {
    qsizetype examined = 0;
    qsizetype tags = 0;
};

Reading read(const QByteArray &page)
{
    Reading reading;
    harvest::FindTags(
        page, [&reading](const harvest::Tag &) { ++reading.tags; }, &reading.examined);
    return reading;
}

TEST(TagReading, PassesOverEachByteAFewTimesWhateverThePage)
{
    // A search passes over a byte once; a ">" in a comment is looked at again with
    // the three bytes before it.
    constexpr qsizetype kMostPerByte = 4;
    for (const Shape &shape : kShapes) {
        SCOPED_TRACE(shape.name);
        for (const qsizetype bytes : {qsizetype(64) << 10, qsizetype(256) << 10}) {
            const Reading reading = read(repeated(shape.piece, bytes));
            EXPECT_LE(reading.examined, kMostPerByte * bytes) << bytes << " bytes";
            EXPECT_GE(reading.examined, 1);
        }
    }
}

TEST(TagReading, FourTimesThePageIsAtMostFourTimesTheWork)
{
    for (const Shape &shape : kShapes) {
        SCOPED_TRACE(shape.name);
        const Reading small = read(repeated(shape.piece, qsizetype(64) << 10));
        const Reading large = read(repeated(shape.piece, qsizetype(256) << 10));
        // A piece cut at the page's end may change the last few bytes' reading.
        EXPECT_LE(large.examined, 4 * small.examined + 256);
        EXPECT_LE(large.tags, 4 * small.tags + 4);
    }
}

TEST(TagReading, WorstCasePagesAreReadAsTheLiteralHarvestReadsThem)
{
    for (const Shape &shape : kShapes) {
        SCOPED_TRACE(shape.name);
        HarvestFolders folders;
        // Small: the literal harvest takes time that grows with the square of the page.
        expectSameHarvest(QString::fromUtf8(repeated(shape.piece, 1500)), QString::fromUtf8(kPage),
                          folders);
    }
}

TEST(TagReading, EveryCommentOfALongPageIsReadAndEveryPictureAfterItFound)
{
    const QByteArray piece = "<!-- c --><img src=a.jpg>\r\n";
    const qsizetype pieces = 40000; // about 1 MB
    QByteArray page;
    for (qsizetype i = 0; i < pieces; ++i)
        page += piece;
    page += "<!-- never closed --!<img src=b.jpg>";
    const std::vector<harvest::Tag> tags = harvest::FindTags(page);
    ASSERT_EQ(qsizetype(tags.size()), pieces);
    EXPECT_EQ(tags.front().start, 10);
    EXPECT_EQ(tags.back().end, (pieces - 1) * piece.size() + 25);
}

// The base address a browser makes of a page's text.
TEST(DocumentBase, IsTheFirstBaseElementWithAnAddress)
{
    const char *const page = "http://h/d/p.html";
    const struct {
        const char *markup;
        const char *base;
    } rows[] = {
        {"<img src=a.gif>", page},
        {"<base href=\"http://cdn.example/x/\">", "http://cdn.example/x/"},
        {"<BASE HREF='sub/'>", "http://h/d/sub/"},
        {"<base href=/top/ target=_blank>", "http://h/top/"},
        {"<base target=x><base href=\"one/\"><base href=\"two/\">", "http://h/d/one/"},
        {"<base data-href=\"no/\" href=\" yes/ \">", "http://h/d/yes/"},
        {"<!-- <base href=\"no/\"> --><script>'<base href=\"no/\">'</script>", page},
        {"<template><base href=\"no/\"></template>", page},
        {"<base href=\"javascript:alert(1)\">", page},
        {"<base href=\"data:text/html,x\">", page},
        {"<base href>", page},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.markup);
        EXPECT_EQ(harvest::DocumentBase(row.markup, QString::fromLatin1(page)),
                  QString::fromLatin1(row.base));
    }
}

} // namespace
