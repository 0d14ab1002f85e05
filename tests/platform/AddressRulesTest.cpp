// What an address handed to the window may open: from outside, addresses and
// files only, never scripts; on a web page's behalf, never a local file.
#include "platform/AddressRules.h"

#include "tests/support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct OutsideCase {
    const char *given;
    const char *opens; // empty: refused
    const char *refusalStart;
};

TEST(AddressesFromOutside, OnlyWebAddressesFilesAndWordsOpen)
{
    const OutsideCase cases[] = {
        {"http://example.com/a.html", "http://example.com/a.html", ""},
        {"https://example.com/", "https://example.com/", ""},
        {"  https://example.com/x?y=1  ", "https://example.com/x?y=1", ""},
        {"example.com", "http://example.com", ""},
        {"localhost:8080/page", "http://localhost:8080/page", ""},
        {"file:///tmp/page.html", "file:///tmp/page.html", ""},
        {"javascript:alert(1)", "",
         "Quarrow does not open javascript: addresses given to it from outside"},
        {"JavaScript:fetch('/x')", "", "Quarrow does not open javascript: addresses"},
        {"  javascript:void(0)", "", "Quarrow does not open javascript: addresses"},
        {"data:text/html,<script>alert(1)</script>", "", "Quarrow does not open data: addresses"},
        {"blob:http://example.com/1234", "", "Quarrow does not open blob: addresses"},
        {"view-source:http://example.com/", "", "Quarrow does not open view-source: addresses"},
        {"chrome://settings", "", "Quarrow does not open chrome: addresses"},
        {"about:blank", "", "Quarrow does not open about: addresses"},
        {"ftp://example.com/f", "", "Quarrow does not open ftp: addresses"},
        {"vbscript:msgbox", "", "Quarrow does not open vbscript: addresses"},
        {"http://", "", "Quarrow cannot open"},
    };
    for (const OutsideCase &c : cases) {
        SCOPED_TRACE(c.given);
        const AddressVerdict verdict = AddressFromOutside(QString::fromUtf8(c.given));
        EXPECT_EQ(verdict.url.toString(), QString::fromUtf8(c.opens));
        EXPECT_EQ(verdict.allowed(), *c.opens != '\0');
        if (*c.opens != '\0')
            EXPECT_TRUE(verdict.refusal.isEmpty()) << verdict.refusal.toStdString();
        else
            EXPECT_TRUE(verdict.refusal.startsWith(QString::fromUtf8(c.refusalStart)))
                << verdict.refusal.toStdString();
    }
    EXPECT_FALSE(AddressFromOutside(QString()).allowed());
    EXPECT_TRUE(AddressFromOutside(QString()).refusal.isEmpty());
}

TEST(AddressesFromOutside, PathsAreFilesEvenWhenTheyLookLikeSchemes)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // A file whose name starts like a script address is still a file.
    ASSERT_TRUE(testsupport::writeFile(folder.path() + "/javascript:x.html", "<p>x</p>"));
    ASSERT_TRUE(testsupport::writeFile(folder.path() + "/page.html", "<p>x</p>"));

    const AddressVerdict relative = AddressFromOutside("page.html", folder.path());
    ASSERT_TRUE(relative.allowed());
    EXPECT_EQ(relative.url, QUrl::fromLocalFile(folder.path() + "/page.html"));

    const AddressVerdict absolute = AddressFromOutside(folder.path() + "/javascript:x.html");
    ASSERT_TRUE(absolute.allowed());
    EXPECT_TRUE(absolute.url.isLocalFile());

    // Named relative to the caller's folder, it is a scheme again.
    EXPECT_FALSE(AddressFromOutside("javascript:x.html", folder.path()).allowed());
}

struct PageCase {
    const char *target;
    const char *page;
    bool opens;
};

TEST(AddressesForAPage, AWebPageNeverLeadsToALocalFileOrAScript)
{
    const PageCase cases[] = {
        {"https://example.com/pic.png", "https://example.com/", true},
        {"http://other.example/x.html", "https://example.com/", true},
        {"file:///etc/passwd", "https://example.com/", false},
        {"file:///etc/passwd", "http://127.0.0.1:8080/", false},
        {"file:///etc/passwd", "", false},
        {"file:///home/u/pic.png", "file:///home/u/page.html", true},
        {"javascript:alert(1)", "file:///home/u/page.html", false},
        {"javascript:alert(1)", "https://example.com/", false},
        {"data:image/png;base64,iVBORw0KGgo=", "https://example.com/", true},
        {"data:image/svg+xml,<svg onload=alert(1)>", "https://example.com/", false},
        {"data:text/html,<script>alert(1)</script>", "https://example.com/", false},
        {"view-source:https://example.com/", "https://example.com/", false},
        {"blob:https://example.com/1", "https://example.com/", false},
    };
    for (const PageCase &c : cases) {
        SCOPED_TRACE(std::string(c.target) + " from " + c.page);
        const AddressVerdict verdict =
            AddressForPage(QUrl(QString::fromUtf8(c.target)), QUrl(QString::fromUtf8(c.page)));
        EXPECT_EQ(verdict.allowed(), c.opens);
        EXPECT_EQ(verdict.refusal.isEmpty(), c.opens);
    }
    const AddressVerdict local =
        AddressForPage(QUrl("file:///etc/passwd"), QUrl("https://example.com/"));
    EXPECT_EQ(local.refusal, "Not opened: a web page may not lead to the local file "
                             "file:///etc/passwd");
}

} // namespace
