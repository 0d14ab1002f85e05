// Which tags a page really holds, and which address their references resolve
// against: tags over several lines, markup that is no tag (comments, the text of
// script, style, template, textarea and noscript, attribute values), the
// document's base address, and page addresses with a query or a fragment.
#include "tests/harvest/HarvestTestSupport.h"

#include "tests/support/TestSupport.h"

namespace {

const char *const kPage = "http://www.example.com/dir/page.html";

struct Row {
    const char *name;
    const char *markup;
    const char *images; // the addresses of Links(1), joined by "|"
    const char *links;  // the addresses of Links(0), joined by "|"
    const char *url = kPage;
    const char *base = ""; // the document's base address; empty: the page's
};

void checkRows(const Row *rows, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const Row &row = rows[i];
        SCOPED_TRACE(row.name);
        HarvestFolders folders;
        ResultLists lists;
        // The harvest agrees with the literal one and with the harvest of the bytes.
        expectSameHarvest(QString::fromUtf8(row.markup), QString::fromUtf8(row.url), folders,
                          &lists, QString::fromUtf8(row.base));
        EXPECT_EQ(lists.Links[1].join(u'|'), QString::fromUtf8(row.images));
        EXPECT_EQ(lists.Links[0].join(u'|'), QString::fromUtf8(row.links));
    }
}

TEST(MarkupRules, TagsOverSeveralLinesAreOneTag)
{
    const Row rows[] = {
        {"alt over two lines before src",
         "<p><img alt=\"A picture of\r\nthe harbour\" class=\"wide\"\r\n     src=\"harbour.jpg\">",
         "http://www.example.com/dir/harbour.jpg", ""},
        {"every attribute on its own line",
         "<img\r\n  width=\"10\"\r\n  height=\"10\"\r\n  src=\"pics/dot.gif\"\r\n>",
         "http://www.example.com/dir/pics/dot.gif", ""},
        {"lone line feeds", "<img\n alt=\"x\n y\"\n src=\"lf.gif\">",
         "http://www.example.com/dir/lf.gif", ""},
        {"link with its address on the third line",
         "<a class=\"thumb\"\r\n   title=\"Full size\"\r\n   href=\"full/cat.jpg\">cat</a>", "",
         "http://www.example.com/dir/full/cat.jpg"},
        {"link whose name ends at a line break", "<a\r\nhref=\"b.gif\">b</a>", "",
         "http://www.example.com/dir/b.gif"},
        {"\">\" inside a quoted value does not close the tag",
         "<img alt=\"a > b\" title='c > d' src=\"gt.gif\">", "http://www.example.com/dir/gt.gif",
         ""},
        {"data-src is not src", "<img data-src=\"lazy.gif\"\r\n src=\"real.gif\">",
         "http://www.example.com/dir/real.gif", ""},
        {"unquoted value ends at CR", "<img src=cr.gif\r\nalt=x>",
         "http://www.example.com/dir/cr.gif", ""},
        {"a tag the page never closes", "<p>x</p><img src=\"open.gif\"", "", ""},
        {"no other tag name starts with img", "<imgx src=\"x.gif\"><image src=\"y.gif\">", "", ""},
        {"links only to pictures",
         "<a href=\"p.png\">1</a><a href=\"q.webp\">2</a>"
         "<a href=\"r.svg\">3</a><a href=\"s.bmp?w=2\">4</a>",
         "", "http://www.example.com/dir/s.bmp?w=2"},
        {"a picture's extension in the query only", "<a href=\"show.php?img=a.jpg\">a</a>", "", ""},
    };
    checkRows(rows, std::size(rows));
}

TEST(MarkupRules, MarkupThatIsNoTagRecordsNothing)
{
    const Row rows[] = {
        {"commented-out picture",
         "<!-- <img src=\"old.gif\"> <a href=\"old.jpg\">x</a> -->\r\n<img src=\"new.gif\">",
         "http://www.example.com/dir/new.gif", ""},
        {"comment over lines", "<!--\r\n<img src=\"a.gif\">\r\n--><img src=\"b.gif\">",
         "http://www.example.com/dir/b.gif", ""},
        {"comments that end at once", "<!--><img src=\"c.gif\"><!---><img src=\"d.gif\">",
         "http://www.example.com/dir/c.gif|http://www.example.com/dir/d.gif", ""},
        {"comment closed by --!>", "<!-- x --!><img src=\"e.gif\">",
         "http://www.example.com/dir/e.gif", ""},
        {"comment never closed", "<img src=\"f.gif\"><!-- <img src=\"g.gif\">",
         "http://www.example.com/dir/f.gif", ""},
        {"picture in a script string",
         "<script>var s = '<img src=\"s.gif\">'; document.write('<a href=\"t.jpg\">');"
         "</script><img src=\"after.gif\">",
         "http://www.example.com/dir/after.gif", ""},
        {"script end tag in capitals with a blank",
         "<SCRIPT type=\"text/javascript\">x = \"<img src='u.gif'>\";</SCRIPT ><img src=\"v.gif\">",
         "http://www.example.com/dir/v.gif", ""},
        {"style",
         "<style>\r\n/* <img src=\"st.gif\"> */ a::after { content: '<a href=\"st.jpg\">' }"
         "\r\n</style>",
         "", ""},
        {"template",
         "<template><img src=\"tp.gif\"><a href=\"tp.jpg\">t</a></template>"
         "<img src=\"shown.gif\">",
         "http://www.example.com/dir/shown.gif", ""},
        {"templates inside templates",
         "<template><template></template><img src=\"in.gif\"></template><img src=\"out.gif\">",
         "http://www.example.com/dir/out.gif", ""},
        {"textarea", "<textarea name=t><img src=\"ta.gif\"></textarea>", "", ""},
        {"noscript", "<noscript><img src=\"ns.gif\"></noscript><img src=\"js.gif\">",
         "http://www.example.com/dir/js.gif", ""},
        {"title", "<title><img src=\"ti.gif\"></title>", "", ""},
        {"end tag of another element inside", "<script></style><img src=\"x.gif\"></script>", "",
         ""},
        {"markup inside an attribute value",
         "<div title=\"<img src='attr.gif'>\" data-x='<a href=\"attr.jpg\">'>x</div>", "", ""},
        {"declaration and processing instruction",
         "<!DOCTYPE html><?xml version=\"1.0\"?><img src=\"doc.gif\">",
         "http://www.example.com/dir/doc.gif", ""},
    };
    checkRows(rows, std::size(rows));
}

TEST(MarkupRules, TheSourceCodePageStillShowsAndLinksEverything)
{
    // A name recorded from a tag is linked wherever it stands, in a comment too.
    HarvestFolders folders;
    ResultLists lists;
    expectSameHarvest(QStringLiteral("<!-- <img src=\"a.gif\"> --><img src=\"pics/a.gif\">"),
                      QString::fromUtf8(kPage), folders, &lists);
    EXPECT_EQ(lists.Links[1], QStringList({"http://www.example.com/dir/pics/a.gif"}));
    EXPECT_EQ(folders.fileBytes(WorkingFiles::SourcePage).mid(3),
              QByteArray("&lt;!-- &lt;img src=\"<a href='http://www.example.com/dir/pics/a.gif'>"
                         "a.gif</a>\"> -->&lt;img src=\"pics/<a "
                         "href='http://www.example.com/dir/pics/a.gif'>a.gif</a>\">\r\n"));
}

TEST(MarkupRules, AddressesResolveAgainstTheBaseAddress)
{
    const char *const img = "<img src=\"i.gif\"><img src=\"/r.gif\"><img src=\"../u.gif\">"
                            "<img src=\"//x.example/p.gif\"><a href=\"big/l.jpg\">l</a>";
    const Row rows[] = {
        {"base on another host", img,
         "http://cdn.example/assets/v2/i.gif|http://cdn.example/r.gif|"
         "http://cdn.example/assets/u.gif|http://x.example/p.gif",
         "http://cdn.example/assets/v2/big/l.jpg", kPage, "http://cdn.example/assets/v2/"},
        {"base that names a page", img,
         "http://www.example.com/other/i.gif|http://www.example.com/r.gif|"
         "http://www.example.com/u.gif|http://x.example/p.gif",
         "http://www.example.com/other/big/l.jpg", kPage,
         "http://www.example.com/other/index.html?x=a/b"},
        {"https base on an http page", img,
         "https://s.example/a/i.gif|https://s.example/r.gif|https://s.example/u.gif|"
         "https://x.example/p.gif",
         "https://s.example/a/big/l.jpg", kPage, "https://s.example/a/b.html"},
        {"base equal to the page", img,
         "http://www.example.com/dir/i.gif|http://www.example.com/r.gif|"
         "http://www.example.com/u.gif|http://x.example/p.gif",
         "http://www.example.com/dir/big/l.jpg", kPage, kPage},
        // A base address cannot make a web page record local files.
        {"file base on a web page", "<img src=\"i.gif\"><img src=\"http://h/j.gif\">",
         "http://h/j.gif", "", kPage, "file:///etc/"},
        {"file page with a web base", "<img src=\"i.gif\"><img src=\"file:///tmp/k.gif\">",
         "http://h/d/i.gif|file:///tmp/k.gif", "", "file:///tmp/page.html", "http://h/d/"},
    };
    checkRows(rows, std::size(rows));
}

TEST(MarkupRules, QueryAndFragmentAreNoFolders)
{
    const char *const img = "<img src=\"i.gif\"><img src=\"../u.gif\"><img src=\"/r.gif\">";
    const Row rows[] = {
        {"slashes in query and fragment", img, "http://h/d/i.gif|http://h/u.gif|http://h/r.gif", "",
         "http://h/d/page.html?ref=a/b/c#x/y"},
        {"slashes in the fragment", img, "http://h/d/e/i.gif|http://h/d/u.gif|http://h/r.gif", "",
         "http://h/d/e/page.html#x/y/z"},
        {"http:// in the query", img, "http://h/d/i.gif|http://h/u.gif|http://h/r.gif", "",
         "http://h/d/page.html?u=http://x/y/"},
        {"folder address with a query", img, "http://h/d/e/i.gif|http://h/d/u.gif|http://h/r.gif",
         "", "http://h/d/e/?sort=a/z"},
        {"https host with a query", img,
         "https://s.example/i.gif|https://s.example/u.gif|https://s.example/r.gif", "",
         "https://s.example?q=a/b"},
        {"query in the base address", img,
         "http://b.example/x/i.gif|http://b.example/u.gif|http://b.example/r.gif", "", kPage,
         "http://b.example/x/y.html?z=1/2#3/4"},
    };
    checkRows(rows, std::size(rows));
}

TEST(MarkupRules, TheScanFolderLeavesQueryAndFragmentOut)
{
    EXPECT_EQ(harvest::ScanFolder(QStringLiteral("http://h/d/page.html?ref=a/b/c#x/y")),
              QStringLiteral("http://h/d/"));
    EXPECT_EQ(harvest::ScanFolder(QStringLiteral("http://www.example.com?x=1")),
              QStringLiteral("http://www.example.com"));
    QString url = QStringLiteral("http://h/d/page.html#a/b");
    HarvestFolders folders;
    folders.files.writeReplace(WorkingFiles::CheckImages, QString());
    ResultLists lists;
    ScanImageTags(url, folders.files, lists);
    EXPECT_EQ(url, QStringLiteral("http://h/d/"));
}

} // namespace
