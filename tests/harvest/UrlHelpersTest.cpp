#include "harvest/UrlHelpers.h"

#include <gtest/gtest.h>

namespace {

struct Row {
    const char *input;
    const char *expected;
};

TEST(BaseDirectoryOf, Table)
{
    const Row rows[] = {
        {"http://www.example.com/dir/page.html", "http://www.example.com/dir/"},
        {"http://www.example.com/dir/", "http://www.example.com/"},
        {"http://www.example.com/", "www.example.com/"},
        {"http://www.example.com", "www.example.com/"},
        {"www.example.com/a/b/c.gif", "www.example.com/a/b/"},
        {"page.html", "page.html/"},
        {"", "/"},
        {"HTTP://Host/a/b.html", "http://Host/a/"},
        {"http://host/a/b//", "http://host/a/b/"},
        {"https://host/a/b.html", "https://host/a/"},
        {"http://host/a/b.html?u=http://x/y", "http://host/a/b.html?u=x/"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(BaseDirectoryOf(QString::fromUtf8(row.input)), QString::fromUtf8(row.expected))
            << row.input;
}

// At the root of an https or file address the root itself comes back.
TEST(BaseDirectoryOf, HttpsAndFileRoots)
{
    const Row rows[] = {
        {"https://host/", "https://host/"},
        {"https://host", "https://host/"},
        {"HTTPS://Host/", "HTTPS://Host/"},
        {"https://host/a/", "https://host/"},
        {"file:///tmp/site/page.html", "file:///tmp/site/"},
        {"file:///tmp/site/", "file:///tmp/"},
        {"file:///tmp/", "file:///"},
        {"file:///", "file:///"},
        {"file://server/share/", "file://server/"},
        {"file://server/", "file://server/"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(BaseDirectoryOf(QString::fromUtf8(row.input)), QString::fromUtf8(row.expected))
            << row.input;
}

TEST(BaseDirectoryOf, LongerThanSixteenBits)
{
    const QString folder = QStringLiteral("http://host/") + QString(40000, u'd') + u'/';
    EXPECT_EQ(BaseDirectoryOf(folder + QStringLiteral("page.html")), folder);
    EXPECT_EQ(BaseDirectoryOf(QString(70000, u'x')), QString(70000, u'x') + u'/');
}

TEST(BaseDirectoryOf, KeepsNonAsciiText)
{
    EXPECT_EQ(BaseDirectoryOf(QStringLiteral("http://例え.jp/写真/猫.html")),
              QStringLiteral("http://例え.jp/写真/"));
}

TEST(ImageFileName, Table)
{
    const Row rows[] = {
        {"http://www.example.com/images/logo.gif", "logo.gif"},
        {"images/logo.gif", "logo.gif"},
        {"\"a.gif\"", "a.gif"},
        {"HTTP://x/y/Z.GIF", "Z.GIF"},
        {"dir/", ""},
        {"x.gif?v=1/2", "2"},
        {"a b.gif", "a b.gif"},
        {"https://cdn.example.net/y.gif", "y.gif"},
        {"a.gif border=0", "a.gif0"},
        {"a.gif BORDER=2", "a.gif2"},
        {"pics/写真.jpg", "写真.jpg"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(ImageFileName(QString::fromUtf8(row.input)), QString::fromUtf8(row.expected))
            << row.input;
}

TEST(SchemeOf, ReadsAsABrowserWould)
{
    const Row rows[] = {
        {"http://h/a.gif", "http"},
        {"HTTPS://h/a.gif", "https"},
        {"javascript:alert(1)", "javascript"},
        {" \tJaVaScRiPt:alert(1)", "javascript"},
        {"java\nscript:alert(1)", "javascript"},
        {"&#106;avascript:alert(1)", "javascript"},
        {"&#x6A;avascript&#x3A;alert(1)", "javascript"},
        {"javascript&colon;alert(1)", "javascript"},
        {"vbscript:msgbox", "vbscript"},
        {"data:image/png;base64,AAAA", "data"},
        {"file:///etc/passwd", "file"},
        {"images/a.gif", ""},
        {"a.gif?x=http://y", ""},
        {"//cdn/a.gif", ""},
        {"/a:b.gif", ""},
        {"1abc:def", ""},
        {"a b:c", ""},
        {"", ""},
        {"Tom&amp;Jerry.gif", ""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(harvest::SchemeOf(QString::fromUtf8(row.input)), QString::fromUtf8(row.expected))
            << row.input;
}

TEST(IsAllowedAddress, Schemes)
{
    struct Case {
        const char *address;
        bool onHttpPage;
        bool onFilePage;
    } cases[] = {
        {"http://h/a.gif", true, true},
        {"https://h/a.gif", true, true},
        {"www.example.com/a.gif", true, true},
        {"data:image/gif;base64,R0lG", true, true},
        {"DATA:IMAGE/png;base64,AA", true, true},
        {"data:text/html,<script>", false, false},
        {"javascript:alert(1)", false, false},
        {"vbscript:x", false, false},
        {"file:///tmp/a.gif", false, true},
        {"ftp://h/a.gif", false, false},
        {"&#106;avascript:alert(1)", false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(harvest::IsAllowedAddress(QString::fromUtf8(c.address), false), c.onHttpPage)
            << c.address;
        EXPECT_EQ(harvest::IsAllowedAddress(QString::fromUtf8(c.address), true), c.onFilePage)
            << c.address;
    }
}

TEST(SiteRootOf, Roots)
{
    EXPECT_EQ(harvest::SiteRootOf(QStringLiteral("https://h/a/b/")), QStringLiteral("https://h/"));
    EXPECT_EQ(harvest::SiteRootOf(QStringLiteral("https://h")), QStringLiteral("https://h/"));
    EXPECT_EQ(harvest::SiteRootOf(QStringLiteral("file:///tmp/site/")), QStringLiteral("file:///"));
    EXPECT_EQ(harvest::SiteRootOf(QStringLiteral("host/a/")), QStringLiteral("host/"));
}

} // namespace
